// Import benchmark: a generated answer table of N sheets (default 1,000,000,
// 100 questions) opened by quillory-cli, side by side with the sqlite3 shell's
// .import of the same rows from CSV into a fresh database; then the table
// view walked from first to last with a value posted on every row. Each step
// runs in a child process so that its wall time and peak memory are its own.
//
//   bench-import [--records N] [--questions Q] [--keep DIR]
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/os/Folders.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Measure;
using bench::Report;
using bench::RunChild;

// The child of the walk: opens the table in a workspace and posts on every row.
int WalkAndPost(const std::string& home, const std::string& table) {
    os::SetProgramFolder(home);
    core::Workspace ws(home);
    ws.startUp();
    ws.connect();
    db::Query& v = ws.view;
    v.setSql("select * from " + table + " ORDER BY BH");
    v.open();
    db::Transaction tx(ws.connection, db::Transaction::CommitAlways);
    v.disableControls();
    long rows = 0;
    for (v.first(); !v.eof(); v.next()) {
        v.edit();
        v.setValue("f1", 1.5);
        v.post();
        ++rows;
    }
    v.enableControls();
    tx.commit();
    return rows == v.recordCount() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    int questions = 100;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--records")
            records = std::atoll(argv[i + 1]);
        else if (a == "--questions")
            questions = std::atoi(argv[i + 1]);
        else if (a == "--keep")
            keep = argv[i + 1];
        else if (a == "--walk")
            return WalkAndPost(argv[i + 1], argc > i + 2 ? argv[i + 2] : "exam");
    }
    namespace fs = std::filesystem;
    fs::path dir = keep.empty()
                       ? fs::temp_directory_path() / ("quillory-bench-" + std::to_string(getpid()))
                       : fs::path(keep);
    fs::create_directories(dir);
    const fs::path table = dir / "exam.dbf";
    const fs::path csv = dir / "exam.csv";
    const fs::path bin = os::ExecutableFolder();

    std::printf("generating %lld sheets of %d questions in %s\n", records, questions, dir.c_str());
    {
        std::ofstream out(csv, std::ios::binary);
        out << "BH,CONTENT,FLAG,SUBJECT\n";
        tools::AnswerTableLayout layout;
        layout.records = records;
        layout.questions = questions;
        layout.classes = 50;
        layout.seatDigits = 5;
        tools::WriteAnswerTable(table, layout, [&](const std::string& id, const std::string& c) {
            out << id << ',' << c << ",0,01\n";
        });
    }
    std::printf("table %.1f MB, csv %.1f MB\n", fs::file_size(table) / 1048576.0,
                fs::file_size(csv) / 1048576.0);

    fs::remove_all(dir / "home");
    fs::remove(dir / "fresh.db");
    Measure shell = RunChild({"sqlite3", "-batch", (dir / "fresh.db").string(), "-cmd", ".mode csv",
                              "-cmd", ".import " + csv.string() + " t", ".quit"});
    Report("sqlite3 .import from CSV", shell);

    Measure open = RunChild({(bin / "quillory-cli").string(), "--home", (dir / "home").string(),
                             "--go-on", "open", table.string()});
    Report("quillory-cli open (import + view)", open);

    Measure reopen = RunChild({(bin / "quillory-cli").string(), "--home", (dir / "home").string(),
                               "open", table.string()});
    Report("quillory-cli open again (view only)", reopen);

    Measure walk =
        RunChild({(bin / "bench-import").string(), "--walk", (dir / "home").string(), "exam"});
    Report("table view: walk and post on every row", walk);

    double importOnly = open.seconds - reopen.seconds;
    std::printf("\nimport (first open less a reopen): %.2f s = %.2f x the shell's .import "
                "(target <= 2)\n",
                importOnly, importOnly / shell.seconds);
    std::printf("whole first open: %.2f x the shell's .import; peak %.1f MB (target < 200)\n",
                open.seconds / shell.seconds, open.peakKb / 1024.0);
    if (keep.empty())
        fs::remove_all(dir);
    bool ok = shell.status == 0 && open.status == 0 && reopen.status == 0 && walk.status == 0;
    return ok ? 0 : 1;
}
