#pragma once

#include "core/Config.h"

#include <QDialog>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace app::forms {

// The field-name dialog "设置字段名": edits the five column names. Created
// once at start-up; every showing refills its edits from the settings.
// "确定" sets the Tag of the main window's menu item SetField to 1 and copies
// the names as typed; closing it any other way changes nothing.
class TFormSetField : public QDialog {
    Q_OBJECT
  public:
    TFormSetField(QWidget* parent, core::FieldSettings& settings, QAction* setFieldItem);

    // Fills the edits from the settings, as opening the dialog does.
    void Fill();
    void BitBtn1Click();
    void Button1Click();

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QLabel* Label3;
    QLineEdit* Edit3;
    QLabel* Label4;
    QLineEdit* Edit4;
    QPushButton* BitBtn1;
    QPushButton* Button1;
    QLabel* Label5;
    QLineEdit* Edit5;

  private:
    core::FieldSettings& mSettings;
    QAction* mSetField;
};

} // namespace app::forms
