#include "cli/Commands.h"

#include "analysis/AnalyzeCommand.h"
#include "cli/Arguments.h"
#include "cli/CliUi.h"
#include "cli/Help.h"
#include "cli/RekeyCommand.h"
#include "cli/ScanCommand.h"
#include "cli/SheetCommand.h"
#include "core/AppError.h"
#include "core/Config.h"
#include "core/Maintenance.h"
#include "core/OpenTable.h"
#include "core/Session.h"
#include "core/ViewCommands.h"
#include "core/Workspace.h"
#include "platform/automation/SheetServer.h"
#include "platform/db/Error.h"
#include "platform/os/Folders.h"
#include "platform/os/Shell.h"
#include "report/ReportCommand.h"
#include "report/ReportCopy.h"
#include "results/ResultsCommand.h"
#include "roster/Corrections.h"
#include "roster/Error.h"
#include "roster/RosterCommands.h"
#include "scoring/BatchCommand.h"
#include "scoring/ConvertCommand.h"
#include "scoring/PanelRules.h"
#include "scoring/ScoreCommand.h"
#include "stats/CheckCommand.h"
#include "stats/ClassMemory.h"
#include "stats/ClassesCommand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace cli {
namespace {

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

// The panels as the window fills them for these options: the number of
// --segment options is the segment number chosen; the partial points are
// the whole-number half of the full points unless --partial says otherwise.
scoring::ScoringSettings ScoringSettingsOf(const Args& a) {
    scoring::ScoringSettings st;
    std::vector<std::string> segments;
    if (auto it = a.options.find("--segment"); it != a.options.end())
        segments = it->second;
    if (segments.size() > 4)
        throw UsageError{"at most four --segment COUNT:POINTS"};
    st.segmentChoice = static_cast<int>(segments.size());
    st.enabled = scoring::SegmentsEnabled(st.segmentChoice);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        auto colon = segments[i].find(':');
        if (colon == std::string::npos)
            throw UsageError{"--segment wants COUNT:POINTS, not '" + segments[i] + "'"};
        st.counts[i] = Number(segments[i].substr(0, colon), "--segment");
        st.points[i] = segments[i].substr(colon + 1);
    }
    st.singleKey = a.option("--key").value_or("");
    st.multiCount = Number(a.option("--multi").value_or("0"), "--multi");
    st.full = a.option("--full").value_or("0");
    if (auto partial = a.option("--partial"))
        st.partial = *partial;
    else if (auto half = scoring::DefaultPartialPoints(st.full))
        st.partial = std::to_string(*half);
    else
        st.partial = "0";
    st.multiKey = a.option("--multi-key").value_or("");
    return st;
}

// What a command runs with: its arguments, the opened workspace, the
// answering Ui and the desktop stand-ins.
struct Context {
    const Args& args;
    core::Workspace& ws;
    CliUi& ui;
    os::PrintingShell& shell;
    const automation::Factory& spreadsheet;
};

int Status(core::Outcome outcome) {
    return outcome == core::Outcome::Done ? kDone : kStopped;
}

// "生成报表": test.xls in this run's own folder in the temporary folder
// (quillory-<uid>-<pid>), formatted by the spreadsheet stand-in into
// test.xlsx; both are printed. Rows beyond an .xls go straight
// to test.xlsx. The closing notice names the workbook and how to keep a copy
// of it: never a question.
void Report(Context& c) {
    const report::ReportResult written = report::ExportReport(c.ws, c.spreadsheet);
    if (!written.notice.empty())
        c.shell.open(written.file.string());
    if (written.file.extension() == ".xls")
        std::printf("wrote %s\n", written.file.c_str());
    std::fflush(stdout);
    const char* home = std::getenv("HOME");
    c.ui.message(report::ClosingNotice(written, c.ws.TableName, home && *home ? home : "~"),
                 "生成报表", core::Icon::Information);
}

int RunOpen(Context&) {
    return kDone;
}

int RunRepair(Context& c) {
    core::RepairDbfIndex(c.args.table);
    c.ui.message(core::RepairDoneText, core::Title(c.ws), core::Icon::Information);
    return kDone;
}

