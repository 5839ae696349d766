// The main window's class statistics: F10 opens the class dialog with the
// table's last used class settings, or the guesses made from the table when
// there are none; "开始统计" runs the statistics.
#include "app/forms/TFormCorvane.h"

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

void TFormCorvane::N13Click() {
    Guarded(this, [&] {
        int panelQuestions = Panels->singleChoiceCount() + Panels->multipleChoiceCount();
        auto guess = stats::GuessDialog(mWs, *mUi, panelQuestions);
        if (!guess || !stats::GoOnWithoutScores(mWs, *mUi))
            return;
        FormTongji->split = [this](const stats::ClassSettings& s) {
            return stats::SplitTable(mWs, s);
        };
        FormTongji->suggest = [this](int codeLength) {
            return stats::SuggestClasses(mWs, codeLength);
        };
        FormTongji->suggestionApplied = [this](const stats::ClassSettings& s) {
            stats::RememberClassSettings(mWs.connection, mWs.TableName, s);
        };
        if (auto remembered = stats::RememberedClassSettings(mWs.connection, mWs.TableName)) {
            FormTongji->showClassSettings(*remembered);
        } else {
            FormTongji->showExamNumbers(guess->prefix, guess->totalLength);
        }
        FormTongji->setQuestionCount(guess->questions);
        FormTongji->exec();
    });
}

stats::ClassSettings TFormCorvane::classSettingsOfTable() {
    stats::ClassSettings settings = FormTongji->settings();
    if (auto remembered = stats::RememberedClassSettings(mWs.connection, mWs.TableName)) {
        remembered->questions = settings.questions;
        return *remembered;
    }
    return settings;
}

void TFormCorvane::BitBtn1Click(const stats::ClassSettings& settings) {
    Guarded(FormTongji, [&] {
        QtUi dialogUi(FormTongji, Progress);
        BusyCursor busy;
        stats::ClassRunResult result;
        try {
            result = stats::RunClassStatistics(mWs, dialogUi, *mShell, mSpreadsheet, settings,
                                               FormTongji->windowTitle().toStdString());
        } catch (const report::NoSpreadsheet&) {
            StatusPanel0->setText(report::NoSpreadsheetAdvice);
            throw;
        }
        if (result.rowsUpdated) // the dialog's caption shows the rows given a class
            FormTongji->setWindowTitle(QString::number(*result.rowsUpdated));
    });
}

} // namespace app::forms
