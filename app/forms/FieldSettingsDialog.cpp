#include "app/forms/FieldSettingsDialog.h"

#include "app/forms/DialogSize.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace app::forms {
namespace {

// One line of the dialog: its label (named after the edit) and its edit.
QLineEdit* AddLine(QGridLayout* grid, const char* label, const char* name, const char* text) {
    QWidget* dialog = grid->parentWidget();
    auto* caption = new QLabel(label, dialog);
    caption->setObjectName(QString(name).replace("Edit", "Label"));
    auto* edit = new QLineEdit(text, dialog);
    edit->setObjectName(name);
    edit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed); // its column's width
    const int row = grid->rowCount();
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

} // namespace

FieldSettingsDialog::FieldSettingsDialog(QWidget* parent, core::FieldSettings& settings,
                                         QAction* fieldNamesItem)
    : QDialog(parent), mSettings(settings), mFieldNamesItem(fieldNamesItem) {
    setObjectName("TFormSetField");
    setWindowTitle("设置字段名");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 18, 8);
    layout->setSpacing(8);
    auto* lines = new QGridLayout;
    lines->setHorizontalSpacing(4);
    lines->setVerticalSpacing(6);
    // The columns as drawn; the labels' grows when their texts need more.
    lines->setColumnMinimumWidth(0, 84);
    lines->setColumnMinimumWidth(1, 120);
    layout->addLayout(lines);
    // On screen the subject line stands third.
    mFlag = AddLine(lines, "复读标记字段", "Edit1", "flag");
    mId = AddLine(lines, "学生考号字段", "Edit2", "id");
    mSubject = AddLine(lines, "科目字段", "Edit5", "subject");
    mContent = AddLine(lines, "客观题字段", "Edit3", "content");
    mScore = AddLine(lines, "分数字段", "Edit4", "score");

    auto* ok = new QPushButton("确定", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    auto* defaults = new QPushButton("默认", this);
    defaults->setObjectName("Button1");
    defaults->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(13);
    buttons->addStretch(1);
    for (QPushButton* button : {ok, defaults}) {
        button->setMinimumSize(DesignedButton);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(mFlag, mId);
    setTabOrder(mId, mContent);
    setTabOrder(mContent, mScore);
    setTabOrder(mScore, ok);
    setTabOrder(ok, defaults);
    setTabOrder(defaults, mSubject);
    connect(ok, &QPushButton::clicked, this, &FieldSettingsDialog::confirm);
    connect(defaults, &QPushButton::clicked, this, &FieldSettingsDialog::restoreDefaults);
    FixDesignedSize(this, {242, 187});
}

void FieldSettingsDialog::fill() {
    mFlag->setText(QString::fromStdString(mSettings.Flag));
    mId->setText(QString::fromStdString(mSettings.ID));
    mSubject->setText(QString::fromStdString(mSettings.Subject));
    mContent->setText(QString::fromStdString(mSettings.Content));
    mScore->setText(QString::fromStdString(mSettings.Score));
}

void FieldSettingsDialog::confirm() {
    mFieldNamesItem->setData(1);
    mSettings.Flag = mFlag->text().toStdString();
    mSettings.ID = mId->text().toStdString();
    mSettings.Subject = mSubject->text().toStdString();
    mSettings.Content = mContent->text().toStdString();
    mSettings.Score = mScore->text().toStdString();
    accept();
}

void FieldSettingsDialog::restoreDefaults() {
    mFlag->setText("flag");
    mId->setText("id");
    mContent->setText("content");
    mScore->setText("score");
}

} // namespace app::forms
