// Report benchmark: the spreadsheet report's .xls export of a generated table
// (three columns: exam number, answers, score) at 100,000 and 1,000,000
// sheets, and the formatted .xlsx the spreadsheet stand-in writes for
// 100,000 rows; each in a child process, with its peak memory. The .xls
// export streams: its memory must stay flat as the rows grow.
//
//   bench-report [--records N]
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "bench/Support.h"
#include "platform/automation/SheetServer.h"
#include "platform/os/Folders.h"
#include "report/ExcelReport.h"
#include "report/ExportExcel.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Child: opens the table and runs the step.
int Child(const std::string& step, const fs::path& home, const fs::path& table) {
    os::SetProgramFolder(home);
    ::setenv("TMPDIR", home.c_str(), 1);
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    (void)core::OpenAnswerTable(ws, ui, table);
    if (step == "xls") {
        db::Query& v = ws.view;
        v.close();
        v.setSql(report::ReportQuery(v.sqlText(), ws.Fields.ID, ws.Fields.Content, ws.Fields.Score));
        v.open();
        report::TDS2Excel(v).SaveToFile(home / "test.xls", true);
        return 0;
    }
    os::RecordingShell shell;
    report::ExportReport(ws, automation::SheetServer({&shell, {}})); // test.xls, then test.xlsx through the stand-in
    return fs::exists(home / "test.xlsx") ? 0 : 1;
}

fs::path Table(const fs::path& dir, long long records) {
    const fs::path table = dir / ("exam" + std::to_string(records)) / "exam.dbf";
    fs::create_directories(table.parent_path());
    bench::WriteBenchTable(table, records);
    return table;
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--records")
            records = std::atoll(argv[i + 1]);
        else if (a == "--child" && i + 3 < argc)
            return Child(argv[i + 1], argv[i + 2], argv[i + 3]);
    }
    fs::path dir = fs::temp_directory_path() / ("quillory-bench-report-" + std::to_string(getpid()));
    const auto self = (os::ExecutableFolder() / "bench-report").string();
    const long long small = std::min(records, 100000LL);
    int status = 0;
    for (long long n : {small, records}) {
        const fs::path table = Table(dir, n);
        const fs::path home = table.parent_path() / "home";
        bench::RunChild({(os::ExecutableFolder() / "quillory-cli").string(), "--home", home.string(),
                         "open", table.string()});
        bench::Measure xls = bench::RunChild({self, "--child", "xls", home.string(), table.string()});
        std::printf("%lld rows: ", n);
        bench::Report(".xls export of 3 columns (with opening)", xls);
        std::printf("%lld rows: .xls is %.1f MB\n", n, fs::file_size(home / "test.xls") / 1048576.0);
        status |= xls.status;
        if (n == small) {
            bench::Measure formatted =
                bench::RunChild({self, "--child", "report", home.string(), table.string()});
            std::printf("%lld rows: ", n);
            bench::Report("report with the formatted .xlsx", formatted);
            status |= formatted.status;
        }
        if (n == records)
            break;
    }
    fs::remove_all(dir);
    return status;
}
