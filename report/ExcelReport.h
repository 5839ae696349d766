#pragma once

#include "core/Workspace.h"
#include "platform/automation/Automation.h"

#include <string>

namespace report {

// Opens an .xls in the spreadsheet application and formats its data rows
// (text format, thin borders, page footers, fitted columns), then copies the
// whole sheet. Throws AppError when the file is missing or the application
// cannot be started; returns false, after telling the application to quit,
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

// "生成报表": the exam number, answers and score of the view's rows to
// "test.xls" in the temporary folder, opened in the spreadsheet application;
// the view is put back as it was.
void ExportReport(core::Workspace& ws, const automation::Factory& spreadsheet);

} // namespace report
