#pragma once

#include "analysis/Analysis.h"
#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "scoring/RunLog.h"

#include <filesystem>
#include <optional>

// The exam-analysis command: the open table analysed from its last scoring
// run, written as 试卷分析_<表名>.txt and .xlsx in the program folder (and as
// JSON when asked).
namespace analysis {

struct TableAnalysisSettings {
    AnalysisOptions options;
    std::optional<std::filesystem::path> json; // also write the figures as JSON here
    bool files = true; // false: the figures only, no file written (the window shows them)
};

// The two reports of an analysis.
struct AnalysisFiles {
    std::filesystem::path report;   // 试卷分析_<表名>.txt
    std::filesystem::path workbook; // 试卷分析_<表名>.xlsx
};

// What the command did: stopped by a check's message, or done with the
// figures and the files it wrote.
struct TableAnalysisResult {
    core::Outcome outcome = core::Outcome::Stopped;
    ExamAnalysis analysis;
    std::filesystem::path report;              // 试卷分析_<表名>.txt
    std::filesystem::path workbook;            // 试卷分析_<表名>.xlsx
    std::optional<std::filesystem::path> json; // when asked for
};

// Writes the text report and the workbook of an analysis into `folder`, each
// whole or not at all, the report in `encoding`, and says where.
AnalysisFiles WriteAnalysisFiles(const ExamAnalysis& analysis, const std::filesystem::path& folder,
                                 text::Encoding encoding);

// Analyses the open table from its last run and writes its files unless
// the settings ask for the figures only. A closed view or options no one
// can mean end it with a message and a stopped outcome. Throws Error, before
// anything is written, for a table never scored (telling the user to score
// it first), a table that no longer fits the run (columns gone, contents too
// short) and a table without sheets; database errors as db::Error.
// The sheets of the open table the analysis of `run` reads, telling their
// two full walks through `ui`, each as half of the whole.
[[nodiscard]] scoring::TableSheets AnalysedSheets(core::Workspace& ws, core::Ui& ui,
                                                  const scoring::ExamRun& run);

TableAnalysisResult AnalyzeTable(core::Workspace& ws, core::Ui& ui,
                                 const TableAnalysisSettings& settings);

} // namespace analysis
