// quillory-cli analyze: the files it writes and prints, and the refusals.
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempHome;

using Result = testsupport::CliResult;

Result Cli(std::vector<std::string> args) {
    return testsupport::RunCli(std::move(args));
}

class AnalyzeCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Four single-choice questions keyed ABCD worth 1, one multiple-choice
        // question keyed AB worth 4 (partial 2): totals 8, 6, 1 and 2.
        testsupport::WriteAnswers(home / "a.dbf",
                                  {{"202601003", "12483"},
                                   {"202601001", "12481"},
                                   {"202601002", "88880"},
                                   {"202601004", "12000"}},
                                  'N');
    }

    [[nodiscard]] std::string homeDir() const { return (home / "home").string(); }
    [[nodiscard]] std::string table() const { return (home / "a.dbf").string(); }

    Result Score() {
        return Cli({"--home", homeDir(), "score", table(), "--segment", "4:1", "--key", "ABCD",
                    "--multi", "1", "--full", "4", "--multi-key", "AB"});
    }

    [[nodiscard]] bool Exists(const std::string& name) const {
        return std::filesystem::exists(home / "home" / name);
    }

    TempHome home;
};

TEST_F(AnalyzeCliTest, WritesTheReportTheWorkbookAndTheJsonAndPrintsEach) {
    ASSERT_EQ(Score().status, 0);
    const std::string json = (home / "a.json").string();
    auto r = Cli(
        {"--home", homeDir(), "analyze", table(), "--json", json, "--groups", "25", "--band", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto dir = home / "home";
    EXPECT_EQ(r.out, "记录数:4  题目数:5\nwrote " + (dir / "试卷分析_a.txt").string() + "\nwrote " +
                         (dir / "试卷分析_a.xlsx").string() + "\nwrote " + json + "\n");
    const std::string figures = testsupport::ReadBytes(json);
    EXPECT_EQ(figures.rfind(R"({"table":"a","sheets":4,"full":8,"mean":4.25,)", 0), 0u)
        << figures.substr(0, 80);
    // 25 % of 4 sheets: one sheet a group; bands of 2 points up to 8.
    EXPECT_NE(figures.find(R"("group_size":1,)"), std::string::npos);
    EXPECT_NE(figures.find(R"({"from":6,"to":8,"count":2,"share":0.5,"cumulative":2}])"),
              std::string::npos)
        << figures;
    const auto lines = text::LoadLines(dir / "试卷分析_a.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "试卷分析  a");
}

TEST_F(AnalyzeCliTest, WithoutAScoringRunItTellsToScoreFirstAndWritesNothing) {
    auto r = Cli({"--home", homeDir(), "analyze", table(), "--json", (home / "a.json").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("请先评分"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "记录数:4  题目数:5\n") << "no wrote line";
    EXPECT_FALSE(Exists("试卷分析_a.txt"));
    EXPECT_FALSE(Exists("试卷分析_a.xlsx"));
    EXPECT_FALSE(std::filesystem::exists(home / "a.json"));
}

TEST_F(AnalyzeCliTest, ImpossibleOptionsAreBadUsage) {
    ASSERT_EQ(Score().status, 0);
    for (std::vector<std::string> options : {std::vector<std::string>{"--groups", "60"},
                                             {"--groups", "abc"},
                                             {"--band", "0"},
                                             {"--band", "2x"},
                                             {"--key", "A"}}) {
        std::vector<std::string> args = {"--home", homeDir(), "analyze", table()};
        args.insert(args.end(), options.begin(), options.end());
        auto r = Cli(args);
        EXPECT_EQ(r.status, 2) << options[0] << " " << options[1];
        EXPECT_FALSE(Exists("试卷分析_a.txt"));
    }
}

TEST_F(AnalyzeCliTest, TheUsageNamesTheCommand) {
    auto r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("analyze [--groups PERCENT] [--band WIDTH] [--json FILE]"),
              std::string::npos)
        << r.out;
}

} // namespace
