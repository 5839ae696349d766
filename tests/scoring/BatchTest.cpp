#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/BatchCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempHome;

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    void Table(const std::string& file, const std::vector<std::string>& contents,
               char score = 'N') {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (std::size_t i = 0; i < contents.size(); ++i)
            sheets.emplace_back(std::to_string(1001 + i), contents[i]);
        testsupport::WriteAnswers(home / file, sheets, score, contents.empty() ? 30 : 0);
    }

    std::vector<std::string> Lines(const std::string& file) { return text::LoadLines(home / file); }

    TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
};

TEST(SurveyPoints, ByQuestionAndLetter) {
    EXPECT_EQ(scoring::SurveyPoints(2, 'B'), 3.5);
    EXPECT_EQ(scoring::SurveyPoints(1, 'B'), 2.5);
    EXPECT_EQ(scoring::SurveyPoints(10, 'C'), 3);
    EXPECT_EQ(scoring::SurveyPoints(1, 'C'), 0);
    EXPECT_EQ(scoring::SurveyPoints(21, 'A'), 4);
    EXPECT_EQ(scoring::SurveyPoints(5, 'D'), 0);
    EXPECT_EQ(scoring::SurveyPoints(5, 0), 0);
}

TEST_F(BatchTest, TestScoresEveryTableAndSumsUp) {
    // All "A": 8 x 4 + 22 x 3 = 98. One "B" on question 1 instead: 97.5.
    Table("20111229德育一班.dbf", {std::string(30, '1'), "2" + std::string(29, '1')}, 'I');
    Table("20111229德育二班.DBF", {"2" + std::string(29, '1'), "A" + std::string(29, '0')}, 'N');
    Table("other.dbf", {std::string(30, '1')});
    auto result = scoring::RunBatch(ws, ui, shell, scoring::BatchKind::Test, 0);
    EXPECT_EQ(result.scored.size(), 2u);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(result.summary, home / "统计_合计.txt");
    EXPECT_EQ(ui.messages.back().text, "处理完毕。已处理文件个数: 2");

    auto one = ws.connection.select("select score, f1 from 20111229德育一班 order by BH");
    EXPECT_EQ(db::Query::ToText(one.rows[0][0]), "98");
    EXPECT_EQ(db::Query::ToText(one.rows[1][0]), "97") << "an integer field cuts the half";
    auto two = ws.connection.select("select score, f1 from 20111229德育二班 order by BH");
    EXPECT_EQ(db::Query::ToText(two.rows[0][0]), "97.5");
    EXPECT_EQ(db::Query::ToText(two.rows[1][0]), "0") << "the code A is a multi-mark";
    EXPECT_EQ(db::Query::ToText(two.rows[1][1]), "0");

    auto stats = Lines("统计_20111229德育二班.txt");
    ASSERT_EQ(stats.size(), 3u + 30 + 2 + 1 + 1);
    EXPECT_EQ(stats[3], "1     0     1     0     0     0%") << "A+E counts nowhere";
    EXPECT_EQ(stats[4], "2     1     0     0     0     0%");
    EXPECT_EQ(stats[35], "统计人数: 2  总分: 97.5  平均分: 48.75");
    auto summary = Lines("统计_合计.txt");
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0], "20111229德育一班    统计人数: 2  总分: 195.5  平均分: 97.75");
    EXPECT_EQ(summary[1].rfind("20111229德育二班    统计人数: 2", 0), 0u);
    EXPECT_EQ(shell.opened().size(), 2u);
}

TEST_F(BatchTest, Test2CountsWithTabsAndAFailingTableGoesOn) {
    std::string content(81, '0');
    content[6] = '1';
    Table("20111230科任1.dbf", {content, content, content});
    Table("20111230科任2.dbf", {"12"}); // too short: this table fails
    auto result = scoring::RunBatch(ws, ui, shell, scoring::BatchKind::Test2, 2);
    EXPECT_EQ(result.scored, std::vector<std::filesystem::path>{home / "20111230科任1.dbf"});
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0].file, home / "20111230科任2.dbf");
    EXPECT_EQ(result.failed[0].reason, "客观题只有 2 个字符，需要 81 个。");
    EXPECT_EQ(ui.messages.back().title, (home / "20111230科任2.dbf").string())
        << "the title names the table that failed";
    EXPECT_EQ(ui.messages.back().text, "处理完毕。已处理文件个数: 2");
    auto lines = Lines("统计_20111230科任1.txt");
    EXPECT_EQ(lines[2], "题目\t选A\t选B\t选C\t选D\t答对");
    EXPECT_EQ(lines[3 + 6], "7\t3\t0\t0\t0\t0%");
    EXPECT_EQ(lines[3 + 81], "");
    EXPECT_EQ(lines[3 + 82], "多选题部分");
    EXPECT_EQ(lines[3 + 84], "1     0     0     0     0     0      0");
    EXPECT_EQ(lines.back(), "统计人数: 3  总分: 0  平均分: 0") << "no closing empty line";
    EXPECT_FALSE(std::filesystem::exists(home / "统计_20111230科任2.txt"));
    EXPECT_FALSE(std::filesystem::exists(home / "统计_合计.txt"));
}

TEST_F(BatchTest, NoTablesAndEmptyTables) {
    EXPECT_EQ(scoring::RunBatch(ws, ui, shell, scoring::BatchKind::Test, 0).scored.size(), 0u);
    EXPECT_EQ(testsupport::ReadBytes(home / "统计_合计.txt"), "");
    Table("20111229德育空.dbf", {});
    EXPECT_EQ(scoring::RunBatch(ws, ui, shell, scoring::BatchKind::Test, 1).scored.size(), 1u);
    auto lines = Lines("统计_20111229德育空.txt");
    EXPECT_EQ(lines[3], "1     0     0     0     0     0%");
    EXPECT_EQ(lines[3 + 30 + 3], "1     0     0     0     0     0      ??");
    EXPECT_EQ(lines[3 + 30 + 5], "统计人数: 0  总分: 0  平均分: ??");
}

} // namespace
