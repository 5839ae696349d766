#include "results/Book.h"

#include "platform/text/TemporaryName.h"

#include <stdexcept>

namespace results {
namespace {

// The name the workbook is written under until commit(); the final name is
// checked first, so that a name too long fails before any work is done.
std::filesystem::path TemporaryFor(const std::filesystem::path& file) {
    text::CheckNameFits(file);
    return text::TemporaryBeside(file);
}

} // namespace

void Check(lxw_error error, const char* what) {
    if (error != LXW_NO_ERROR)
        throw std::runtime_error(std::string(what) + ": " + lxw_strerror(error));
}

void PrintOnPages(lxw_worksheet* sheet, lxw_row_t headerRows) {
    worksheet_set_landscape(sheet);
    worksheet_fit_to_pages(sheet, 1, 0);
    if (headerRows > 0)
        Check(worksheet_repeat_rows(sheet, 0, headerRows - 1), "repeated rows");
}

void PageBreakBefore(lxw_worksheet* sheet, lxw_row_t row) {
    lxw_row_t breaks[] = {row, 0};
    Check(worksheet_set_h_pagebreaks(sheet, breaks), "page break");
}

Book::Book(const std::filesystem::path& file, bool large) : mFile(file), mPart(TemporaryFor(file)) {
    mTempFolder = file.parent_path().empty() ? "." : file.parent_path().string();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = mTempFolder.data();
    options.use_zip64 = large ? LXW_TRUE : LXW_FALSE;
    mBook = workbook_new_opt(mPart.c_str(), &options);
    if (!mBook)
        throw std::runtime_error("不能创建 " + mFile.string() + " 的临时文件 " + mPart.string());
    mHeader = workbook_add_format(mBook);
    format_set_bold(mHeader);
    format_set_align(mHeader, LXW_ALIGN_CENTER);
    format_set_bottom(mHeader, LXW_BORDER_THIN);
    mPercent = workbook_add_format(mBook);
    format_set_num_format(mPercent, "0.00%");
    mDecimals = workbook_add_format(mBook);
    format_set_num_format(mDecimals, "0.00");
}

Book::~Book() {
    if (!mBook)
        return;
    // Closing writes the file; a failed workbook must not stay as one.
    workbook_close(mBook);
    std::error_code ec;
    std::filesystem::remove(mPart, ec);
}

lxw_worksheet* Book::addSheet(const std::string& name) {
    lxw_worksheet* sheet = workbook_add_worksheet(mBook, name.c_str());
    if (!sheet)
        throw std::runtime_error("不能添加工作表 " + name);
    return sheet;
}

lxw_chart* Book::addChart(lxw_chart_type type) {
    lxw_chart* chart = workbook_add_chart(mBook, static_cast<uint8_t>(type));
    if (!chart)
        throw std::runtime_error("不能添加图表");
    return chart;
}

void Book::commit() {
    lxw_workbook* book = mBook;
    mBook = nullptr;
    const lxw_error closed = workbook_close(book);
    std::error_code ec;
    if (closed != LXW_NO_ERROR) {
        std::filesystem::remove(mPart, ec);
        throw std::runtime_error("不能写入 " + mFile.string() + ": " + lxw_strerror(closed));
    }
    std::filesystem::rename(mPart, mFile, ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(mPart, ec);
        throw std::runtime_error("不能写入 " + mFile.string() + ": " + why);
    }
}

} // namespace results
