#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Readers of class lists: each gives the rows of one sheet as UTF-8 text
// cells, as a teacher reads them (number cells written by FormatNumber, text
// cells as stored). Rows keep their places: row i of the result is row i + 1
// of the sheet, blank rows included, so that problems can name the row.
// A file that cannot be read throws roster::Error naming the file.
namespace roster {

using TextRow = std::vector<std::string>;
using TextRows = std::vector<TextRow>;

// Which text encoding a CSV file was decoded from.
enum class TextEncoding { Utf8, Utf8Bom, Utf16, Gbk };

struct DecodedText {
    std::string utf8;
    TextEncoding encoding = TextEncoding::Utf8;
};

// UTF-8 (with its byte-order mark removed) when the bytes are valid UTF-8,
// UTF-16 when they start with its byte-order mark (a spreadsheet's "Unicode
// text"), GBK otherwise. The extension of the file plays no part.
[[nodiscard]] DecodedText DecodeText(std::string_view bytes);

// CSV as RFC 4180 writes it: fields in double quotes may hold separators,
// line breaks and doubled quotes; records end with CR LF, LF or CR. The
// separator is the one of comma, tab and semicolon that the first record
// holds most of (outside quotes), comma when it holds none. `name` is used
// in the error for a quote left open.
[[nodiscard]] TextRows ParseCsv(std::string_view utf8, const std::string& name);

[[nodiscard]] TextRows ReadCsv(const std::filesystem::path& file);

// .xlsx (libzip and expat): shared strings, inline strings, formula results
// and numbers. `sheet` names the worksheet; the first one when nullopt.
[[nodiscard]] TextRows ReadXlsx(const std::filesystem::path& file,
                                const std::optional<std::string>& sheet);
[[nodiscard]] std::vector<std::string> XlsxSheetNames(const std::filesystem::path& file);

// .xls, Excel 97-2003 (freexl).
[[nodiscard]] TextRows ReadXls(const std::filesystem::path& file,
                               const std::optional<std::string>& sheet);
[[nodiscard]] std::vector<std::string> XlsSheetNames(const std::filesystem::path& file);

// A dBase table: the field names are the first row.
[[nodiscard]] TextRows ReadDbfList(const std::filesystem::path& file);

enum class ListFormat { Csv, Xls, Xlsx, Dbf };

// The format told by the file's first bytes (a zip is .xlsx, a compound
// document .xls), then by its extension (.dbf); any other file is CSV. A
// file named .xls or .xlsx that is neither is an error.
[[nodiscard]] ListFormat FormatOf(const std::filesystem::path& file);

// Reads any of the four. A sheet name given for a CSV or dBase file is an
// error: those have no sheets.
[[nodiscard]] TextRows ReadClassList(const std::filesystem::path& file,
                                     const std::optional<std::string>& sheet = std::nullopt);

// "学生名单 <file>: <problem>", the text of every reader's errors.
[[nodiscard]] std::string ListProblem(const std::filesystem::path& file, std::string_view problem);

} // namespace roster
