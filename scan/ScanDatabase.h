#pragma once

#include "platform/db/Connection.h"
#include "scan/Layout.h"
#include "scan/PageReading.h"
#include "scan/ScanStack.h"

#include <filesystem>
#include <string>

// TABLE.scan.db, beside the answer table a scan wrote: the table's name and
// the SHA-256 of the .dbf, per page its source, layout, residual, threshold,
// status and reasons (and whether its bubbles showed two clear groups), per
// item (a template's fields for the CSV only too) its reading and doubts,
// per bubble its darkness and decision, so that the review can decide again
// without the images; and the review's own decisions (empty after a scan).
// Written under a temporary name beside it as the pages come, renamed into
// place by finish(); a scan that ends before leaves the old file as it was.
namespace scan {

// The format of the scan database this program writes and reads.
inline constexpr int kScanDatabaseFormat = 3;

// What the scan database keeps of the answer table written beside it.
struct TableFacts {
    std::string name;    // the table's name
    std::string dbfName; // its file's name
    std::string sha256;  // the digest of the .dbf as written
    std::string subject; // the Subject of every record
    int questions = 0;   // the Content field's width
    int idWidth = 1;     // the ID field's width
};

// The scan database of a table: "TABLE.scan.db" beside "TABLE.dbf".
[[nodiscard]] std::filesystem::path ScanDatabaseOf(const std::filesystem::path& dbf);

// How many review decisions an existing scan database holds (0 for a file
// that is missing or holds none).
[[nodiscard]] long long ReviewDecisions(const std::filesystem::path& file);

// The `index`th page of the input as read, stored in an open scan database:
// the page, its items, bubbles and pictures; with `replace`, what the
// database held of that page before goes.
void StorePage(db::Connection& c, std::size_t index, const PageReading& page, bool replace = false);
// Removes the items, bubbles and pictures kept of page `index`.
void ForgetPageItems(db::Connection& c, std::size_t index);

class ScanDatabaseWriter {
  public:
    explicit ScanDatabaseWriter(const std::filesystem::path& file);
    ~ScanDatabaseWriter();
    ScanDatabaseWriter(const ScanDatabaseWriter&) = delete;
    ScanDatabaseWriter& operator=(const ScanDatabaseWriter&) = delete;

    // The `index`th page of the input (counting from 0) as read.
    void addPage(std::size_t index, const PageReading& page);
    // The layouts the pages were read with, so that the review can frame
    // every bubble of a page without the layout files.
    void addLayouts(const std::vector<Layout>& layouts);
    // The statuses, reasons and records the whole stack decided, the
    // table's facts; then the file is renamed into place.
    void finish(const ScanStack& stack, const TableFacts& table);

  private:
    std::filesystem::path mFile;
    std::filesystem::path mTemp;
    db::Connection mDb;
    std::size_t mPending = 0;
    bool mFinished = false;
};

} // namespace scan
