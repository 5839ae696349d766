#include "analysis/AnalyzeCommand.h"

#include "analysis/JsonReport.h"
#include "analysis/OutputFile.h"
#include "analysis/TextReport.h"
#include "analysis/Workbook.h"
#include "core/OpenTable.h"
#include "scoring/ExamRun.h"

namespace analysis {
namespace {

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

scoring::TableSheets AnalysedSheets(core::Workspace& ws, core::Ui& ui,
                                    const scoring::ExamRun& run) {
    scoring::TableSheets sheets(ws.connection,
                                scoring::FindSheetColumns(ws.connection, ws.TableName, ws.Fields.ID,
                                                          ws.Fields.Content, run));
    const std::int64_t count = sheets.sizeHint();
    sheets.onProgress([&ui, count](int walk, std::int64_t done) {
        const std::int64_t base = count * std::min(walk, 1);
        ui.progress("正在进行试卷分析", base + done, std::max(count * 2, base + done));
    });
    return sheets;
}

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
    const scoring::ExamRun accepted = scoring::AcceptedRun(*run);
    scoring::TableSheets sheets = AnalysedSheets(ws, ui, accepted);
    {
        core::ProgressEnd end(ui);
        result.analysis = Analyze(accepted, sheets, settings.options);
    }
    result.analysis.table = ws.TableName;
    if (settings.files)
        WriteFiles(ws, settings, result);
    result.outcome = core::Outcome::Done;
    return result;
}

} // namespace analysis
