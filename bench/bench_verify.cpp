// Exam-number check benchmark: N sheets (default 1,000,000) against a roster
// of N students in classes of 50, in memory, beside one pass over the
// sheets' numbers; with --dbf also beside one read of the exam-number column
// of an N-record answer table from disk, as the command reads it. Prints the
// times and the peak resident memory (the process's, and the check's own
// rise above what the two lists already hold).
//
// The sheets are the roster's numbers as an exam day leaves them: 0.5 %
// absent, 0.3 % with one digit misfilled, 0.1 % with two neighbouring digits
// swapped, 0.1 % twice, 0.05 % with a place the reader could not read ('?'),
// 0.02 % empty.
//
// With --db the same sheets and students go into a scratch database (the
// answer table and `ids`), and the whole command (VerifyTable: one read of
// the table in exam-number order, one of `ids`, the check and its report) is
// timed beside one full read of the table's exam-number column, with the
// peak resident memory of the command; nothing else is measured then. The
// times are the fastest of --runs runs (3), wall and processor time.
//
//   bench-verify [--records N] [--dbf | --db [--runs R]]
#include "bench/Support.h"
#include "core/Workspace.h"
#include "platform/db/Dbf.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "roster/RosterCommands.h"
#include "roster/TableLists.h"
#include "roster/Verify.h"
#include "roster/VerifyReport.h"
#include "tests/support/DbfWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// VmHWM or VmRSS of this process, in MB.
double StatusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atof(line.c_str() + std::string(key).size()) / 1024.0;
    return 0;
}

// Starts a new peak (Linux: writing 5 to clear_refs resets VmHWM).
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string StudentId(long long i) {
    char id[48];
    std::snprintf(id, sizeof id, "31%05lld%02lld", i / 50 + 1, i % 50 + 1);
    return id;
}

