// Scoring benchmark: a generated table of N sheets (default 1,000,000) with
// 100 questions, scored with 80 single-choice questions in two segments and
// 20 multiple-choice questions, beside the floor of this storage: a plain
// loop of one prepared UPDATE f1..f100, score by rowid with constant values
// over the same rows in one transaction, the values stored as the run's are
// (whole points, halves in the second segment). Each runs in a child process; the
// loop itself is timed inside the child, the peak memory is the child's.
//
//   bench-score [--records N]
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/db/Statement.h"
#include "platform/os/Folders.h"
#include "scoring/ScoreCommand.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteSeconds(const fs::path& file, double seconds) {
    std::ofstream(file) << seconds;
}

double ReadSeconds(const fs::path& file) {
    double s = 0;
    std::ifstream(file) >> s;
    return s;
}

int Floor(const fs::path& home) {
    core::Workspace ws(home);
    ws.startUp();
    ws.connect();
    std::vector<std::int64_t> rowids;
    {
        db::Statement keys = ws.connection.prepare("SELECT rowid FROM exam ORDER BY BH");
        while (keys.step())
            rowids.push_back(keys.columnInt(0));
    }
    auto start = std::chrono::steady_clock::now();
    std::string sql = "UPDATE exam SET ";
    for (int k = 1; k <= 100; ++k)
        sql += "f" + std::to_string(k) + " = ?, ";
    sql += "score = ? WHERE rowid = ?";
    ws.connection.begin();
    {
        db::Statement update = ws.connection.prepare(sql);
        for (std::int64_t rowid : rowids) {
            // Constant points stored as the run's are: whole in segment 1 and
            // the multiple-choice part, halves in segment 2.
            for (int k = 1; k <= 100; ++k)
                update.bind(k, k > 40 && k <= 80 ? 1.5 : 1.0);
            update.bind(101, 90.5);
            update.bind(102, rowid);
            update.step();
            update.reset();
        }
    }
    ws.connection.commit();
    WriteSeconds(home / "floor.seconds", Since(start));
    return 0;
}

int Score(const fs::path& home, const fs::path& table) {
    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    (void)core::OpenAnswerTable(ws, ui, table);
    scoring::ScoringSettings st;
    st.segmentChoice = 2;
    st.counts = {40, 40, 0, 0};
    st.enabled = {true, true, false, false};
    st.points = {"1", "1.5", "0", "0"};
    std::string key;
    for (int i = 1; i <= 80; ++i) {
        key += "ABCD"[i % 4];
        if (i % 5 == 0 && i < 80)
            key += ';';
    }
    st.singleKey = key;
    st.multiCount = 20;
    st.full = "2";
    st.partial = "1";
    for (int j = 1; j <= 20; ++j)
        st.multiKey += std::string(j > 1 ? ";" : "") + (j % 2 ? "AB" : "C");
    os::RecordingShell shell;
    auto start = std::chrono::steady_clock::now();
    auto outcome = scoring::ScoreAll(ws, ui, shell, st, {});
    WriteSeconds(home / "score.seconds", Since(start));
    return outcome.outcome == core::Outcome::Done ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--records")
            records = std::atoll(argv[i + 1]);
        else if (a == "--floor")
            return Floor(argv[i + 1]);
        else if (a == "--score")
            return Score(argv[i + 1], argc > i + 2 ? argv[i + 2] : "");
    }
    fs::path dir = fs::temp_directory_path() / ("quillory-bench-score-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path table = dir / "exam.dbf";
    const fs::path bin = os::ExecutableFolder();
    bench::WriteBenchTable(table, records);
    std::printf(
        "scoring %lld sheets: 80 single-choice questions in 2 segments, 20 multiple-choice\n",
        records);
    auto cli = (bin / "quillory-cli").string();
    bench::Report(
        "import (quillory-cli open)",
        bench::RunChild({cli, "--home", (dir / "floor").string(), "open", table.string()}));
    bench::RunChild({cli, "--home", (dir / "score").string(), "open", table.string()});

    auto self = (bin / "bench-score").string();
    bench::Measure floor = bench::RunChild({self, "--floor", (dir / "floor").string()});
    double floorLoop = ReadSeconds(dir / "floor" / "floor.seconds");
    bench::Report("floor: prepared UPDATE by rowid (process)", floor);
    bench::Measure run =
        bench::RunChild({self, "--score", (dir / "score").string(), table.string()});
    double scoreLoop = ReadSeconds(dir / "score" / "score.seconds");
    bench::Report("scoring run (process, with opening)", run);
    std::printf("\nfloor loop %.2f s; scoring run %.2f s = %.2f x the floor (target <= 1.3); "
                "peak %.1f MB (target < 200)\n",
                floorLoop, scoreLoop, scoreLoop / floorLoop, run.peakKb / 1024.0);
    fs::remove_all(dir);
    return floor.status == 0 && run.status == 0 ? 0 : 1;
}
