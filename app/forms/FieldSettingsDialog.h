#pragma once

#include "core/Config.h"

#include <QDialog>

class QAction;
class QLineEdit;

namespace app::forms {

// The field-name dialog "设置字段名": edits the five column names. Created
// once at start-up; every showing refills its edits from the settings.
// "确定" sets the data of the main window's item "设置字段名..." to 1 and
// copies the names as typed; closing it any other way changes nothing.
class FieldSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    FieldSettingsDialog(QWidget* parent, core::FieldSettings& settings, QAction* fieldNamesItem);

    // Fills the edits from the settings, as opening the dialog does.
    void fill();
    // "确定": the names as typed into the settings, the dialog closed.
    void confirm();
    // "默认": the usual names in the edits, the subject's left as it is.
    void restoreDefaults();

  private:
    QLineEdit* mFlag;
    QLineEdit* mId;
    QLineEdit* mSubject;
    QLineEdit* mContent;
    QLineEdit* mScore;

    core::FieldSettings& mSettings;
    QAction* mFieldNamesItem;
};

} // namespace app::forms
