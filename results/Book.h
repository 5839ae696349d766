#pragma once

#include "platform/xlsx/Workbook.h"

#include <filesystem>
#include <string>

namespace results {

// The results workbook being written: constant memory, each worksheet's
// rows streamed to a temporary file in the destination folder, the whole
// written under a short temporary name beside it, with the cell formats its
// sheets share. commit() renames it into place; destroyed without commit(),
// it leaves nothing behind. Throws std::runtime_error ("文件名太长") when the
// file's name is longer than its folder allows.
class Book {
  public:
    // `large`: the worksheets may pass 4 GB of XML (ZIP64 container).
    Book(const std::filesystem::path& file, bool large);

    [[nodiscard]] xlsx::Sheet addSheet(const std::string& name) { return mBook.addSheet(name); }
    [[nodiscard]] xlsx::Chart addChart(xlsx::ChartKind kind) { return mBook.addChart(kind); }

    // The shared cell formats.
    [[nodiscard]] xlsx::Format header() const { return mHeader; }
    [[nodiscard]] xlsx::Format percent() const { return mPercent; }
    [[nodiscard]] xlsx::Format decimals() const { return mDecimals; }

    void commit() { mBook.commit(); }

  private:
    xlsx::Workbook mBook;
    xlsx::Format mHeader;
    xlsx::Format mPercent;
    xlsx::Format mDecimals;
};

// How a worksheet prints: landscape, one page wide, its first `headerRows`
// rows repeated on every page.
void PrintOnPages(xlsx::Sheet& sheet, xlsx::Row headerRows);

} // namespace results
