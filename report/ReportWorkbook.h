#pragma once

#include "platform/db/Query.h"

#include <filesystem>

namespace report {

// Rows of an .xlsx worksheet, the header row included.
inline constexpr long long kWorkbookSheetRows = 1048576;

// Writes the rows of an open dataset straight to the formatted workbook the
// spreadsheet stand-in makes of the report's .xls, for a dataset too large
// for an .xls: every worksheet starts with the field names (plain), its data
// rows are text-formatted cells with thin lines on every side, the pages
// carry the report's footers and every column is as wide as its widest
// text. A worksheet holds `sheetRows` rows, header included; further rows go
// on the next worksheet ("Sheet2", ...) under the field names again.
//
// Rows stream to the file (the writer's constant-memory mode); the
// workbook is written under a temporary name and renamed when whole, so a
// failure leaves no file. The dataset is not owned; it is walked from its
// first row with its controls disabled. Returns the number of worksheets;
// throws std::runtime_error naming the file when it cannot be written.
int WriteReportWorkbook(db::Query& rows, const std::filesystem::path& file,
                        long long sheetRows = kWorkbookSheetRows);

} // namespace report
