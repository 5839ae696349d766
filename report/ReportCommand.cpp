#include "report/ReportCommand.h"

#include "platform/db/JetSql.h"

#include "core/AppError.h"
#include "platform/automation/Automation.h"
#include "platform/automation/SheetServer.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"
#include "report/ExportExcel.h"

#include <cstdio>
#include <filesystem>

namespace report {

using automation::Arg;
using automation::ObjectPtr;
// The spreadsheet's own constants.
using automation::xlColorIndexAutomatic;
using automation::xlContinuous;
using automation::xlDiagonalDown;
using automation::xlDiagonalUp;
using automation::xlEdgeBottom;
using automation::xlEdgeLeft;
using automation::xlEdgeRight;
using automation::xlEdgeTop;
using automation::xlInsideHorizontal;
using automation::xlInsideVertical;
using automation::xlLineStyleNone;
using automation::xlThin;

std::string DataRange(int rows, int columns) {
    return "a2:" + std::string(1, static_cast<char>('a' + columns - 1)) + std::to_string(rows + 1);
}

bool OpenExcelReport(const automation::Factory& spreadsheet, const std::string& fileName, int rows,
                     int columns) {
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec))
        throw core::AppError("文件不存在: " + fileName);
    ObjectPtr app;
    try {
        if (!spreadsheet)
            throw std::runtime_error("no spreadsheet application");
        app = spreadsheet();
    } catch (const std::exception&) {
        std::fprintf(stderr, "%s\n", NoSpreadsheetAdvice);
        throw NoSpreadsheet(
            "打开Excel时错误。报表功能需要安装Excel2000，如果已安装Excel2000则可能需要重新安装。");
    }
    auto none = std::vector<Arg>{};
    try {
        app->put("visible", true);
        app->get("WorkBooks", none)->call("Open", {fileName});
        ObjectPtr sheet = app->get("ActiveSheet", none);
        sheet->get("range", {DataRange(rows, columns)})->call("select", none);
        app->get("Selection", none)->put("NumberFormatLocal", std::string("@"));
        for (const std::int32_t diagonal : {xlDiagonalDown, xlDiagonalUp})
            app->get("selection", none)
                ->get("Borders", {diagonal})
                ->put("LineStyle", std::int32_t{xlLineStyleNone});
        for (const std::int32_t index : {xlEdgeLeft, xlEdgeTop, xlEdgeBottom, xlEdgeRight,
                                         xlInsideVertical, xlInsideHorizontal}) {
            app->get("Selection", none)
                ->get("Borders", {index})
                ->put("LineStyle", std::int32_t{xlContinuous});
            app->get("Selection", none)
                ->get("Borders", {index})
                ->put("Weight", std::int32_t{xlThin});
            app->get("Selection", none)
                ->get("Borders", {index})
                ->put("ColorIndex", std::int32_t{xlColorIndexAutomatic});
        }
        sheet->get("PageSetup", none)->put("CenterFooter", std::string("第 &P 页，共 &N 页"));
        sheet->get("PageSetup", none)->put("RightFooter", std::string("&D"));
        for (int i = 0; i < columns; ++i) {
            const std::string letter(1, static_cast<char>('a' + i));
            sheet->get("Columns", {letter + ":" + letter})
                ->get("EntireColumn", none)
                ->call("AutoFit", none);
        }
        sheet->get("Cells", none)->call("Select", none);
        app->get("Selection", none)->call("Copy", none);
    } catch (const std::exception&) {
        try {
            app->call("quit", none);
        } catch (const std::exception&) {
        }
        app.reset();
        return false;
    }
    return true;
}

std::string ReportQuery(const std::string& sql, const std::string& id, const std::string& content,
                        const std::string& score) {
    std::size_t p = text::Lower(sql).find("from ");
    if (p == std::string::npos)
        return sql;
    using db::jet::Bracket;
    return "SELECT " + Bracket(id) + ", " + Bracket(content) + ", " + Bracket(score) + " " +
           sql.substr(p);
}

namespace {

// Puts the table view back to its own text, also when the report fails.
class ViewRestorer {
  public:
    explicit ViewRestorer(db::Query& view) : mView(view), mSaved(view.sqlText()) {}
    ~ViewRestorer() {
        try {
            mView.close();
            mView.setSql(mSaved);
            mView.open();
        } catch (const std::exception&) {
            // The report's own error is the one to show.
        }
    }
    ViewRestorer(const ViewRestorer&) = delete;
    ViewRestorer& operator=(const ViewRestorer&) = delete;
    [[nodiscard]] const std::string& saved() const { return mSaved; }

  private:
    db::Query& mView;
    std::string mSaved;
};

// The rows do not fit an .xls: the workbook the spreadsheet would have made
// of it, written from the rows themselves.
ReportResult WorkbookInsteadOfXls(db::Query& rows, const std::string& xls,
                                  const ReportLimits& limits) {
    ReportResult result;
    result.file = automation::WorkbookPathFor(xls);
    result.workbook = result.file;
    const int sheets = WriteReportWorkbook(rows, result.file, limits.workbookSheetRows);
    result.notice = "报表有 " + std::to_string(rows.recordCount()) +
                    " 行数据，加上字段名行超过 .xls 文件最多 " + std::to_string(limits.xlsRows) +
                    " 行的限制，已直接写成 " + result.file.string() + "（" +
                    std::to_string(sheets) + " 个工作表，每个工作表最多 " +
                    std::to_string(limits.workbookSheetRows) +
                    " 行，首行都是字段名），没有复制到剪贴板。";
    return result;
}

// The workbook the spreadsheet made of the .xls just written: its .xlsx
// when that is no older than the .xls (an earlier report's is), else the .xls.
std::filesystem::path FormattedWorkbook(const std::filesystem::path& xls) {
    const std::filesystem::path xlsx = automation::WorkbookPathFor(xls.string());
    std::error_code ec, ecXls;
    const auto formatted = std::filesystem::last_write_time(xlsx, ec);
    const auto written = std::filesystem::last_write_time(xls, ecXls);
    return !ec && !ecXls && std::filesystem::is_regular_file(xlsx, ec) && formatted >= written
               ? xlsx
               : xls;
}

} // namespace

ReportResult ExportReport(core::Workspace& ws, const automation::Factory& spreadsheet,
                          const ReportLimits& limits) {
    db::Query& v = ws.view;
    if (!v.isOpen())
        throw core::AppError("生成报表时错误，数据表不在打开状态。");
    if (v.recordCount() == 0)
        throw core::AppError("生成报表失败。当前零条记录。");
    const std::string file = (os::ProcessTempFolder() / "test.xls").string();
    ViewRestorer restore(v);
    v.close();
    v.setSql(ReportQuery(restore.saved(), ws.Fields.ID, ws.Fields.Content, ws.Fields.Score));
    v.open();
    TDS2Excel xls(v, limits.xlsRows);
    if (!xls.Fits(true))
        return WorkbookInsteadOfXls(v, file, limits);
    const int rows = v.recordCount();
    const int columns = v.fieldCount();
    xls.SaveToFile(file, true);
    OpenExcelReport(spreadsheet, file, rows, columns);
    return {file, FormattedWorkbook(file), {}};
}

} // namespace report
