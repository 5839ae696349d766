#include "platform/xlsx/Workbook.h"

#include "platform/text/TemporaryName.h"

#include <xlsxwriter.h>

#include <cstdio>
#include <system_error>

namespace xlsx {
namespace {

// libxlsxwriter's result, or Error naming what failed.
void Check(lxw_error error, const std::string& what) {
    if (error != LXW_NO_ERROR)
        throw Error(what + ": " + lxw_strerror(error), lxw_strerror(error));
}

uint8_t LibraryLine(Line line) {
    switch (line) {
    case Line::None:
        return LXW_BORDER_NONE;
    case Line::Hair:
        return LXW_BORDER_HAIR;
    case Line::Thin:
        return LXW_BORDER_THIN;
    case Line::Dashed:
        return LXW_BORDER_DASHED;
    case Line::Medium:
        return LXW_BORDER_MEDIUM;
    case Line::Thick:
        return LXW_BORDER_THICK;
    }
    return LXW_BORDER_NONE;
}

uint8_t LibraryAlign(Align align) {
    switch (align) {
    case Align::General:
        return LXW_ALIGN_NONE;
    case Align::Left:
        return LXW_ALIGN_LEFT;
    case Align::Center:
        return LXW_ALIGN_CENTER;
    case Align::Right:
        return LXW_ALIGN_RIGHT;
    }
    return LXW_ALIGN_NONE;
}

uint8_t LibraryChart(ChartKind kind) {
    switch (kind) {
    case ChartKind::Column:
        return LXW_CHART_COLUMN;
    case ChartKind::StackedColumn:
        return LXW_CHART_COLUMN_STACKED;
    case ChartKind::Scatter:
        return LXW_CHART_SCATTER;
    }
    return LXW_CHART_COLUMN;
}

// The name the workbook is written under until commit(); the final name is
// checked first, so that a name too long fails before any work is done.
std::filesystem::path TemporaryFor(const std::filesystem::path& file) {
    try {
        text::CheckNameFits(file);
    } catch (const std::runtime_error& e) {
        throw Error(e.what(), "");
    }
    return text::TemporaryBeside(file);
}

// The workbook without writing it: the rows a worksheet has spilled to its
// temporary file are let go with it.
void Discard(lxw_workbook* book) {
    lxw_worksheet* sheet = nullptr;
    STAILQ_FOREACH(sheet, book->worksheets, list_pointers) {
        if (sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(book);
}

} // namespace

void Series::categories(const Range& c) {
    chart_series_set_categories(mSeries, c.sheet.c_str(), c.firstRow, c.firstCol, c.lastRow,
                                c.lastCol);
}

void Series::values(const Range& c) {
    chart_series_set_values(mSeries, c.sheet.c_str(), c.firstRow, c.firstCol, c.lastRow, c.lastCol);
}

void Series::name(const std::string& name) {
    chart_series_set_name(mSeries, name.c_str());
}

void Series::nameFrom(const std::string& sheet, Row row, Col col) {
    chart_series_set_name_range(mSeries, sheet.c_str(), row, col);
}

void Series::marker(Marker marker) {
    switch (marker) {
    case Marker::Circle:
        chart_series_set_marker_type(mSeries, LXW_CHART_MARKER_CIRCLE);
        break;
    }
}

void Series::hide() {
    lxw_chart_fill none{};
    none.none = LXW_TRUE;
    chart_series_set_fill(mSeries, &none);
    lxw_chart_line noLine{};
    noLine.none = LXW_TRUE;
    chart_series_set_line(mSeries, &noLine);
}

void Series::linearTrend(const std::string& name, std::uint32_t colour, double width) {
    chart_series_set_trendline(mSeries, LXW_CHART_TRENDLINE_TYPE_LINEAR, 0);
    chart_series_set_trendline_name(mSeries, name.c_str());
    lxw_chart_line line{};
    line.color = colour;
    line.width = static_cast<float>(width);
    chart_series_set_trendline_line(mSeries, &line);
}

Series Chart::addSeries() {
    lxw_chart_series* series = chart_add_series(mChart, nullptr, nullptr);
    if (!series)
        throw Error("不能添加图表系列", "");
    return Series(series);
}

void Chart::title(const std::string& title) {
    chart_title_set_name(mChart, title.c_str());
}

void Chart::axisName(Axis axis, const std::string& name) {
    chart_axis_set_name(axis == Axis::X ? mChart->x_axis : mChart->y_axis, name.c_str());
}

void Chart::axisRange(Axis axis, double min, double max) {
    lxw_chart_axis* a = axis == Axis::X ? mChart->x_axis : mChart->y_axis;
    chart_axis_set_min(a, min);
    chart_axis_set_max(a, max);
}

void Chart::reverseCategories() {
    chart_axis_set_reverse(mChart->x_axis);
    chart_axis_set_crossing_max(mChart->x_axis);
}

void Chart::noLegend() {
    chart_legend_set_position(mChart, LXW_CHART_LEGEND_NONE);
}

void Chart::leaveOutOfLegend(const std::vector<std::int16_t>& series) {
    std::vector<int16_t> ended(series.begin(), series.end());
    ended.push_back(-1);
    Check(chart_legend_delete_series(mChart, ended.data()), "legend");
}

void Chart::seriesOverlap(std::int8_t overlap) {
    chart_set_series_overlap(mChart, overlap);
}

void Sheet::number(Row row, Col col, double value, Format format) {
    Check(worksheet_write_number(mSheet, row, col, value, format.mFormat), "cell");
}

void Sheet::text(Row row, Col col, const char* value, Format format) {
    Check(worksheet_write_string(mSheet, row, col, value, format.mFormat), "cell");
}

void Sheet::blank(Row row, Col col, Format format) {
    Check(worksheet_write_blank(mSheet, row, col, format.mFormat), "cell");
}

void Sheet::columnWidth(Col first, Col last, double width) {
    Check(worksheet_set_column(mSheet, first, last, width, nullptr), "column width");
}

void Sheet::freeze(Row rows, Col cols) {
    worksheet_freeze_panes(mSheet, rows, cols);
}

void Sheet::autofilter(Row firstRow, Col firstCol, Row lastRow, Col lastCol) {
    Check(worksheet_autofilter(mSheet, firstRow, firstCol, lastRow, lastCol), "autofilter");
}

void Sheet::colourScale(Row firstRow, Col firstCol, Row lastRow, Col lastCol) {
    lxw_conditional_format scale{};
    scale.type = LXW_CONDITIONAL_3_COLOR_SCALE;
    Check(worksheet_conditional_format_range(mSheet, firstRow, firstCol, lastRow, lastCol, &scale),
          "colour scale");
}

void Sheet::insertChart(Row row, Col col, const Chart& chart) {
    Check(worksheet_insert_chart(mSheet, row, col, chart.mChart), "chart");
}

void Sheet::landscape() {
    worksheet_set_landscape(mSheet);
}

void Sheet::paper(Paper paper) {
    worksheet_set_paper(mSheet, static_cast<uint8_t>(paper));
}

void Sheet::fitToPages(std::uint16_t wide, std::uint16_t high) {
    worksheet_fit_to_pages(mSheet, wide, high);
}

void Sheet::printArea(Row firstRow, Col firstCol, Row lastRow, Col lastCol) {
    Check(worksheet_print_area(mSheet, firstRow, firstCol, lastRow, lastCol), "print area");
}

void Sheet::repeatRows(Row first, Row last) {
    Check(worksheet_repeat_rows(mSheet, first, last), "repeated rows");
}

void Sheet::pageBreakBefore(Row row) {
    lxw_row_t breaks[] = {row, 0};
    Check(worksheet_set_h_pagebreaks(mSheet, breaks), "page break");
}

void Sheet::footer(const std::string& footer) {
    Check(worksheet_set_footer(mSheet, footer.c_str()), "footer");
}

Workbook::Workbook(const std::filesystem::path& file, Options options)
    : mFile(file), mPart(TemporaryFor(file)) {
    mTempFolder = file.parent_path().empty() ? "." : file.parent_path().string();
    lxw_workbook_options lxw{};
    lxw.constant_memory = options.constantMemory ? LXW_TRUE : LXW_FALSE;
    lxw.tmpdir = mTempFolder.data();
    lxw.use_zip64 = options.zip64 ? LXW_TRUE : LXW_FALSE;
    mBook = workbook_new_opt(mPart.c_str(), &lxw);
    if (!mBook)
        throw Error("不能创建 " + mFile.string() + " 的临时文件 " + mPart.string(), "");
}

Workbook::~Workbook() {
    if (!mBook)
        return;
    Discard(mBook);
    std::error_code ec;
    std::filesystem::remove(mPart, ec);
}

Format Workbook::addFormat(const Style& style) {
    lxw_format* f = workbook_add_format(mBook);
    if (!f)
        throw Error("不能添加格式", "");
    if (style.mBold)
        format_set_bold(f);
    if (style.mAlign != Align::General)
        format_set_align(f, LibraryAlign(style.mAlign));
    if (!style.mNumberFormat.empty())
        format_set_num_format(f, style.mNumberFormat.c_str());
    if (style.mBackground)
        format_set_bg_color(f, *style.mBackground);
    if (style.mLeft != Line::None)
        format_set_left(f, LibraryLine(style.mLeft));
    if (style.mRight != Line::None)
        format_set_right(f, LibraryLine(style.mRight));
    if (style.mTop != Line::None)
        format_set_top(f, LibraryLine(style.mTop));
    if (style.mBottom != Line::None)
        format_set_bottom(f, LibraryLine(style.mBottom));
    return Format(f);
}

Sheet Workbook::addSheet(const std::string& name) {
    lxw_worksheet* sheet = workbook_add_worksheet(mBook, name.empty() ? nullptr : name.c_str());
    if (!sheet)
        throw Error(name.empty() ? "不能添加工作表" : "不能添加工作表 " + name, "");
    return {sheet, name.empty() ? std::string(sheet->name) : name};
}

Chart Workbook::addChart(ChartKind kind) {
    lxw_chart* chart = workbook_add_chart(mBook, LibraryChart(kind));
    if (!chart)
        throw Error("不能添加图表", "");
    return Chart(chart);
}

void Workbook::commit() {
    lxw_workbook* book = mBook;
    mBook = nullptr;
    const lxw_error closed = workbook_close(book);
    std::error_code ec;
    if (closed != LXW_NO_ERROR) {
        std::filesystem::remove(mPart, ec);
        throw Error("不能写入 " + mFile.string() + ": " + lxw_strerror(closed),
                    lxw_strerror(closed));
    }
    std::filesystem::rename(mPart, mFile, ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(mPart, ec);
        throw Error("不能写入 " + mFile.string() + ": " + why, why);
    }
}

} // namespace xlsx
