// What the scoring run adds to its messages so that the user knows what to
// fix: the key counts, characters that are no option, points named in
// Chinese, and the way back to a column a custom statement hid.
#include "scoring/RunChecks.h"
#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ViewCommands.h"
#include "scoring/ScoreCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using core::Outcome;
using scoring::ScoringSettings;
using testsupport::ScriptedUi;
using testsupport::TempHome;
using Lines = std::vector<std::string>;

ScoringSettings Single(int count, const std::string& points, const std::string& key) {
    ScoringSettings st;
    st.segmentChoice = 1;
    st.counts = {count, 0, 0, 0};
    st.points = {points, "0", "0", "0"};
    st.singleKey = key;
    return st;
}

TEST(KeyLengthDetail, CountsAnswersAndThenSeparators) {
    EXPECT_EQ(scoring::KeyLengthDetail("ABCDA;BCDAB;C", 12), "需要 12 个，已输入 11 个");
    EXPECT_EQ(scoring::KeyLengthDetail(" ABCDA BCDAB CDA ", 12), "需要 12 个，已输入 13 个")
        << "blanks around the key are not typed answers";
    EXPECT_EQ(scoring::KeyLengthDetail("ABCDE;", 5),
              "需要 5 个，已输入 5 个；分隔符号需要 0 个，已输入 1 个");
    EXPECT_EQ(scoring::KeyLengthDetail("AB;CD;EA", 6),
              "需要 6 个，已输入 6 个；分隔符号需要 1 个，已输入 2 个");
    EXPECT_EQ(scoring::KeyLengthDetail("", 0),
              "需要 0 个，已输入 0 个；分隔符号需要 0 个，已输入 0 个");
    EXPECT_EQ(scoring::CountDetail(3, 4), "需要 3 个，已输入 4 个");
}

TEST(KeyCharacters, WhatIsAnOption) {
    for (char c : std::string("ABCDEFxz0123456789:<=>?@GHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmno"))
        EXPECT_TRUE(scoring::IsKeyCharacter(c)) << c;
    for (char c : std::string("#!\"$%&'()*+-./pqrsuvwy{|}~"))
        EXPECT_FALSE(scoring::IsKeyCharacter(c)) << c;
    EXPECT_FALSE(scoring::IsKeyCharacter('\xE4'));
}

TEST(KeyCharacters, NonOptionsByTheirQuestion) {
    EXPECT_EQ(scoring::NonOptionNotes("ABCDA;BCDA#;p"),
              (Lines{"第 10 题的答案 # 不是选项", "第 11 题的答案 p 不是选项"}))
        << "separators do not count as questions";
    EXPECT_EQ(scoring::NonOptionNotes("ABCxz;30oG"), Lines{});
    EXPECT_EQ(scoring::NonOptionNotes("A\xE4"), Lines{"第 2 题的答案 0xE4 不是选项"});
    const std::string six = scoring::NonOptionQuestion(Lines(6, "第 1 题的答案 # 不是选项"));
    EXPECT_EQ(six.rfind("第 1 题的答案 # 不是选项。\r", 0), 0u);
    EXPECT_NE(six.find("另有 1 题的答案不是选项。"), std::string::npos) << six;
    EXPECT_NE(six.find("是否现在退出评分？"), std::string::npos);
}

TEST(KeyCharacters, MarkCodesOfSeveralOptionsAreSpelledOut) {
    // G is 48 + 23: A + B + C + E; 3 is A + B; 1 is A alone, A the letter.
    EXPECT_EQ(scoring::MarkCodeNotes("AG13B;G"),
              (Lines{"G = ABCE（第 2、6 题）", "3 = AB（第 4 题）"}));
    EXPECT_EQ(scoring::MarkCodeNotes("ABCDEF1248xz0"), Lines{})
        << "letters, single marks and blanks need none";
    EXPECT_EQ(scoring::MarkCodeNotes("o"), Lines{"o = ABCDEF（第 1 题）"});
}

class RunChecksTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    void Open(const std::vector<std::string>& contents) {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (std::size_t i = 0; i < contents.size(); ++i)
            sheets.emplace_back(std::to_string(202601001 + i), contents[i]);
        testsupport::WriteAnswers(home / "exam.dbf", sheets, 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "exam.dbf");
    }

    Outcome Run(const ScoringSettings& st) {
        return scoring::ScoreAll(ws, ui, shell, st, {}).outcome;
    }

    std::string Scores() {
        auto r = ws.connection.select("select score from exam order by BH");
        std::string out;
        for (const auto& row : r.rows)
            out += db::Query::ToText(row[0]) + ";";
        return out;
    }

    // The error text of a run that must fail.
    std::string Refusal(const ScoringSettings& st) {
        try {
            (void)Run(st);
        } catch (const core::AppError& e) {
            return e.what();
        }
        ADD_FAILURE() << "the run went through";
        return {};
    }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(RunChecksTest, TheKeyLengthMessageSaysWhatIsNeededAndWhatWasTyped) {
    Open({"111111", "222222"});
    ASSERT_EQ(Run(Single(6, "1", "AAAAA;AA")), Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一"
                                       "个分隔符号，末尾没有。\r需要 6 个，已输入 7 个");
    // The right length with a separator inside a group: only the later count sees it.
    ASSERT_EQ(Run(Single(6, "1", "AA;AAA")), Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一"
                                       "个分隔符号，末尾没有。\r需要 6 个，已输入 5 个");
    EXPECT_EQ(Scores(), ";;") << "nothing written";
}

