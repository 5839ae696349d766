// The main window's roster handlers: the class list into `ids`, and the
// exam-number check with its corrections.
#include "app/forms/Guard.h"
#include "app/forms/TFormCorvane.h"
#include "roster/RosterCommands.h"
#include "roster/forms/ExamNumberCheckDialog.h"
#include "roster/forms/RosterImportDialog.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include <algorithm>

namespace app::forms {

void TFormCorvane::createRosterDialogs() {
    FormVerify = new roster::forms::ExamNumberCheckDialog(this);
    FormVerify->correct = [this](const roster::Correction& c) { correctNumber(c); };
    FormVerify->undo = [this] { undoCorrection(); };
}

void TFormCorvane::nImportRosterClick() {
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

void TFormCorvane::nVerifyClick() {
    Guarded(this, [&] {
        roster::TableCheck check;
        {
            BusyCursor busy;
            check = roster::VerifyTable(mWs, *mUi, classSettingsOfTable());
        }
        if (check.outcome == core::Outcome::Stopped)
            return;
        FormVerify->showCheck(check, mCorrections.canUndo());
        FormVerify->exec();
    });
}

void TFormCorvane::showCheckAgain() {
    QtUi dialogUi(FormVerify, Progress);
    BusyCursor busy;
    const roster::TableCheck check = roster::VerifyTable(mWs, dialogUi, classSettingsOfTable());
    if (check.outcome == core::Outcome::Done)
        FormVerify->showCheck(check, mCorrections.canUndo());
}

// A change whose log line could not be written after its commit is made:
// the grid and the check show it before the error is said.
void TFormCorvane::correctNumber(const roster::Correction& correction) {
    changeNumbers([&] { (void)mCorrections.correct(mWs, mWs.TableName, correction); });
}

void TFormCorvane::undoCorrection() {
    changeNumbers([&] { (void)mCorrections.undoLast(mWs); });
}

void TFormCorvane::changeNumbers(const std::function<void()>& change) {
    Guarded(FormVerify, [&] {
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

void TFormCorvane::refreshView() {
    if (!mWs.view.isOpen())
        return;
    const int row = mWs.view.recNo();
    mWs.view.close();
    mWs.view.open();
    if (const int count = mWs.view.recordCount(); count > 0)
        mWs.view.moveTo(std::clamp(row, 0, count - 1));
}

} // namespace app::forms
