#include "report/ReportWorkbook.h"

#include "platform/text/Gbk.h"
#include "platform/xlsx/Workbook.h"
#include "report/ExportExcel.h"

#include <algorithm>
#include <cstdio>
#include <optional>
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
    ReportBook(const std::filesystem::path& file, int columns)
        : mBook(file, {.constantMemory = true, .zip64 = false}), mColumns(columns) {
        mData = mBook.addFormat(xlsx::Style().numberFormat("@").box(xlsx::Line::Thin));
    }

    void startSheet(const db::Query& q) {
        finishSheet();
        mSheet = mBook.addSheet();
        mSheet->footer("&C第 &P 页，共 &N 页&R&D");
        mWidest.assign(static_cast<std::size_t>(mColumns), 1);
        mRow = 0;
        for (int c = 0; c < mColumns; ++c) {
            const CellValue name{CellValue::Text, 0, text::FromGbk(XlsText(q.field(c).name))};
            put(c, name, {});
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

    void commit() {
        finishSheet();
        mBook.commit();
    }

  private:
    void put(int col, const CellValue& v, xlsx::Format format) {
        const auto r = static_cast<xlsx::Row>(mRow);
        const auto c = static_cast<xlsx::Col>(col);
        if (v.kind == CellValue::Number)
            mSheet->number(r, c, v.number, format);
        else if (v.kind == CellValue::Text)
            mSheet->text(r, c, v.text, format);
        else if (!format.plain())
            mSheet->blank(r, c, format);
        auto& widest = mWidest[static_cast<std::size_t>(col)];
        widest = std::max(widest, WidthOf(v));
    }

    // Column widths are written with the worksheet's head when the workbook
    // closes, so they can follow its rows.
    void finishSheet() {
        if (!mSheet)
            return;
        for (int c = 0; c < mColumns; ++c)
            mSheet->columnWidth(static_cast<xlsx::Col>(c), static_cast<xlsx::Col>(c),
                                static_cast<double>(mWidest[static_cast<std::size_t>(c)]));
        mSheet.reset();
    }

    xlsx::Workbook mBook;
    int mColumns;
    xlsx::Format mData;
    std::optional<xlsx::Sheet> mSheet;
    std::vector<std::size_t> mWidest;
    long long mRow = 0;
    int mSheets = 0;
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
    ReportBook book(file, rows.fieldCount());
    ControlsOff off(rows);
    book.startSheet(rows);
    for (rows.first(); !rows.eof(); rows.next()) {
        if (book.row() == sheetRows)
            book.startSheet(rows);
        book.writeRow(rows);
    }
    book.commit();
    return book.sheets();
}

} // namespace report
