#pragma once

#include <cstdint>
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
enum class TextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Utf32Le, Utf32Be, Gb18030 };

// How a text file was decoded: its encoding, and the units that could not
// be decoded, each read as one U+FFFD where it stood.
struct TextDecoding {
    TextEncoding encoding = TextEncoding::Utf8;
    bool withoutMark = false; // UTF-16 or UTF-32 told without a byte-order mark
    std::size_t undecodable = 0;
    std::vector<std::size_t> undecodableLines; // the first few lines (1-based) with one
};

struct DecodedText : TextDecoding {
    std::string utf8;
};

// The encoding decided from the whole file, never from its name:
// - a byte-order mark tells UTF-8, UTF-16 or UTF-32;
// - without one, UTF-32 and UTF-16 are told by their zero bytes;
// - bytes that are well-formed UTF-8 are UTF-8;
// - bytes that are UTF-8 but for a few damaged places (at least three
//   well-formed multi-byte characters for each damaged unit) are UTF-8 with
//   those units as U+FFFD: GBK text is seldom well-formed UTF-8 even in
//   part, so one bad byte does not turn a UTF-8 file into GBK;
// - any other bytes are GB18030, the superset of GBK.
// A unit that cannot be decoded (a broken UTF-8 sequence, a surrogate
// without its partner, a GB18030 byte that starts no character) is one
// U+FFFD in its place; the unit after it is read afresh, so that no
// separator, quote or line end is taken into it. A file of zero bytes in no
// pattern of UTF-16 or UTF-32 is not text: roster::Error naming `name`.
[[nodiscard]] DecodedText DecodeText(std::string_view bytes, const std::string& name = {});

// "UTF-8", "UTF-16LE（无 BOM）", "GB18030", ... as the import's summary names it.
[[nodiscard]] std::string EncodingText(const TextDecoding& decoding);

// CSV as RFC 4180 writes it: fields in double quotes may hold separators,
// line breaks and doubled quotes; records end with CR LF, LF or CR. The
// separator is the one of comma, tab and semicolon that the first record
// holds most of (outside quotes), comma when it holds none. `name` is used
// in the error for a quote left open.
[[nodiscard]] TextRows ParseCsv(std::string_view utf8, const std::string& name);

struct CsvText {
    TextRows rows;
    TextDecoding decoding;
};
[[nodiscard]] CsvText ReadCsv(const std::filesystem::path& file);

// The cells of a workbook's sheet that hold anything, row by row: a cell far
// to the right costs no more than one at the left. Row i is row i + 1 of
// the sheet; cells are in column order.
struct Cell {
    std::uint32_t column = 0; // 0-based
    std::string text;
};
using CellRow = std::vector<Cell>;
using CellRows = std::vector<CellRow>;

// Rows of text cells from rows of cells, every column up to the last that
// holds anything.
[[nodiscard]] TextRows Dense(const CellRows& cells);

// .xlsx (libzip and expat): shared strings, inline strings, formula results
// and numbers. `sheet` names the worksheet; the first one when nullopt. The
// shared strings are bounded by the file's size, and a part larger than
// 512 MB unpacked is refused.
[[nodiscard]] CellRows ReadXlsx(const std::filesystem::path& file,
                                const std::optional<std::string>& sheet);
[[nodiscard]] std::vector<std::string> XlsxSheetNames(const std::filesystem::path& file);

// .xls, Excel 97-2003 (freexl). The size a sheet declares is not trusted
// beyond the limits of the format (65536 rows, 256 columns).
[[nodiscard]] CellRows ReadXls(const std::filesystem::path& file,
                               const std::optional<std::string>& sheet);
[[nodiscard]] std::vector<std::string> XlsSheetNames(const std::filesystem::path& file);

// A dBase table: the field names are the first row.
[[nodiscard]] TextRows ReadDbfList(const std::filesystem::path& file);

enum class ListFormat { Csv, Xls, Xlsx, Dbf };

// The format told by the file's first bytes (a zip is .xlsx, a compound
// document .xls), then by its extension (.dbf); any other file is CSV. A
// file named .xls or .xlsx that is neither is an error.
[[nodiscard]] ListFormat FormatOf(const std::filesystem::path& file);

// A class list as read: its rows, the sheets of a workbook, and how a text
// file was decoded.
struct ListRows {
    TextRows rows;
    std::vector<std::string> sheets;
    std::optional<TextDecoding> decoding;
};

// Reads any of the four in this process, every column. A sheet name given
// for a CSV or dBase file is an error: those have no sheets. The import and
// the mapping dialog read through ReadList (Import.h), which keeps the
// workbook libraries in a child process.
[[nodiscard]] ListRows ReadClassList(const std::filesystem::path& file,
                                     const std::optional<std::string>& sheet = std::nullopt);

// The sheet names of a workbook; none for a CSV or dBase file.
[[nodiscard]] std::vector<std::string> SheetNames(const std::filesystem::path& file);

// "学生名单 <file>: <problem>", the text of every reader's errors.
[[nodiscard]] std::string ListProblem(const std::filesystem::path& file, std::string_view problem);

} // namespace roster
