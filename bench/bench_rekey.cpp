// Correcting one key benchmark: a generated table of N sheets (default
// 1,000,000) with 100 questions is scored in full (80 single-choice questions
// in two segments, 20 multiple-choice), then single-choice question 3 is
// corrected from D to A: first the preview, then the correction itself. All
// three run one after another in one child process on the same open table;
// each is timed inside the child, and the child's peak memory (over all
// three) is read when it ends. Each phase is timed both by the wall clock and
// by the process's CPU time (user + system) spent in it: on a machine shared
// with other work the wall time grows with the load, the CPU time much less.
//
//   bench-rekey [--records N]
#include "analysis/RekeyCommand.h"
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/os/Folders.h"
#include "platform/os/Shell.h"
#include "scoring/ScoreCommand.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One phase's wall and CPU seconds, taken from its construction to write().
class PhaseClock {
  public:
    PhaseClock() : mWall(std::chrono::steady_clock::now()), mCpu(CpuSeconds()) {}
    void write(std::ostream& out) const {
        out << std::chrono::duration<double>(std::chrono::steady_clock::now() - mWall).count()
            << ' ' << CpuSeconds() - mCpu << ' ' << PeakKb() << '\n';
    }

  private:
    std::chrono::steady_clock::time_point mWall;
    double mCpu;
};

struct Phase {
    double wall = 0, cpu = 0;
    long peakKb = 0;
};

void PrintPhase(const char* name, const Phase& p, const Phase& full, const char* target) {
    std::printf("%-11s %7.2f s wall %7.2f s cpu", name, p.wall, p.cpu);
    if (target)
        std::printf("  = %.3f x wall, %.3f x cpu of the full run (target <= %s)",
                    p.wall / full.wall, p.cpu / full.cpu, target);
    std::printf("  peak so far %.1f MB\n", p.peakKb / 1024.0);
}

scoring::ScoringSettings Settings() {
    scoring::ScoringSettings st;
    st.segmentChoice = 2;
    st.counts = {40, 40, 0, 0};
    st.enabled = {true, true, false, false};
    st.points = {"1", "1.5", "0", "0"};
    for (int i = 1; i <= 80; ++i) {
        st.singleKey += "ABCD"[i % 4]; // question 3 is keyed D
        if (i % 5 == 0 && i < 80)
            st.singleKey += ';';
    }
    st.multiCount = 20;
    st.full = "2";
    st.partial = "1";
    for (int j = 1; j <= 20; ++j)
        st.multiKey += std::string(j > 1 ? ";" : "") + (j % 2 ? "AB" : "C");
    return st;
}

// The three timings, one after another on the same open table, written to
// rekey.times in the home folder: wall and CPU seconds of each and the peak
// after each.
int Run(const fs::path& home, const fs::path& table) {
    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    (void)core::OpenAnswerTable(ws, ui, table);
    os::RecordingShell shell;
    std::ofstream times(home / "rekey.times");

    const PhaseClock fullRun;
    if (scoring::ScoreAll(ws, ui, shell, Settings(), {}).outcome != core::Outcome::Done)
        return 1;
    fullRun.write(times);

    const PhaseClock previewing;
    const analysis::RekeyPreview preview = analysis::PreviewRekey(ws, ui, {3, 'A'});
    previewing.write(times);

    const PhaseClock correcting;
    const analysis::RekeyResult result = analysis::ApplyRekey(ws, ui, {3, 'A'});
    correcting.write(times);
    times << preview.changed << ' ' << result.rowsChanged << '\n';
    return preview.changed == result.rowsChanged && result.rowsChanged > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--records")
            records = std::atoll(argv[i + 1]);
        else if (a == "--run" && i + 2 < argc)
            return Run(argv[i + 1], argv[i + 2]);
    }
    const fs::path dir =
        fs::temp_directory_path() / ("quillory-bench-rekey-" + std::to_string(getpid()));
    fs::create_directories(dir / "home");
    const fs::path table = dir / "exam.dbf";
    const fs::path bin = os::ExecutableFolder();
    bench::WriteBenchTable(table, records);
    std::printf("correcting one key of %lld sheets: 80 single-choice questions in 2 segments, "
                "20 multiple-choice; question 3 from D to A\n",
                records);
    bench::Report("import (quillory-cli open)",
                  bench::RunChild({(bin / "quillory-cli").string(), "--home",
                                   (dir / "home").string(), "open", table.string()}));
    const bench::Measure run = bench::RunChild(
        {(bin / "bench-rekey").string(), "--run", (dir / "home").string(), table.string()});
    bench::Report("full run + preview + correction (process)", run);
    Phase phases[3];
    long long previewed = 0, changed = 0;
    std::ifstream times(dir / "home" / "rekey.times");
    for (Phase& p : phases)
        times >> p.wall >> p.cpu >> p.peakKb;
    times >> previewed >> changed;
    std::printf("\n");
    PrintPhase("full run", phases[0], phases[0], nullptr);
    PrintPhase("preview", phases[1], phases[0], "0.2");
    PrintPhase("correction", phases[2], phases[0], "0.6");
    std::printf("sheets changed: %lld previewed, %lld rewritten; peak of the process %.1f MB "
                "(target < 200)\n",
                previewed, changed, run.peakKb / 1024.0);
    fs::remove_all(dir);
    return run.status;
}
