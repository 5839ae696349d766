#include "analysis/Workbook.h"

#include "analysis/TextReport.h"
#include "platform/xlsx/Workbook.h"
#include "scoring/NumberText.h"

#include <algorithm>
#include <string>
#include <vector>

namespace analysis {
namespace {

// The workbook and the formats its sheets share.
class Book {
  public:
    explicit Book(const std::filesystem::path& file) : mBook(file) {
        bold = mBook.addFormat(xlsx::Style().bold());
        ratio = mBook.addFormat(xlsx::Style().numberFormat("0.000"));
        percent = mBook.addFormat(xlsx::Style().numberFormat("0.0%"));
        points = mBook.addFormat(xlsx::Style().numberFormat("0.00"));
        flaggedText = mBook.addFormat(xlsx::Style().background(kFlagged));
        flaggedRatio = mBook.addFormat(xlsx::Style().background(kFlagged).numberFormat("0.000"));
        flaggedPoints = mBook.addFormat(xlsx::Style().background(kFlagged).numberFormat("0.00"));
        earning = mBook.addFormat(xlsx::Style().bold().background(kEarning));
    }

    [[nodiscard]] xlsx::Sheet addSheet(const char* name) { return mBook.addSheet(name); }
    [[nodiscard]] xlsx::Chart addChart(xlsx::ChartKind kind) { return mBook.addChart(kind); }
    void commit() { mBook.commit(); }

    xlsx::Format bold, ratio, percent, points, flaggedText, flaggedRatio, flaggedPoints, earning;

