// The main window's roster handlers: the class list into `ids`, and the
// exam-number check with its corrections.
#include "app/forms/Guard.h"
#include "app/forms/MainWindow.h"
#include "roster/RosterCommands.h"
#include "roster/forms/ExamNumberCheckDialog.h"
#include "roster/forms/RosterImportDialog.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include <algorithm>

namespace app::forms {

void MainWindow::createRosterDialogs() {
    mNumbersDialog = new roster::forms::ExamNumberCheckDialog(this);
    mNumbersDialog->correct = [this](const roster::Correction& c) { correctNumber(c); };
    mNumbersDialog->undo = [this] { undoCorrection(); };
}

void MainWindow::importRoster() {
    Guarded(this, [&] {
        mChooseAnotherKind = true;
        const QString file =
            chooseFile("导入学生名单", "学生名单 (*.csv *.txt *.xls *.xlsx *.dbf *.CSV *.TXT "
                                       "*.XLS *.XLSX *.DBF);;所有文件 (*)");
        mChooseAnotherKind = false;
        if (file.isEmpty())
            return;
        roster::forms::RosterImportDialog dialog(this);
        dialog.load(file.toStdString());
        if (dialog.exec() != QDialog::Accepted)
            return;
        roster::RosterImport done;
        {
            BusyCursor busy;
            done = roster::ImportRoster(mWs, *mUi, file.toStdString(), dialog.options());
        }
        std::string summary;
        for (const auto& line : done.summary)
            summary += (summary.empty() ? "" : "\n") + line;
        mUi->message(summary, "导入学生名单", core::Icon::Information);
    });
}

void MainWindow::verifyNumbers() {
    Guarded(this, [&] {
        roster::TableCheck check;
        {
            BusyCursor busy;
            check = roster::VerifyTable(mWs, *mUi, classSettingsOfTable());
        }
        if (check.outcome == core::Outcome::Stopped)
            return;
        mNumbersDialog->showCheck(check, mCorrections.canUndo());
        mNumbersDialog->exec();
    });
}

void MainWindow::showCheckAgain() {
    QtUi dialogUi(mNumbersDialog, mProgress);
    BusyCursor busy;
    const roster::TableCheck check = roster::VerifyTable(mWs, dialogUi, classSettingsOfTable());
    if (check.outcome == core::Outcome::Done)
        mNumbersDialog->showCheck(check, mCorrections.canUndo());
}

// A change whose log line could not be written after its commit is made:
// the grid and the check show it before the error is said.
void MainWindow::correctNumber(const roster::Correction& correction) {
    changeNumbers([&] { (void)mCorrections.correct(mWs, mWs.TableName, correction); });
}

void MainWindow::undoCorrection() {
    changeNumbers([&] { (void)mCorrections.undoLast(mWs); });
}

void MainWindow::changeNumbers(const std::function<void()>& change) {
    Guarded(mNumbersDialog, [&] {
        try {
            change();
        } catch (const roster::LoggedLate&) {
            refreshView();
            showCheckAgain();
            throw;
        }
        refreshView();
        showCheckAgain();
    });
}

void MainWindow::refreshView() {
    if (!mWs.view.isOpen())
        return;
    const int row = mWs.view.recNo();
    mWs.view.close();
    mWs.view.open();
    if (const int count = mWs.view.recordCount(); count > 0)
        mWs.view.moveTo(std::clamp(row, 0, count - 1));
}

} // namespace app::forms
