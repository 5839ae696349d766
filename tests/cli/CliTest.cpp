#include "platform/text/TextFile.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::TempHome;

using Result = testsupport::CliResult;

Result Cli(std::vector<std::string> args) {
    return testsupport::RunCli(std::move(args));
}

class CliTest : public ::testing::Test {
  protected:
    std::string home_() const { return (home / "home").string(); }
    // The report's own folder when TMPDIR is the home.
    std::string temp_() const { return testsupport::ProcessTempIn(home_()).string(); }
    TempHome home;
};

TEST_F(CliTest, OpenPrintsTheStatusLine) {
    tools::AnswerTableLayout layout;
    layout.score = "float";
    tools::WriteAnswerTable(home / "期中考试.dbf", layout);
    auto r = Cli({"--home", home_(), "open", (home / "期中考试.dbf").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:45  题目数:60\n");
    EXPECT_TRUE(std::filesystem::exists(home / "home" / "data.mdb"));
    EXPECT_FALSE(std::filesystem::exists(home / "home" / "config.ini"))
        << "the command line never writes the configuration";
}

TEST_F(CliTest, SqlPrintsRowsTabSeparatedOrExecutes) {
    testsupport::WriteAnswers(home / "a.dbf", testsupport::Sheets(3, 4), 'N');
    auto a = (home / "a.dbf").string();
    auto r = Cli({"--home", home_(), "sql", a, "--statement",
                  "select BH, CLS from a where BH like '2026010_2'"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:3  题目数:4\nBH\tCLS\n202601002\t\n");
    r = Cli({"--home", home_(), "sql", a, "--no-rows", "--statement", "update a set CLS = 1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("3"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "sql", a, "--statement", "select sum(CLS) as n from a"});
    EXPECT_EQ(r.out, "记录数:3  题目数:4\nn\n3\n");
}

TEST_F(CliTest, TheFieldDialogIsCancelledUnlessToldToGoOn) {
    testsupport::WriteAnswers(home / "noscore.dbf", testsupport::Sheets(3, 4), 0);
    auto file = (home / "noscore.dbf").string();
    auto r = Cli({"--home", home_(), "open", file});
    EXPECT_EQ(r.status, 1) << "a new table without import has no scratch table";
    EXPECT_NE(r.err.find("设置字段名"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("noscore"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "--go-on", "open", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:3  题目数:4\n");
}

TEST_F(CliTest, RepairWritesOneByteAndSaysSo) {
    testsupport::WriteAnswers(home / "r.dbf", testsupport::Sheets(1, 2), 'N');
    auto bytes = testsupport::ReadBytes(home / "r.dbf");
    bytes[28] = 1;
    testsupport::WriteBytes(home / "r.dbf", bytes);
    auto r = Cli({"--home", home_(), "repair", (home / "r.dbf").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("问题修补成功!"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::ReadBytes(home / "r.dbf")[28], 0);
}

TEST_F(CliTest, ScoreWritesTheStatisticsAndTheHistory) {
    testsupport::WriteAnswers(home / "s.dbf", {{"202601001", "12483"}, {"202601002", "12480"}},
                              'N');
    auto s = (home / "s.dbf").string();
    auto r = Cli({"--home", home_(), "score", s, "--segment", "2:1", "--segment", "2:2", "--key",
                  "ABCD", "--multi", "1", "--full", "4", "--multi-key", "AB"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + (home / "home" / "统计_s.txt").string()), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("标准答案历史.log"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("评分完成。"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("是否现在生成报表? -> 否"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "sql", s, "--statement", "select score from s order by BH"});
    EXPECT_EQ(r.out, "记录数:2  题目数:5\nSCORE\n10\n6\n") << "partial credit is half of 4";

    r = Cli({"--home", home_(), "score", s, "--segment", "4:1", "--key", "ABC"});
    EXPECT_EQ(r.status, 3) << "the question count and the key length stop it";
    EXPECT_NE(r.err.find("不相符合，是否现在退出？ -> 是"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "--go-on", "score", s, "--segment", "4:1", "--key", "ABC"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("单选题数目和标准答案个数不一致"), std::string::npos) << r.err;
    ::setenv("TMPDIR", home_().c_str(), 1); // the report goes to the temporary folder
    r = Cli({"--home", home_(), "--go-on", "score", s, "--segment", "4:1", "--key", "ABCD",
             "--report"});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + temp_() + "/test.xlsx"), std::string::npos) << r.out;
}

TEST_F(CliTest, ConvertPrintsTheKeysOfASheet) {
    testsupport::WriteAnswers(home / "c.dbf",
                              {{"202601001", "1248310"
                                             "3?"},
                               {"202601002", "22"}},
                              'N');
    auto r = Cli({"--home", home_(), "convert", (home / "c.dbf").string(), "--record", "1",
                  "--segment", "4", "--segment", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:2  题目数:9\nABCD3;A0  AB;ABCD\n");
    r = Cli({"--home", home_(), "convert", (home / "c.dbf").string(), "--record", "3"});
    EXPECT_EQ(r.status, 1);
}

TEST_F(CliTest, ClassesCheckReportAndBatch) {
    testsupport::WriteAnswers(
        home / "k.dbf", {{"K0101", "12"}, {"K0102", "48"}, {"K0201", "11"}, {"K0205", "22"}}, 'N');
    auto k = (home / "k.dbf").string();
    ::setenv("TMPDIR", home_().c_str(), 1);
    auto r = Cli({"--home", home_(), "classes", k, "--prefix", "K", "--first", "1", "--last", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + home_() + "/分班统计_k.txt"), std::string::npos) << r.out;
    auto lines = text::LoadLines(home / "home" / "分班统计_k.txt");
    EXPECT_EQ(lines[1].rfind("01 班人数 2", 0), 0u);
    EXPECT_EQ(lines[2].rfind("02 班人数 2", 0), 0u);

    r = Cli({"--home", home_(), "classes", k, "--prefix", "K", "--first", "2", "--last", "1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("班别大小顺序不对"), std::string::npos) << r.err;

    r = Cli({"--home", home_(), "classes", k, "--prefix", "K", "--last", "2", "--subjects",
             "物理,化学", "--starts", "1,2,3,3,3,3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("综合科统计_k.txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("zonghe.xlsx"), std::string::npos) << r.out;

    r = Cli({"--home", home_(), "check", k, "--start", "0"});
    EXPECT_EQ(r.status, 1) << "K0101 is no number";

    r = Cli({"--home", home_(), "report", k});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + temp_() + "/test.xlsx"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wrote " + temp_() + "/test.xls\n"), std::string::npos) << r.out;
    ::unsetenv("TMPDIR");

    testsupport::WriteAnswers(home / "home" / "20111229德育1.dbf", {{"1", std::string(30, '1')}},
                              'N');
    r = Cli({"--home", home_(), "batch", "--kind", "test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("处理完毕。已处理文件个数: 1"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("统计_合计.txt"), std::string::npos) << r.out;
    EXPECT_EQ(Cli({"--home", home_(), "batch", "--kind", "test9"}).status, 2);

    // A table that fails is named with its reason and fails the command; the
    // others are still scored.
    testsupport::WriteAnswers(home / "home" / "20111229德育2.dbf", {{"2", "12"}}, 'N');
    r = Cli({"--home", home_(), "batch", "--kind", "test"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("failed: " + (home / "home" / "20111229德育2.dbf").string() +
                         ": 客观题只有 2 个字符，需要 30 个。"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("处理完毕。已处理文件个数: 2"), std::string::npos) << r.err;
}

TEST_F(CliTest, ResultsWritesTheWorkbookOfTheScoredTable) {
    testsupport::WriteAnswers(
        home / "r.dbf", {{"K0205", "44"}, {"K0102", "18"}, {"K0101", "12"}, {"K0201", "12"}}, 'N');
    auto t = (home / "r.dbf").string();
    auto r = Cli({"--home", home_(), "score", t, "--segment", "2:5", "--key", "AB"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli({"--home", home_(), "results", t, "--prefix", "K", "--first", "1", "--last", "2",
             "--pass", "50"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto book = home / "home" / "成绩分析_r.xlsx";
    EXPECT_NE(r.out.find("wrote " + book.string() + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("满分 10"), std::string::npos) << r.err;
    auto c = testsupport::CellMap(testsupport::SheetXml(book, 1));
    // Scores 10, 5, 10, 0 in exam-number order; the two 10s share rank 1.
    const std::vector<std::string> exam = {"K0101", "K0102", "K0201", "K0205"};
    const std::vector<std::string> rank = {"1", "3", "1", "4"};
    for (std::size_t i = 0; i < exam.size(); ++i) {
        EXPECT_EQ(c["A" + std::to_string(i + 2)].value, exam[i]);
        EXPECT_EQ(c["E" + std::to_string(i + 2)].value, rank[i]) << exam[i];
    }
    EXPECT_EQ(c["B5"].value, "02");
    auto k = testsupport::CellMap(testsupport::SheetXml(book, 2));
    EXPECT_EQ(k["H2"].value, "0.75") << "5 of 10 is exactly the pass mark of 50 %";

    r = Cli({"--home", home_(), "results", t, "--prefix", "K", "--first", "2", "--last", "1"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("班别大小顺序不对"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"--home", home_(), "results", t, "--pass", "half"}).status, 2);
    EXPECT_EQ(Cli({"--home", home_(), "results", t, "--subjects", "物理"}).status, 2);
}

TEST_F(CliTest, AWorkbookThatCannotBeWrittenFailsTheReport) {
    ::setenv("TMPDIR", home_().c_str(), 1);
    auto table = home / "rep.dbf";
    testsupport::WriteAnswers(table, testsupport::Sheets(3, 4), 'N');
    // test.xls can be written, test.xlsx cannot: a folder stands in its place.
    std::filesystem::create_directories(std::filesystem::path(temp_()) / "test.xlsx" / "x");
    std::filesystem::permissions(temp_(), std::filesystem::perms::owner_all);
    auto r = Cli({"--home", home_(), "report", table.string()});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("不能写入 " + temp_() + "/test.xlsx"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(temp_()) / "test.xlsx.part"));
}

// Two runs in different homes that report at the same moment with one
// temporary folder: each writes into a folder of its own, open to the user
// alone, names it, and its workbook holds its own table's sheets.
TEST_F(CliTest, TwoReportsAtOnceKeepTheirOwnRows) {
    const std::filesystem::path temp = home / "tmp";
    std::filesystem::create_directories(temp);
    struct Run {
        std::string name;
        std::vector<std::pair<std::string, std::string>> sheets;
        pid_t pid = 0;
    };
    std::vector<Run> runs = {{"甲", testsupport::Sheets(300, 4)},
                             {"乙", testsupport::Sheets(200, 4)}};
    for (auto& [id, content] : runs[1].sheets)
        id.replace(0, 4, "2027");
    for (const Run& run : runs) {
        std::filesystem::create_directories(home / run.name);
        testsupport::WriteAnswers(home / run.name / (run.name + ".dbf"), run.sheets, 'N');
    }
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    ::setenv("TMPDIR", temp.c_str(), 1);
    for (Run& run : runs) {
        const auto folder = home / run.name;
        run.pid = ::fork();
        if (run.pid == 0) {
            ::close(gate[1]);
            char c;
            (void)!::read(gate[0], &c, 1); // both start when the gate closes
            if (!std::freopen((folder / "out.txt").c_str(), "w", stdout) ||
                !std::freopen((folder / "err.txt").c_str(), "w", stderr))
                ::_exit(9);
            const int status = cli::Run({"--home", (folder / "home").string(), "report",
                                         (folder / (run.name + ".dbf")).string()});
            std::fflush(nullptr);
            ::_exit(status);
        }
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const Run& run : runs) {
        int status = -1;
        ::waitpid(run.pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << run.name << ": " << testsupport::ReadBytes(home / run.name / "err.txt");
    }
    ::unsetenv("TMPDIR");
    for (const Run& run : runs) {
        const auto own =
            temp / ("quillory-" + std::to_string(::getuid()) + "-" + std::to_string(run.pid));
        const std::string out = testsupport::ReadBytes(home / run.name / "out.txt");
        const std::string err = testsupport::ReadBytes(home / run.name / "err.txt");
        EXPECT_NE(out.find("wrote " + (own / "test.xls").string() + "\n"), std::string::npos)
            << out;
        EXPECT_NE(out.find("wrote " + (own / "test.xlsx").string() + "\n"), std::string::npos)
            << out;
        EXPECT_NE(err.find("报表已写入 " + (own / "test.xlsx").string()), std::string::npos) << err;
        EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms::owner_all);
        std::vector<std::string> examNumbers;
        for (const auto& cell :
             testsupport::SheetCells(testsupport::SheetXml(own / "test.xlsx", 1)))
            if (cell.ref.starts_with("A") && cell.ref != "A1")
                examNumbers.push_back(cell.value);
        std::vector<std::string> expected;
        for (const auto& sheet : run.sheets)
            expected.push_back(sheet.first);
        EXPECT_EQ(examNumbers, expected) << run.name;
    }
}

TEST_F(CliTest, AnOptionAnotherCommandTakesIsBadUsage) {
    auto r = Cli({"--home", home_(), "open", "x.dbf", "--key", "A"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --key for open"), std::string::npos) << r.err;
}

TEST_F(CliTest, ExitStatusesTellUsageFromErrors) {
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"open"}).status, 2);
    EXPECT_EQ(Cli({"frobnicate", "x.dbf"}).status, 2);
    EXPECT_EQ(Cli({"--home", home_(), "sql", "x.dbf"}).status, 2);
    auto r = Cli({"--home", home_(), "open", (home / "missing.dbf").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.dbf"), std::string::npos) << r.err;
}

} // namespace
