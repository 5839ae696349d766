#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;
struct lxw_chart;
struct lxw_chart_series;

// Workbooks written as .xlsx: the one writer of the program's spreadsheets.
// Formats are described by value and turned into handles by the workbook;
// worksheets, charts and series are handles into the workbook being
// written, valid while it lives. The workbook is written under a short
// temporary name beside its file and renamed into place by commit();
// destroyed without commit(), it leaves nothing behind.
namespace xlsx {

using Row = std::uint32_t;
using Col = std::uint16_t;

// A workbook that could not be made or written. The text names the file or
// the step that failed; reason() is the library's or the system's own words.
class Error : public std::runtime_error {
  public:
    Error(const std::string& text, std::string reason)
        : std::runtime_error(text), mReason(std::move(reason)) {}
    [[nodiscard]] const std::string& reason() const { return mReason; }

  private:
    std::string mReason;
};

enum class Align : std::uint8_t { General, Left, Center, Right };

// The line of one side of a cell.
enum class Line : std::uint8_t { None, Hair, Thin, Dashed, Medium, Thick };

// A cell format by value, built up as
// Style().bold().align(Align::Center).bottom(Line::Thin).
class Style {
  public:
    Style& bold() {
        mBold = true;
        return *this;
    }
    Style& align(Align align) {
        mAlign = align;
        return *this;
    }
    // "0.00", "0.0%", "@"; none: General.
    Style& numberFormat(std::string format) {
        mNumberFormat = std::move(format);
        return *this;
    }
    // A solid fill of 0xRRGGBB.
    Style& background(std::uint32_t colour) {
        mBackground = colour;
        return *this;
    }
    Style& left(Line line) {
        mLeft = line;
        return *this;
    }
    Style& right(Line line) {
        mRight = line;
        return *this;
    }
    Style& top(Line line) {
        mTop = line;
        return *this;
    }
    Style& bottom(Line line) {
        mBottom = line;
        return *this;
    }
    // The same line on every side.
    Style& box(Line line) { return left(line).right(line).top(line).bottom(line); }

  private:
    friend class Workbook;
    bool mBold = false;
    Align mAlign = Align::General;
    std::string mNumberFormat;
    std::optional<std::uint32_t> mBackground;
    Line mLeft = Line::None;
    Line mRight = Line::None;
    Line mTop = Line::None;
    Line mBottom = Line::None;
};

// A format of one workbook; the default is the cell's plain format.
class Format {
  public:
    Format() = default;
    [[nodiscard]] bool plain() const { return mFormat == nullptr; }

  private:
    friend class Workbook;
    friend class Sheet;
    explicit Format(lxw_format* format) : mFormat(format) {}
    lxw_format* mFormat = nullptr;
};

enum class ChartKind : std::uint8_t { Column, StackedColumn, Scatter };
enum class Marker : std::uint8_t { Circle };

// A range of cells on a named worksheet, as a chart refers to it.
struct Range {
    std::string sheet;
    Row firstRow = 0;
    Col firstCol = 0;
    Row lastRow = 0;
    Col lastCol = 0;
};

// A series of a chart.
class Series {
  public:
    void categories(const Range& cells);
    void values(const Range& cells);
    void name(const std::string& name);
    // The name is the text of one cell.
    void nameFrom(const std::string& sheet, Row row, Col col);
    void marker(Marker marker);
    // Neither filled nor outlined: drawn by nothing but its trend line.
    void hide();
    // A straight trend line through the series, named in the legend.
    void linearTrend(const std::string& name, std::uint32_t colour, double width);

  private:
    friend class Chart;
    explicit Series(lxw_chart_series* series) : mSeries(series) {}
    lxw_chart_series* mSeries;
};

enum class Axis : std::uint8_t { X, Y };

class Chart {
  public:
    [[nodiscard]] Series addSeries();
    void title(const std::string& title);
    void axisName(Axis axis, const std::string& name);
    void axisRange(Axis axis, double min, double max);
    // The categories run from right to left, the other axis crossing at
    // the last of them.
    void reverseCategories();
    void noLegend();
    // Leaves the series of these indexes out of the legend.
    void leaveOutOfLegend(const std::vector<std::int16_t>& series);
    void seriesOverlap(std::int8_t overlap);

  private:
    friend class Workbook;
    friend class Sheet;
    explicit Chart(lxw_chart* chart) : mChart(chart) {}
    lxw_chart* mChart;
};

enum class Paper : std::uint8_t { A4 = 9 };

// A worksheet. Cells are written row by row where the workbook keeps its
// memory constant: a row once left cannot be written again.
class Sheet {
  public:
    [[nodiscard]] const std::string& name() const { return mName; }

    void number(Row row, Col col, double value, Format format = {});
    void text(Row row, Col col, const char* value, Format format = {});
    void text(Row row, Col col, const std::string& value, Format format = {}) {
        text(row, col, value.c_str(), format);
    }
    // A cell with a format and no value.
    void blank(Row row, Col col, Format format);

    void columnWidth(Col first, Col last, double width);
    // Keeps the first `rows` rows and `cols` columns in view.
    void freeze(Row rows, Col cols);
    void autofilter(Row firstRow, Col firstCol, Row lastRow, Col lastCol);
    // A three-colour scale over the cells (the spreadsheet's default colours).
    void colourScale(Row firstRow, Col firstCol, Row lastRow, Col lastCol);
    void insertChart(Row row, Col col, const Chart& chart);

    // How the worksheet prints.
    void landscape();
    void paper(Paper paper);
    // At most `wide` pages across and `high` down; 0 for as many as needed.
    void fitToPages(std::uint16_t wide, std::uint16_t high);
    void printArea(Row firstRow, Col firstCol, Row lastRow, Col lastCol);
    void repeatRows(Row first, Row last);
    void pageBreakBefore(Row row);
    // "&C...&R...": the page footer in the spreadsheet's own codes.
    void footer(const std::string& footer);

  private:
    friend class Workbook;
    Sheet(lxw_worksheet* sheet, std::string name) : mSheet(sheet), mName(std::move(name)) {}
    lxw_worksheet* mSheet;
    std::string mName;
};

struct Options {
    // Rows go to temporary files beside the workbook as they are left,
    // instead of staying in memory until the workbook is written.
    bool constantMemory = false;
    // The worksheets may pass 4 GB of XML (ZIP64 container).
    bool zip64 = false;
};

// Throws Error ("文件名太长") when the file's name is longer than its folder
// allows, before anything is written.
class Workbook {
  public:
    explicit Workbook(const std::filesystem::path& file, Options options = {});
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Formats are numbered in the order they are added.
    [[nodiscard]] Format addFormat(const Style& style);
    // An empty name: "Sheet1", "Sheet2", ... by position.
    [[nodiscard]] Sheet addSheet(const std::string& name = {});
    [[nodiscard]] Chart addChart(ChartKind kind);

    // Writes the workbook and renames it into place; throws Error naming
    // the file ("不能写入 ...") when either fails, leaving no file.
    void commit();

  private:
    std::filesystem::path mFile;
    std::filesystem::path mPart;
    std::string mTempFolder;
    lxw_workbook* mBook = nullptr;
};

} // namespace xlsx