roster::Roster MakeRoster(long long n) {
    static const char* const kFamily[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄"};
    static const char* const kGiven[] = {"伟", "芳", "娜", "敏", "静",
                                         "丽", "强", "磊", "军", "洋"};
    roster::Roster r;
    r.reserve(static_cast<std::size_t>(n));
    for (long long i = 0; i < n; ++i) {
        const std::string name =
            std::string(kFamily[i % 8]) + kGiven[(i / 8) % 10] + kGiven[(i / 80) % 10];
        r.add(StudentId(i), std::to_string(i / 50 + 1), name);
    }
    return r;
}

// The sheets of an exam day, written through `add(id, score)`.
void MakeSheets(long long n, const std::function<void(const std::string&, double)>& add) {
    std::mt19937_64 random(20260614);
    std::uniform_int_distribution<int> perMille(0, 9999);
    for (long long i = 0; i < n; ++i) {
        std::string id = StudentId(i);
        const double score = static_cast<double>(40 + (i * 37) % 61);
        const int roll = perMille(random);
        if (roll < 50)
            continue; // absent
        if (roll < 80)
            id[7 + roll % 2] =
                static_cast<char>('0' + (id[7 + roll % 2] - '0' + 1 + roll % 8) % 10);
        else if (roll < 90 && id[7] != id[8])
            std::swap(id[7], id[8]);
        else if (roll < 100)
            add(id, score);
        else if (roll < 105)
            id[3 + roll % 5] = '?';
        else if (roll < 107)
            id.clear();
        add(id, score);
    }
}

// The answer table the command would read: ID, a 100-character answer, the score.
void WriteTable(const fs::path& file, long long n) {
    testsupport::DbfWriter writer(file,
                                  {{"ID", 'C', 12}, {"CONTENT", 'C', 100}, {"SCORE", 'N', 6, 1}});
    const std::string answers(100, 'A');
    MakeSheets(n, [&](const std::string& id, double score) {
        char s[16];
        std::snprintf(s, sizeof s, "%.1f", score);
        writer.append({id, answers, std::string(s)});
    });
    writer.finish();
}

// One read of the table's exam-number and score columns into a SheetList.
roster::SheetList ReadTable(const fs::path& file) {
    db::Dbf dbf(file);
    roster::SheetList sheets;
    sheets.reserve(dbf.recordCount());
    std::string record;
    std::uint32_t place = 0;
    for (std::uint32_t i = 0; i < dbf.recordCount(); ++i) {
        if (!dbf.readRecord(i, record))
            continue;
        const db::Value id = dbf.value(record, 0);
        const db::Value score = dbf.value(record, 2);
        const auto* text = std::get_if<std::string>(&id);
        const auto* points = std::get_if<double>(&score);
        sheets.add(text ? *text : std::string(),
                   points ? std::optional<double>(*points) : std::nullopt, ++place);
    }
    return sheets;
}

void PrintResult(const roster::VerifyResult& v) {
    std::printf("  found: %zu duplicate numbers (%zu sheets), %zu unknown, %zu absent, "
                "%zu malformed\n",
                v.duplicates.size(), v.duplicateSheets(), v.unknown.size(), v.absentCount(),
                v.malformed.size());
    std::size_t withSuggestion = 0;
    for (const auto& u : v.unknown)
        withSuggestion += u.suggestions.empty() ? 0 : 1;
    std::printf("  unknown numbers with a suggestion: %zu of %zu\n", withSuggestion,
                v.unknown.size());
}

// The answer table `exam` (ID, a 100-character answer, SCORE) and `ids` in
// a fresh data.mdb of `home`, each written in one transaction.
void WriteDatabase(core::Workspace& ws, long long n) {
    ws.startUp();
    ws.connect();
    bench::QuietUi ui;
    {
        db::Transaction transaction(ws.connection);
        ws.connection.execute(
            "CREATE TABLE [exam] ([ID] varchar(12) NULL, [CONTENT] varchar(100) NULL, "
            "[SCORE] REAL NULL)");
        db::Statement insert = ws.connection.prepare("INSERT INTO exam VALUES (?, ?, ?)");
        const std::string answers(100, 'A');
        MakeSheets(n, [&](const std::string& id, double score) {
            insert.bindText(1, id);
            insert.bindText(2, answers);
            insert.bind(3, score);
            insert.step();
            insert.reset();
        });
        transaction.commit();
    }
    roster::WriteIds(ws.connection, MakeRoster(n), false, ui);
}

// One full read of the exam-number column, each value taken as text.
std::size_t ReadNumberColumn(core::Workspace& ws) {
    std::size_t digest = 0;
    db::Statement read = ws.connection.prepare("SELECT " + db::jet::QuoteName(ws.Fields.ID) +
                                               " FROM " + db::jet::QuoteName(ws.TableName));
    while (read.step())
        digest += std::hash<std::string>{}(db::Query::ToText(read.column(0)));
    return digest;
}

// Wall and processor time of the fastest of `runs` runs: the machine may be
// shared, and the fastest run is the one least disturbed.
struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

Timing Fastest(int runs, const std::function<void()>& work) {
    Timing best;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        work();
        best.cpu =
            std::min(best.cpu, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        best.wall = std::min(best.wall, Since(start));
    }
    return best;
}

// The command's steps one by one, to see where its time goes.
void PrintSteps(core::Workspace& ws, core::Ui& ui) {
    roster::SheetsInOrder sheets;
    std::optional<roster::Roster> students;
    roster::VerifyResult v;
    const Timing read =
        Fastest(1, [&] { sheets = roster::ReadSheets(ws.connection, "exam", ws.Fields, ui); });
    const Timing ids = Fastest(1, [&] { students = roster::ReadIds(ws.connection); });
    const Timing check = Fastest(1, [&] { v = roster::VerifyNumbers(sheets.sheets, &*students); });
    const Timing report =
        Fastest(1, [&] { (void)roster::VerifyReportLines("exam", sheets.sheets, &*students, v); });
    std::printf(
        "  steps, processor time: sheets in exam-number order %.3f s, ids %.3f s, check %.3f s, "
        "report lines %.3f s\n",
        read.cpu, ids.cpu, check.cpu, report.cpu);
}

int MeasureThroughDatabase(long long records, int runs) {
    const fs::path home =
        fs::temp_directory_path() / ("quillory-bench-verify-db-" + std::to_string(getpid()));
    fs::create_directories(home);
    {
        core::Workspace ws(home);
        auto start = std::chrono::steady_clock::now();
        WriteDatabase(ws, records);
        std::printf("%-44s %8.3f s  (%.0f MB data.mdb)\n", "writing the table and ids",
                    Since(start), static_cast<double>(fs::file_size(ws.dataFile())) / 1048576.0);
        ws.TableName = "exam";
        ws.Fields.ID = "ID";
        ws.Fields.Score = "SCORE";
        bench::QuietUi ui;
        const double before = StatusMb("VmRSS:");
        ResetPeak();
        roster::TableCheck check = roster::VerifyTable(ws, ui, roster::ClassCodeRule{});
        const double peak = StatusMb("VmHWM:");
        std::size_t digest = 0;
        const Timing read = Fastest(runs, [&] { digest += ReadNumberColumn(ws); });
        const Timing verify =
            Fastest(runs, [&] { check = roster::VerifyTable(ws, ui, roster::ClassCodeRule{}); });
        std::printf("%-44s %8.3f s  (processor %.3f s; digest %zx)\n",
                    "one full read of the exam-number column", read.wall, read.cpu,
                    digest & 0xFFFF);
        std::printf("%-44s %8.3f s  (processor %.3f s)\n",
                    "the check through the database (VerifyTable)", verify.wall, verify.cpu);
        std::printf("  the check is %.2fx the read (processor time %.2fx); target <= 3x\n",
                    verify.wall / read.wall, verify.cpu / read.cpu);
        std::printf("  peak resident memory during the check: %.1f MB (%.1f MB before it); target "
                    "< 200 MB\n",
                    peak, before);
        PrintResult(check.result);
        std::printf("  report: %s (%.0f KB)\n", check.report.c_str(),
                    static_cast<double>(fs::file_size(check.report)) / 1024.0);
        PrintSteps(ws, ui);
    }
    fs::remove_all(home);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    bool dbf = false;
    bool database = false;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc)
            records = std::atoll(argv[++i]);
        else if (a == "--dbf")
            dbf = true;
        else if (a == "--db")
            database = true;
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }
    if (database) {
        std::printf("exam-number check through data.mdb: %lld sheets against %lld students\n",
                    records, records);
        return MeasureThroughDatabase(records, runs);
    }
    std::printf("exam-number check: %lld sheets against a roster of %lld students\n", records,
                records);
    const roster::Roster students = MakeRoster(records);
    roster::SheetList sheets;
    sheets.reserve(static_cast<std::size_t>(records));
    std::uint32_t place = 0;
    MakeSheets(records,
               [&](const std::string& id, double score) { sheets.add(id, score, ++place); });
    std::printf("  lists in memory: %zu sheets, %zu students, %.1f MB resident\n", sheets.size(),
                students.size(), StatusMb("VmRSS:"));

    auto start = std::chrono::steady_clock::now();
    std::size_t digest = 0;
    for (std::size_t i = 0; i < sheets.size(); ++i)
        digest += std::hash<std::string_view>{}(sheets.id(i));
    const double pass = Since(start);
    std::printf("%-44s %8.3f s  (digest %zx)\n", "one pass over the numbers (in memory)", pass,
                digest & 0xFFFF);

    const double before = StatusMb("VmRSS:");
    const double setupPeak = StatusMb("VmHWM:");
    ResetPeak();
    start = std::chrono::steady_clock::now();
    const roster::VerifyResult v = roster::VerifyNumbers(sheets, &students);
    const double check = Since(start);
    const double checkPeak = StatusMb("VmHWM:");
    start = std::chrono::steady_clock::now();
    const std::vector<std::string> lines = roster::VerifyReportLines("bench", sheets, &students, v);
    const double report = Since(start);
    std::printf("%-44s %8.3f s  (%.1fx the pass)\n", "the check (VerifyNumbers)", check,
                check / pass);
    std::printf("%-44s %8.3f s  (%zu lines)\n", "its report lines", report, lines.size());
    std::printf("  peak resident memory during the check: %.1f MB (%.1f MB above the lists)\n",
                checkPeak, checkPeak - before);
    PrintResult(v);

    if (dbf) {
        const fs::path dir =
            fs::temp_directory_path() / ("quillory-bench-verify-" + std::to_string(getpid()));
        fs::create_directories(dir);
        WriteTable(dir / "exam.dbf", records);
        start = std::chrono::steady_clock::now();
        const roster::SheetList read = ReadTable(dir / "exam.dbf");
        const double readTime = Since(start);
        start = std::chrono::steady_clock::now();
        const roster::VerifyResult w = roster::VerifyNumbers(read, &students);
        const double checkRead = Since(start);
        std::printf("%-44s %8.3f s  (%zu sheets)\n", "one read of the table's numbers (.dbf)",
                    readTime, read.size());
        std::printf("%-44s %8.3f s  (%.2fx the read)\n", "the check of what was read", checkRead,
                    checkRead / readTime);
        fs::remove_all(dir);
    }
    std::printf("  peak resident memory of the process: %.1f MB\n",
                std::max(setupPeak, StatusMb("VmHWM:")));
    return 0;
}
