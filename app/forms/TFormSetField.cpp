#include "app/forms/TFormSetField.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace app::forms {
namespace {

QLineEdit* Line(QWidget* parent, const char* label, const char* name, const char* text, int y,
                QLabel*& labelOut) {
    labelOut = new QLabel(label, parent);
    labelOut->setObjectName(QString(name).replace("Edit", "Label"));
    labelOut->setGeometry(16, y + 3, 84, 16);
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setGeometry(104, y, 120, 22);
    return edit;
}

} // namespace

TFormSetField::TFormSetField(QWidget* parent, core::FieldSettings& settings, QAction* setFieldItem)
    : QDialog(parent), mSettings(settings), mSetField(setFieldItem) {
    setObjectName("TFormSetField");
    setWindowTitle("设置字段名");
    setFixedSize(242, 187);
    // On screen the subject line stands third.
    Edit1 = Line(this, "复读标记字段", "Edit1", "flag", 12, Label1);
    Edit2 = Line(this, "学生考号字段", "Edit2", "id", 40, Label2);
    Edit5 = Line(this, "科目字段", "Edit5", "subject", 68, Label5);
    Edit3 = Line(this, "客观题字段", "Edit3", "content", 96, Label3);
    Edit4 = Line(this, "分数字段", "Edit4", "score", 124, Label4);
    BitBtn1 = new QPushButton("确定", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(40, 154, 75, 25);
    BitBtn1->setDefault(true);
    Button1 = new QPushButton("默认", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(128, 154, 75, 25);
    Button1->setAutoDefault(false);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Edit4);
    setTabOrder(Edit4, BitBtn1);
    setTabOrder(BitBtn1, Button1);
    setTabOrder(Button1, Edit5);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormSetField::BitBtn1Click);
    connect(Button1, &QPushButton::clicked, this, &TFormSetField::Button1Click);
}

void TFormSetField::Fill() {
    Edit1->setText(QString::fromStdString(mSettings.Flag));
    Edit2->setText(QString::fromStdString(mSettings.ID));
    Edit5->setText(QString::fromStdString(mSettings.Subject));
    Edit3->setText(QString::fromStdString(mSettings.Content));
    Edit4->setText(QString::fromStdString(mSettings.Score));
}

void TFormSetField::BitBtn1Click() {
    mSetField->setData(1);
    mSettings.Flag = Edit1->text().toStdString();
    mSettings.ID = Edit2->text().toStdString();
    mSettings.Subject = Edit5->text().toStdString();
    mSettings.Content = Edit3->text().toStdString();
    mSettings.Score = Edit4->text().toStdString();
    accept();
}

void TFormSetField::Button1Click() {
    Edit1->setText("flag");
    Edit2->setText("id");
    Edit3->setText("content");
    Edit4->setText("score");
}

} // namespace app::forms
