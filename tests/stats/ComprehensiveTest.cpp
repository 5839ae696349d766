#include "stats/Comprehensive.h"
#include "core/OpenTable.h"
#include "platform/automation/SheetServer.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "stats/ClassesCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempHome;

TEST(SubjectPresets, TriedInOrder) {
    auto science = stats::PresetFor(100, "期末理科");
    ASSERT_TRUE(science);
    EXPECT_EQ(science->names[0], "物理");
    EXPECT_EQ(science->starts, (std::array<int, 6>{1, 24, 47, 70, 80, 90}));
    auto arts = stats::PresetFor(100, "文科卷");
    ASSERT_TRUE(arts);
    EXPECT_EQ(arts->starts, (std::array<int, 6>{1, 24, 47, 71, 81, 91}));
    EXPECT_EQ(stats::PresetFor(100, "理科文科")->names[0], "物理") << "理科 is tried first";
    EXPECT_TRUE(stats::PresetFor(35, "文科"));
    EXPECT_FALSE(stats::PresetFor(35, "理科"));
    EXPECT_TRUE(stats::PresetFor(25, "理科"));
    EXPECT_FALSE(stats::PresetFor(25, "文科"));
    EXPECT_FALSE(stats::PresetFor(60, "理科"));
    EXPECT_EQ(stats::PresetFor(35, "文科")->names[3], " ");
}

TEST(SubjectPresets, TheThirtyFiveQuestionRanges) {
    auto s = stats::SubjectsOf({1, 12, 24, 36, 36, 36}, 35);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[11], 0);
    EXPECT_EQ(s[12], 1);
    EXPECT_EQ(s[23], 1);
    EXPECT_EQ(s[24], 2);
    EXPECT_EQ(s[35], 2);
    auto late = stats::SubjectsOf({3, 5, 7, 9, 11, 13}, 14);
    EXPECT_EQ(late[1], -1) << "a question before s1 belongs to no subject";
    EXPECT_EQ(late[14], 5);
}

class ComprehensiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TMPDIR", home.path().c_str(), 1);
        spreadsheet = automation::SheetServer({&shell, {}, {}});
        ws.startUp();
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    TempHome home;
    automation::Factory spreadsheet;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(ComprehensiveTest, ReportTableAndSpreadsheet) {
    // Class 1: two sheets; class 2: one; one sheet in no class. Four questions.
    testsupport::WriteAnswers(
        home / "zh.dbf", {{"K0102", "1111"}, {"K0101", "1111"}, {"K0201", "11"}, {"X9999", "1111"}},
        'N');
    (void)core::OpenAnswerTable(ws, ui, home / "zh.dbf");
    ws.connection.execute("UPDATE zh SET f1 = 1.5, f2 = 1, f3 = 2, f4 = 0.5");
    ws.connection.execute("UPDATE zh SET f1 = 2.5 WHERE BH = 'K0101'");
    stats::ClassSettings s;
    s.prefixMode = true;
    s.prefix = "K";
    s.totalLength = 5;
    s.codeLength = 2;
    s.firstClass = 1;
    s.lastClass = 3;
    s.questions = 4;
    s.comprehensive = true;
    s.subjects.names = {"物理", "化学", "", "", "", ""};
    s.subjects.starts = {1, 3, 5, 5, 5, 5};
    ASSERT_EQ(stats::RunClassStatistics(ws, ui, shell, spreadsheet, s, "分班统计").outcome,
              core::Outcome::Done);

    // Class 1: physics 3.5 + 2.5 = 6 -> 3, chemistry 2.5 + 2.5 = 5 -> 2.5, total 11 / 2.
    // Class 2 looked at two questions only (its content is 2 long): physics 2.5.
    // The grade line divides by the 3 matched sheets; its last column is the
    // whole-grade average of all 4 sheets and all questions: 21 / 4 = 5.25 -> 5.2.
    const std::string expected =
        text::ToGbk("综合科分班分科目统计结果\r\n"
                    "\r\n"
                    "班别  物理   化学               平均分 [名称仅参考]\r\n"
                    "      1-2   3-4  5-4  5-4  5-4  5-4         [以此行为准]\r\n"
                    "1     3      2.5    0      0      0      0      5.5\r\n"
                    "2     2.5    0      0      0      0      0      2.5\r\n"
                    "全级  2.8    1.7    0      0      0      0      5.2\r\n");
    EXPECT_EQ(testsupport::ReadBytes(home / "综合科统计_zh.txt"), expected);

    auto rows = ws.connection.select("select ID, CLS, field1, field2 from zonghe");
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(db::Query::ToText(rows.rows[0][0]), "K0101") << "in exam-number order";
    EXPECT_EQ(db::Query::ToText(rows.rows[0][1]), "01");
    EXPECT_EQ(db::Query::ToText(rows.rows[0][2]), "4") << "3.5 rounds to 4";
    EXPECT_EQ(db::Query::ToText(rows.rows[1][2]), "2") << "2.5 rounds to 2";
    EXPECT_EQ(db::Query::ToText(rows.rows[2][1]), "02");

    ASSERT_GE(shell.opened().size(), 3u);
    EXPECT_EQ(shell.opened()[0], (home / "综合科统计_zh.txt").string())
        << "before the class report";
    EXPECT_EQ(shell.opened()[1], (home / "分班统计_zh.txt").string());
    EXPECT_EQ(shell.opened()[2],
              (testsupport::ProcessTempIn(home.path()) / "zonghe.xlsx").string());
    EXPECT_TRUE(std::filesystem::exists(testsupport::ProcessTempIn(home.path()) / "zonghe.xls"));

    // A second run empties zonghe first.
    ASSERT_EQ(stats::RunClassStatistics(ws, ui, shell, spreadsheet, s, "分班统计").outcome,
              core::Outcome::Done);
    EXPECT_EQ(ws.connection.select("select count(*) from zonghe").rows[0][0],
              db::Value{std::int64_t{3}});
}

TEST_F(ComprehensiveTest, NoSheetInAnyClassShowsZeros) {
    testsupport::WriteAnswers(home / "none.dbf", {{"X0101", "11"}}, 'N');
    (void)core::OpenAnswerTable(ws, ui, home / "none.dbf");
    stats::ClassSettings s;
    s.prefixMode = true;
    s.prefix = "K";
    s.totalLength = 5;
    s.codeLength = 2;
    s.questions = 2;
    s.comprehensive = true;
    ASSERT_EQ(stats::RunClassStatistics(ws, ui, shell, spreadsheet, s, "分班统计").outcome,
              core::Outcome::Done);
    auto lines = text::LoadLines(home / "综合科统计_none.txt");
    EXPECT_EQ(lines.back(), "全级  0      0      0      0      0      0      0");
}

} // namespace
