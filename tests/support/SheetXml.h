#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// One cell of a worksheet's XML as libxlsxwriter writes it: its reference
// ("B7"), its type attribute ("inlineStr", "str" or empty for a number),
// its style index and its value (inline text unescaped, or the number's text).
struct XlsxCell {
    std::string ref;
    std::string type;
    int style = 0;
    std::string value;
};

// The cells of a worksheet's XML in document order.
[[nodiscard]] std::vector<XlsxCell> SheetCells(const std::string& sheetXml);

// The cells by reference.
[[nodiscard]] std::map<std::string, XlsxCell> CellMap(const std::string& sheetXml);

// The worksheet names of an .xlsx, in tab order (xl/workbook.xml).
[[nodiscard]] std::vector<std::string> SheetNames(const std::filesystem::path& xlsx);

// The XML of the n-th worksheet (1-based), as libxlsxwriter names them in
// creation order; throws when it is missing.
[[nodiscard]] std::string SheetXml(const std::filesystem::path& xlsx, int n);

// "A1" style reference of a 0-based row and column.
[[nodiscard]] std::string CellRef(long long row, int col);

} // namespace testsupport