  private:
    static constexpr std::uint32_t kFlagged = 0xFFC7CE; // light red
    static constexpr std::uint32_t kEarning = 0xC6EFCE; // light green
    xlsx::Workbook mBook;
};

using xlsx::Col;
using xlsx::Row;
using Sheet = xlsx::Sheet;

// The cells a chart covers at its default size (480 by 288 pixels) over
// columns of the default width and rows of the default height.
constexpr Col ChartColumns = 8;
constexpr Row ChartRows = 15;

// A sheet with a chart prints landscape on A4, as wide as one page, its
// print area taken out to the chart's far corner so the chart is printed
// whole beside the table it draws.
void PrintWithChart(Sheet& s, Row lastRow, Col lastCol, Row chartRow, Col chartCol) {
    s.landscape();
    s.paper(xlsx::Paper::A4);
    s.fitToPages(1, 0);
    s.printArea(0, 0, std::max<Row>(lastRow, chartRow + ChartRows),
                std::max<Col>(lastCol, static_cast<Col>(chartCol + ChartColumns)));
}

void Number(Sheet& s, Row r, Col c, double v, xlsx::Format f) {
    s.number(r, c, v, f);
}

void Maybe(Sheet& s, Row r, Col c, const Figure& v, xlsx::Format f) {
    if (v)
        s.number(r, c, *v, f);
}

void Text(Sheet& s, Row r, Col c, const std::string& v, xlsx::Format f = {}) {
    s.text(r, c, v, f);
}

void Header(Sheet& s, Book& b, Row r, const std::vector<std::string>& names) {
    for (std::size_t c = 0; c < names.size(); ++c)
        Text(s, r, static_cast<Col>(c), names[c], b.bold);
}

void BandChart(Book& b, Sheet& s, Row first, Row last, Row atRow, Col atCol) {
    xlsx::Chart chart = b.addChart(xlsx::ChartKind::Column);
    xlsx::Series series = chart.addSeries();
    series.categories({SummarySheetName, first, 0, last, 0});
    series.values({SummarySheetName, first, 3, last, 3});
    series.name("人数");
    chart.title("分数段人数");
    chart.axisName(xlsx::Axis::X, "分数段");
    chart.axisName(xlsx::Axis::Y, "人数");
    chart.noLegend();
    s.insertChart(atRow, atCol, chart);
}

void SummarySheet(Book& b, const ExamAnalysis& a) {
    Sheet s = b.addSheet(SummarySheetName);
    s.columnWidth(0, 0, 18);
    Text(s, 0, 0, "试卷分析  " + a.table, b.bold);
    struct Line {
        const char* name;
        Figure value;
        xlsx::Format format;
    };
    const Line figures[] = {{"答卷数", static_cast<double>(a.sheets), {}},
                            {"满分", a.full, b.points},
                            {"平均分", a.mean, b.points},
                            {"标准差", a.sd, b.points},
                            {"中位数", a.median, b.points},
                            {"最低分", a.min, b.points},
                            {"最高分", a.max, b.points},
                            {"信度 α", a.alpha, b.ratio},
                            {"测量标准误", a.sem, b.points},
                            {"高分组、低分组人数", static_cast<double>(a.groupSize), {}},
                            {"分组比例", a.groupPercent / 100, b.percent}};
    Row r = 2;
    for (const Line& line : figures) {
        Text(s, r, 0, line.name);
        Maybe(s, r, 1, line.value, line.format);
        ++r;
    }
    r += 1;
    Header(s, b, r++, {"分数段", "从", "到", "人数", "比例", "累计（本段及以上）"});
    const Row first = r;
    for (std::size_t i = 0; i < a.bands.size(); ++i, ++r) {
        const Band& band = a.bands[i];
        const bool last = i + 1 == a.bands.size();
        Text(s, r, 0,
             scoring::NumberText(band.from) + "-" + scoring::NumberText(band.to) +
                 (last ? "（含）" : ""));
        Number(s, r, 1, band.from, {});
        Number(s, r, 2, band.to, {});
        Number(s, r, 3, static_cast<double>(band.count), {});
        Number(s, r, 4, band.share, b.percent);
        Number(s, r, 5, static_cast<double>(band.cumulative), {});
    }
    BandChart(b, s, first, r - 1, 1, 7);
    PrintWithChart(s, r - 1, 5, 1, 7);
}

void ScatterChart(Book& b, Sheet& s, Row first, Row last, Row atRow, Col atCol) {
    xlsx::Chart chart = b.addChart(xlsx::ChartKind::Scatter);
    xlsx::Series series = chart.addSeries();
    series.categories({QuestionSheetName, first, 5, last, 5});
    series.values({QuestionSheetName, first, 8, last, 8});
    series.name("题目");
    series.marker(xlsx::Marker::Circle);
    chart.title("难度 P 与区分度 D");
    chart.axisName(xlsx::Axis::X, "难度 P（得分率）");
    chart.axisName(xlsx::Axis::Y, "区分度 D");
    chart.axisRange(xlsx::Axis::X, 0, 1);
    chart.noLegend();
    s.insertChart(atRow, atCol, chart);
}

void QuestionSheet(Book& b, const ExamAnalysis& a) {
    Sheet s = b.addSheet(QuestionSheetName);
    const std::vector<std::string> names = {"题目", "位置",    "答案",    "分值", "平均分",
                                            "P",    "高分组P", "低分组P", "D",    "评价",
                                            "r",    "r_rest",  "删题后α", "标记", "疑为"};
    Header(s, b, 0, names);
    s.freeze(1, 1); // the header and the question labels
    s.repeatRows(0, 0);
    s.columnWidth(0, 0, 14);
    s.columnWidth(13, 13, 30);
    Row r = 1;
    for (const ItemFigures& item : a.items) {
        const bool flagged = !item.flags.empty();
        const xlsx::Format text = flagged ? b.flaggedText : xlsx::Format{};
        const xlsx::Format ratio = flagged ? b.flaggedRatio : b.ratio;
        const xlsx::Format pts = flagged ? b.flaggedPoints : b.points;
        std::string flags;
        for (Flag f : item.flags)
            flags += (flags.empty() ? "" : "，") + FlagShortText(f);
        Text(s, r, 0, QuestionLabel(item.type, item.number), text);
        Number(s, r, 1, item.position, text);
        Text(s, r, 2, item.key, text);
        Number(s, r, 3, item.max, pts);
        Number(s, r, 4, item.mean, pts);
        Number(s, r, 5, item.p, ratio);
        for (auto [col, v] : {std::pair<Col, const Figure*>{6, &item.pUpper},
                              {7, &item.pLower},
                              {8, &item.d},
                              {10, &item.r},
                              {11, &item.rRest},
                              {12, &item.alphaIfDeleted}})
            Maybe(s, r, col, *v, ratio);
        Text(s, r, 9, item.rating ? std::string(RatingText(*item.rating)) : "", text);
        Text(s, r, 13, flags, text);
        Text(s, r, 14, item.suspect ? std::string(1, *item.suspect) : "", text);
        ++r;
    }
    const Col last = static_cast<Col>(names.size() - 1);
    if (a.items.empty()) {
        s.landscape();
        s.fitToPages(1, 0);
        return;
    }
    const auto chartCol = static_cast<Col>(last + 2);
    ScatterChart(b, s, 1, r - 1, 1, chartCol);
    PrintWithChart(s, r - 1, last, 1, chartCol);
}

Row SingleOptions(Book& b, Sheet& s, Row r, const ItemFigures& item) {
    static const char* const Names[] = {"A", "B", "C", "D", "E", "F", "多选", "未答", "其他"};
    Text(s, r++, 0, QuestionLabel(item.type, item.number) + "  答案 " + item.key, b.bold);
    Header(s, b, r++, {"选项", "人数", "比例", "高分组", "低分组", "平均总分", "r", "给分"});
    for (std::size_t c = 0; c < CategoryCount; ++c, ++r) {
        const OptionFigures& o = item.single->options[c];
        Text(s, r, 0, Names[c], o.earns ? b.earning : xlsx::Format{});
        Number(s, r, 1, static_cast<double>(o.count), {});
        Number(s, r, 2, o.share, b.percent);
        Maybe(s, r, 3, o.upper, b.percent);
        Maybe(s, r, 4, o.lower, b.percent);
        Maybe(s, r, 5, o.meanTotal, b.points);
        Maybe(s, r, 6, o.r, b.ratio);
        Text(s, r, 7, o.earns ? "*" : "");
    }
    return r + 1;
}

Row MultiLetters(Book& b, Sheet& s, Row r, const ItemFigures& item) {
    const MultiFigures& m = *item.multi;
    Text(s, r++, 0, QuestionLabel(item.type, item.number) + "  答案 " + item.key, b.bold);
    Text(s, r, 0,
         "全对 " + std::to_string(m.full) + "，部分对 " + std::to_string(m.partial) + "，不得分 " +
             std::to_string(m.none));
    ++r;
    Header(s, b, r++, {"字母", "选择比例", "高分组", "低分组"});
    for (std::size_t l = 0; l < m.letters.size(); ++l, ++r) {
        const bool inKey = item.key.find(static_cast<char>('A' + l)) != std::string::npos;
        Text(s, r, 0, std::string(1, static_cast<char>('A' + l)),
             inKey ? b.earning : xlsx::Format{});
        Number(s, r, 1, m.letters[l].share, b.percent);
        Maybe(s, r, 2, m.letters[l].upper, b.percent);
        Maybe(s, r, 3, m.letters[l].lower, b.percent);
    }
    return r + 1;
}

void OptionSheet(Book& b, const ExamAnalysis& a) {
    Sheet s = b.addSheet(OptionSheetName);
    s.columnWidth(0, 0, 12);
    s.paper(xlsx::Paper::A4);
    s.fitToPages(1, 0);
    Row r = 0;
    for (const ItemFigures& item : a.items)
        r = item.single ? SingleOptions(b, s, r, item) : MultiLetters(b, s, r, item);
}

} // namespace

void WriteWorkbook(const ExamAnalysis& analysis, const std::filesystem::path& file) {
    try {
        Book book(file);
        SummarySheet(book, analysis);
        QuestionSheet(book, analysis);
        OptionSheet(book, analysis);
        try {
            book.commit();
        } catch (const xlsx::Error& e) {
            throw Error("不能写入 " + file.string() + "：" + e.reason());
        }
    } catch (const Error&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw Error(e.what());
    }
}

} // namespace analysis
