#include "app/forms/TAboutBox.h"

#include "core/About.h"
#include "platform/os/Folders.h"
#include "platform/os/Shell.h"
#include "platform/os/System.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace app::forms {
namespace {

QLabel* Text(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(x, y, w, h);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent, os::Shell& shell) : QDialog(parent), mShell(shell) {
    setObjectName("TAboutBox");
    setWindowTitle("关于Brevanto");
    setFixedSize(316, 236);
    Image1 = Text(this, "Image1", "", 12, 32, 41, 41);
    Image1->setPixmap(QApplication::windowIcon().pixmap(41, 41));
    ProductName = Text(this, "ProductName", core::AboutProduct, 84, 16, 181, 16);
    Label1 = Text(this, "Label1", core::AboutNotice, 84, 40, 228, 16);
    Label4 = Text(this, "Label4", core::AboutContact, 84, 64, 228, 16);
    Label6 = Text(this, "Label6", core::AboutMail, 84, 88, 228, 16);
    for (QLabel* link : {Label4, Label6}) {
        link->setStyleSheet("color: blue");
        link->setCursor(Qt::PointingHandCursor);
    }
    Label6->setToolTip(core::AboutMailHint);
    Label6->installEventFilter(this);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setGeometry(5, 121, 305, 1);
    Bevel1->setFrameShape(QFrame::HLine);
    Label2 = Text(this, "Label2", QString::fromStdString(os::SystemName()), 8, 136, 300, 16);
    Label3 = Text(this, "Label3", "", 8, 157, 300, 16);
    const QString home = QString::fromStdString(core::HomeFolderText(os::ProgramFolder()));
    HomeLabel = Text(this, "HomeLabel", home, 8, 178, 300, 16);
    HomeLabel->setToolTip(home);
    HomeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button1 = new QPushButton("确定(&O)", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(128, 204, 75, 22);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::FormShow() {
    Label3->setText(QString::fromStdString(core::FreeMemoryText(os::AvailableMemory())));
}

void TAboutBox::Label6Click() {
    mShell.open("Mailto:" + Label6->text().toStdString());
}

void TAboutBox::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label6 && event->type() == QEvent::MouseButtonRelease)
        Label6Click();
    return QDialog::eventFilter(watched, event);
}

} // namespace app::forms
