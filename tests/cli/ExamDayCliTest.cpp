#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

using testsupport::TempHome;

using Result = testsupport::CliResult;

Result Cli(std::vector<std::string> args) {
    return testsupport::RunCli(std::move(args));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ReimportCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::WriteAnswers(file, testsupport::Sheets(4, 5), 'N');
        ASSERT_EQ(Cli({"--home", homeFolder, "open", file.string()}).status, 0);
        const auto before = std::filesystem::last_write_time(file);
        testsupport::WriteAnswers(file, testsupport::Sheets(6, 5), 'N');
        std::filesystem::last_write_time(file, before + std::chrono::minutes(1));
    }

    TempHome home;
    std::string homeFolder = (home / "home").string();
    std::filesystem::path file = home / "a.dbf";
    std::string question = "数据表 a 已导入过（来自 " + file.string() +
                           "，4 条记录）。现在打开的文件不同（" + file.string() +
                           "，6 条记录）。是否重新导入？已有的评分会被清除。";
};

TEST_F(ReimportCliTest, AChangedFileIsANoticeAndTheStoredTableIsUsed) {
    auto r = Cli({"--home", homeFolder, "open", file.string()});
    EXPECT_EQ(r.status, 0) << "the notice stops nothing";
    EXPECT_EQ(r.out, "记录数:4  题目数:5\n");
    EXPECT_TRUE(Has(r.err, question + " -> 否")) << r.err;
}

TEST_F(ReimportCliTest, GoOnAloneDoesNotReimport) {
    auto r = Cli({"--home", homeFolder, "--go-on", "open", file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:4  题目数:5\n");
}

TEST_F(ReimportCliTest, ReimportTakesTheNewFileBeforeOrAfterTheCommand) {
    auto r = Cli({"--home", homeFolder, "sql", file.string(), "--reimport", "--statement",
                  "select count(*) as n from a"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:6  题目数:5\nn\n6\n");
    EXPECT_TRUE(Has(r.err, question + " -> 是")) << r.err;
    EXPECT_TRUE(Has(r.err, "重新导入（6 条记录），已有的评分已清除")) << r.err;
    r = Cli({"--reimport", "--home", homeFolder, "open", file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Has(r.err, "已导入过")) << "the new file is the recorded one now: " << r.err;
}

TEST_F(ReimportCliTest, TheQuestionCountsTheCorrectionsAndEditsAReimportWouldLose) {
    ASSERT_EQ(
        Cli({"--home", homeFolder, "verify", file.string(), "--fix", "202601001=202601091"}).status,
        0);
    ASSERT_EQ(
        Cli({"--home", homeFolder, "verify", file.string(), "--fix", "202601002=202601092"}).status,
        0);
    // Grid edits of this table since its import, one of them undone; an
    // edit of another table and one before the import do not count.
    testsupport::WriteBytes(home / "home" / "编辑记录.log",
                            text::ToGbk("2000-01-01 08:00:00\t编辑\ta\t202601003\tFLAG\t0\t1\r\n"
                                        "2999-01-01 08:00:00\t编辑\ta\t202601003\tFLAG\t0\t1\r\n"
                                        "2999-01-01 08:00:01\t编辑\tA\t202601004\tFLAG\t0\t1\r\n"
                                        "2999-01-01 08:00:02\t撤销\ta\t202601004\tFLAG\t1\t0\r\n"
                                        "2999-01-01 08:00:03\t编辑\tb\t202601004\tFLAG\t0\t1\r\n"));
    auto r = Cli({"--home", homeFolder, "open", file.string()});
    EXPECT_TRUE(Has(r.err, question + "考号更正（2 条）和表格编辑（1 条）也会丢失。 -> 否"))
        << r.err;
}

TEST(HelpCli, HelpPrintsTheWholeUsageOnStdout) {
    TempHome home;
    auto r = Cli({"--home", (home / "h").string(), "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* part :
         {"usage: quillory-cli", "  score [--segment COUNT:POINTS]", "  batch --kind", "--go-on",
          "--reimport", "--home DIR", "~/.local/share/quillory", "ABCDA;BCDAB;CD",
          "x    the question is left out", "--multi-key TEXT", "0  done", "1  error",
          "2  bad usage", "3  stopped"})
        EXPECT_TRUE(Has(r.out, part)) << part;
    EXPECT_TRUE(Has(r.out, "Now: " + (home / "h").string() + "\n")) << r.out;
    EXPECT_EQ(Cli({"help"}).status, 0);
    EXPECT_EQ(Cli({"-h"}).out, Cli({"help"}).out);
}

TEST(HelpCli, CommandHelpShowsThatCommandOnly) {
    auto r = Cli({"score", "--help"});
    EXPECT_EQ(r.status, 0) << "no TABLE.dbf is needed for the help";
    EXPECT_TRUE(Has(r.out, "  score [--segment COUNT:POINTS]"));
    EXPECT_FALSE(Has(r.out, "  batch --kind"));
    EXPECT_TRUE(Has(r.out, "exit status:"));
    EXPECT_EQ(Cli({"help", "score"}).out, r.out);
    r = Cli({"roster", "import", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "  roster import FILE"));
    EXPECT_FALSE(Has(r.out, "  score ["));
}

TEST(HelpCli, TheDefaultHomeIsNamedWithoutCreatingIt) {
    TempHome home;
    os::SetProgramFolder({}); // no --home
    ::setenv("QUILLORY_HOME", (home / "env-home").c_str(), 1);
    auto r = Cli({"--help"});
    ::unsetenv("QUILLORY_HOME");
    EXPECT_TRUE(Has(r.out, "Now: " + (home / "env-home").string() + "\n")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(home / "env-home"));
}

TEST(HelpCli, BadUsageStillFailsWithTheUsageOnStderr) {
    auto r = Cli({"frobnicate", "--help"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "usage: quillory-cli")) << r.err;
    r = Cli({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST(HelpCli, AMistakeInAKnownCommandShowsThatCommandsUsageOnly) {
    TempHome home;
    auto r = Cli({"--home", (home / "h").string(), "score", "exam.dbf", "--segment"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "quillory-cli: --segment needs a value\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "  score [--segment COUNT:POINTS]")) << r.err;
    EXPECT_FALSE(Has(r.err, "  batch --kind"))
        << "the other commands would push the mistake out of sight";
    r = Cli({"--home", (home / "h").string(), "check", "exam.dbf", "--frob"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "unknown option --frob for check")) << r.err;
    EXPECT_TRUE(Has(r.err, "  check [--start N]")) << r.err;
    EXPECT_FALSE(Has(r.err, "  score [")) << r.err;
}

TEST(HelpCli, WhatRekeyKeepsIsInItsOwnHelpAndTheWholeOne) {
    EXPECT_TRUE(Has(Cli({"rekey", "--help"}).out, "correcting one key (rekey):"));
    EXPECT_TRUE(Has(Cli({"--help"}).out, "correcting one key (rekey):"));
    EXPECT_FALSE(Has(Cli({"score", "--help"}).out, "correcting one key"));
}

} // namespace
