// Report benchmark: the spreadsheet report of a generated table (three
// columns: exam number, answers, score). At 65,535 sheets, the most an .xls
// holds with its field-name row: the .xls export alone, and the whole report
// with the formatted .xlsx the spreadsheet stand-in writes. At N sheets
// (default 1,000,000): the whole report, which writes test.xlsx straight from
// the rows; its rows are counted afterwards (with unzip, when installed).
// Each step in a child process, with its peak memory.
//
//   bench-report [--records N]
#include "bench/Support.h"
#include "core/OpenTable.h"
#include "core/Workspace.h"
#include "platform/automation/SheetServer.h"
#include "platform/os/Folders.h"
#include "report/ExportExcel.h"
#include "report/ReportCommand.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Child: opens the table and runs the step.
int Child(const std::string& step, const fs::path& home, const fs::path& table) {
    os::SetProgramFolder(home);
    ::setenv("TMPDIR", home.c_str(), 1); // the child's spreadsheet files go to its own folder there
    core::Workspace ws(home);
    ws.startUp();
    bench::QuietUi ui;
    (void)core::OpenAnswerTable(ws, ui, table);
    if (step == "xls") {
        db::Query& v = ws.view;
        v.close();
        v.setSql(
            report::ReportQuery(v.sqlText(), ws.Fields.ID, ws.Fields.Content, ws.Fields.Score));
        v.open();
        report::TDS2Excel(v).SaveToFile(os::ProcessTempFolder() / "test.xls", true);
        return 0;
    }
    os::RecordingShell shell;
    // test.xls, then test.xlsx through the stand-in; or test.xlsx straight.
    const report::ReportResult written =
        report::ExportReport(ws, automation::SheetServer({&shell, {}, {}}));
    return fs::exists(os::ProcessTempFolder() / "test.xlsx") &&
                   written.file.extension() == (step == "report" ? ".xls" : ".xlsx")
               ? 0
               : 1;
}

// The rows of every worksheet of the workbook, or -1 when they cannot be
// counted here.
long long WorkbookRows(const fs::path& xlsx) {
    if (std::system("command -v unzip > /dev/null 2>&1") != 0)
        return -1;
    const std::string cmd =
        "unzip -p '" + xlsx.string() + "' 'xl/worksheets/sheet*.xml' | grep -o '<row ' | wc -l";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    long long rows = -1;
    if (std::fscanf(p, "%lld", &rows) != 1)
        rows = -1;
    pclose(p);
    return rows;
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
    fs::path dir =
        fs::temp_directory_path() / ("quillory-bench-report-" + std::to_string(getpid()));
    const auto self = (os::ExecutableFolder() / "bench-report").string();
    const long long largestXls = report::TDS2Excel::kRowLimit - 1;
    int status = 0;
    auto opened = [&](long long n) {
        const fs::path table = Table(dir, n);
        bench::RunChild({(os::ExecutableFolder() / "quillory-cli").string(), "--home",
                         (table.parent_path() / "home").string(), "open", table.string()});
        return table;
    };
    {
        const fs::path table = opened(std::min(records, largestXls));
        const fs::path home = table.parent_path() / "home";
        const bench::Measure xls =
            bench::RunChild({self, "--child", "xls", home.string(), table.string()});
        std::printf("%lld rows: ", std::min(records, largestXls));
        bench::Report(".xls export of 3 columns (with opening)", xls);
        std::printf(
            "%lld rows: .xls is %.1f MB\n", std::min(records, largestXls),
            fs::file_size(home / os::ProcessTempFolderName(::getuid(), xls.pid) / "test.xls") /
                1048576.0);
        const bench::Measure formatted =
            bench::RunChild({self, "--child", "report", home.string(), table.string()});
        std::printf("%lld rows: ", std::min(records, largestXls));
        bench::Report("report: .xls, then .xlsx by the stand-in", formatted);
        status |= xls.status | formatted.status;
    }
    if (records > largestXls) {
        const fs::path table = opened(records);
        const fs::path home = table.parent_path() / "home";
        const bench::Measure straight =
            bench::RunChild({self, "--child", "large", home.string(), table.string()});
        std::printf("%lld rows: ", records);
        bench::Report("report straight to .xlsx (with opening)", straight);
        const long long sheets =
            (records + report::kWorkbookSheetRows - 2) / (report::kWorkbookSheetRows - 1);
        // The child's TMPDIR is its home: its own folder is there.
        const fs::path workbook =
            home / os::ProcessTempFolderName(::getuid(), straight.pid) / "test.xlsx";
        const long long rows = WorkbookRows(workbook);
        std::printf(
            "%lld rows: .xlsx is %.1f MB, %lld worksheet rows counted (%lld expected: %s)\n",
            records, fs::file_size(workbook) / 1048576.0, rows, records + sheets,
            rows < 0                   ? "not counted, unzip missing"
            : rows == records + sheets ? "every row"
                                       : "ROWS LOST");
        status |= straight.status | (rows >= 0 && rows != records + sheets);
    }
    fs::remove_all(dir);
    return status;
}
