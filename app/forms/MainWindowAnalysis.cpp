// The main window's analysis window, and the summary that follows a scoring
// run.
#include "app/forms/MainWindow.h"

#include "analysis/AnalyzeCommand.h"
#include "analysis/RekeyCommand.h"
#include "analysis/forms/AnalysisWindow.h"
#include "analysis/forms/RunSummaryDialog.h"
#include "app/forms/Guard.h"
#include "scoring/forms/AnswerKeyPanels.h"

#include <QLineEdit>

namespace app::forms {
namespace {

// The figures of the open table's last run, nothing written.
analysis::TableAnalysisResult FiguresOnly(core::Workspace& ws, core::Ui& ui) {
    analysis::TableAnalysisSettings settings;
    settings.files = false;
    BusyCursor busy;
    return analysis::AnalyzeTable(ws, ui, settings);
}

} // namespace

void MainWindow::showExamAnalysis() {
    Guarded(this, [&] {
        analysis::TableAnalysisResult result = FiguresOnly(mWs, *mUi);
        if (result.outcome == core::Outcome::Done)
            showAnalysis(result.analysis);
    });
}

void MainWindow::showAnalysis(const analysis::ExamAnalysis& figures) {
    if (!mAnalysisWindow) {
        mAnalysisWindow = new analysis::forms::AnalysisWindow(this);
        wireRekey();
    }
    mAnalysisWindow->setShell(mShell);
    mAnalysisWindow->showAnalysis(figures, mWs.home(), mWs.Fields.TextEncoding);
}

// The preview and the correction run in the analysis window's error guard,
// so that a refusal is said over that window. After a correction the key
// field shows the corrected key, the grid the new points and the window the
// new analysis, with the same question selected.
void MainWindow::wireRekey() {
    mAnalysisWindow->previewRekey = [this](const analysis::RekeyRequest& request) {
        std::optional<analysis::RekeyPreview> preview;
        Guarded(mAnalysisWindow, [&] {
            BusyCursor busy;
            preview = analysis::PreviewRekey(mWs, *mUi, request);
        });
        return preview;
    };
    mAnalysisWindow->applyRekey = [this](const analysis::RekeyRequest& request) {
        std::optional<analysis::RekeyResult> result;
        Guarded(mAnalysisWindow, [&] {
            BusyCursor busy;
            result = analysis::ApplyRekey(mWs, *mUi, request);
            if (result->unchanged)
                return;
            mAnswerKeys->setSingleKey(QString::fromStdString(result->run.settings.singleKey));
            refreshView();
            analysis::TableAnalysisResult again = FiguresOnly(mWs, *mUi);
            if (again.outcome == core::Outcome::Done)
                showAnalysis(again.analysis);
        });
        return result;
    };
}

void MainWindow::summarizeRun(const scoring::ScoringResult& run) {
    analysis::forms::RunSummary summary;
    summary.table = mWs.TableName;
    summary.sheets = run.sheets;
    summary.statistics = run.statistics;
    // The run is done whatever the analysis finds: a table it cannot analyse
    // is said in the summary, not in an error box.
    try {
        analysis::TableAnalysisResult result = FiguresOnly(mWs, *mUi);
        if (result.outcome == core::Outcome::Done)
            summary.analysis = std::move(result.analysis);
    } catch (const std::exception& e) {
        summary.problem = e.what();
    }
    if (summary.analysis && mAnalysisWindow && mAnalysisWindow->isVisible())
        showAnalysis(*summary.analysis);
    showRunSummary(summary);
}

void MainWindow::showSummaryBox(const analysis::forms::RunSummary& summary) {
    if (!mRunSummary) {
        mRunSummary = new analysis::forms::RunSummaryDialog(this);
        mRunSummary->openAnalysis = [this](const analysis::ExamAnalysis& figures) {
            showAnalysis(figures);
        };
    }
    mRunSummary->setShell(mShell);
    mRunSummary->fill(summary);
    mRunSummary->show();
    mRunSummary->raise();
}

void MainWindow::hideOtherTablesAnalysis(bool hasRun) {
    if (mAnalysisWindow && (!hasRun || mAnalysisWindow->tableName() != mWs.TableName))
        mAnalysisWindow->hide();
    if (mRunSummary && (!hasRun || mRunSummary->tableName() != mWs.TableName))
        mRunSummary->hide();
}

} // namespace app::forms
