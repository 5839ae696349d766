#include "cli/Commands.h"

#include "app/AppError.h"
#include "app/Config.h"
#include "app/Maintenance.h"
#include "app/OpenTable.h"
#include "app/ViewCommands.h"
#include "app/Workspace.h"
#include "cli/CliUi.h"
#include "platform/db/Error.h"
#include "platform/os/Folders.h"
#include "platform/os/Shell.h"
#include "platform/automation/SheetServer.h"
#include "report/Batch.h"
#include "report/ExcelReport.h"
#include "scoring/Conversion.h"
#include "scoring/ScoringRun.h"
#include "stats/ClassStatistics.h"
#include "stats/MissingNumbers.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace cli {
namespace {

constexpr int kDone = 0, kError = 1, kUsage = 2, kStopped = 3;

const char* kUsageText =
    "usage: quillory-cli [--home DIR] [--go-on] COMMAND TABLE.dbf [options]\n"
    "commands:\n"
    "  open                        open (and on first sight import) the table\n"
    "  sql --statement TEXT [--no-rows]\n"
    "                              run a statement on the scratch database; rows are\n"
    "                              printed tab-separated\n"
    "  repair                      clear the index flag of a .dbf file (no import)\n"
    "  score [--segment COUNT:POINTS]... [--key TEXT] [--multi COUNT] [--full F]\n"
    "        [--partial P] [--multi-key TEXT] [--report]\n"
    "                              the scoring run; --report answers Yes to the report\n"
    "  convert [--record N] [--segment COUNT]...\n"
    "                              a sheet's marks as answer-key text\n"
    "  classes [--prefix TEXT | --start POS] [--code-length L] [--first A] [--last B]\n"
    "          [--id-length T] [--questions N] [--predefined]\n"
    "          [--subjects NAME,...] [--starts S1,...,S6]\n"
    "                              the class statistics; left-out options keep what the\n"
    "                              dialog would offer for the table\n"
    "  check [--start N]           the missing exam-number check\n"
    "  report                      the spreadsheet report (test.xls, formatted as test.xlsx)\n"
    "  batch --kind test|test2 [--multi COUNT]\n"
    "                              the batch statistics over the program folder (no TABLE)\n";

struct Args {
    std::string command;
    std::string table;
    std::map<std::string, std::vector<std::string>> options;
    std::set<std::string> flags;

    [[nodiscard]] std::optional<std::string> option(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end() || it->second.empty())
            return std::nullopt;
        return it->second.back();
    }
};

struct UsageError {
    std::string text;
};

// Options that take no value.
const std::set<std::string> kFlags = {"--no-rows", "--predefined", "--report", "--go-on"};

Args Parse(const std::vector<std::string>& argv, std::optional<std::string>& home, bool& goOn) {
    Args a;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& s = argv[i];
        if (s == "--home") {
            if (i + 1 >= argv.size())
                throw UsageError{"--home needs a folder"};
            home = argv[++i];
        } else if (s == "--go-on") {
            goOn = true;
        } else if (s.rfind("--", 0) == 0) {
            if (a.command.empty())
                throw UsageError{"unknown option " + s};
            if (kFlags.count(s)) {
                a.flags.insert(s);
            } else {
                if (i + 1 >= argv.size())
                    throw UsageError{s + " needs a value"};
                a.options[s].push_back(argv[++i]);
            }
        } else if (a.command.empty()) {
            a.command = s;
        } else if (a.table.empty()) {
            a.table = s;
        } else {
            throw UsageError{"unexpected argument " + s};
        }
    }
    return a;
}

void PrintRows(db::Query& q) {
    std::string line;
    for (int f = 0; f < q.fieldCount(); ++f)
        line += (f ? "\t" : "") + q.field(f).name;
    std::printf("%s\n", line.c_str());
    for (q.first(); !q.eof(); q.next()) {
        line.clear();
        for (int f = 0; f < q.fieldCount(); ++f)
            line += (f ? "\t" : "") + db::Query::ToText(q.value(f));
        std::printf("%s\n", line.c_str());
    }
}

