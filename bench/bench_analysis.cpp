// Exam-analysis benchmark through the database: a generated table of N
// sheets (default 1,000,000) of 100 questions (80 single choice in two
// segments, 20 multiple choice) drawn from the item-response model, scored
// by quillory-cli; then, in this process, one full read of the columns the
// analysis reads (exam number, content, f1..f100: every value of every row
// fetched, in storage order) beside the analysis of the table (two walks in
// exam-number order and the figures), and the writing of its files; the
// analysis again of a copy of the table stored in a random order. Last,
// `quillory-cli analyze` as a child process, for the whole command's time
// and peak memory (opening the table included).
//
//   bench-analysis [--records N]
#include "analysis/Analysis.h"
#include "analysis/AnalyzeCommand.h"
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/db/Statement.h"
#include "platform/os/Folders.h"
#include "scoring/RunLog.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr int Single = 80;
constexpr int Multi = 20;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of this process: steadier than the wall clock on a shared machine.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct Timed {
    double wall = 0;
    double cpu = 0;
};

template <class F> Timed Time(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    work();
    return {Since(start), CpuSeconds() - cpu};
}

void Print(const char* what, const Timed& t, const std::string& note = "") {
    std::printf("%-44s %8.2f s  %6.2f s cpu  %s\n", what, t.wall, t.cpu, note.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--records" && i + 1 < argc)
            records = std::atoll(argv[++i]);
    const fs::path dir =
        fs::temp_directory_path() / ("quillory-bench-analysis-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path table = dir / "exam.dbf";
    const fs::path home = dir / "home";
    std::printf(
        "exam analysis of %lld sheets, %d single + %d multiple choice, through the database\n",
        records, Single, Multi);

    tools::AnswerTableLayout layout;
    layout.records = records;
    layout.questions = Single + Multi;
    layout.classes = 50;
    layout.seatDigits = 5;
    layout.score = "float";
    layout.model = "irt";
    layout.multi = Multi;
    layout.seed = 2026;
    tools::AnswerKey key;
    Print("generating the table", Time([&] { key = tools::WriteAnswerTable(table, layout); }));

    const auto cli = (os::ExecutableFolder() / "quillory-cli").string();
    bench::Report("scoring (quillory-cli score)",
                  bench::RunChild({cli, "--home", home.string(), "score", table.string(),
                                   "--segment", "40:1", "--segment", "40:1.5", "--key", key.single,
                                   "--multi", "20", "--full", "2", "--multi-key", key.multi}));

    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    Print("opening the table (view in exam-number order)",
          Time([&] { (void)core::OpenAnswerTable(ws, ui, table); }));

    const auto run = scoring::LastRun(ws.connection, ws.TableName);
    if (!run) {
        std::printf("the scoring run left no settings\n");
        return 1;
    }
    const scoring::ExamRun description = scoring::AcceptedRun(*run);
    const scoring::SheetColumns columns = scoring::FindSheetColumns(
        ws.connection, ws.TableName, ws.Fields.ID, ws.Fields.Content, description);

    long long values = 0;
    const Timed full = Time([&] {
        std::string sql = "SELECT \"" + columns.examNumber + "\", \"" + columns.content + "\"";
        for (const auto& f : columns.points)
            sql += ", \"" + f + "\"";
        db::Statement all = ws.connection.prepare(sql + " FROM \"" + columns.table + "\"");
        while (all.step())
            for (int c = 0; c < all.columnCount(); ++c)
                values += db::IsNull(all.column(c)) ? 0 : 1;
    });
    Print("one full read of the same columns", full, "(" + std::to_string(values) + " values)");

    analysis::ExamAnalysis figures;
    const Timed analysed = Time([&] {
        scoring::TableSheets sheets(ws.connection, columns);
        figures = analysis::Analyze(description, sheets);
    });
    char note[160];
    std::snprintf(note, sizeof note, "(%.2f x the full read's wall, %.2f x its cpu; alpha %.3f)",
                  analysed.wall / full.wall, analysed.cpu / full.cpu, figures.alpha.value_or(0));
    Print("the analysis (two walks and the figures)", analysed, note);

    const Timed command = Time([&] { (void)analysis::AnalyzeTable(ws, ui, {}); });
    Print("the command (the analysis and its files)", command);

    // The generated sheets are stored in exam-number order, so the second
    // walk's reads by rowid go from one row to the next. A copy stored in a
    // random order makes them jump as they do for sheets read in any order.
    Print("copying the table in a random order", Time([&] {
              ws.connection
                  .prepare("CREATE TABLE shuffled AS SELECT * FROM \"" + columns.table +
                           "\" ORDER BY random()")
                  .step();
          }));
    const scoring::SheetColumns shuffledColumns = scoring::FindSheetColumns(
        ws.connection, "shuffled", ws.Fields.ID, ws.Fields.Content, description);
    analysis::ExamAnalysis shuffledFigures;
    const Timed shuffled = Time([&] {
        scoring::TableSheets sheets(ws.connection, shuffledColumns);
        shuffledFigures = analysis::Analyze(description, sheets);
    });
    // Sums of doubles taken in another order may differ in their last bits.
    const auto close = [](const analysis::Figure& a, const analysis::Figure& b) {
        return a.has_value() == b.has_value() &&
               (!a || std::fabs(*a - *b) <= 1e-12 * std::fabs(*b));
    };
    const bool same =
        shuffledFigures.sheets == figures.sheets && close(shuffledFigures.alpha, figures.alpha) &&
        close(shuffledFigures.mean, figures.mean) && close(shuffledFigures.sd, figures.sd);
    std::snprintf(note, sizeof note, "(%.2f x the full read's wall, %.2f x its cpu; figures %s)",
                  shuffled.wall / full.wall, shuffled.cpu / full.cpu, same ? "the same" : "DIFFER");
    Print("the analysis of the copy in random order", shuffled, note);

    ws.view.close();
    ws.connection.close();
    bench::Report("quillory-cli analyze (opening included)",
                  bench::RunChild({cli, "--home", home.string(), "analyze", table.string()}));
    fs::remove_all(dir);
    return 0;
}
