#include "cli/Commands.h"

#include "app/AppError.h"
#include "app/Maintenance.h"
#include "app/OpenTable.h"
#include "app/ViewCommands.h"
#include "app/Workspace.h"
#include "cli/CliUi.h"
#include "platform/db/Error.h"
#include "platform/os/Folders.h"

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
    "not built yet: score, classes, check, convert, report, batch\n";

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

    app::OpenAnswerTable(ws, ui, std::filesystem::absolute(a.table));
    std::printf("%s\n", ws.Status.c_str());
    std::fflush(stdout);

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
        static const std::set<std::string> built = {"open", "sql", "repair"};
        static const std::set<std::string> planned = {"score",   "classes", "check",
                                                      "convert", "report",  "batch"};
        if (a.command.empty() || a.command == "help")
            throw UsageError{""};
        if (planned.count(a.command)) {
            std::fprintf(stderr, "quillory-cli: the command '%s' is not built yet\n",
                         a.command.c_str());
            return kUsage;
        }
        if (!built.count(a.command))
            throw UsageError{"unknown command " + a.command};
        if (a.table.empty())
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
    CliUi ui(goOn);
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