int Number(const std::string& text, const char* option) {
    try {
        std::size_t used = 0;
        int n = std::stoi(text, &used);
        if (used == text.size())
            return n;
    } catch (const std::exception&) {
    }
    throw UsageError{std::string(option) + " needs a whole number, not '" + text + "'"};
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        parts.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

// The panels as the window fills them for these options: the number of
// --segment options is the segment number chosen; Edit9 is the whole-number
// half of Edit8 unless --partial says otherwise.
scoring::ScoringSettings ScoringSettingsOf(const Args& a) {
    scoring::ScoringSettings st;
    std::vector<std::string> segments;
    if (auto it = a.options.find("--segment"); it != a.options.end())
        segments = it->second;
    if (segments.size() > 4)
        throw UsageError{"at most four --segment COUNT:POINTS"};
    st.segmentChoice = static_cast<int>(segments.size());
    for (std::size_t i = 0; i < 4; ++i) {
        st.enabled[i] = i < segments.size();
        if (i < segments.size()) {
            auto colon = segments[i].find(':');
            if (colon == std::string::npos)
                throw UsageError{"--segment wants COUNT:POINTS, not '" + segments[i] + "'"};
            st.counts[i] = Number(segments[i].substr(0, colon), "--segment");
            st.points[i] = segments[i].substr(colon + 1);
        }
    }
    st.singleKey = a.option("--key").value_or("");
    st.multiCount = Number(a.option("--multi").value_or("0"), "--multi");
    st.full = a.option("--full").value_or("0");
    if (auto partial = a.option("--partial")) {
        st.partial = *partial;
    } else {
        try {
            std::size_t used = 0;
            int full = std::stoi(st.full, &used);
            st.partial = used == st.full.size() ? std::to_string(full / 2) : "0";
        } catch (const std::exception&) {
            st.partial = "0";
        }
    }
    st.multiKey = a.option("--multi-key").value_or("");
    return st;
}

// "生成报表": test.xls in the temporary folder, formatted by the spreadsheet
// stand-in into test.xlsx; both are printed. Rows beyond an .xls go straight
// to test.xlsx, with a notice.
void Report(app::Workspace& ws, app::Ui& ui, os::Shell& shell) {
    automation::RegisterSheetServer();
    automation::SetDesktop({&shell, {}});
    const report::ReportResult written = report::ExportReport(ws);
    if (!written.notice.empty())
        ui.message(written.notice, "生成报表", app::Icon::Information);
    if (written.file.extension() == ".xls")
        std::printf("wrote %s\n", written.file.c_str());
}

// The hidden batch statistics: no table is opened first.
int RunBatchCommand(const Args& a, app::Workspace& ws, CliUi& ui) {
    auto kind = a.option("--kind").value_or("test");
    if (kind != "test" && kind != "test2")
        throw UsageError{"--kind is test or test2"};
    os::PrintingShell shell;
    report::RunBatch(ws, ui, shell, kind == "test" ? report::BatchKind::Test : report::BatchKind::Test2,
                     Number(a.option("--multi").value_or("0"), "--multi"));
    if (kind == "test")
        std::printf("wrote %s\n", ws.file("统计_合计.txt").c_str());
    if (ws.Caption != "Quillory")
        std::fprintf(stderr, "failed: %s\n", ws.Caption.c_str());
    return kDone;
}

int RunCommand(const Args& a, CliUi& ui) {
    app::Workspace ws(os::ProgramFolder());
    ws.startUp();
    if (!app::Workspace::DatabaseUsable())
        ui.message("检测到系统没有安装ADO驱动，请到微软网站下载MDAC组件并安装之后才能正常使用本软件。",
                   ws.Caption, app::Icon::Error);

    if (a.command == "repair") {
        app::RepairDbfIndex(a.table);
        ui.message(app::RepairDoneText, ws.Caption, app::Icon::Information);
        return kDone;
    }

    if (a.command == "batch")
        return RunBatchCommand(a, ws, ui);
    app::OpenAnswerTable(ws, ui, std::filesystem::absolute(a.table));
    std::printf("%s\n", ws.Status.c_str());
    std::fflush(stdout);

    if (a.command == "score") {
        os::PrintingShell shell;
        scoring::ScoringFollowUps next;
        next.report = [&] { Report(ws, ui, shell); };
        auto outcome = scoring::ScoreAll(ws, ui, shell, ScoringSettingsOf(a), next);
        if (outcome == scoring::Outcome::Stopped)
            return kStopped;
        std::printf("wrote %s\n", ws.file("标准答案历史.log").c_str());
        return kDone;
    }
    if (a.command == "report") {
        os::PrintingShell shell;
        Report(ws, ui, shell);
        return kDone;
    }
    if (a.command == "classes") {
        auto guess = stats::GuessDialog(ws, ui, ws.QuestionCount);
        if (!guess)
            return kStopped;
        stats::ClassSettings st; // the dialog's initial state: start-position mode
        st.prefix = guess->prefix;
        st.totalLength = guess->totalLength;
        st.questions = guess->questions;
        if (auto prefix = a.option("--prefix")) {
            st.prefixMode = true;
            st.prefix = *prefix;
        }
        if (auto start = a.option("--start"))
            st.startPosition = Number(*start, "--start");
        if (auto v = a.option("--code-length"))
            st.codeLength = Number(*v, "--code-length");
        if (auto v = a.option("--first"))
            st.firstClass = Number(*v, "--first");
        if (auto v = a.option("--last"))
            st.lastClass = Number(*v, "--last");
        if (auto v = a.option("--id-length"))
            st.totalLength = Number(*v, "--id-length");
        if (auto v = a.option("--questions"))
            st.questions = Number(*v, "--questions");
        st.predefined = a.flags.count("--predefined") > 0;
        if (a.option("--subjects") || a.option("--starts")) {
            // As checking "综合科统计" does: the preset for the paper, if any.
            st.comprehensive = true;
            if (auto preset = stats::PresetFor(st.questions, ws.TableName))
                st.subjects = *preset;
            if (auto names = a.option("--subjects")) {
                auto list = Split(*names);
                if (list.size() > 6)
                    throw UsageError{"--subjects takes at most six names"};
                for (std::size_t i = 0; i < 6; ++i)
                    st.subjects.names[i] = i < list.size() ? list[i] : "";
            }
            if (auto starts = a.option("--starts")) {
                auto list = Split(*starts);
                if (list.size() != 6)
                    throw UsageError{"--starts takes six question numbers"};
                for (std::size_t i = 0; i < 6; ++i)
                    st.subjects.starts[i] = Number(list[i], "--starts");
            }
        }
        automation::RegisterSheetServer();
        automation::SetDesktop({nullptr, {}});
        os::PrintingShell shell;
        automation::SetDesktop({&shell, {}});
        std::string caption = "分班统计";
        auto outcome = stats::RunClassStatistics(ws, ui, shell, st, caption);
        if (st.predefined)
            std::fprintf(stderr, "分班统计: %s\n", caption.c_str());
        return outcome == stats::Outcome::Done ? kDone : kStopped;
    }
    if (a.command == "check") {
        if (auto start = a.option("--start"))
            ui.typed = *start;
        os::PrintingShell shell;
        auto outcome = stats::CheckMissingNumbers(ws, ui, shell);
        return outcome == stats::CheckOutcome::Stopped ? kStopped : kDone;
    }
    if (a.command == "convert") {
        int T = 0;
        if (auto it = a.options.find("--segment"); it != a.options.end()) {
            if (it->second.size() > 4)
                throw UsageError{"at most four --segment"};
            for (const auto& v : it->second)
                T += Number(v, "--segment");
        }
        if (auto record = a.option("--record")) {
            int n = Number(*record, "--record");
            if (n < 1 || n > ws.ADOQuery2.recordCount())
                throw app::AppError("没有第 " + *record + " 条记录，表中有 " +
                                    std::to_string(ws.ADOQuery2.recordCount()) + " 条。");
            ws.ADOQuery2.moveTo(n - 1);
        }
        if (auto keys = scoring::ConvertCurrent(ws, T))
            std::printf("%s\n", keys->c_str());
        return kDone;
    }
    if (a.command == "sql") {
        auto statement = a.option("--statement");
        if (!statement)
            throw UsageError{"sql needs --statement TEXT"};
        bool rows = !a.flags.count("--no-rows");
        int changed = app::CustomSql(ws, ui, *statement, rows);
        if (rows)
            PrintRows(ws.ADOQuery2);
        else
            std::fprintf(stderr, "已执行，改动的记录数: %d\n", changed);
    }
    return ui.stopped() ? kStopped : kDone;
}

} // namespace

