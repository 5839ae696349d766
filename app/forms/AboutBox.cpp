#include "app/forms/AboutBox.h"

#include "app/forms/DialogSize.h"
#include "app/forms/ElidedLabel.h"
#include "core/About.h"
#include "platform/os/Folders.h"
#include "platform/os/Shell.h"
#include "platform/os/System.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app::forms {
namespace {

template <class Label = QLabel>
Label* AddText(QVBoxLayout* lines, QWidget* parent, const char* name, const QString& text) {
    auto* label = new Label(text, parent);
    label->setObjectName(name);
    lines->addWidget(label);
    return label;
}

} // namespace

AboutBox::AboutBox(QWidget* parent, os::Shell& shell) : QDialog(parent), mShell(shell) {
    setObjectName("TAboutBox");
    setWindowTitle("关于Brevanto");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 16, 8, 10);
    layout->setSpacing(0);
    layout->addLayout(productLines());
    layout->addSpacing(17);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameShape(QFrame::HLine);
    layout->addWidget(bevel);
    layout->addSpacing(14);
    layout->addLayout(machineLines());
    layout->addStretch(1);
    auto* ok = new QPushButton("确定(&O)", this);
    ok->setObjectName("Button1");
    ok->setMinimumSize(DesignedButton.width(), 22);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addSpacing(8);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    FixDesignedSize(this, {316, 236});
}

// The icon beside the product's lines, the last two of them links.
QLayout* AboutBox::productLines() {
    auto* head = new QHBoxLayout;
    head->setContentsMargins(4, 0, 0, 0);
    head->setSpacing(31);
    auto* icon = new QLabel(this);
    icon->setObjectName("Image1");
    icon->setFixedSize(41, 41);
    icon->setPixmap(QApplication::windowIcon().pixmap(41, 41));
    auto* iconColumn = new QVBoxLayout;
    iconColumn->addSpacing(16);
    iconColumn->addWidget(icon);
    iconColumn->addStretch(1);
    head->addLayout(iconColumn);
    auto* product = new QVBoxLayout;
    product->setSpacing(8);
    head->addLayout(product, 1);
    AddText(product, this, "ProductName", core::AboutProduct);
    AddText(product, this, "Label1", core::AboutNotice);
    QLabel* contact = AddText(product, this, "Label4", core::AboutContact);
    mMail = AddText(product, this, "Label6", core::AboutMail);
    for (QLabel* link : {contact, mMail}) {
        link->setStyleSheet("color: blue");
        link->setCursor(Qt::PointingHandCursor);
    }
    mMail->setToolTip(core::AboutMailHint);
    mMail->installEventFilter(this);
    return head;
}

// The machine's lines: long ones shortened in the middle, whole in text().
QLayout* AboutBox::machineLines() {
    auto* machine = new QVBoxLayout;
    machine->setSpacing(5);
    QLabel* system =
        AddText<ElidedLabel>(machine, this, "Label2", QString::fromStdString(os::SystemName()));
    mFreeMemory = AddText(machine, this, "Label3", "");
    const QString home = QString::fromStdString(core::HomeFolderText(os::ProgramFolder()));
    QLabel* homeLine = AddText<ElidedLabel>(machine, this, "HomeLabel", home);
    homeLine->setToolTip(home);
    homeLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* elided : {system, homeLine}) // never widens the box
        elided->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return machine;
}

void AboutBox::showFreeMemory() {
    mFreeMemory->setText(QString::fromStdString(core::FreeMemoryText(os::AvailableMemory())));
}

void AboutBox::writeMail() {
    mShell.open("Mailto:" + mMail->text().toStdString());
}

void AboutBox::showEvent(QShowEvent* event) {
    showFreeMemory();
    QDialog::showEvent(event);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mMail && event->type() == QEvent::MouseButtonRelease)
        writeMail();
    return QDialog::eventFilter(watched, event);
}

} // namespace app::forms
