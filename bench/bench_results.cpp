// Results-workbook benchmark: the workbook of N sheets (default 1,000,000) x
// 100 questions in 50 classes, read from an in-memory source, beside the
// floor of the library: a plain libxlsxwriter program that streams the same
// cells (the same kinds and values, ranks replaced by a counter) to one
// worksheet in constant-memory mode. Then the same size through the
// database: a generated answer table imported, scored and given a roster
// with names (set-up, timed apart), and the results command over it. Each
// runs in a child process of the same run, with its wall time and peak
// memory; the ratios to the floor are printed.
//
//   bench-results [--sheets N] [--questions Q] [--classes C] [--no-database]
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "platform/db/Statement.h"
#include "platform/os/Folders.h"
#include "results/Results.h"
#include "results/ResultsCommand.h"
#include "scoring/ScoreCommand.h"

#include <xlsxwriter.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Shape {
    long long sheets = 1000000;
    int questions = 100;
    int classes = 50;
};

// The generated grade: sheets in exam-number order, class by class
// ("2026" + class + five-digit seat); the first 80 % of the questions worth 1
// point, the rest 2 with 1 for a partial answer; one sheet in 1,000 without a
// score, one in 500 whose class cannot be told.
class GeneratedGrade : public scoring::SheetSource {
  public:
    explicit GeneratedGrade(const Shape& shape)
        : mShape(shape), mPoints(static_cast<std::size_t>(shape.questions)),
          mValues(static_cast<std::size_t>(shape.questions)) {}

    void forEach(const scoring::SheetVisit& visit) override { walk(true, visit); }
    void forEachInAnyOrder(const scoring::SheetVisit& visit) override { walk(false, visit); }

    // The class of the sheet being visited.
    [[nodiscard]] int classOf() const { return mRow.classIndex; }

    // Every sheet, with its exam number, name and points when `rows`.
    void walk(bool rows, const scoring::SheetVisit& visit) {
        mRows = rows;
        for (long long i = 0; i < mShape.sheets; ++i) {
            fill(i);
            db::Value score;
            if (mRow.score)
                score = *mRow.score;
            scoring::Sheet sheet;
            sheet.record = i + 1;
            sheet.score = &score;
            if (rows) {
                sheet.examNumber = mRow.examNumber;
                sheet.rosterName = mRow.name;
                for (std::size_t q = 0; q < mPoints.size(); ++q)
                    mValues[q] = mPoints[q];
                sheet.values = mValues;
            }
            visit(sheet);
        }
    }

    // The sheet `i` in `row`, as both programs write it.
    void fill(long long i) {
        const long long perClass = (mShape.sheets + mShape.classes - 1) / mShape.classes;
        const int cls = static_cast<int>(i / perClass);
        char exam[64];
        std::snprintf(exam, sizeof exam, "2026%02d%05lld", cls + 1, i % perClass);
        mExam = exam;
        mName = std::string(kFamily[i % 8]) + kGiven[(i / 8) % 8];
        double score = 0;
        for (int q = 0; q < mShape.questions; ++q) {
            const double p = Points(i, q);
            mPoints[static_cast<std::size_t>(q)] = p;
            score += p;
        }
        mRow.examNumber = mRows ? std::string_view(mExam) : std::string_view();
        mRow.name = mRows ? std::string_view(mName) : std::string_view();
        mRow.classIndex = i % 500 == 7 ? -1 : cls;
        mRow.score = i % 1000 == 3 ? std::nullopt : std::optional<double>(score);
        mRow.points = mPoints;
    }

    [[nodiscard]] double full(int q) const { return q < mShape.questions * 4 / 5 ? 1 : 2; }

    [[nodiscard]] const results::SheetRow& row() const { return mRow; }

  private:
    static constexpr const char* kFamily[8] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄"};
    static constexpr const char* kGiven[8] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊"};

    // A point value that looks like marking: mostly right, some partial.
    [[nodiscard]] double Points(long long i, int q) const {
        std::uint64_t h = static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ULL +
                          static_cast<std::uint64_t>(q) * 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 31;
        h *= 0x94D049BB133111EBULL;
        h ^= h >> 29;
        const unsigned roll = static_cast<unsigned>(h % 100);
        if (full(q) == 1)
            return roll < 70 ? 1 : 0;
        return roll < 55 ? 2 : roll < 80 ? 1 : 0;
    }

    Shape mShape;
    bool mRows = true;
    std::string mExam;
    std::string mName;
    std::vector<double> mPoints;
    std::vector<db::Value> mValues;
    results::SheetRow mRow;
};

