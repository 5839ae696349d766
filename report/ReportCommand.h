#pragma once

#include "core/AppError.h"
#include "core/Workspace.h"
#include "platform/automation/Automation.h"
#include "report/ExportExcel.h"
#include "report/ReportWorkbook.h"

#include <filesystem>
#include <string>

namespace report {

// No spreadsheet application could be started: the error keeps the
// application's own message; what the user can do instead is
// NoSpreadsheetAdvice, which also goes to standard error.
class NoSpreadsheet : public core::AppError {
  public:
    using core::AppError::AppError;
};

inline constexpr const char* NoSpreadsheetAdvice =
    "没有能打开报表的电子表格程序。在 Linux 上可以安装 LibreOffice Calc（软件包 "
    "libreoffice-calc），或者用其他程序打开结束提示中给出的 .xlsx 文件。";

// Opens an .xls in the spreadsheet application and formats its data rows
// (text format, thin borders, page footers, fitted columns), then copies the
// whole sheet. Throws AppError when the file is missing, NoSpreadsheet when
// the application cannot be started; returns false, after telling the application to quit,
// when it rejects a step.
// The application comes from `spreadsheet`; an empty factory is an
// application that cannot be started.
bool OpenExcelReport(const automation::Factory& spreadsheet, const std::string& fileName, int rows,
                     int columns);

// The data-range text: "a2:" + the last column's letter + (rows + 1).
[[nodiscard]] std::string DataRange(int rows, int columns);

// The report query: the view's text from its first "from " on, behind
// "SELECT <ID>, <Content>, <Score> "; the text itself when it has no "from ".
[[nodiscard]] std::string ReportQuery(const std::string& sql, const std::string& id,
                                      const std::string& content, const std::string& score);

// How many rows each kind of worksheet holds, header rows included.
struct ReportLimits {
    long long xlsRows = TDS2Excel::kRowLimit;
    long long workbookSheetRows = kWorkbookSheetRows;
};

// What the report wrote.
struct ReportResult {
    std::filesystem::path file; // test.xls, or test.xlsx when the rows do not fit an .xls
    // The workbook the user goes on with: the formatted test.xlsx the
    // spreadsheet made of test.xls, or `file` when it made none.
    std::filesystem::path workbook;
    std::string notice; // for the user when the report took the other way; else empty
};

// "生成报表": the exam number, answers and score of the view's rows to
// "test.xls" in this process's own temporary folder (os::ProcessTempFolder),
// opened in the spreadsheet application;
// the view is put back as it was. When the rows do not fit an .xls they go
// straight to the formatted "test.xlsx" beside it instead (every row, on as
// many worksheets as they need), which the front end hands to the desktop as
// the spreadsheet would; the result's notice says so.
ReportResult ExportReport(core::Workspace& ws, const automation::Factory& spreadsheet,
                          const ReportLimits& limits = {});

} // namespace report
