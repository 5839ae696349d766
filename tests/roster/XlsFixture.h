#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

// Writes small Excel 97-2003 workbooks for the tests: BIFF8 records (shared
// strings, numbers, RK integers) in a compound document of 512-byte sectors,
// the workbook stream made at least 4096 bytes long so that it lives in
// ordinary sectors.
namespace testsupport {

struct RkInt {
    int value = 0;
};

// A blank, a text (UTF-8), a floating-point number or an RK integer.
using XlsCell = std::variant<std::monostate, std::string, double, RkInt>;

struct XlsSheet {
    std::string name;
    std::vector<std::vector<XlsCell>> rows;
};

void WriteXls(const std::filesystem::path& file, const std::vector<XlsSheet>& sheets);

} // namespace testsupport