std::vector<std::string> ClassCodes(int classes) {
    std::vector<std::string> codes;
    for (int c = 1; c <= classes; ++c)
        codes.push_back((c < 10 ? "0" : "") + std::to_string(c));
    return codes;
}

int WriteResults(const fs::path& dir, const Shape& shape) {
    GeneratedGrade grade(shape);
    std::vector<results::Question> questions;
    results::Options o;
    for (int q = 0; q < shape.questions; ++q) {
        questions.push_back({"f" + std::to_string(q + 1), grade.full(q)});
        o.fullMarks += grade.full(q);
    }
    const auto written = results::WriteResultsWorkbook(
        dir / results::WorkbookName("exam"), grade,
        [&grade](const scoring::Sheet&) { return grade.classOf(); }, ClassCodes(shape.classes),
        questions, o);
    std::fprintf(stderr,
                 "listed %lld, empty %lld, %lld without a class, %d student sheets, %.1f MB\n",
                 written.listed, written.emptyScores, written.unclassed, written.studentSheets,
                 static_cast<double>(fs::file_size(written.file)) / 1048576.0);
    return 0;
}

// The floor: the same cells in one constant-memory worksheet, nothing else.
int WriteFloor(const fs::path& dir, const Shape& shape) {
    GeneratedGrade grade(shape);
    const auto codes = ClassCodes(shape.classes);
    const std::string file = (dir / "floor.xlsx").string();
    std::string tmp = dir.string();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmp.data();
    options.use_zip64 = shape.sheets * (6 + shape.questions) > 50'000'000 ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(file.c_str(), &options);
    lxw_worksheet* ws = workbook_add_worksheet(book, "floor");
    for (lxw_col_t c = 0; c < static_cast<lxw_col_t>(6 + shape.questions); ++c)
        worksheet_write_string(ws, 0, c, "head", nullptr);
    lxw_row_t row = 0;
    std::string text;
    for (long long i = 0; i < shape.sheets; ++i) {
        grade.fill(i);
        const results::SheetRow& s = grade.row();
        if (!s.score)
            continue;
        ++row;
        text.assign(s.examNumber);
        worksheet_write_string(ws, row, 0, text.c_str(), nullptr);
        if (s.classIndex >= 0)
            worksheet_write_string(ws, row, 1,
                                   codes[static_cast<std::size_t>(s.classIndex)].c_str(), nullptr);
        text.assign(s.name);
        worksheet_write_string(ws, row, 2, text.c_str(), nullptr);
        worksheet_write_number(ws, row, 3, *s.score, nullptr);
        worksheet_write_number(ws, row, 4, static_cast<double>(row), nullptr);
        if (s.classIndex >= 0)
            worksheet_write_number(ws, row, 5, static_cast<double>(row % 20000 + 1), nullptr);
        for (std::size_t q = 0; q < s.points.size(); ++q)
            worksheet_write_number(ws, row, static_cast<lxw_col_t>(6 + q), s.points[q], nullptr);
    }
    return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

// The benchmark's Ui, printing the messages that stop a step.
class TellingUi : public bench::QuietUi {
  public:
    void message(const std::string& text, const std::string& title, core::Icon) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
};

// The database run's table: `exam` in home/data.mdb, generated, imported and
// scored (the first 80 % of the questions single choice worth 1 and 1.5 in two
// segments, the rest multiple choice worth 2), one score in 1,000 emptied,
// and `ids` naming every sheet.
int PrepareTable(const fs::path& dir, const Shape& shape) {
    const fs::path home = dir / "home";
    fs::create_directories(home);
    os::SetProgramFolder(home);
    tools::AnswerTableLayout layout;
    layout.records = shape.sheets;
    layout.questions = shape.questions;
    layout.classes = shape.classes;
    layout.seatDigits = 5;
    layout.score = "float";
    tools::WriteAnswerTable(dir / "exam.dbf", layout);
    core::Workspace ws(home);
    ws.startUp();
    TellingUi ui;
    (void)core::OpenAnswerTable(ws, ui, dir / "exam.dbf");
    const int single = shape.questions * 4 / 5;
    scoring::ScoringSettings st;
    st.segmentChoice = 2;
    st.counts = {single / 2, single - single / 2, 0, 0};
    st.enabled = {true, true, false, false};
    st.points = {"1", "1.5", "0", "0"};
    for (int i = 1; i <= single; ++i) {
        st.singleKey += "ABCD"[i % 4];
        if (i % 5 == 0 && i < single)
            st.singleKey += ';';
    }
    st.multiCount = shape.questions - single;
    st.full = "2";
    st.partial = "1";
    for (int j = 1; j <= st.multiCount; ++j)
        st.multiKey += std::string(j > 1 ? ";" : "") + (j % 2 ? "AB" : "C");
    os::RecordingShell shell;
    if (scoring::ScoreAll(ws, ui, shell, st, {}).outcome != core::Outcome::Done)
        return 1;
    for (const char* sql :
         {"UPDATE exam SET SCORE = NULL WHERE rowid % 1000 = 3",
          "CREATE TABLE ids (ID varchar(11), StudClass varchar(4), StudName varchar(8))",
          "INSERT INTO ids SELECT BH, substr(BH, 5, 2), substr('王李张刘陈杨赵黄', rowid % 8 + 1, "
          "1) || "
          "substr('伟芳娜敏静丽强磊', (rowid / 8) % 8 + 1, 1) FROM exam"}) {
        db::Statement st2 = ws.connection.prepare(sql);
        while (st2.step()) {
        }
    }
    return 0;
}

// The results command over the prepared table, with the classes from the
// exam number; the command alone is timed inside, into database.seconds.
int WriteFromDatabase(const fs::path& dir, const Shape& shape) {
    const fs::path home = dir / "home";
    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    TellingUi ui;
    (void)core::OpenAnswerTable(ws, ui, dir / "exam.dbf");
    stats::ClassSettings classes;
    classes.prefixMode = true;
    classes.prefix = "2026";
    classes.totalLength = 11;
    classes.codeLength = 2;
    classes.firstClass = 1;
    classes.lastClass = shape.classes;
    classes.questions = shape.questions;
    const auto start = std::chrono::steady_clock::now();
    const auto run = results::WriteResults(ws, ui, classes, {});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ofstream(dir / "database.seconds") << seconds;
    if (run.outcome != core::Outcome::Done)
        return 1;
    std::fprintf(stderr, "listed %lld, empty %lld, %lld without a class, full marks %g, %.1f MB\n",
                 run.written.listed, run.written.emptyScores, run.written.unclassed, run.fullMarks,
                 static_cast<double>(fs::file_size(run.written.file)) / 1048576.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Shape shape;
    bool database = true;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--no-database")
            database = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--sheets")
            shape.sheets = std::atoll(argv[i + 1]);
        else if (a == "--questions")
            shape.questions = std::atoi(argv[i + 1]);
        else if (a == "--classes")
            shape.classes = std::atoi(argv[i + 1]);
    }
    if (argc == 7 && std::string(argv[1]) == "--child") {
        // --child WHAT DIR SHEETS QUESTIONS CLASSES
        const Shape child{std::atoll(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])};
        const std::string what = argv[2];
        if (what == "prepare")
            return PrepareTable(argv[3], child);
        if (what == "database")
            return WriteFromDatabase(argv[3], child);
        return what == "floor" ? WriteFloor(argv[3], child) : WriteResults(argv[3], child);
    }
    const fs::path dir =
        fs::temp_directory_path() / ("quillory-bench-results-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto self = (os::ExecutableFolder() / "bench-results").string();
    auto run = [&](const char* what) {
        return bench::RunChild({self, "--child", what, dir.string(), std::to_string(shape.sheets),
                                std::to_string(shape.questions), std::to_string(shape.classes)});
    };
    std::printf("results workbook of %lld sheets x %d questions in %d classes\n", shape.sheets,
                shape.questions, shape.classes);
    const bench::Measure floor = run("floor");
    bench::Report("floor: plain libxlsxwriter, same cells", floor);
    std::printf("floor .xlsx is %.1f MB\n",
                static_cast<double>(fs::file_size(dir / "floor.xlsx")) / 1048576.0);
    fs::remove(dir / "floor.xlsx");
    const bench::Measure workbook = run("results");
    bench::Report("results workbook (two passes, ranks)", workbook);
    std::printf("ratio to the floor: %.2f, in cpu time %.2f (target at most 1.5); peak %.1f MB "
                "(target under 200)\n",
                workbook.seconds / floor.seconds, workbook.cpuSeconds / floor.cpuSeconds,
                workbook.peakKb / 1024.0);
    int status = floor.status | workbook.status;
    if (database) {
        bench::Report("set-up: generate, import, score, roster", run("prepare"));
        const bench::Measure fromDb = run("database");
        double command = 0;
        std::ifstream(dir / "database.seconds") >> command;
        bench::Report("results through the database (process)", fromDb);
        std::printf(
            "the command alone %.2f s (the rest opens the table); ratio to the floor: %.2f, "
            "process %.2f, process in cpu time %.2f; peak %.1f MB\n",
            command, command / floor.seconds, fromDb.seconds / floor.seconds,
            fromDb.cpuSeconds / floor.cpuSeconds, fromDb.peakKb / 1024.0);
        status |= fromDb.status;
    }
    fs::remove_all(dir);
    return status;
}