// The hidden batch statistics: no table is opened first. Every table that
// failed is named with its reason, and makes the command fail.
int RunBatchCommand(Context& c) {
    auto kind = c.args.option("--kind").value_or("test");
    if (kind != "test" && kind != "test2")
        throw UsageError{"--kind is test or test2"};
    auto result = scoring::RunBatch(
        c.ws, c.ui, c.shell, kind == "test" ? scoring::BatchKind::Test : scoring::BatchKind::Test2,
        Number(c.args.option("--multi").value_or("0"), "--multi"));
    if (!result.summary.empty())
        std::printf("wrote %s\n", result.summary.c_str());
    for (const auto& failure : result.failed)
        std::fprintf(stderr, "failed: %s: %s\n", failure.file.c_str(), failure.reason.c_str());
    return result.failed.empty() ? kDone : kError;
}

int RunScore(Context& c) {
    scoring::ScoringFollowUps next;
    next.report = [&c] { Report(c); };
    auto result = scoring::ScoreAll(c.ws, c.ui, c.shell, ScoringSettingsOf(c.args), next);
    if (result.outcome == core::Outcome::Stopped)
        return kStopped;
    std::printf("wrote %s\n", result.history.c_str());
    return kDone;
}

int RunReport(Context& c) {
    Report(c);
    return kDone;
}

