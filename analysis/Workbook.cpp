#include "analysis/Workbook.h"

#include "analysis/OutputFile.h"
#include "analysis/TextReport.h"
#include "scoring/NumberText.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace analysis {
namespace {

// An open libxlsxwriter workbook and the formats its sheets share; closed
// (and so written) by close(), freed without writing if never closed.
class Book {
  public:
    explicit Book(const std::filesystem::path& file) {
        mBook = workbook_new(file.c_str());
        if (!mBook)
            throw Error("不能创建 " + file.string());
        bold = workbook_add_format(mBook);
        format_set_bold(bold);
        ratio = workbook_add_format(mBook);
        format_set_num_format(ratio, "0.000");
        percent = workbook_add_format(mBook);
        format_set_num_format(percent, "0.0%");
        points = workbook_add_format(mBook);
        format_set_num_format(points, "0.00");
        for (lxw_format** f : {&flaggedText, &flaggedRatio, &flaggedPoints}) {
            *f = workbook_add_format(mBook);
            format_set_bg_color(*f, 0xFFC7CE);
        }
        format_set_num_format(flaggedRatio, "0.000");
        format_set_num_format(flaggedPoints, "0.00");
        earning = workbook_add_format(mBook);
        format_set_bold(earning);
        format_set_bg_color(earning, 0xC6EFCE);
    }
    ~Book() {
        if (mBook)
            lxw_workbook_free(mBook); // left unwritten
    }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    [[nodiscard]] lxw_workbook* get() const { return mBook; }
    void close(const std::filesystem::path& target) {
        const lxw_error e = workbook_close(mBook);
        mBook = nullptr;
        if (e != LXW_NO_ERROR)
            throw Error("不能写入 " + target.string() + "：" + lxw_strerror(e));
    }

    lxw_format *bold, *ratio, *percent, *points, *flaggedText, *flaggedRatio, *flaggedPoints,
        *earning;

