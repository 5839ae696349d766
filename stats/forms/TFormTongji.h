#pragma once

#include "stats/ClassSplit.h"
#include "stats/ClassesCommand.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace stats::forms {

// The class-statistics dialog "分班统计": how the class is coded in the exam
// number (or the predefined list), the number of questions and the
// comprehensive-subject settings. Created once at start-up and kept; its
// settings live as long as the program. Modal to its parent, the main
// window, alone: windows of their own, such as the report viewers, stay
// usable while it is up. "开始统计" hands the settings to
// `start`, which the main window sets to run the statistics; the dialog stays
// open. Below the settings it shows how they split the table (`split`, set by
// the main window), updated as they change, and "采用建议" applies the
// settings `suggest` finds in the exam numbers.
class TFormTongji : public QDialog {
    Q_OBJECT
  public:
    explicit TFormTongji(QWidget* parent);

    [[nodiscard]] ClassSettings Settings() const;
    // Shows how classes are told in `settings` (predefined or not, the prefix
    // mode, prefix, start, exam-number length, code length and class range);
    // the question count and the subjects are left as they are.
    void ShowClassSettings(const ClassSettings& settings);

    void FormShow();
    void RadioButton3Click();
    void RadioButton4Click();
    void CheckBox2Click();
    void CheckBox1Click();
    void BitBtn1Click();
    // Shows how the current settings split the table.
    void UpdateSplit();
    // "采用建议": the prefix, exam-number length and class range found.
    void BtnSuggestClick();

    std::function<void(const ClassSettings&)> start;
    std::function<ClassSplit(const ClassSettings&)> split;
    std::function<std::optional<ClassSuggestion>(int codeLength)> suggest;
    // Told the settings "采用建议" filled in, so that they are kept for the
    // table even when the dialog is closed before a run.
    std::function<void(const ClassSettings&)> suggestionApplied;
    // The open table's name, for the subject presets.
    std::function<std::string()> tableName;

    QLabel* Label13;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButton3;
    QLabel* Label8;
    QLineEdit* Edit1;
    QRadioButton* RadioButton4;
    QLabel* Label6;
    QSpinBox* SpinEdit20;
    QLabel* Label5;
    QSpinBox* SpinEdit6;
    QLabel* Label11;
    QSpinBox* SpinEdit7;
    QGroupBox* GroupBox3;
    QLabel* Label1;
    QSpinBox* SpinEdit3;
    QLabel* Label4;
    QLabel* Label2;
    QSpinBox* SpinEdit4;
    QLabel* Label3;
    QSpinBox* SpinEdit5;
    QCheckBox* CheckBox1;
    QWidget* Panel1;
    QLabel* Labels[6];
    QComboBox* ComboBoxes[6];
    QLabel* Label20;
    QSpinBox* sptZonghe[6];
    QCheckBox* CheckBox2;
    QLabel* CheckBox2Text; // the check box's caption, wrapped
    QPushButton* BitBtn1;
    QLabel* LabelSplit;      // how the settings split the table
    QPushButton* BtnSuggest; // "采用建议"

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QTimer* mSplitTimer; // a burst of changes (typing a number) reads the table once
};

} // namespace stats::forms
