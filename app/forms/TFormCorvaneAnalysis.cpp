// The main window's analysis window, and the summary that follows a scoring
// run.
#include "app/forms/TFormCorvane.h"

#include "analysis/TableAnalysis.h"
#include "analysis/forms/TFormAnalysis.h"
#include "analysis/forms/TFormRunSummary.h"
#include "app/forms/Guard.h"

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
    if (!FormAnalysis)
        FormAnalysis = new analysis::forms::TFormAnalysis(this);
    FormAnalysis->setShell(mShell);
    FormAnalysis->Show(figures, mWs.home(), mWs.Fields.TextEncoding);
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
        FormRunSummary = new analysis::forms::TFormRunSummary(this);
        FormRunSummary->openAnalysis = [this](const analysis::ExamAnalysis& figures) {
            showAnalysis(figures);
        };
    }
    FormRunSummary->setShell(mShell);
    FormRunSummary->Fill(summary);
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
