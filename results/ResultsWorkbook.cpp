#include "results/Book.h"
#include "results/Results.h"
#include "results/ScoreTable.h"
#include "results/StudentSheets.h"
#include "results/Summaries.h"

#include "platform/db/Query.h"

#include <limits>
#include <stdexcept>

namespace results {
namespace {

// Beyond this many cells a worksheet's XML may pass the 4 GB of a plain zip.
constexpr long long kLargeCells = 50'000'000;

// Progress is told every this many sheets.
constexpr long long kProgressStep = 8192;

void Tell(const Options& o, const std::string& what, long long done, long long total) {
    if (o.progress)
        o.progress(what, done, total);
}

// A stored number as the workbook reads it; nullopt for NULL.
std::optional<double> NumberOf(const db::Value* v) {
    if (!v || db::IsNull(*v))
        return std::nullopt;
    return db::Query::ToFloat(*v);
}

// The first pass: every score into the table; the counts into `written`.
void ReadScores(scoring::SheetSource& source, const ClassOf& classOf, ScoreTable& table,
                Written& written, const Options& o) {
    long long seen = 0;
    source.forEachInAnyOrder([&](const scoring::Sheet& sheet) {
        if (++seen % kProgressStep == 0)
            Tell(o, "读取成绩", seen, -1);
        const std::optional<double> score = NumberOf(sheet.score);
        if (!score) {
            ++written.emptyScores;
            return;
        }
        const int classIndex = classOf(sheet);
        ++written.listed;
        if (table.group(classIndex) == table.classes())
            ++written.unclassed;
        table.add(*score, classIndex);
    });
    table.finish();
}

// The second pass: the rows of 学生成绩 with their ranks, and the points of
// every question summed by group.
void WriteRows(scoring::SheetSource& source, const ClassOf& classOf, const ScoreTable& table,
               StudentSheets& students, QuestionSums& sums, std::size_t questions, long long listed,
               const Options& o) {
    long long done = 0;
    std::vector<double> points(questions);
    source.forEach([&](const scoring::Sheet& sheet) {
        const std::optional<double> score = NumberOf(sheet.score);
        if (!score)
            return;
        SheetRow row;
        row.examNumber = sheet.examNumber.value_or(std::string_view());
        row.classIndex = classOf(sheet);
        row.name = sheet.rosterName;
        row.score = score;
        for (std::size_t q = 0; q < questions; ++q)
            points[q] = NumberOf(q < sheet.values.size() ? &sheet.values[q] : nullptr)
                            .value_or(std::numeric_limits<double>::quiet_NaN());
        row.points = points;
        const int group = table.group(row.classIndex);
        const long long classRank =
            group == table.classes() ? 0 : table.classRank(*score, row.classIndex);
        students.write(row, table.gradeRank(*score), classRank);
        sums.add(group, row.points);
        if (++done % kProgressStep == 0)
            Tell(o, "写入成绩分析", done, listed);
    });
    if (done != listed)
        throw std::runtime_error("答卷在两遍读取之间有变化：有分数的答卷比第一遍少");
    students.finish();
}

} // namespace

std::string WorkbookName(std::string_view table) {
    return "成绩分析_" + std::string(table) + ".xlsx";
}

std::string CheckOptions(const Options& o) {
    if (!(o.fullMarks > 0))
        return "满分必须大于 0。";
    for (double fraction : {o.pass, o.excellent, o.low})
        if (!(fraction >= 0 && fraction <= 1))
            return "及格、优秀和低分线必须在满分的 0% 到 100% 之间。";
    if (!(o.bandWidth > 0))
        return "分数段的宽度必须大于 0。";
    if (o.fullMarks / o.bandWidth > 10000)
        return "分数段太窄：满分分成了一万段以上。";
    if (o.rowsPerSheet < 3 || o.rowsPerSheet > kRowsPerSheet)
        return "每个工作表的行数必须在 3 到 " + std::to_string(kRowsPerSheet) + " 之间。";
    return {};
}

Written WriteResultsWorkbook(const std::filesystem::path& file, scoring::SheetSource& source,
                             const ClassOf& classOf, const std::vector<std::string>& classes,
                             const std::vector<Question>& questions, const Options& options) {
    if (const std::string bad = CheckOptions(options); !bad.empty())
        throw std::invalid_argument(bad);
    Written written;
    written.file = file;
    ScoreTable table(static_cast<int>(classes.size()));
    ReadScores(source, classOf, table, written, options);

    const long long cells = written.listed * static_cast<long long>(6 + questions.size());
    Book book(file, cells > kLargeCells);
    StudentSheets students(book, classes, questions, written.listed, written.emptyScores,
                           options.rowsPerSheet);
    QuestionSums sums(table.classes() + 1, questions.size());
    WriteRows(source, classOf, table, students, sums, questions.size(), written.listed, options);
    written.studentSheets = students.sheets();

    const auto groups = ShownGroups(table, classes);
    const Thresholds limits{options.pass * options.fullMarks, options.excellent * options.fullMarks,
                            options.low * options.fullMarks};
    WriteComparison(book, table, groups, limits);
    WriteBandSheet(book, table, groups, Bands(options.bandWidth, options.fullMarks));
    WriteQuestionSheet(book, table, groups, questions, sums);
    Tell(options, "保存成绩分析", 0, -1);
    book.commit();
    Tell(options, "", 0, 0);
    return written;
}

} // namespace results
