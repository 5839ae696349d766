#pragma once

#include "report/ReportCommand.h"

#include <filesystem>
#include <string>

// What the report says when it ends, and the copy of its workbook the user
// keeps: test.xls and test.xlsx live in the program's own temporary folder,
// where the next report overwrites them.
namespace report {

// The message that ends the report: the workbook written (and the .xls it
// was formatted from), the result's notice when it has one, and that the
// next report overwrites it.
[[nodiscard]] std::string ClosingText(const ReportResult& written);

// The name a kept copy of the workbook gets: "<table>_成绩" with the
// workbook's own extension (.xlsx for the formatted workbook, .xls when only
// the .xls was written), so that the name never belies the content.
[[nodiscard]] std::string CopyName(const std::string& table, const std::filesystem::path& workbook);

// The command line's closing notice: ClosingText and how to keep a copy,
// with the copy's name in `folder`.
[[nodiscard]] std::string ClosingNotice(const ReportResult& written, const std::string& table,
                                        const std::filesystem::path& folder);

// Copies the workbook to `target`, replacing a file of that name, whole or
// not at all. Throws core::AppError naming both files and the reason.
void SaveCopy(const std::filesystem::path& workbook, const std::filesystem::path& target);

} // namespace report
