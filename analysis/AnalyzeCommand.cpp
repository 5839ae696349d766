#include "analysis/AnalyzeCommand.h"

#include "analysis/JsonReport.h"
#include "analysis/OutputFile.h"
#include "analysis/TableSheets.h"
#include "analysis/TextReport.h"
#include "analysis/Workbook.h"
#include "core/OpenTable.h"
#include "platform/text/Gbk.h"
#include "scoring/SheetScoring.h"

namespace analysis {
namespace {

// Typed points converted as the scoring run converts them.
using scoring::ParsedNumber;

double RequiredNumber(const std::string& typed, const std::string& what) {
    if (const auto v = ParsedNumber(typed))
        return *v;
    throw Error("上次评分的" + what + " '" + typed + "' 不是数字，无法分析。");
}

void WriteFiles(const core::Workspace& ws, const TableAnalysisSettings& settings,
                TableAnalysisResult& result) {
    if (settings.json)
        CheckNameFits(*settings.json);
    const AnalysisFiles files =
        WriteAnalysisFiles(result.analysis, ws.home(), ws.Fields.TextEncoding);
    result.report = files.report;
    result.workbook = files.workbook;
    if (settings.json) {
        WriteJson(result.analysis, *settings.json);
        result.json = settings.json;
    }
}

} // namespace

AnalysisFiles WriteAnalysisFiles(const ExamAnalysis& analysis, const std::filesystem::path& folder,
                                 text::Encoding encoding) {
    AnalysisFiles files{folder / ReportFileName(analysis.table),
                        folder / WorkbookFileName(analysis.table)};
    CheckNameFits(files.report);
    CheckNameFits(files.workbook);
    WriteTextReport(analysis, files.report, encoding);
    WriteWorkbook(analysis, files.workbook);
    return files;
}

RunDescription DescriptionOf(const scoring::RecordedRun& run) {
    const scoring::ScoringSettings& st = run.settings;
    RunDescription d;
    d.table = run.table;
    for (std::size_t i = 0; i < 4; ++i) {
        const double points = st.counts[i] > 0 ? RequiredNumber(st.points[i], "分值")
                                               : ParsedNumber(st.points[i]).value_or(0);
        d.segments.push_back({st.counts[i], static_cast<float>(points)});
    }
    d.singleKey = st.singleKey;
    d.multiCount = st.multiCount;
    const bool multi = st.multiCount > 0 && !text::Trim(st.multiKey).empty();
    d.full = multi ? RequiredNumber(st.full, "全对分数") : ParsedNumber(st.full).value_or(0);
    d.partial = ParsedNumber(st.partial).value_or(0);
    d.multiKey = st.multiKey;
    d.fullMatch = run.fullMatch;
    d.yuwenM = run.yuwenM;
    return d;
}

TableAnalysisResult AnalyzeTable(core::Workspace& ws, core::Ui& ui,
                                 const TableAnalysisSettings& settings) {
    TableAnalysisResult result;
    if (!ws.view.isOpen() || ws.TableName.empty()) {
        ui.message("请先打开卷面数据表DBF文件。", core::Title(ws), core::Icon::Information);
        return result;
    }
    if (const auto problem = CheckOptions(settings.options)) {
        ui.message(*problem, "试卷分析", core::Icon::Warning);
        return result;
    }
    const auto run = scoring::LastRun(ws.connection, ws.TableName);
    if (!run)
        throw Error(
            "表 " + ws.TableName +
            " 还没有评过分，找不到上次评分的答案和分值。请先评分（开始评分），再进行试卷分析。");
    const RunDescription description = DescriptionOf(*run);
    const QuestionPlan plan = PlanQuestions(description);
    TableSheets sheets(ws.connection,
                       FindSheetColumns(ws.connection, ws.TableName, ws.Fields.ID,
                                        ws.Fields.Content, plan.columnCount()),
                       ui);
    {
        core::ProgressEnd end(ui);
        result.analysis = Analyze(description, sheets, settings.options);
    }
    result.analysis.table = ws.TableName;
    if (settings.files)
        WriteFiles(ws, settings, result);
    result.outcome = core::Outcome::Done;
    return result;
}

} // namespace analysis
