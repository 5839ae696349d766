#include "results/Book.h"

namespace results {

void PrintOnPages(xlsx::Sheet& sheet, xlsx::Row headerRows) {
    sheet.landscape();
    sheet.fitToPages(1, 0);
    if (headerRows > 0)
        sheet.repeatRows(0, headerRows - 1);
}

Book::Book(const std::filesystem::path& file, bool large)
    : mBook(file, {.constantMemory = true, .zip64 = large}) {
    mHeader =
        mBook.addFormat(xlsx::Style().bold().align(xlsx::Align::Center).bottom(xlsx::Line::Thin));
    mPercent = mBook.addFormat(xlsx::Style().numberFormat("0.00%"));
    mDecimals = mBook.addFormat(xlsx::Style().numberFormat("0.00"));
}

} // namespace results
