#include "results/Summaries.h"

#include <cmath>

namespace results {
namespace {

// Means this close count as equal for the class ranks.
constexpr double kMeanTolerance = 1e-9;

constexpr std::uint32_t kRed = 0xFF0000;

void Text(xlsx::Sheet& ws, xlsx::Row row, xlsx::Col col, const std::string& text,
          xlsx::Format format) {
    ws.text(row, col, text, format);
}

void Number(xlsx::Sheet& ws, xlsx::Row row, xlsx::Col col, double value, xlsx::Format format = {}) {
    ws.number(row, col, value, format);
}

void Header(Book& book, xlsx::Sheet& ws, xlsx::Row row, xlsx::Col first,
            const std::vector<std::string>& titles) {
    for (std::size_t i = 0; i < titles.size(); ++i)
        Text(ws, row, static_cast<xlsx::Col>(first + i), titles[i], book.header());
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

enum ComparisonColumn : xlsx::Col {
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

void FiguresRow(Book& book, xlsx::Sheet& ws, xlsx::Row row, const std::string& title,
                const Figures& f, double gradeMean) {
    Text(ws, row, kTitle, title, {});
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

void MeansChart(Book& book, xlsx::Sheet& ws, const std::string& sheet, xlsx::Row firstClass,
                xlsx::Row lastClass, xlsx::Row at) {
    xlsx::Chart chart = book.addChart(xlsx::ChartKind::Column);
    chart.title("各班平均分");
    const xlsx::Range classes{sheet, firstClass, kTitle, lastClass, kTitle};
    xlsx::Series means = chart.addSeries();
    means.categories(classes);
    means.values({sheet, firstClass, kMean, lastClass, kMean});
    means.name("平均分");
    // The grade mean: columns of its height that are not drawn, through which
    // a straight trend line runs level across the chart.
    xlsx::Series grade = chart.addSeries();
    grade.categories(classes);
    grade.values({sheet, firstClass, kChartLine, lastClass, kChartLine});
    grade.name("年级平均分");
    grade.hide();
    grade.linearTrend("年级平均分", kRed, 2.25);
    chart.seriesOverlap(100);
    chart.leaveOutOfLegend({1});
    ws.insertChart(at, kTitle, chart);
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
    xlsx::Sheet ws = book.addSheet(name);
    ws.columnWidth(kTitle, kTitle, 8);
    ws.columnWidth(kCount, kDifference, 11);
    ws.columnWidth(kChartLine, kChartLine, 11);
    ws.freeze(1, 1);
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
    xlsx::Row row = 2;
    for (std::size_t i = 0; i < groups.size(); ++i, ++row) {
        FiguresRow(book, ws, row, groups[i].title, figures[i], grade.mean);
        if (!groups[i].isClass)
            continue;
        Number(ws, row, kRank, static_cast<double>(ranks[i]));
        Number(ws, row, kChartLine, grade.mean, book.decimals());
    }
    if (!classMeans.empty()) {
        ws.pageBreakBefore(row + 1);
        MeansChart(book, ws, name, 2, static_cast<xlsx::Row>(1 + classMeans.size()), row + 1);
    }
}

void WriteBandSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                    const Bands& bands) {
    const char* name = "分数段";
    xlsx::Sheet ws = book.addSheet(name);
    const auto titles = GradeAndGroups(groups);
    const auto width = static_cast<xlsx::Col>(titles.size());
    const xlsx::Col counts = 1, shares = counts + width + 1, cumulative = shares + width + 1;
    ws.columnWidth(0, 0, 12);
    ws.freeze(2, 1);
    PrintOnPages(ws, 2);
    Text(ws, 0, counts, "人数", book.header());
    Text(ws, 0, shares, "比例", book.header());
    Text(ws, 0, cumulative, "累计人数（本段及以上）", book.header());
    Text(ws, 1, 0, "分数段", book.header());
    for (xlsx::Col block : {counts, shares, cumulative})
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
        const auto row = static_cast<xlsx::Row>(2 + top - band);
        Text(ws, row, 0, bands.label(band), {});
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const long long n = perColumn[c][static_cast<std::size_t>(band)];
            above[c] += n;
            const auto col = static_cast<xlsx::Col>(c);
            Number(ws, row, counts + col, static_cast<double>(n));
            if (!columns[c].empty())
                Number(ws, row, shares + col,
                       static_cast<double>(n) / static_cast<double>(columns[c].size()),
                       book.percent());
            Number(ws, row, cumulative + col, static_cast<double>(above[c]));
        }
    }
    const auto lastRow = static_cast<xlsx::Row>(2 + top);
    xlsx::Chart chart = book.addChart(xlsx::ChartKind::StackedColumn);
    chart.title("分数段人数");
    // Groups stacked on each band; the grade alone when there is no group.
    const std::size_t first = columns.size() > 1 ? 1 : 0;
    for (std::size_t c = first; c < columns.size(); ++c) {
        xlsx::Series s = chart.addSeries();
        s.categories({name, 2, 0, lastRow, 0});
        const auto col = static_cast<xlsx::Col>(counts + c);
        s.values({name, 2, col, lastRow, col});
        s.nameFrom(name, 1, col);
    }
    // The table runs from the top band down; the chart reads from low to high.
    chart.reverseCategories();
    ws.pageBreakBefore(lastRow + 2);
    ws.insertChart(lastRow + 2, 0, chart);
}

void WriteQuestionSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                        const std::vector<Question>& questions, const QuestionSums& sums) {
    xlsx::Sheet ws = book.addSheet("题目得分率");
    const auto titles = GradeAndGroups(groups);
    ws.columnWidth(0, 0, 8);
    ws.columnWidth(1, static_cast<xlsx::Col>(titles.size()), 9);
    ws.freeze(1, 2);
    PrintOnPages(ws, 1);
    Text(ws, 0, 0, "题目", book.header());
    Header(book, ws, 0, 1, titles);
    const auto gradeCount = static_cast<double>(table.gradeScores().size());
    for (std::size_t q = 0; q < questions.size(); ++q) {
        const auto row = static_cast<xlsx::Row>(q + 1);
        const double full = questions[q].full;
        Text(ws, row, 0, questions[q].name, {});
        if (full <= 0)
            continue;
        if (gradeCount > 0)
            Number(ws, row, 1, sums.gradeSum(q) / (gradeCount * full), book.percent());
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const auto n = static_cast<double>(table.groupScores(groups[i].group).size());
            Number(ws, row, static_cast<xlsx::Col>(2 + i),
                   sums.sum(groups[i].group, q) / (n * full), book.percent());
        }
        if (groups.size() < 2)
            continue;
        ws.colourScale(row, 2, row, static_cast<xlsx::Col>(1 + groups.size()));
    }
}

} // namespace results
