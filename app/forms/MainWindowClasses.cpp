// The main window's class statistics: F10 opens the class dialog with the
// table's last used class settings, or the guesses made from the table when
// there are none; "开始统计" runs the statistics.
#include "app/forms/MainWindow.h"

#include "app/forms/Guard.h"
#include "report/ReportCommand.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/ClassMemory.h"
#include "stats/ClassSplit.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace app::forms {

void MainWindow::classStatistics() {
    Guarded(this, [&] {
        int panelQuestions = mAnswerKeys->singleChoiceCount() + mAnswerKeys->multipleChoiceCount();
        auto guess = stats::GuessDialog(mWs, *mUi, panelQuestions);
        if (!guess || !stats::GoOnWithoutScores(mWs, *mUi))
            return;
        mClassDialog->split = [this](const stats::ClassSettings& s) {
            return stats::SplitTable(mWs, s);
        };
        mClassDialog->suggest = [this](int codeLength) {
            return stats::SuggestClasses(mWs, codeLength);
        };
        mClassDialog->suggestionApplied = [this](const stats::ClassSettings& s) {
            stats::RememberClassSettings(mWs.connection, mWs.TableName, s);
        };
        if (auto remembered = stats::RememberedClassSettings(mWs.connection, mWs.TableName)) {
            mClassDialog->showClassSettings(*remembered);
        } else {
            mClassDialog->showExamNumbers(guess->prefix, guess->totalLength);
        }
        mClassDialog->setQuestionCount(guess->questions);
        mClassDialog->exec();
    });
}

stats::ClassSettings MainWindow::classSettingsOfTable() {
    stats::ClassSettings settings = mClassDialog->settings();
    if (auto remembered = stats::RememberedClassSettings(mWs.connection, mWs.TableName)) {
        remembered->questions = settings.questions;
        return *remembered;
    }
    return settings;
}

void MainWindow::runClassStatistics(const stats::ClassSettings& settings) {
    Guarded(mClassDialog, [&] {
        QtUi dialogUi(mClassDialog, mProgress);
        BusyCursor busy;
        stats::ClassRunResult result;
        try {
            result = stats::RunClassStatistics(mWs, dialogUi, *mShell, mSpreadsheet, settings,
                                               mClassDialog->windowTitle().toStdString());
        } catch (const report::NoSpreadsheet&) {
            mStatusNotes->setText(report::NoSpreadsheetAdvice);
            throw;
        }
        if (result.rowsUpdated) // the dialog's caption shows the rows given a class
            mClassDialog->setWindowTitle(QString::number(*result.rowsUpdated));
    });
}

} // namespace app::forms
