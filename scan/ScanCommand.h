#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/db/DbfWriter.h"
#include "scan/Layout.h"
#include "scan/Reader.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The scan: a stack of scanned or photographed answer sheets read into the
// answer table an optical mark reader writes (TABLE.dbf), with beside it
// what the review needs (TABLE.scan.db), the scan log 扫描记录_<表名>.txt
// in the home folder and, when asked, a CSV of every page.
namespace scan {

struct ScanSettings {
    std::vector<std::filesystem::path> inputs; // image files, PDFs, folders
    std::filesystem::path layout;              // a layout file or a folder of them
    std::filesystem::path out;                 // TABLE.dbf
    std::string subject;                       // the Subject field of every record
    std::filesystem::path csv;                 // empty: no CSV
    int jobs = 0;                              // workers; 0: one per core
    std::string idLabel; // a bubble template's custom label of the exam number; empty: its own
};

// How far a scan has come; `secondsLeft` is negative while unknown.
// `pagesTotal` is the input's page count as far as known: exact once every
// input file was opened (`totalKnown`), else guessed from the files opened.
struct ScanProgress {
    std::size_t pages = 0;
    std::size_t pagesTotal = 0;
    bool totalKnown = false;
    std::size_t files = 0, filesTotal = 0;
    double pagesPerSecond = 0;
    double secondsLeft = -1;
};

// Called on the scan's thread after each page; false cancels the scan,
// which then writes nothing.
using ScanProgressFn = std::function<bool(const ScanProgress&)>;

struct ScanResult {
    core::Outcome outcome = core::Outcome::Done;
    std::size_t pages = 0, ok = 0, review = 0, blank = 0, duplicates = 0, failed = 0;
    std::size_t records = 0;
    std::filesystem::path table; // the .dbf written
    std::vector<std::filesystem::path> written;
    // A line per page not read, naming the file, the page and the problem;
    // also a line for a refusal that stopped the scan before any page.
    std::vector<std::string> problems;
};

// Where the pages come from and how each is read: the reader over the input
// files, or readings a test makes.
struct PageFeed {
    std::function<std::optional<PageData>()> next;
    std::function<PageReading(const PageData&)> read;
    std::size_t files = 0; // how many input files `next` walks, for the progress
    // The input file a page came from: counting the files done.
    std::function<std::size_t()> filesDone;
    // How many pages `next` has given so far; none: one page per file.
    std::function<std::size_t()> pagesGiven;
};

// Reads the inputs with the layouts of `settings.layout` and writes the
// table, the scan database, the log and the CSV. Refused before any page is
// read (a message, Stopped): a field name of config.ini that a dBase table
// cannot hold, a layout that does not load, and the replacement of a scan
// database holding review decisions when the question is answered No.
// Throws for an input that does not exist and for a file that cannot be
// written.
[[nodiscard]] ScanResult RunScan(core::Workspace& ws, const ScanSettings& settings, core::Ui& ui,
                                 const ScanProgressFn& progress = {});

// RunScan over pages from `feed`, read with `layouts`.
[[nodiscard]] ScanResult ScanPages(core::Workspace& ws, const ScanSettings& settings,
                                   const std::vector<Layout>& layouts, PageFeed feed, core::Ui& ui,
                                   const ScanProgressFn& progress = {});

// Why config.ini's field names cannot name the table's fields; empty when
// they can.
[[nodiscard]] std::string FieldNamesProblem(const core::FieldSettings& fields);

// The fields of the answer table: config.ini's five and SOURCE.
[[nodiscard]] std::vector<db::DbfFieldSpec> AnswerTableFields(const core::FieldSettings& fields,
                                                              int idWidth, int questions);

// The SHA-256 of a file, in hex. Throws std::runtime_error naming the file.
[[nodiscard]] std::string Sha256Of(const std::filesystem::path& file);

// The scan log's name for a table: 扫描记录_<表名>.txt.
[[nodiscard]] std::string ScanLogName(const std::filesystem::path& table);

// One CSV field, quoted when it holds a comma, a quote or a line break.
[[nodiscard]] std::string CsvField(const std::string& text);

} // namespace scan
