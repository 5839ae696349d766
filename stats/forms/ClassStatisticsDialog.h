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
// settings `suggest` finds in the exam numbers. Its widgets keep their
// designer names as object names, for tests.
class ClassStatisticsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ClassStatisticsDialog(QWidget* parent);

    [[nodiscard]] ClassSettings settings() const;
    // Shows how classes are told in `settings` (predefined or not, the prefix
    // mode, prefix, start, exam-number length, code length and class range);
    // the question count and the subjects are left as they are.
    void showClassSettings(const ClassSettings& settings);
    // The exam numbers as guessed from the table: their common prefix and length.
    void showExamNumbers(const std::string& prefix, int length);
    // The exam-number length set, 0 while none is.
    [[nodiscard]] int examNumberLength() const;
    [[nodiscard]] int questionCount() const;
    void setQuestionCount(int count);

    std::function<void(const ClassSettings&)> start;
    std::function<ClassSplit(const ClassSettings&)> split;
    std::function<std::optional<ClassSuggestion>(int codeLength)> suggest;
    // Told the settings "采用建议" filled in, so that they are kept for the
    // table even when the dialog is closed before a run.
    std::function<void(const ClassSettings&)> suggestionApplied;
    // The open table's name, for the subject presets.
    std::function<std::string()> tableName;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* buildExamNumberBox();
    QWidget* buildClassBox();
    QLayout* buildCountsRow();
    QWidget* buildSubjectPanel();
    QLayout* buildPredefinedRow();
    void connectControls();
    // The size the dialog has at 100% scaling, or what its texts need when
    // the scaling or the font makes them larger.
    void fitSize();

    void usePrefix();           // "有固定前缀"
    void useStartPosition();    // "没有固定前缀"
    void followPredefined();    // the predefined list replaces the exam-number settings
    void followComprehensive(); // the subject panel, with the presets of the table
    void startStatistics();     // "开始统计"
    // Shows how the current settings split the table.
    void showSplit();
    // "采用建议": the prefix, exam-number length and class range found.
    void applySuggestion();

    QLabel* mIntro;
    QGroupBox* mExamNumberBox; // "考号特征"
    QRadioButton* mPrefixMode;
    QLabel* mPrefixCaption;
    QLineEdit* mPrefix;
    QRadioButton* mStartMode;
    QLabel* mStartCaption;
    QSpinBox* mClassStart; // where the class code starts in the exam number
    QLabel* mLengthCaption;
    QSpinBox* mExamNumberLength;
    QLabel* mQuestionsCaption;
    QSpinBox* mQuestionCount;
    QGroupBox* mClassBox; // "班别"
    QLabel* mCodeLengthCaption;
    QSpinBox* mClassCodeLength;
    QLabel* mRangeHint;
    QSpinBox* mFirstClass;
    QSpinBox* mLastClass;
    QCheckBox* mComprehensive;
    QWidget* mSubjectPanel;
    QComboBox* mSubjects[6];
    QSpinBox* mSubjectStarts[6]; // the first question of each subject
    QCheckBox* mPredefined;      // classes from ids.dbf
    QLabel* mPredefinedCaption;  // the check box's caption, wrapped
    QPushButton* mStart;
    QLabel* mSplit; // how the settings split the table
    QPushButton* mSuggest;
    QTimer* mSplitTimer; // a burst of changes (typing a number) reads the table once
};

} // namespace stats::forms
