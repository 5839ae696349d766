#pragma once

#include "roster/Columns.h"
#include "roster/Lists.h"
#include "roster/Readers.h"

#include "platform/os/Confined.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Turning a class list into the rows of the table `ids`: the exam number,
// class, name and subject of every student, with the list's problems
// collected rather than hidden.
namespace roster {

enum class RowProblem {
    EmptyId,     // skipped
    DuplicateId, // skipped, the first row with the number kept
    DigitsLost,  // skipped: scientific notation that dropped digits
    NoClass,     // kept with an empty class
};

struct ImportProblem {
    RowProblem kind = RowProblem::EmptyId;
    std::size_t row = 0;      // 1-based, as the spreadsheet numbers it
    std::string id;           // the exam number (DuplicateId), or the cell as written (DigitsLost)
    std::size_t firstRow = 0; // DuplicateId: the row that was kept
};

struct ImportResult {
    Roster roster;
    TextRow headings;
    std::size_t headingRow = 0; // 1-based
    Columns columns;
    std::size_t studentRows = 0; // rows below the headings with any text
    std::size_t blankRows = 0;   // rows below the headings with none (ignored)
    std::vector<ImportProblem> problems;
    std::optional<TextDecoding> decoding; // a text file's

    [[nodiscard]] std::size_t count(RowProblem kind) const;
    [[nodiscard]] std::size_t taken() const { return roster.size(); }
    [[nodiscard]] std::size_t skipped() const { return studentRows - taken(); }
};

struct ImportOptions {
    std::optional<std::string> sheet; // workbooks only
    std::vector<ColumnMap> maps;
};

// The heading row is the first of the first ten rows with text in which an
// exam-number column is found (by a map or by its heading), so that a title
// row above the headings does no harm. Throws roster::Error naming `listName`
// when there is none, or when no student is left to import.
[[nodiscard]] ImportResult BuildRoster(const TextRows& rows, const std::vector<ColumnMap>& maps,
                                       const std::string& listName);

// What is read of a class list. An import keeps, below the rows where the
// headings are looked for, only the columns that the maps and the usual
// headings find there; a preview (previewRows > 0) keeps every column of
// those rows and of the `previewRows` rows after them, and nothing below.
struct ListRequest {
    std::optional<std::string> sheet; // workbooks only
    std::vector<ColumnMap> maps;
    std::size_t previewRows = 0;
};

// The rows of a sheet's cells that the request needs.
[[nodiscard]] TextRows RowsNeeded(const CellRows& cells, const ListRequest& request);

// Reads a class list in this process as the request asks.
[[nodiscard]] ListRows ReadListHere(const std::filesystem::path& file, const ListRequest& request);

// Reads a class list as the request asks; a workbook (.xls, .xlsx) is read
// in a child process (ReadConfined), a text file or dBase table here.
[[nodiscard]] ListRows ReadList(const std::filesystem::path& file, const ListRequest& request);

// The text of the error when a reader crashed or went past its limits.
[[nodiscard]] std::string DamagedOrTooLarge(const std::filesystem::path& file);

// Runs `read` in a child process limited to 512 MB and 60 s and passes back
// what it read. A roster::Error in the child is thrown again here; a crash,
// a limit or the time running out throws roster::Error with
// DamagedOrTooLarge(file). Every read of a workbook goes through it (tests
// give it readers that fail on purpose).
[[nodiscard]] ListRows ReadConfined(const std::filesystem::path& file,
                                    const std::function<ListRows()>& read,
                                    const os::ChildLimits& limits = {});

// Reads the file (ReadList) and builds its roster.
[[nodiscard]] ImportResult ImportClassList(const std::filesystem::path& file,
                                           const ImportOptions& options = {});

// What the import says when it is done: the columns it used, the rows it
// took and skipped and why, each problem with its rows.
[[nodiscard]] std::vector<std::string> ImportSummary(const ImportResult& result,
                                                     const std::string& listName);

} // namespace roster