// The comprehensive statistics' subjects, as checking "综合科统计" fills them:
// the preset for the paper, if any, then the options.
void ReadSubjects(const Args& a, const std::string& table, stats::ClassSettings& st) {
    st.comprehensive = true;
    if (auto preset = stats::PresetFor(st.questions, table))
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

// True when any option that says how classes are told is given.
bool HasClassOptions(const Args& a) {
    for (const char* option :
         {"--prefix", "--start", "--code-length", "--first", "--last", "--id-length"})
        if (a.option(option))
            return true;
    return a.flags.count("--predefined") > 0;
}

// What opening the class dialog gives (the table's last used class settings,
// else its initial state with the guesses made from the table), changed by
// the options given. --start leaves the prefix mode.
stats::ClassSettings ClassSettingsOf(const Args& a, stats::ClassSettings st,
                                     const std::string& table) {
    if (auto prefix = a.option("--prefix")) {
        st.prefixMode = true;
        st.prefix = *prefix;
    } else if (a.option("--start")) {
        st.prefixMode = false;
    }
    const std::pair<const char*, int stats::ClassSettings::*> numbers[] = {
        {"--start", &stats::ClassSettings::startPosition},
        {"--code-length", &stats::ClassSettings::codeLength},
        {"--first", &stats::ClassSettings::firstClass},
        {"--last", &stats::ClassSettings::lastClass},
        {"--id-length", &stats::ClassSettings::totalLength},
        {"--questions", &stats::ClassSettings::questions}};
    for (const auto& [option, member] : numbers)
        if (auto v = a.option(option))
            st.*member = Number(*v, option);
    if (a.flags.count("--predefined") > 0)
        st.predefined = true;
    else if (HasClassOptions(a))
        st.predefined = false;
    if (a.option("--subjects") || a.option("--starts"))
        ReadSubjects(a, table, st);
    return st;
}

stats::ClassSettings OpeningSettings(Context& c, const stats::DialogGuess& guess) {
    return stats::OpeningSettings(stats::RememberedClassSettings(c.ws.connection, c.ws.TableName),
                                  guess);
}

int RunClasses(Context& c) {
    auto guess = stats::GuessDialog(c.ws, c.ui, c.ws.QuestionCount);
    if (!guess)
        return kStopped;
    const stats::ClassSettings st =
        ClassSettingsOf(c.args, OpeningSettings(c, *guess), c.ws.TableName);
    const std::string title = "分班统计";
    auto result = stats::RunClassStatistics(c.ws, c.ui, c.shell, c.spreadsheet, st, title);
    if (st.predefined)
        std::fprintf(stderr, "分班统计: %s\n",
                     result.rowsUpdated ? std::to_string(*result.rowsUpdated).c_str()
                                        : title.c_str());
    return Status(result.outcome);
}

// "成绩分析": the class settings as for classes; --pass, --excellent and
// --low in percent of the full marks, --band in points, --full the full marks.
int RunResults(Context& c) {
    auto guess = stats::GuessDialog(c.ws, c.ui, c.ws.QuestionCount);
    if (!guess)
        return kStopped;
    results::ResultsSettings rs;
    const std::pair<const char*, double results::ResultsSettings::*> percents[] = {
        {"--pass", &results::ResultsSettings::pass},
        {"--excellent", &results::ResultsSettings::excellent},
        {"--low", &results::ResultsSettings::low}};
    for (const auto& [option, member] : percents)
        if (auto v = c.args.option(option))
            rs.*member = Decimal(*v, option) / 100;
    if (auto band = c.args.option("--band"))
        rs.bandWidth = Decimal(*band, "--band");
    if (auto full = c.args.option("--full"))
        rs.fullMarks = Decimal(*full, "--full");
    stats::ClassSettings classes =
        ClassSettingsOf(c.args, OpeningSettings(c, *guess), c.ws.TableName);
    if (!HasClassOptions(c.args))
        classes = results::ClassesForResults(c.ws, classes);
    const auto run = results::WriteResults(c.ws, c.ui, classes, rs);
    if (run.outcome == core::Outcome::Stopped)
        return kStopped;
    if (!run.oneClassNotice.empty())
        std::fprintf(stderr, "[提示] %s: %s\n", results::kResultsTitle, run.oneClassNotice.c_str());
    std::fprintf(stderr, "成绩分析: 列出 %lld 份, 总分为空 %lld 份, 未分班 %lld 份, 满分 %g (%s)\n",
                 run.written.listed, run.written.emptyScores, run.written.unclassed, run.fullMarks,
                 run.fullMarksFrom == results::FullMarksFrom::Given     ? "--full"
                 : run.fullMarksFrom == results::FullMarksFrom::LastRun ? "上次评分的设置"
                                                                        : "各题最高得分之和");
    std::printf("wrote %s\n", run.written.file.c_str());
    return kDone;
}

int RunCheck(Context& c) {
    if (auto start = c.args.option("--start"))
        c.ui.typed = *start;
    return Status(stats::CheckMissingNumbers(c.ws, c.ui, c.shell).outcome);
}

// "导入学生名单...": the class list into `ids`; the summary, with a line
// per kind of problem, on stderr.
int RunRosterImport(Context& c) {
    roster::ImportOptions options;
    options.sheet = c.args.option("--sheet");
    if (auto it = c.args.options.find("--map"); it != c.args.options.end())
        for (const auto& map : it->second) {
            try {
                options.maps.push_back(roster::ParseColumnMap(map));
            } catch (const roster::Error& e) {
                throw UsageError{std::string("--map: ") + e.what()};
            }
        }
    const auto done =
        roster::ImportRoster(c.ws, c.ui, std::filesystem::absolute(c.args.table), options);
    for (const auto& line : done.summary)
        std::fprintf(stderr, "%s\n", line.c_str());
    return kDone;
}

// --fix OLD=NEW [--record N]: one correction before the check, so that the
// report shows the table as corrected.
void FixNumber(Context& c, const std::string& fix) {
    auto correction = roster::ParseCorrection(fix);
    if (!correction)
        throw UsageError{"--fix wants OLD=NEW, not '" + fix + "'"};
    if (auto record = c.args.option("--record")) {
        const int n = Number(*record, "--record");
        if (n < 1)
            throw UsageError{"--record counts from 1"};
        correction->record = static_cast<std::uint32_t>(n);
    }
    const auto change = roster::CorrectNumber(c.ws, c.ws.TableName, *correction);
    std::fprintf(stderr, "考号更正: 第 %u 条 %s -> %s\n", change.record, change.oldId.c_str(),
                 change.newId.c_str());
    std::printf("wrote %s\n", change.log.c_str());
}

// "核对考号...": the check against `ids`, with the classes read from the
// numbers as the class options say when there is no roster.
int RunVerify(Context& c) {
    if (auto fix = c.args.option("--fix"))
        FixNumber(c, *fix);
    else if (c.args.option("--record"))
        throw UsageError{"--record goes with --fix"};
    const stats::ClassSettings settings =
        ClassSettingsOf(c.args,
                        stats::RememberedClassSettings(c.ws.connection, c.ws.TableName)
                            .value_or(stats::ClassSettings{}),
                        c.ws.TableName);
    const auto check = roster::VerifyTable(c.ws, c.ui, settings);
    if (check.outcome == core::Outcome::Stopped)
        return kStopped;
    const auto& r = check.result;
    std::fprintf(stderr,
                 "核对考号: %zu 份答卷，%s重复考号 %zu 个，名单外考号 %zu 个，缺考 %zu "
                 "人，考号异常 %zu 份\n",
                 r.sheetCount, check.roster ? "" : "没有学生名单，", r.duplicates.size(),
                 r.unknown.size(), r.absentCount(), r.malformed.size());
    std::printf("wrote %s\n", check.report.c_str());
    return kDone;
}

int RunConvert(Context& c) {
    int T = 0;
    if (auto it = c.args.options.find("--segment"); it != c.args.options.end()) {
        if (it->second.size() > 4)
            throw UsageError{"at most four --segment"};
        for (const auto& v : it->second)
            T += Number(v, "--segment");
    }
    if (auto record = c.args.option("--record")) {
        int n = Number(*record, "--record");
        if (n < 1 || n > c.ws.view.recordCount())
            throw core::AppError("没有第 " + *record + " 条记录，表中有 " +
                                 std::to_string(c.ws.view.recordCount()) + " 条。");
        c.ws.view.moveTo(n - 1);
    }
    if (auto keys = scoring::ConvertCurrent(c.ws, T))
        std::printf("%s\n", keys->c_str());
    return kDone;
}

int RunSql(Context& c) {
    auto statement = c.args.option("--statement");
    if (!statement)
        throw UsageError{"sql needs --statement TEXT"};
    bool rows = !c.args.flags.count("--no-rows");
    int changed = core::CustomSql(c.ws, c.ui, *statement, rows);
    if (rows)
        PrintRows(c.ws.view);
    else
        std::fprintf(stderr, "已执行，改动的记录数: %d\n", changed);
    return kDone;
}

// The exam analysis of the table's last scoring run.
int RunAnalyze(Context& c) {
    analysis::TableAnalysisSettings st;
    if (auto groups = c.args.option("--groups"))
        st.options.groupPercent = Decimal(*groups, "--groups");
    if (auto band = c.args.option("--band"))
        st.options.bandWidth = Decimal(*band, "--band");
    if (auto problem = analysis::CheckOptions(st.options))
        throw UsageError{*problem};
    if (auto json = c.args.option("--json"))
        st.json = std::filesystem::absolute(*json);
    const auto result = analysis::AnalyzeTable(c.ws, c.ui, st);
    if (result.outcome == core::Outcome::Stopped)
        return kStopped;
    for (const auto& file : {result.report, result.workbook})
        std::printf("wrote %s\n", file.c_str());
    if (result.json)
        std::printf("wrote %s\n", result.json->c_str());
    return kDone;
}

// The correction of one single-choice key, or its preview.
int RunRekeyCommand(Context& c) {
    const auto question = c.args.option("--question");
    const auto key = c.args.option("--key");
    if (!question || !key)
        throw UsageError{"rekey needs --question N and --key L"};
    return RunRekey(c.ws, c.ui, Number(*question, "--question"), *key,
                    c.args.flags.count("--preview") > 0);
}

int RunSheet(Context& c) {
    return RunSheetDesign(c.args);
}

int RunScan(Context& c) {
    return RunScanCommand(c.args, c.ws, c.ui);
}

int RunScanReview(Context& c) {
    return RunScanReviewCommand(c.args, c.ws, c.ui);
}

// What a command's first argument is: nothing, a file it reads (a table
// not opened, or a class list), or a table it opens first. An Outside
// command takes nothing and leaves the home folder alone. An Inputs command
// takes any number of input files and writes the table it names by option.
enum class Table { None, Named, File, Opened, Outside, Inputs };

// One command of quillory-cli: its name, whether it takes TABLE.dbf and opens
// it first, the options that take a value and those that do not, what it
// runs and its usage lines.
struct Command {
    const char* name;
    Table table;
    std::set<std::string> options;
    std::set<std::string> flags;
    int (*run)(Context&);
    const char* usage;
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"open",
         Table::Opened,
         {},
         {},
         RunOpen,
         "  open                        open (and on first sight import) the table\n"},
        {"sql",
         Table::Opened,
         {"--statement"},
         {"--no-rows"},
         RunSql,
         "  sql --statement TEXT [--no-rows]\n"
         "                              run a statement on the scratch database; rows are\n"
         "                              printed tab-separated\n"},
        {"repair",
         Table::Named,
         {},
         {},
         RunRepair,
         "  repair                      clear the index flag of a .dbf file (no import)\n"},
        {"score",
         Table::Opened,
         {"--segment", "--key", "--multi", "--full", "--partial", "--multi-key"},
         {"--report"},
         RunScore,
         "  score [--segment COUNT:POINTS]... [--key TEXT] [--multi COUNT] [--full F]\n"
         "        [--partial P] [--multi-key TEXT] [--report]\n"
         "                              the scoring run; --report answers Yes to the report\n"},
        {"convert",
         Table::Opened,
         {"--record", "--segment"},
         {},
         RunConvert,
         "  convert [--record N] [--segment COUNT]...\n"
         "                              a sheet's marks as answer-key text\n"},
        {"classes",
         Table::Opened,
         {"--prefix", "--start", "--code-length", "--first", "--last", "--id-length", "--questions",
          "--subjects", "--starts"},
         {"--predefined"},
         RunClasses,
         "  classes [--prefix TEXT | --start POS] [--code-length L] [--first A] [--last B]\n"
         "          [--id-length T] [--questions N] [--predefined]\n"
         "          [--subjects NAME,...] [--starts S1,...,S6]\n"
         "                              the class statistics; left-out options keep what the\n"
         "                              dialog would offer for the table\n"},
        {"check",
         Table::Opened,
         {"--start"},
         {},
         RunCheck,
         "  check [--start N]           the missing exam-number check\n"},
        {"report",
         Table::Opened,
         {},
         {},
         RunReport,
         "  report                      the spreadsheet report (test.xls, formatted as "
         "test.xlsx)\n"},
        {"roster import",
         Table::File,
         {"--sheet", "--map"},
         {},
         RunRosterImport,
         "  roster import FILE [--sheet NAME] [--map COLUMN=FIELD]...\n"
         "                              fill ids from a class list (CSV, .xls, .xlsx, .dbf;\n"
         "                              FIELD: ID, StudClass, StudName, StudSubject; no TABLE)\n"},
        {"verify",
         Table::Opened,
         {"--prefix", "--start", "--code-length", "--first", "--last", "--fix", "--record"},
         {},
         RunVerify,
         "  verify [--prefix TEXT | --start POS] [--code-length L] [--first A] [--last B]\n"
         "         [--fix OLD=NEW [--record N]]\n"
         "                              the exam-number check against ids (考号核对_<表名>.txt);\n"
         "                              --fix corrects a number first (--record: its place in\n"
         "                              exam-number order)\n"},
        {"results",
         Table::Opened,
         {"--prefix", "--start", "--code-length", "--first", "--last", "--id-length", "--questions",
          "--pass", "--excellent", "--low", "--band", "--full"},
         {"--predefined"},
         RunResults,
         "  results [class options as for classes] [--pass P] [--excellent E] [--low L]\n"
         "          [--band W] [--full F]\n"
         "                              成绩分析_<table>.xlsx: ranks, classes compared, score\n"
         "                              bands, question rates; P, E, L in percent of the full\n"
         "                              marks (60, 85, 40), W points (10)\n"},
        {"batch",
         Table::None,
         {"--kind", "--multi"},
         {},
         RunBatchCommand,
         "  batch --kind test|test2 [--multi COUNT]\n"
         "                              the batch statistics over the program folder (no TABLE)\n"},
        {"analyze",
         Table::Opened,
         {"--groups", "--band", "--json"},
         {},
         RunAnalyze,
         "  analyze [--groups PERCENT] [--band WIDTH] [--json FILE]\n"
         "                              the exam analysis of the last scoring run:\n"
         "                              试卷分析_<表名>.txt and .xlsx\n"},
        {"rekey",
         Table::Opened,
         {"--question", "--key"},
         {"--preview"},
         RunRekeyCommand,
         "  rekey --question N --key L [--preview]\n"
         "                              correct the key of single-choice question N (1-based\n"
         "                              among the single-choice questions) of the last scoring\n"
         "                              run to L (A-F) and re-score that question only;\n"
         "                              --preview prints what would change and writes nothing\n"},
        {"sheet design",
         Table::Outside,
         {"--questions", "--options", "--multi", "--multi-options", "--id-digits", "--title",
          "--id", "--paper", "--per-row", "--pages", "--out"},
         {},
         RunSheet,
         "  sheet design --questions N [--options 4] [--multi M] [--multi-options 4]\n"
         "         [--id-digits 9] [--title TEXT] [--id TEXT] [--paper A4|A3] [--per-row 5]\n"
         "         [--pages P] --out NAME\n"
         "                              an answer sheet to print on plain paper: NAME.pdf and\n"
         "                              its layout NAME.layout.json (no TABLE). N single-choice\n"
         "                              then M multiple-choice questions, 105 at most; 2 to 6\n"
         "                              options; blocks of five questions, --per-row side by\n"
         "                              side (default: as many as fit, at most 5); --id the\n"
         "                              layout id (default: NAME's file name)\n"},
        {"scan",
         Table::Inputs,
         {"--layout", "--out", "--subject", "--csv", "--jobs", "--id-label"},
         {},
         RunScan,
         "  scan INPUT... --layout FILE|DIR --out TABLE.dbf [--subject TEXT] [--csv FILE]\n"
         "       [--jobs N] [--id-label LABEL]\n"
         "                              scanned answer sheets (images, PDFs, folders) read\n"
         "                              into TABLE.dbf, TABLE.scan.db and 扫描记录_<表名>.txt\n"
         "                              (no TABLE argument); exit 1 when a page failed; an\n"
         "                              earlier scan's review decisions are replaced only\n"
         "                              with --go-on; --jobs: workers (default: the cores);\n"
         "                              --layout may be a bubble template (template.json,\n"
         "                              docs/omr-template.md); --id-label: its custom label\n"
         "                              of the exam number\n"},
        {"scan review",
         Table::Named,
         {"--set", "--sensitivity"},
         {"--list", "--write"},
         RunScanReview,
         "  scan review TABLE.dbf [--list] [--set SOURCE:ITEM=VALUE]... [--sensitivity S]\n"
         "       [--write]\n"
         "                              the review of a scan from TABLE.scan.db: --sensitivity\n"
         "                              1-9 (5 as scanned) decides every page again, --set\n"
         "                              decides one item (logged in 复核记录.log), --write\n"
         "                              rewrites TABLE.dbf (a .dbf changed since is\n"
         "                              overwritten only with --go-on), --list prints what is\n"
         "                              left to review; the table is not opened\n"},
    };
    return commands;
}

