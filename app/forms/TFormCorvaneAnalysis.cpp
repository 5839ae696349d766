// The main window's analysis window, and the summary that follows a scoring
// run.
#include "app/forms/TFormCorvane.h"

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

void TFormCorvane::nAnalysisClick() {
    Guarded(this, [&] {
        analysis::TableAnalysisResult result = FiguresOnly(mWs, *mUi);
        if (result.outcome == core::Outcome::Done)
            showAnalysis(result.analysis);
    });
}

void TFormCorvane::showAnalysis(const analysis::ExamAnalysis& figures) {
    if (!FormAnalysis) {
        FormAnalysis = new analysis::forms::AnalysisWindow(this);
        wireRekey();
    }
    FormAnalysis->setShell(mShell);
    FormAnalysis->showAnalysis(figures, mWs.home(), mWs.Fields.TextEncoding);
}

// The preview and the correction run in the analysis window's error guard,
// so that a refusal is said over that window. After a correction the key
// field shows the corrected key, the grid the new points and the window the
// new analysis, with the same question selected.
void TFormCorvane::wireRekey() {
    FormAnalysis->previewRekey = [this](const analysis::RekeyRequest& request) {
        std::optional<analysis::RekeyPreview> preview;
        Guarded(FormAnalysis, [&] {
            BusyCursor busy;
            preview = analysis::PreviewRekey(mWs, *mUi, request);
        });
        return preview;
    };
    FormAnalysis->applyRekey = [this](const analysis::RekeyRequest& request) {
        std::optional<analysis::RekeyResult> result;
        Guarded(FormAnalysis, [&] {
            BusyCursor busy;
            result = analysis::ApplyRekey(mWs, *mUi, request);
            if (result->unchanged)
                return;
            Panels->setSingleKey(QString::fromStdString(result->run.settings.singleKey));
            refreshView();
            analysis::TableAnalysisResult again = FiguresOnly(mWs, *mUi);
            if (again.outcome == core::Outcome::Done)
                showAnalysis(again.analysis);
        });
        return result;
    };
}

void TFormCorvane::summarizeRun(const scoring::ScoringResult& run) {
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
    if (summary.analysis && FormAnalysis && FormAnalysis->isVisible())
        showAnalysis(*summary.analysis);
    showRunSummary(summary);
}

void TFormCorvane::showSummaryBox(const analysis::forms::RunSummary& summary) {
    if (!FormRunSummary) {
        FormRunSummary = new analysis::forms::RunSummaryDialog(this);
        FormRunSummary->openAnalysis = [this](const analysis::ExamAnalysis& figures) {
            showAnalysis(figures);
        };
    }
    FormRunSummary->setShell(mShell);
    FormRunSummary->fill(summary);
    FormRunSummary->show();
    FormRunSummary->raise();
}

void TFormCorvane::hideOtherTablesAnalysis(bool hasRun) {
    if (FormAnalysis && (!hasRun || FormAnalysis->tableName() != mWs.TableName))
        FormAnalysis->hide();
    if (FormRunSummary && (!hasRun || FormRunSummary->tableName() != mWs.TableName))
        FormRunSummary->hide();
}

} // namespace app::forms
