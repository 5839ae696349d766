#include "platform/text/TextFile.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>

namespace {

using testsupport::TempHome;

using Result = testsupport::CliResult;

Result Cli(std::vector<std::string> args) {
    return testsupport::RunCli(std::move(args));
}

class RosterCliTest : public ::testing::Test {
  protected:
    std::string home_() const { return (home / "home").string(); }
    std::string File(const std::string& name, const std::string& bytes) {
        testsupport::WriteBytes(home / name, bytes);
        return (home / name).string();
    }
    Result Sql(const std::string& table, const std::string& statement) {
        return Cli({"--home", home_(), "sql", table, "--statement", statement});
    }
    TempHome home;
};

TEST_F(RosterCliTest, RosterImportFillsIdsAndPrintsTheSummary) {
    const auto list =
        File("名单.csv", "序号,学生,班,号码\n1,张三,3班,310101001\n2,李四,3班,310101002\n"
                         "3,王五,4班,310101002\n4,赵六,,310101004\n");
    auto r = Cli({"--home", home_(), "roster", "import", list});
    EXPECT_EQ(r.status, 1) << "no heading names the exam number";
    EXPECT_NE(r.err.find("名单.csv"), std::string::npos) << r.err;

    r = Cli({"--home", home_(), "roster", "import", list, "--map", "号码=考号", "--map",
             "学生=StudName"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("导入 3 人，跳过 1 行"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("跳过考号重复的（保留先出现的一行） 1 行"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("保留没有班级的（班级为空） 1 行"), std::string::npos) << r.err;

    testsupport::WriteAnswers(home / "paper.dbf", {{"310101001", "12"}}, 'N');
    r = Sql((home / "paper.dbf").string(), "select ID, StudClass, StudName from ids order by ID");
    EXPECT_EQ(
        r.out,
        "记录数:1  题目数:2\nID\tStudClass\tStudName\n310101001\t3\t张三\n310101002\t3\t李四\n"
        "310101004\t\t赵六\n");

    r = Cli({"--home", home_(), "roster", "import", list, "--map", "号码=座位"});
    EXPECT_EQ(r.status, 2) << "a field that does not exist is bad usage";
    r = Cli({"--home", home_(), "roster", "import"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("roster import needs FILE"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "roster", "list.csv"});
    EXPECT_EQ(r.status, 2);
    r = Cli({"--home", home_(), "roster", "import", (home / "missing.csv").string()});
    EXPECT_EQ(r.status, 1);
    r = Sql((home / "paper.dbf").string(), "select count(*) from ids");
    EXPECT_EQ(r.out, "记录数:1  题目数:2\ncount(*)\n3\n") << "a failed import leaves ids alone";
}

// A UTF-8 list with one broken byte stays UTF-8, its names whole and free of
// what a workbook cannot hold; a workbook that is no workbook is refused with
// exit 1 and ids left as it was.
TEST_F(RosterCliTest, RosterImportDecodesHonestlyAndRefusesADamagedWorkbook) {
    const auto list = File("名单.csv", "考号,姓名\n310101001,学生一\n310101002,学\xFF生二\n"
                                       "310101003,学生\xEF\xBF\xBF三\n");
    auto r = Cli({"--home", home_(), "roster", "import", list});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("文字编码: UTF-8"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("有 1 处无法解码的字符"), std::string::npos) << r.err;
    testsupport::WriteAnswers(home / "paper.dbf", {{"310101001", "12"}}, 'N');
    r = Sql((home / "paper.dbf").string(), "select ID, StudName from ids order by ID");
    EXPECT_EQ(r.out,
              "记录数:1  题目数:2\nID\tStudName\n310101001\t学生一\n310101002\t学\xEF\xBF\xBD生二\n"
              "310101003\t学生三\n");

    std::string zip = "PK\x03\x04";
    zip += std::string(300, '\x7F');
    const auto bad = File("坏.xlsx", zip);
    r = Cli({"--home", home_(), "roster", "import", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("坏.xlsx"), std::string::npos) << r.err;
    r = Sql((home / "paper.dbf").string(), "select count(*) from ids");
    EXPECT_EQ(r.out, "记录数:1  题目数:2\ncount(*)\n3\n");
}

TEST_F(RosterCliTest, VerifyWritesTheReportAndFixesANumber) {
    (void)Cli({"--home", home_(), "roster", "import",
               File("a.csv", "考号,姓名,班级\n310101001,甲,1\n310101002,乙,1\n310101010,丙,2\n")});
    testsupport::WriteAnswers(home / "v.dbf",
                              {{"310101040", "12"}, {"310101002", "12"}, {"310101002", "11"}}, 'N');
    const auto v = (home / "v.dbf").string();
    auto r = Cli({"--home", home_(), "verify", v});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string report = home_() + "/考号核对_v.txt";
    EXPECT_EQ(r.out, "记录数:3  题目数:2\nwrote " + report + "\n");
    EXPECT_NE(r.err.find("重复考号 1 个，名单外考号 1 个，缺考 2 人"), std::string::npos) << r.err;
    const auto lines = text::LoadLines(report);
    bool suggested = false;
    for (const auto& l : lines)
        suggested = suggested || (l.find("310101040") != std::string::npos &&
                                  l.find("310101010") != std::string::npos);
    EXPECT_TRUE(suggested) << "the unknown number's line names the roster number it is close to";

    r = Cli({"--home", home_(), "verify", v, "--fix", "310101002=310101001"});
    EXPECT_EQ(r.status, 1) << "two sheets have 310101002";
    EXPECT_NE(r.err.find("请指明改哪一条"), std::string::npos) << r.err;
    r = Cli({"--home", home_(), "verify", v, "--fix", "310101040=310101002"});
    EXPECT_EQ(r.status, 1) << "310101002 has a sheet";
    EXPECT_FALSE(std::filesystem::exists(home / "home" / "考号更正.log"));

    r = Cli({"--home", home_(), "verify", v, "--fix", "310101002=310101001", "--record", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + home_() + "/考号更正.log\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("重复考号 0 个，名单外考号 1 个，缺考 1 人"), std::string::npos)
        << "the report is of the corrected table: " << r.err;
    const auto log = text::LoadLines(home / "home" / "考号更正.log");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("\t更正\tv\t310101002\t310101001\t"), std::string::npos) << log[0];
    r = Sql(v, "select BH from v order by rowid");
    EXPECT_EQ(r.out, "记录数:3  题目数:2\nBH\n310101040\n310101002\n310101001\n")
        << "the second record in exam-number order is the second 310101002 by rowid";

    r = Cli({"--home", home_(), "verify", v, "--record", "2"});
    EXPECT_EQ(r.status, 2);
    r = Cli({"--home", home_(), "verify", v, "--fix", "310101040"});
    EXPECT_EQ(r.status, 2);
}

TEST_F(RosterCliTest, VerifyWithoutARosterFindsGapsWithinClasses) {
    testsupport::WriteAnswers(home / "g.dbf",
                              {{"310101001", "1"}, {"310101004", "1"}, {"310102001", "1"}}, 'N');
    auto r = Cli({"--home", home_(), "verify", (home / "g.dbf").string(), "--start", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("没有学生名单"), std::string::npos) << r.err;
    const auto lines = text::LoadLines(home / "home" / "考号核对_g.txt");
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    EXPECT_NE(all.find("310101002"), std::string::npos) << all;
    EXPECT_EQ(all.find("310101005"), std::string::npos)
        << "no gap across the class boundary: " << all;
}

// A correction killed just before or just after its commit: the table is
// the old one or the new one, whole, and the log holds no line that the
// table does not bear out; the next correction goes through.
class VerifyKilledTest : public RosterCliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(VerifyKilledTest, TheTableIsOldOrNewAndTheLogNamesNoChangeItDoesNotHold) {
    const bool committed = std::string(GetParam()) == "correction-after-commit";
    testsupport::WriteAnswers(home / "v.dbf", {{"310101040", "12"}, {"310101002", "12"}}, 'N');
    const auto v = (home / "v.dbf").string();
    ASSERT_EQ(Cli({"--home", home_(), "verify", v}).status, 0);
    const int status = testsupport::InChild([&] {
        ::setenv("QUILLORY_KILL_AT", GetParam(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        (void)cli::Run({"--home", home_(), "verify", v, "--fix", "310101040=310101010"});
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    auto r = Sql(v, "select BH from v order by rowid");
    EXPECT_EQ(r.out, std::string("记录数:2  题目数:2\nBH\n") +
                         (committed ? "310101010" : "310101040") + "\n310101002\n");
    r = Sql(v, "pragma integrity_check");
    EXPECT_EQ(r.out, "记录数:2  题目数:2\nintegrity_check\nok\n");
    const auto log = home / "home" / "考号更正.log";
    EXPECT_TRUE(!std::filesystem::exists(log) || text::LoadLines(log).empty())
        << "the line is written only after the commit, and the kill came first";

    r = Cli({"--home", home_(), "verify", v, "--fix", "310101002=310101003"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(text::LoadLines(log).size(), 1u);
    EXPECT_NE(text::LoadLines(log)[0].find("\t310101002\t310101003\t"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(KillPoints, VerifyKilledTest,
                         ::testing::Values("correction-before-commit", "correction-after-commit"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "BeforeTheCommit"
                                                                : "AfterTheCommit");
                         });

} // namespace
