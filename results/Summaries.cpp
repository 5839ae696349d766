#include "results/Summaries.h"

#include <cmath>

namespace results {
namespace {

// Means this close count as equal for the class ranks.
constexpr double kMeanTolerance = 1e-9;

void Text(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, const std::string& text,
          lxw_format* format) {
    worksheet_write_string(ws, row, col, text.c_str(), format);
}

void Number(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, double value,
            lxw_format* format = nullptr) {
    worksheet_write_number(ws, row, col, value, format);
}

void Header(Book& book, lxw_worksheet* ws, lxw_row_t row, lxw_col_t first,
            const std::vector<std::string>& titles) {
    for (std::size_t i = 0; i < titles.size(); ++i)
        Text(ws, row, static_cast<lxw_col_t>(first + i), titles[i], book.header());
}

// The grade, then every group: the columns of the bands and rates.
std::vector<std::string> GradeAndGroups(const std::vector<Group>& groups) {
    std::vector<std::string> titles = {"年级"};
    for (const auto& g : groups)
        titles.push_back(g.title);
    return titles;
}

// Competition ranks of the classes by mean: 1 + the classes above by more
// than kMeanTolerance.
std::vector<long long> RanksByMean(const std::vector<double>& means) {
    std::vector<long long> ranks(means.size(), 1);
    for (std::size_t i = 0; i < means.size(); ++i)
        for (double other : means)
            ranks[i] += other > means[i] + kMeanTolerance;
    return ranks;
}

enum ComparisonColumn : lxw_col_t {
    kTitle,
    kCount,
    kMean,
    kSd,
    kMax,
    kMin,
    kMedian,
    kPass,
    kExcellent,
    kLow,
    kRank,
    kDifference,
    kChartLine = kDifference + 2 // the grade mean beside every class, for the chart's line
};

void FiguresRow(Book& book, lxw_worksheet* ws, lxw_row_t row, const std::string& title,
                const Figures& f, double gradeMean) {
    Text(ws, row, kTitle, title, nullptr);
    Number(ws, row, kCount, static_cast<double>(f.count));
    if (f.count == 0)
        return;
    Number(ws, row, kMean, f.mean, book.decimals());
    Number(ws, row, kSd, f.sd, book.decimals());
    Number(ws, row, kMax, f.max);
    Number(ws, row, kMin, f.min);
    Number(ws, row, kMedian, f.median, book.decimals());
    Number(ws, row, kPass, f.passRate, book.percent());
    Number(ws, row, kExcellent, f.excellentRate, book.percent());
    Number(ws, row, kLow, f.lowRate, book.percent());
    Number(ws, row, kDifference, f.mean - gradeMean, book.decimals());
}

void MeansChart(Book& book, lxw_worksheet* ws, const char* sheet, lxw_row_t firstClass,
                lxw_row_t lastClass, lxw_row_t at) {
    lxw_chart* chart = book.addChart(LXW_CHART_COLUMN);
    chart_title_set_name(chart, "各班平均分");
    lxw_chart_series* means = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(means, sheet, firstClass, kTitle, lastClass, kTitle);
    chart_series_set_values(means, sheet, firstClass, kMean, lastClass, kMean);
    chart_series_set_name(means, "平均分");
    // The grade mean: columns of its height that are not drawn, through which
    // a straight trend line runs level across the chart.
    lxw_chart_series* grade = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(grade, sheet, firstClass, kTitle, lastClass, kTitle);
    chart_series_set_values(grade, sheet, firstClass, kChartLine, lastClass, kChartLine);
    chart_series_set_name(grade, "年级平均分");
    lxw_chart_fill none{};
    none.none = LXW_TRUE;
    chart_series_set_fill(grade, &none);
    lxw_chart_line noLine{};
    noLine.none = LXW_TRUE;
    chart_series_set_line(grade, &noLine);
    chart_series_set_trendline(grade, LXW_CHART_TRENDLINE_TYPE_LINEAR, 0);
    chart_series_set_trendline_name(grade, "年级平均分");
    lxw_chart_line red{};
    red.color = LXW_COLOR_RED;
    red.width = 2.25;
    chart_series_set_trendline_line(grade, &red);
    chart_set_series_overlap(chart, 100);
    int16_t hidden[] = {1, -1};
    Check(chart_legend_delete_series(chart, hidden), "legend");
    Check(worksheet_insert_chart(ws, at, kTitle, chart), "chart");
}

} // namespace

std::vector<Group> ShownGroups(const ScoreTable& table, const std::vector<std::string>& classes) {
    std::vector<Group> shown;
    for (int c = 0; c < table.classes(); ++c)
        if (!table.groupScores(c).empty())
            shown.push_back({classes[static_cast<std::size_t>(c)], c, true});
    if (!table.groupScores(table.classes()).empty())
        shown.push_back({"未分班", table.classes(), false});
    return shown;
}

QuestionSums::QuestionSums(int groups, std::size_t questions)
    : mGroups(groups), mQuestions(questions),
      mSums(static_cast<std::size_t>(groups) * questions, 0.0) {}

void QuestionSums::add(int group, std::span<const double> points) {
    double* sums = mSums.data() + static_cast<std::size_t>(group) * mQuestions;
    const std::size_t n = std::min(points.size(), mQuestions);
    for (std::size_t q = 0; q < n; ++q)
        if (!std::isnan(points[q]))
            sums[q] += points[q];
}

double QuestionSums::sum(int group, std::size_t question) const {
    return mSums[static_cast<std::size_t>(group) * mQuestions + question];
}

double QuestionSums::gradeSum(std::size_t question) const {
    double total = 0;
    for (int g = 0; g < mGroups; ++g)
        total += sum(g, question);
    return total;
}

void WriteComparison(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                     const Thresholds& limits) {
    const char* name = "班级对比";
    lxw_worksheet* ws = book.addSheet(name);
    worksheet_set_column(ws, kTitle, kTitle, 8, nullptr);
    worksheet_set_column(ws, kCount, kDifference, 11, nullptr);
    worksheet_set_column(ws, kChartLine, kChartLine, 11, nullptr);
    worksheet_freeze_panes(ws, 1, 1);
    PrintOnPages(ws, 1);
    Header(book, ws, 0, kTitle,
           {"班级", "人数", "平均分", "标准差", "最高分", "最低分", "中位数", "及格率", "优秀率",
            "低分率", "名次", "与年级均分差"});
    Text(ws, 0, kChartLine, "年级平均分", book.header());
    const Figures grade = FiguresOf(table.gradeScores(), limits);
    FiguresRow(book, ws, 1, "年级", grade, grade.mean);

    std::vector<Figures> figures;
    std::vector<double> classMeans;
    for (const auto& g : groups) {
        figures.push_back(FiguresOf(table.groupScores(g.group), limits));
        if (g.isClass)
            classMeans.push_back(figures.back().mean);
    }
    const std::vector<long long> ranks = RanksByMean(classMeans);
    lxw_row_t row = 2;
    for (std::size_t i = 0; i < groups.size(); ++i, ++row) {
        FiguresRow(book, ws, row, groups[i].title, figures[i], grade.mean);
        if (!groups[i].isClass)
            continue;
        Number(ws, row, kRank, static_cast<double>(ranks[i]));
        Number(ws, row, kChartLine, grade.mean, book.decimals());
    }
    if (!classMeans.empty()) {
        PageBreakBefore(ws, row + 1);
        MeansChart(book, ws, name, 2, static_cast<lxw_row_t>(1 + classMeans.size()), row + 1);
    }
}

void WriteBandSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                    const Bands& bands) {
    const char* name = "分数段";
    lxw_worksheet* ws = book.addSheet(name);
    const auto titles = GradeAndGroups(groups);
    const auto width = static_cast<lxw_col_t>(titles.size());
    const lxw_col_t counts = 1, shares = counts + width + 1, cumulative = shares + width + 1;
    worksheet_set_column(ws, 0, 0, 12, nullptr);
    worksheet_freeze_panes(ws, 2, 1);
    PrintOnPages(ws, 2);
    Text(ws, 0, counts, "人数", book.header());
    Text(ws, 0, shares, "比例", book.header());
    Text(ws, 0, cumulative, "累计人数（本段及以上）", book.header());
    Text(ws, 1, 0, "分数段", book.header());
    for (lxw_col_t block : {counts, shares, cumulative})
        Header(book, ws, 1, block, titles);

    std::vector<std::span<const double>> columns = {table.gradeScores()};
    for (const auto& g : groups)
        columns.push_back(table.groupScores(g.group));
    std::vector<std::vector<long long>> perColumn;
    for (const auto& scores : columns)
        perColumn.push_back(BandCounts(scores, bands));
    std::vector<long long> above(columns.size(), 0);
    const int top = bands.count() - 1;
    for (int band = top; band >= 0; --band) {
        const auto row = static_cast<lxw_row_t>(2 + top - band);
        Text(ws, row, 0, bands.label(band), nullptr);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const long long n = perColumn[c][static_cast<std::size_t>(band)];
            above[c] += n;
            const auto col = static_cast<lxw_col_t>(c);
            Number(ws, row, counts + col, static_cast<double>(n));
            if (!columns[c].empty())
                Number(ws, row, shares + col,
                       static_cast<double>(n) / static_cast<double>(columns[c].size()),
                       book.percent());
            Number(ws, row, cumulative + col, static_cast<double>(above[c]));
        }
    }
    const auto lastRow = static_cast<lxw_row_t>(2 + top);
    lxw_chart* chart = book.addChart(LXW_CHART_COLUMN_STACKED);
    chart_title_set_name(chart, "分数段人数");
    // Groups stacked on each band; the grade alone when there is no group.
    const std::size_t first = columns.size() > 1 ? 1 : 0;
    for (std::size_t c = first; c < columns.size(); ++c) {
        lxw_chart_series* s = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(s, name, 2, 0, lastRow, 0);
        const auto col = static_cast<lxw_col_t>(counts + c);
        chart_series_set_values(s, name, 2, col, lastRow, col);
        chart_series_set_name_range(s, name, 1, col);
    }
    // The table runs from the top band down; the chart reads from low to high.
    chart_axis_set_reverse(chart->x_axis);
    chart_axis_set_crossing_max(chart->x_axis);
    PageBreakBefore(ws, lastRow + 2);
    Check(worksheet_insert_chart(ws, lastRow + 2, 0, chart), "chart");
}

void WriteQuestionSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                        const std::vector<Question>& questions, const QuestionSums& sums) {
    lxw_worksheet* ws = book.addSheet("题目得分率");
    const auto titles = GradeAndGroups(groups);
    worksheet_set_column(ws, 0, 0, 8, nullptr);
    worksheet_set_column(ws, 1, static_cast<lxw_col_t>(titles.size()), 9, nullptr);
    worksheet_freeze_panes(ws, 1, 2);
    PrintOnPages(ws, 1);
    Text(ws, 0, 0, "题目", book.header());
    Header(book, ws, 0, 1, titles);
    const auto gradeCount = static_cast<double>(table.gradeScores().size());
    for (std::size_t q = 0; q < questions.size(); ++q) {
        const auto row = static_cast<lxw_row_t>(q + 1);
        const double full = questions[q].full;
        Text(ws, row, 0, questions[q].name, nullptr);
        if (full <= 0)
            continue;
        if (gradeCount > 0)
            Number(ws, row, 1, sums.gradeSum(q) / (gradeCount * full), book.percent());
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const auto n = static_cast<double>(table.groupScores(groups[i].group).size());
            Number(ws, row, static_cast<lxw_col_t>(2 + i),
                   sums.sum(groups[i].group, q) / (n * full), book.percent());
        }
        if (groups.size() < 2)
            continue;
        lxw_conditional_format scale{};
        scale.type = LXW_CONDITIONAL_3_COLOR_SCALE;
        Check(worksheet_conditional_format_range(ws, row, 2, row,
                                                 static_cast<lxw_col_t>(1 + groups.size()), &scale),
              "colour scale");
    }
}

} // namespace results
