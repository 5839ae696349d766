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
class TFormVerify : public QDialog {
    Q_OBJECT
  public:
    explicit TFormVerify(QWidget* parent);

    // Shows a check's result; `canUndo` enables "撤销".
    void ShowCheck(const TableCheck& check, bool canUndo);

    // The correction "更正" would make now, if any: the chosen sheet's number
    // to the typed number.
    [[nodiscard]] std::optional<Correction> ChosenCorrection() const;

    std::function<void(const Correction&)> correct;
    std::function<void()> undo;

    QLabel* Label1;        // the counts
    QTreeWidget* Problems; // 问题, 第几条, 考号, 分数, 说明
    QLabel* Label2;        // "建议:"
    QListWidget* Suggestions;
    QLabel* Label3; // "改为:"
    QLineEdit* EditNumber;
    QPushButton* btnCorrect;
    QPushButton* btnUndo;
    QPushButton* btnClose;

  private:
    void problemChosen();
    void correctClicked();
};

} // namespace roster::forms