int Run(const std::vector<std::string>& argv) {
    std::optional<std::string> home;
    bool goOn = false;
    Args a;
    try {
        a = Parse(argv, home, goOn);
        static const std::set<std::string> built = {"open",    "sql",     "repair", "score",
                                                    "convert", "classes", "check",  "report",
                                                    "batch"};
        static const std::set<std::string> planned = {};
        if (a.command.empty() || a.command == "help")
            throw UsageError{""};
        if (planned.count(a.command)) {
            std::fprintf(stderr, "quillory-cli: the command '%s' is not built yet\n",
                         a.command.c_str());
            return kUsage;
        }
        if (!built.count(a.command))
            throw UsageError{"unknown command " + a.command};
        if (a.table.empty() && a.command != "batch")
            throw UsageError{a.command + " needs TABLE.dbf"};
        if (a.command == "sql" && !a.option("--statement"))
            throw UsageError{"sql needs --statement TEXT"};
    } catch (const UsageError& e) {
        if (!e.text.empty())
            std::fprintf(stderr, "quillory-cli: %s\n", e.text.c_str());
        std::fputs(kUsageText, stderr);
        return kUsage;
    }

    if (home) {
        std::error_code ec;
        std::filesystem::create_directories(*home, ec);
        os::SetProgramFolder(*home);
    }
    CliUi ui(goOn, a.flags.count("--report") > 0);
    try {
        return RunCommand(a, ui);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillory-cli: %s\n%s", e.text.c_str(), kUsageText);
        return kUsage;
    } catch (const std::exception& e) {
        ui.message(e.what(), "Quillory", app::Icon::Error);
        return kError;
    }
}

} // namespace cli