  private:
    lxw_workbook* mBook = nullptr;
};

using Row = lxw_row_t;
using Col = lxw_col_t;

// The cells a chart covers at its default size (480 by 288 pixels) over
// columns of the default width and rows of the default height.
constexpr Col ChartColumns = 8;
constexpr Row ChartRows = 15;

// A sheet with a chart prints landscape on A4, as wide as one page, its
// print area taken out to the chart's far corner so the chart is printed
// whole beside the table it draws.
void PrintWithChart(lxw_worksheet* s, Row lastRow, Col lastCol, Row chartRow, Col chartCol) {
    worksheet_set_landscape(s);
    worksheet_set_paper(s, 9); // A4
    worksheet_fit_to_pages(s, 1, 0);
    worksheet_print_area(s, 0, 0, std::max<Row>(lastRow, chartRow + ChartRows),
                         std::max<Col>(lastCol, static_cast<Col>(chartCol + ChartColumns)));
}

void Number(lxw_worksheet* s, Row r, Col c, double v, lxw_format* f) {
    worksheet_write_number(s, r, c, v, f);
}

void Maybe(lxw_worksheet* s, Row r, Col c, const Figure& v, lxw_format* f) {
    if (v)
        worksheet_write_number(s, r, c, *v, f);
}

void Text(lxw_worksheet* s, Row r, Col c, const std::string& v, lxw_format* f = nullptr) {
    worksheet_write_string(s, r, c, v.c_str(), f);
}

void Header(lxw_worksheet* s, const Book& b, Row r, const std::vector<std::string>& names) {
    for (std::size_t c = 0; c < names.size(); ++c)
        Text(s, r, static_cast<Col>(c), names[c], b.bold);
}

void BandChart(const Book& b, lxw_worksheet* s, Row first, Row last, Row atRow, Col atCol) {
    lxw_chart* chart = workbook_add_chart(b.get(), LXW_CHART_COLUMN);
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(series, SummarySheetName, first, 0, last, 0);
    chart_series_set_values(series, SummarySheetName, first, 3, last, 3);
    chart_series_set_name(series, "人数");
    chart_title_set_name(chart, "分数段人数");
    chart_axis_set_name(chart->x_axis, "分数段");
    chart_axis_set_name(chart->y_axis, "人数");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    worksheet_insert_chart(s, atRow, atCol, chart);
}

void SummarySheet(const Book& b, const ExamAnalysis& a) {
    lxw_worksheet* s = workbook_add_worksheet(b.get(), SummarySheetName);
    worksheet_set_column(s, 0, 0, 18, nullptr);
    Text(s, 0, 0, "试卷分析  " + a.table, b.bold);
    struct Line {
        const char* name;
        Figure value;
        lxw_format* format;
    };
    const Line figures[] = {{"答卷数", static_cast<double>(a.sheets), nullptr},
                            {"满分", a.full, b.points},
                            {"平均分", a.mean, b.points},
                            {"标准差", a.sd, b.points},
                            {"中位数", a.median, b.points},
                            {"最低分", a.min, b.points},
                            {"最高分", a.max, b.points},
                            {"信度 α", a.alpha, b.ratio},
                            {"测量标准误", a.sem, b.points},
                            {"高分组、低分组人数", static_cast<double>(a.groupSize), nullptr},
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
        Number(s, r, 1, band.from, nullptr);
        Number(s, r, 2, band.to, nullptr);
        Number(s, r, 3, static_cast<double>(band.count), nullptr);
        Number(s, r, 4, band.share, b.percent);
        Number(s, r, 5, static_cast<double>(band.cumulative), nullptr);
    }
    BandChart(b, s, first, r - 1, 1, 7);
    PrintWithChart(s, r - 1, 5, 1, 7);
}

void ScatterChart(const Book& b, lxw_worksheet* s, Row first, Row last, Row atRow, Col atCol) {
    lxw_chart* chart = workbook_add_chart(b.get(), LXW_CHART_SCATTER);
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(series, QuestionSheetName, first, 5, last, 5);
    chart_series_set_values(series, QuestionSheetName, first, 8, last, 8);
    chart_series_set_name(series, "题目");
    chart_series_set_marker_type(series, LXW_CHART_MARKER_CIRCLE);
    chart_title_set_name(chart, "难度 P 与区分度 D");
    chart_axis_set_name(chart->x_axis, "难度 P（得分率）");
    chart_axis_set_name(chart->y_axis, "区分度 D");
    chart_axis_set_min(chart->x_axis, 0);
    chart_axis_set_max(chart->x_axis, 1);
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    worksheet_insert_chart(s, atRow, atCol, chart);
}

void QuestionSheet(const Book& b, const ExamAnalysis& a) {
    lxw_worksheet* s = workbook_add_worksheet(b.get(), QuestionSheetName);
    const std::vector<std::string> names = {"题目", "位置",    "答案",    "分值", "平均分",
                                            "P",    "高分组P", "低分组P", "D",    "评价",
                                            "r",    "r_rest",  "删题后α", "标记", "疑为"};
    Header(s, b, 0, names);
    worksheet_freeze_panes(s, 1, 1); // the header and the question labels
    worksheet_repeat_rows(s, 0, 0);
    worksheet_set_column(s, 0, 0, 14, nullptr);
    worksheet_set_column(s, 13, 13, 30, nullptr);
    Row r = 1;
    for (const ItemFigures& item : a.items) {
        const bool flagged = !item.flags.empty();
        lxw_format* text = flagged ? b.flaggedText : nullptr;
        lxw_format* ratio = flagged ? b.flaggedRatio : b.ratio;
        lxw_format* pts = flagged ? b.flaggedPoints : b.points;
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
        worksheet_set_landscape(s);
        worksheet_fit_to_pages(s, 1, 0);
        return;
    }
    const auto chartCol = static_cast<Col>(last + 2);
    ScatterChart(b, s, 1, r - 1, 1, chartCol);
    PrintWithChart(s, r - 1, last, 1, chartCol);
}

Row SingleOptions(const Book& b, lxw_worksheet* s, Row r, const ItemFigures& item) {
    static const char* const Names[] = {"A", "B", "C", "D", "E", "F", "多选", "未答", "其他"};
    Text(s, r++, 0, QuestionLabel(item.type, item.number) + "  答案 " + item.key, b.bold);
    Header(s, b, r++, {"选项", "人数", "比例", "高分组", "低分组", "平均总分", "r", "给分"});
    for (std::size_t c = 0; c < CategoryCount; ++c, ++r) {
        const OptionFigures& o = item.single->options[c];
        Text(s, r, 0, Names[c], o.earns ? b.earning : nullptr);
        Number(s, r, 1, static_cast<double>(o.count), nullptr);
        Number(s, r, 2, o.share, b.percent);
        Maybe(s, r, 3, o.upper, b.percent);
        Maybe(s, r, 4, o.lower, b.percent);
        Maybe(s, r, 5, o.meanTotal, b.points);
        Maybe(s, r, 6, o.r, b.ratio);
        Text(s, r, 7, o.earns ? "*" : "");
    }
    return r + 1;
}

Row MultiLetters(const Book& b, lxw_worksheet* s, Row r, const ItemFigures& item) {
    const MultiFigures& m = *item.multi;
    Text(s, r++, 0, QuestionLabel(item.type, item.number) + "  答案 " + item.key, b.bold);
    Text(s, r, 0,
         "全对 " + std::to_string(m.full) + "，部分对 " + std::to_string(m.partial) + "，不得分 " +
             std::to_string(m.none));
    ++r;
    Header(s, b, r++, {"字母", "选择比例", "高分组", "低分组"});
    for (std::size_t l = 0; l < m.letters.size(); ++l, ++r) {
        const bool inKey = item.key.find(static_cast<char>('A' + l)) != std::string::npos;
        Text(s, r, 0, std::string(1, static_cast<char>('A' + l)), inKey ? b.earning : nullptr);
        Number(s, r, 1, m.letters[l].share, b.percent);
        Maybe(s, r, 2, m.letters[l].upper, b.percent);
        Maybe(s, r, 3, m.letters[l].lower, b.percent);
    }
    return r + 1;
}

void OptionSheet(const Book& b, const ExamAnalysis& a) {
    lxw_worksheet* s = workbook_add_worksheet(b.get(), OptionSheetName);
    worksheet_set_column(s, 0, 0, 12, nullptr);
    worksheet_set_paper(s, 9); // A4
    worksheet_fit_to_pages(s, 1, 0);
    Row r = 0;
    for (const ItemFigures& item : a.items)
        r = item.single ? SingleOptions(b, s, r, item) : MultiLetters(b, s, r, item);
}

} // namespace

void WriteWorkbook(const ExamAnalysis& analysis, const std::filesystem::path& file) {
    PendingFile pending(file);
    if (!std::ofstream(pending.temporary()))
        throw Error("不能写入 " + file.string());
    {
        Book book(pending.temporary());
        SummarySheet(book, analysis);
        QuestionSheet(book, analysis);
        OptionSheet(book, analysis);
        book.close(file);
    }
    pending.commit();
}

} // namespace analysis