TEST_F(RunChecksTest, ACharacterThatIsNoOptionIsAskedAboutAfterTheOtherChecks) {
    Open({"111111", "222222"});
    ui.answers = {true};
    ASSERT_EQ(Run(Single(6, "1", "AAAAA;#")), Outcome::Stopped) << "Yes stops";
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(
        ui.questions[0].text,
        "第 6 题的答案 # 不是选项。\r有效的答案是字母 A 到 F、x、z 或选项组合的代码（0 到 o）。"
        "是否现在退出评分？");
    EXPECT_EQ(ui.questions[0].title, "检测到错误");
    EXPECT_EQ(ui.questionKinds[0], core::GoOn::WithNo);
    EXPECT_EQ(Scores(), ";;");

    // An earlier check ends the run before the question: a bad multiple-choice key.
    ScoringSettings st = Single(5, "1", "AAAA#");
    st.multiCount = 1;
    st.full = "2";
    st.multiKey = "ABCDE";
    EXPECT_THROW((void)Run(st), core::AppError);
    EXPECT_EQ(ui.questions.size(), 1u) << "asked only once the thirteen checks passed";

    ui.answers = {false};
    ASSERT_EQ(Run(Single(6, "1", "AAAAA;#")), Outcome::Done) << "No goes on";
    EXPECT_EQ(Scores(), "5;0;");
}

TEST_F(RunChecksTest, PointsThatAreNoNumberAreNamedInChinese) {
    Open({"11", "22"});
    EXPECT_EQ(Refusal(Single(2, "", "AA")), "每题分数（第一段）不是数字：''");
    ScoringSettings two = Single(1, "1", "AA");
    two.segmentChoice = 2;
    two.counts = {1, 1, 0, 0};
    two.enabled = {true, true, false, false};
    two.points = {"1", "x", "0", "0"};
    EXPECT_EQ(Refusal(two), "每题分数（第二段）不是数字：'x'");
    ScoringSettings multi = Single(1, "1", "A");
    multi.multiCount = 1;
    multi.multiKey = "A";
    multi.full = "";
    EXPECT_EQ(Refusal(multi), "全对分数不是数字：''");
    multi.full = "2";
    multi.partial = "半";
    multi.multiKey = "AB"; // the sheet "11" marks A only: partial credit
    EXPECT_EQ(Refusal(multi), "少选分数不是数字：'半'") << "said when first used, as before";
    EXPECT_EQ(ui.messages.size(), 0u);
}

TEST_F(RunChecksTest, AColumnHiddenByACustomStatementSaysHowToGetTheTableBack) {
    Open({"11", "22"});
    ASSERT_EQ(core::CustomSql(ws, ui, "SELECT BH, SCORE FROM exam", true), 0);
    const std::string refused = Refusal(Single(2, "1", "AA"));
    EXPECT_EQ(refused, "表 exam 中有客观题字段 " + ws.Fields.Content +
                           "，但当前显示的数据是自定义SQL语句的结果，其中没有这个字段。"
                           "请选择\"取消排序(读卡顺序)\"或重新打开数据表，显示整个表后再评分。");
    ASSERT_EQ(core::CustomSql(ws, ui, "SELECT CONTENT, SCORE FROM exam", true), 0);
    EXPECT_NE(Refusal(Single(2, "1", "AA")).find("中有考号字段 " + ws.Fields.ID),
              std::string::npos);
    ASSERT_EQ(core::CustomSql(ws, ui, "SELECT BH, CONTENT FROM exam", true), 0);
    EXPECT_NE(Refusal(Single(2, "1", "AA")).find("中有分数字段 " + ws.Fields.Score),
              std::string::npos)
        << "not the offer to add a column the table has";
    EXPECT_TRUE(ui.questions.empty());

    // What the advice names gives the table back.
    core::ReadingOrder(ws);
    EXPECT_EQ(Run(Single(2, "1", "AA")), Outcome::Done);
    EXPECT_EQ(Scores(), "2;0;");

    // A column the table lacks keeps the message of the field names.
    ws.Fields.Content = "DA";
    EXPECT_EQ(Refusal(Single(2, "1", "AA")),
              "表中没有此客观题字段：DA。请使用\"设置字段名\"设置相符合的字段名。");
}

} // namespace
