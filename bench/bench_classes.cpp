// Class-statistics benchmark: a generated table of N sheets (default
// 1,000,000) in 50 classes with 100 questions, scored, then the class
// statistics beside one full read of the table (SELECT * with every value of
// every row fetched), in the same process; then the report is compared with
// the one the per-class statements give (--no-reference skips that, it reads
// the table twice per class).
//
//   bench-classes [--records N] [--no-reference]
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/db/Statement.h"
#include "platform/os/Folders.h"
#include "platform/text/TextFile.h"
#include "stats/ClassesCommand.h"
#include "tests/support/ClassReportByStatements.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    bool reference = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--records" && i + 1 < argc)
            records = std::atoll(argv[++i]);
        else if (a == "--no-reference")
            reference = false;
    }
    fs::path dir =
        fs::temp_directory_path() / ("quillory-bench-classes-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path table = dir / "exam.dbf";
    const fs::path home = dir / "home";
    bench::WriteBenchTable(table, records);
    std::printf("class statistics of %lld sheets in 50 classes, 100 questions\n", records);

    // Scored by the command line, so that f1..f100 hold points.
    std::string key;
    for (int i = 1; i <= 80; ++i)
        key += std::string(1, "ABCD"[i % 4]) + (i % 5 == 0 && i < 80 ? ";" : "");
    std::string multiKey;
    for (int j = 1; j <= 20; ++j)
        multiKey += std::string(j > 1 ? ";" : "") + (j % 2 ? "AB" : "C");
    const auto cli = (os::ExecutableFolder() / "quillory-cli").string();
    bench::Report("scoring (quillory-cli score)",
                  bench::RunChild({cli, "--home", home.string(), "score", table.string(),
                                   "--segment", "40:1", "--segment", "40:1.5", "--key", key,
                                   "--multi", "20", "--full", "2", "--multi-key", multiKey}));

    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    (void)core::OpenAnswerTable(ws, ui, table);

    auto start = std::chrono::steady_clock::now();
    long long values = 0;
    {
        db::Statement all = ws.connection.prepare("SELECT * FROM exam");
        while (all.step())
            for (int c = 0; c < all.columnCount(); ++c)
                values += db::IsNull(all.column(c)) ? 0 : 1;
    }
    const double fullRead = Since(start);

    stats::ClassSettings s;
    s.prefixMode = true;
    s.prefix = "2026";
    s.totalLength = 11;
    s.codeLength = 2;
    s.firstClass = 1;
    s.lastClass = 50;
    s.questions = 100;
    os::RecordingShell shell;
    start = std::chrono::steady_clock::now();
    (void)stats::RunClassStatistics(ws, ui, shell, {}, s, "分班统计");
    const double run = Since(start);
    std::printf("one full read (SELECT *, %lld values): %.2f s\n", values, fullRead);
    std::printf("class statistics: %.2f s = %.2f x the full read (target <= 3)\n", run,
                run / fullRead);

    int status = 0;
    if (reference) {
        start = std::chrono::steady_clock::now();
        auto expected = testsupport::ReportByStatements(ws, s);
        auto written = text::LoadLines(home / "分班统计_exam.txt");
        std::printf("per-class statements: %.2f s; report %s\n", Since(start),
                    expected == written ? "byte-identical" : "DIFFERS");
        status = expected == written ? 0 : 1;
    }
    fs::remove_all(dir);
    return status;
}
