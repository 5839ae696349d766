// The files the commands write for a table whose name is as long as a report's
// name allows, and for one too long for it; the new exam numbers that could
// split a log line; what killed writers left in the program folder.
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::TempHome;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// `count` Chinese characters: 76 of them give "试卷分析_<name>.txt" 245 bytes.
std::string LongName(int count) {
    const std::string four = "期中考试";
    std::string name;
    for (int i = 0; i < count; ++i)
        name += four.substr(static_cast<std::size_t>(i % 4) * 3, 3);
    return name;
}

// The names in the program folder.
std::vector<std::string> Entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

bool IsTemporary(const std::string& name) {
    return name.ends_with(".tmp") || name.ends_with(".part");
}

class NamesCliTest : public ::testing::Test {
  protected:
    // Four classes of five sheets of two single-choice questions.
    void Write(const std::string& name) {
        table = home / (name + ".dbf");
        std::vector<std::pair<std::string, std::string>> sheets;
        for (int cls = 1; cls <= 4; ++cls)
            for (int seat = 1; seat <= 5; ++seat)
                sheets.emplace_back("20260" + std::to_string(cls) + "00" + std::to_string(seat),
                                    seat % 2 ? "12" : "21");
        testsupport::WriteAnswers(table, sheets, 'N');
    }

    testsupport::CliResult ScoreRun() { return Run({"score", "--segment", "2:1", "--key", "AB"}); }

    void Score(const std::string& name) {
        Write(name);
        const auto r = ScoreRun();
        ASSERT_EQ(r.status, 0) << r.err;
    }

    testsupport::CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", homeDir.string()});
        args.insert(args.begin() + 3, table.string());
        return testsupport::RunCli(std::move(args));
    }

    [[nodiscard]] std::vector<std::string> Leftovers() const {
        std::vector<std::string> left;
        for (const auto& name : Entries(homeDir))
            if (IsTemporary(name))
                left.push_back(name);
        return left;
    }

    TempHome home;
    std::filesystem::path homeDir = home / "home";
    std::filesystem::path table;
};

struct Report {
    const char* command;
    const char* prefix;
    const char* extension;
};

const Report kReports[] = {
    {"analyze", "试卷分析_", ".txt"},
    {"classes", "分班统计_", ".txt"},
    {"results", "成绩分析_", ".xlsx"},
    {"verify", "考号核对_", ".txt"},
};

// The temporary names do not grow with the report's: every report of the
// table with the longest name that fits is written, and nothing is left.
TEST_F(NamesCliTest, ATableNamedAsLongAsItsReportsAllowGetsEveryReport) {
    const std::string name = LongName(76);
    ASSERT_NO_FATAL_FAILURE(Score(name));
    ASSERT_EQ((std::string("试卷分析_") + name + ".txt").size(), 245u);
    for (const Report& report : kReports) {
        const auto r = Run({report.command});
        EXPECT_EQ(r.status, 0) << report.command << ": " << r.err;
        const auto file = homeDir / (report.prefix + name + report.extension);
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << report.command;
    }
    EXPECT_TRUE(std::filesystem::exists(homeDir / ("试卷分析_" + name + ".xlsx")));
}

// A report whose own name is longer than the folder allows is refused in
// words, naming the file, with exit 1, before anything is written.
TEST_F(NamesCliTest, AReportNameTooLongIsSaidAndNothingIsWritten) {
    const std::string name = LongName(81);
    ASSERT_NO_FATAL_FAILURE(Score(name));
    const auto before = Entries(homeDir);
    for (const Report& report : kReports) {
        const auto r = Run({report.command});
        EXPECT_EQ(r.status, 1) << report.command << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "文件名太长")) << report.command << ": " << r.err;
        EXPECT_TRUE(Has(r.err, report.prefix + name + report.extension))
            << report.command << ": " << r.err;
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << report.command;
    }
    for (const auto& entry : Entries(homeDir))
        EXPECT_FALSE(entry.find(name) != std::string::npos &&
                     std::find(before.begin(), before.end(), entry) == before.end())
            << "written although refused: " << entry;
}

// The table's own name fits and the statistics file's does not: the run
// stops before it writes a score.
TEST_F(NamesCliTest, AScoringRunWhoseStatisticsNameIsTooLongScoresNothing) {
    const std::string name = LongName(81) + "xy";
    Write(name);
    auto r = ScoreRun();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "文件名太长")) << r.err;
    EXPECT_TRUE(Has(r.err, "统计_" + name + ".txt")) << r.err;
    r = Run({"sql", "--statement", "select count(SCORE) as n from [" + name + "]"});
    EXPECT_EQ(r.out, "记录数:20  题目数:2\nn\n0\n") << r.err;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// A tab or a line break in a new number would write a second, well-formed
// line into 考号更正.log: such a number is refused and nothing changes.
TEST_F(NamesCliTest, ANewNumberWithControlCharactersIsRefused) {
    ASSERT_NO_FATAL_FAILURE(Score("期中"));
    for (const char* fix :
         {"202601001=2026\t01091",
          "202601001=202601091\n2026-06-14 09:30:05\t更正\t期中\t202601002\t1\t"}) {
        const auto r = Run({"verify", "--fix", fix});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "新考号中有制表符、换行等控制字符")) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(homeDir / "考号更正.log"));
    const auto r =
        Run({"sql", "--statement", "select count(*) as n from 期中 where BH = '202601001'"});
    EXPECT_EQ(r.out, "记录数:20  题目数:2\nn\n1\n") << r.err;
}

// The temporary files of a writer that was killed go at the next start-up
// of either front end; a running writer's stay.
TEST_F(NamesCliTest, StartUpRemovesWhatKilledWritersLeft) {
    ASSERT_NO_FATAL_FAILURE(Score("期中"));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string killed = ".q" + std::to_string(child) + "-00c0ffee.tmp";
    const std::string running = ".q" + std::to_string(::getppid()) + "-00c0ffee.tmp";
    for (const auto& name : {killed, running})
        testsupport::WriteBytes(homeDir / name, "half a report");
    const auto r = Run({"open"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{running});
}

} // namespace