const Command* Find(const std::string& name) {
    for (const auto& c : Commands())
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string CommandsUsage() {
    std::string text;
    for (const auto& c : Commands())
        text += c.usage;
    return text;
}

// The usage after a mistake: the usage line of the command when it is
// known (so that the mistake stays in sight), every command's otherwise.
std::string UsageText(const Command* command) {
    return "usage: quillory-cli [--home DIR] [--go-on] [--reimport] COMMAND TABLE.dbf [options]\n"
           "       quillory-cli [COMMAND] --help\n" +
           (command ? std::string(command->usage) +
                          "(quillory-cli --help: every command, the keys, the exit statuses)\n"
                    : "commands:\n" + CommandsUsage());
}

// --help, or COMMAND --help: on stdout, with the home folder --home names
// or the one that would be used.
void PrintHelp(const std::string& command, const std::optional<std::string>& home) {
    const Command* asked = Find(command);
    const std::filesystem::path folder =
        home ? std::filesystem::absolute(*home) : os::ChooseProgramFolder(os::CurrentCandidates());
    const bool rekey = !asked || std::string(asked->name) == "rekey";
    std::fputs(HelpText(asked ? asked->usage : CommandsUsage(), folder, rekey).c_str(), stdout);
}

// The arguments; `command` is set as soon as the command is known, so that
// a mistake after it can show that command's usage.
Args Parse(const std::vector<std::string>& argv, std::optional<std::string>& home, bool& goOn,
           const Command*& command) {
    Args a;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& s = argv[i];
        if (s == "--home") {
            if (i + 1 >= argv.size())
                throw UsageError{"--home needs a folder"};
            home = argv[++i];
        } else if (s == "--go-on") {
            goOn = true;
        } else if (s == "--reimport" || s == "--help" || s == "-h") {
            a.flags.insert(s == "-h" ? "--help" : s);
        } else if (s.rfind("--", 0) == 0) {
            if (!command)
                throw UsageError{"unknown option " + s};
            if (command->flags.count(s)) {
                a.flags.insert(s);
            } else if (command->options.count(s)) {
                if (i + 1 >= argv.size())
                    throw UsageError{s + " needs a value"};
                a.options[s].push_back(argv[++i]);
            } else {
                throw UsageError{"unknown option " + s + " for " + a.command};
            }
        } else if (a.command.empty()) {
            a.command = s;
            if (i + 1 < argv.size() && Find(s + " " + argv[i + 1])) {
                // A command of two words whose first word is a command too: "scan review".
                command = Find(s + " " + argv[i + 1]);
                a.command = command->name;
                ++i;
            } else if (s != "help" && !(command = Find(s))) {
                // A command of two words: "roster import".
                if (i + 1 >= argv.size() || !(command = Find(s + " " + argv[i + 1])))
                    throw UsageError{"unknown command " + s};
                a.command = command->name;
                ++i;
            }
        } else if (command && command->table == Table::Inputs) {
            a.inputs.push_back(s);
        } else if (a.table.empty()) {
            a.table = s;
        } else {
            throw UsageError{"unexpected argument " + s};
        }
    }
    return a;
}

