#include "report/ReportWorkbook.h"

#include "platform/text/Gbk.h"
#include "platform/text/TemporaryName.h"
#include "report/ExportExcel.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace report {
namespace {

// A value as the .xls would have carried it to the spreadsheet: numbers as
// numbers, text through GBK and cut as a text cell cuts it, null as blank.
struct CellValue {
    enum Kind { Blank, Number, Text } kind = Blank;
    double number = 0;
    std::string text;
};

CellValue ValueOf(const db::Query& q, int field) {
    const db::Value v = q.value(field);
    if (db::IsNull(v))
        return {};
    switch (q.field(field).kind) {
    case db::FieldKind::SmallInt:
    case db::FieldKind::Integer:
        return {CellValue::Number, static_cast<double>(db::Query::ToInteger(v)), {}};
    case db::FieldKind::Float:
    case db::FieldKind::Currency:
    case db::FieldKind::Bcd:
        return {CellValue::Number, db::Query::ToFloat(v), {}};
    default:
        return {CellValue::Text, 0, text::FromGbk(XlsText(db::Query::ToText(v)))};
    }
}

// The width autofit gives a column for this cell: its shown text in GBK bytes.
std::size_t WidthOf(const CellValue& c) {
    if (c.kind == CellValue::Text)
        return text::GbkWidth(c.text);
    if (c.kind == CellValue::Number) {
        char buf[40];
        return static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%.15g", c.number));
    }
    return 0;
}

// Owns the workbook while it is written: one worksheet after another, the
// widths of the current one gathered as its rows go by.
class ReportBook {
  public:
    ReportBook(const std::filesystem::path& file, int columns) : mColumns(columns) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        mBook = workbook_new_opt(file.c_str(), &options);
        if (!mBook)
            throw std::runtime_error("不能创建 " + file.string());
        mData = workbook_add_format(mBook);
        format_set_num_format(mData, "@");
        format_set_left(mData, LXW_BORDER_THIN);
        format_set_right(mData, LXW_BORDER_THIN);
        format_set_top(mData, LXW_BORDER_THIN);
        format_set_bottom(mData, LXW_BORDER_THIN);
    }
    ~ReportBook() {
        if (mBook)
            workbook_close(mBook);
    }
    ReportBook(const ReportBook&) = delete;
    ReportBook& operator=(const ReportBook&) = delete;

    void startSheet(const db::Query& q) {
        finishSheet();
        mSheet = workbook_add_worksheet(mBook, nullptr);
        if (!mSheet)
            throw std::runtime_error("不能添加工作表");
        worksheet_set_footer(mSheet, "&C第 &P 页，共 &N 页&R&D");
        mWidest.assign(static_cast<std::size_t>(mColumns), 1);
        mRow = 0;
        for (int c = 0; c < mColumns; ++c) {
            const CellValue name{CellValue::Text, 0, text::FromGbk(XlsText(q.field(c).name))};
            put(c, name, nullptr);
        }
        ++mRow;
        ++mSheets;
    }

    void writeRow(const db::Query& q) {
        for (int c = 0; c < mColumns; ++c)
            put(c, ValueOf(q, c), mData);
        ++mRow;
    }

    [[nodiscard]] long long row() const { return mRow; }
    [[nodiscard]] int sheets() const { return mSheets; }

    void close(const std::filesystem::path& file) {
        finishSheet();
        lxw_workbook* book = mBook;
        mBook = nullptr;
        if (workbook_close(book) != LXW_NO_ERROR)
            throw std::runtime_error("不能写入 " + file.string());
    }

  private:
    void put(int col, const CellValue& v, lxw_format* format) {
        const auto r = static_cast<lxw_row_t>(mRow);
        const auto c = static_cast<lxw_col_t>(col);
        if (v.kind == CellValue::Number)
            worksheet_write_number(mSheet, r, c, v.number, format);
        else if (v.kind == CellValue::Text)
            worksheet_write_string(mSheet, r, c, v.text.c_str(), format);
        else if (format)
            worksheet_write_blank(mSheet, r, c, format);
        auto& widest = mWidest[static_cast<std::size_t>(col)];
        widest = std::max(widest, WidthOf(v));
    }

    // Column widths are written with the worksheet's head when the workbook
    // closes, so they can follow its rows.
    void finishSheet() {
        if (!mSheet)
            return;
        for (int c = 0; c < mColumns; ++c)
            worksheet_set_column(mSheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 static_cast<double>(mWidest[static_cast<std::size_t>(c)]),
                                 nullptr);
        mSheet = nullptr;
    }

    int mColumns;
    lxw_workbook* mBook = nullptr;
    lxw_format* mData = nullptr;
    lxw_worksheet* mSheet = nullptr;
    std::vector<std::size_t> mWidest;
    long long mRow = 0;
    int mSheets = 0;
};

// Removes the temporary file unless the workbook was renamed into place.
class PartFile {
  public:
    explicit PartFile(std::filesystem::path path) : mPath(std::move(path)) {}
    ~PartFile() {
        std::error_code ec;
        if (!mKept)
            std::filesystem::remove(mPath, ec);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return mPath; }
    void renameTo(const std::filesystem::path& file) {
        std::error_code ec;
        std::filesystem::rename(mPath, file, ec);
        if (ec)
            throw std::runtime_error("不能写入 " + file.string() + ": " + ec.message());
        mKept = true;
    }

  private:
    std::filesystem::path mPath;
    bool mKept = false;
};

// Disables the dataset's controls for the walk and enables them again.
class ControlsOff {
  public:
    explicit ControlsOff(db::Query& q) : mQuery(q) { mQuery.disableControls(); }
    ~ControlsOff() { mQuery.enableControls(); }
    ControlsOff(const ControlsOff&) = delete;
    ControlsOff& operator=(const ControlsOff&) = delete;

  private:
    db::Query& mQuery;
};

} // namespace

int WriteReportWorkbook(db::Query& rows, const std::filesystem::path& file, long long sheetRows) {
    if (sheetRows < 2)
        throw std::invalid_argument("a worksheet needs room for the header and a row");
    text::CheckNameFits(file);
    PartFile part(text::TemporaryBeside(file));
    int sheets = 0;
    {
        ControlsOff off(rows);
        ReportBook book(part.path(), rows.fieldCount());
        book.startSheet(rows);
        for (rows.first(); !rows.eof(); rows.next()) {
            if (book.row() == sheetRows)
                book.startSheet(rows);
            book.writeRow(rows);
        }
        sheets = book.sheets();
        book.close(file);
    }
    part.renameTo(file);
    return sheets;
}

} // namespace report
