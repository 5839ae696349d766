#pragma once

#include <xlsxwriter.h>

#include <filesystem>
#include <string>

namespace results {

// The workbook being written: libxlsxwriter in constant-memory mode, each
// worksheet's rows streamed to a temporary file in the destination folder,
// the whole written under a short temporary name beside it. commit() closes
// it and renames it into place; destroyed without commit(), it leaves
// nothing behind. Throws std::runtime_error ("文件名太长") when the file's
// name is longer than its folder allows.
class Book {
  public:
    // `large`: the worksheets may pass 4 GB of XML (ZIP64 container).
    Book(const std::filesystem::path& file, bool large);
    ~Book();
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    [[nodiscard]] lxw_workbook* get() const { return mBook; }
    [[nodiscard]] lxw_worksheet* addSheet(const std::string& name);
    [[nodiscard]] lxw_chart* addChart(lxw_chart_type type);

    // The shared cell formats.
    [[nodiscard]] lxw_format* header() const { return mHeader; }
    [[nodiscard]] lxw_format* percent() const { return mPercent; }
    [[nodiscard]] lxw_format* decimals() const { return mDecimals; }

    void commit();

  private:
    std::filesystem::path mFile;
    std::filesystem::path mPart;
    std::string mTempFolder;
    lxw_workbook* mBook = nullptr;
    lxw_format* mHeader = nullptr;
    lxw_format* mPercent = nullptr;
    lxw_format* mDecimals = nullptr;
};

// How a worksheet prints: landscape, one page wide, its first `headerRows`
// rows repeated on every page.
void PrintOnPages(lxw_worksheet* sheet, lxw_row_t headerRows);

// A page break before `row`, so that what starts there (a chart) prints
// whole on a page of its own.
void PageBreakBefore(lxw_worksheet* sheet, lxw_row_t row);

// libxlsxwriter's result, or std::runtime_error naming what failed.
void Check(lxw_error error, const char* what);

} // namespace results