int RunCommand(const Command& command, const Args& a, CliUi& ui) {
    core::Workspace ws(os::ProgramFolder());
    if (command.table != Table::Outside)
        core::StartUp(ws, ui);
    os::PrintingShell shell;
    std::vector<std::string> unwritten; // workbooks the stand-in could not write
    const automation::Factory spreadsheet = automation::SheetServer(
        {&shell, {}, [&unwritten](const std::string& why) { unwritten.push_back(why); }});
    Context context{a, ws, ui, shell, spreadsheet};
    if (command.table == Table::Opened) {
        auto opened = core::OpenAnswerTable(ws, ui, std::filesystem::absolute(a.table));
        if (!opened.scoringProblem.empty())
            throw core::AppError(opened.scoringProblem);
        for (const auto& note : opened.notes)
            std::fprintf(stderr, "%s\n", note.c_str());
        std::printf("%s\n", opened.status.c_str());
        std::fflush(stdout);
    }
    int status = command.run(context);
    for (const auto& why : unwritten)
        ui.message(why, "Quillory", core::Icon::Error);
    if (!unwritten.empty())
        return kError;
    return status == kDone && ui.stopped() ? kStopped : status;
}

} // namespace

int Run(const std::vector<std::string>& argv) {
    std::optional<std::string> home;
    bool goOn = false;
    Args a;
    const Command* command = nullptr;
    try {
        a = Parse(argv, home, goOn, command);
        if (a.flags.count("--help") || a.command == "help") {
            PrintHelp(a.command == "help" ? a.table : a.command, home); // help COMMAND
            return kDone;
        }
        if (a.command.empty())
            throw UsageError{""};
        command = Find(a.command);
        if (command->table == Table::Outside && !a.table.empty())
            throw UsageError{"unexpected argument " + a.table};
        if (a.table.empty() && command->table != Table::None && command->table != Table::Outside &&
            command->table != Table::Inputs)
            throw UsageError{a.command +
                             (command->table == Table::File ? " needs FILE" : " needs TABLE.dbf")};
        if (a.command == "sql" && !a.option("--statement"))
            throw UsageError{"sql needs --statement TEXT"};
    } catch (const UsageError& e) {
        if (!e.text.empty())
            std::fprintf(stderr, "quillory-cli: %s\n", e.text.c_str());
        std::fputs(UsageText(command).c_str(), stderr);
        return kUsage;
    }

    if (home) {
        std::error_code ec;
        std::filesystem::create_directories(*home, ec);
        os::SetProgramFolder(*home);
    }
    CliUi::Answers answers;
    answers.goOn = goOn;
    answers.report = a.flags.count("--report") > 0;
    answers.replace = a.flags.count("--reimport") > 0;
    CliUi ui(answers);
    try {
        return RunCommand(*command, a, ui);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillory-cli: %s\n%s", e.text.c_str(), UsageText(command).c_str());
        return kUsage;
    } catch (const std::exception& e) {
        ui.message(e.what(), "Quillory", core::Icon::Error);
        return kError;
    }
}

} // namespace cli
