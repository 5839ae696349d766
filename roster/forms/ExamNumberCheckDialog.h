#pragma once

#include "roster/Correction.h"
#include "roster/RosterCommands.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace roster::forms {

// The result of "核对考号...": one line per problem (duplicates, numbers not
// on the roster, malformed numbers, absent students, gaps), and for the
// chosen sheet the roster numbers it was probably meant to be. Choosing a
// suggestion (a double click, or "更正" with a suggestion chosen or a number
// typed) hands the correction to `correct`; "撤销" calls `undo`. The main
// window sets both, runs the commands and shows the check again.
class ExamNumberCheckDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ExamNumberCheckDialog(QWidget* parent);

    // Shows a check's result; `canUndo` enables "撤销".
    void showCheck(const TableCheck& check, bool canUndo);

    // The correction "更正" would make now, if any: the chosen sheet's number
    // to the typed number.
    [[nodiscard]] std::optional<Correction> chosenCorrection() const;

    std::function<void(const Correction&)> correct;
    std::function<void()> undo;

  private:
    QLabel* mCounts;             // the counts
    QTreeWidget* mProblems;      // 问题, 第几条, 考号, 分数, 说明
    QLabel* mSuggestionsCaption; // "建议:"
    QListWidget* mSuggestions;
    QLabel* mNewNumberCaption; // "改为:"
    QLineEdit* mNewNumber;
    QPushButton* mCorrect;
    QPushButton* mUndo;
    QPushButton* mClose;

    // The chosen line's suggestions.
    void showSuggestions();
    // "更正": the chosen sheet's number to the typed one.
    void correctChosen();
};

} // namespace roster::forms
