// How class settings split a table before the class statistics run, and
// what is said about sheets in no class, an unscored table and a cancelled
// start-number prompt.
#include "stats/ClassSplit.h"
#include "core/OpenTable.h"
#include "platform/text/TextFile.h"
#include "scoring/RunLog.h"
#include "stats/CheckCommand.h"
#include "stats/ClassesCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using stats::ClassSettings;
using testsupport::ScriptedUi;
using testsupport::TempHome;
using Classes = std::vector<std::pair<std::string, long long>>;

ClassSettings Prefix(const std::string& prefix, int total, int code, int first, int last) {
    ClassSettings s;
    s.prefixMode = true;
    s.prefix = prefix;
    s.totalLength = total;
    s.codeLength = code;
    s.firstClass = first;
    s.lastClass = last;
    s.questions = 2;
    return s;
}

class ClassSplitTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    void Open(const std::vector<std::string>& ids, const std::string& name = "split") {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (const auto& id : ids)
            sheets.emplace_back(id, "12");
        testsupport::WriteAnswers(home / (name + ".dbf"), sheets, 'N');
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
        ws.connection.execute("UPDATE " + name + " SET f1 = 1, f2 = 2");
        ui.messages.clear();
    }

    // Two sheets of class 01, one of 03, one of 05, one of another length,
    // one of another prefix, one without an exam number.
    void OpenMixed() {
        Open({"K010001", "K010002", "K030001", "K050001", "K03001", "X010003", ""});
    }

    stats::ClassRunResult Run(const ClassSettings& s) {
        return stats::RunClassStatistics(ws, ui, shell, {}, s, "分班统计");
    }

    // The report's class lines, "<code>:<count>", as the run wrote them.
    std::vector<std::string> ReportClasses() {
        std::vector<std::string> out;
        for (const auto& line : text::LoadLines(home / ("分班统计_" + ws.TableName + ".txt"))) {
            const auto at = line.find(" 班人数 ");
            if (at != std::string::npos)
                out.push_back(line.substr(0, at) + ":" +
                              line.substr(at + 11, line.find(',') - at - 11));
        }
        return out;
    }

    static std::vector<std::string> SplitClasses(const stats::ClassSplit& split) {
        std::vector<std::string> out;
        for (const auto& [code, count] : split.classes)
            out.push_back(code + ":" + std::to_string(count));
        return out;
    }

    // The preview and the run must tell the same classes and the same sheets in none.
    void ExpectTheRunAgrees(const ClassSettings& s, const stats::ClassSplit& split) {
        const auto result = Run(s);
        ASSERT_EQ(result.outcome, core::Outcome::Done);
        EXPECT_EQ(result.withoutClass, split.withoutClass());
        EXPECT_EQ(ReportClasses(), SplitClasses(split));
    }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(ClassSplitTest, ByPrefixTheRangeAndTheShapeAreToldApart) {
    OpenMixed();
    const ClassSettings s = Prefix("K", 7, 2, 1, 3);
    const auto split = stats::SplitTable(ws, s);
    EXPECT_EQ(split.problem, "");
    EXPECT_EQ(split.sheets, 7);
    EXPECT_EQ(split.inClasses, 3);
    EXPECT_EQ(split.outsideRange, 1) << "K050001: class 05 is beyond 3";
    EXPECT_EQ(split.otherShape, 3) << "K03001, X010003 and the empty number";
    EXPECT_EQ(split.classes, (Classes{{"01", 2}, {"03", 1}}));
    EXPECT_EQ(stats::SplitSummary(split),
              "按当前设置：3 份答卷分入 2 个班，4 份不属于任何班（班别范围以外 1 "
              "份，考号前缀或长度不符 3 份）。");
    EXPECT_EQ(stats::SplitClasses(split), "找到的班级：01 (2)、03 (1)");
    ExpectTheRunAgrees(s, split);
}

TEST_F(ClassSplitTest, ByStartPositionTheOtherPrefixCounts) {
    OpenMixed();
    ClassSettings s = Prefix("", 7, 2, 1, 5);
    s.prefixMode = false;
    s.startPosition = 2;
    const auto split = stats::SplitTable(ws, s);
    EXPECT_EQ(split.classes, (Classes{{"01", 3}, {"03", 1}, {"05", 1}}));
    EXPECT_EQ(split.outsideRange, 0);
    EXPECT_EQ(split.otherShape, 2);
    ExpectTheRunAgrees(s, split);
}

TEST_F(ClassSplitTest, EverySheetInAClassSaysSoAndTheRunSaysNothing) {
    Open({"K010001", "K020002"});
    const ClassSettings s = Prefix("K", 7, 2, 1, 2);
    const auto split = stats::SplitTable(ws, s);
    EXPECT_EQ(stats::SplitSummary(split),
              "按当前设置：2 份答卷分入 2 个班，没有不属于任何班的答卷。");
    ExpectTheRunAgrees(s, split);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClassSplitTest, PredefinedClassesComeFromTheRosterWithoutWritingThem) {
    OpenMixed();
    ws.connection.execute("CREATE TABLE ids (ID varchar(12), StudClass INT)");
    for (const char* row : {"('K010001', 1)", "('K030001', 2)", "('X010003', 2)", "('Z', 3)"})
        ws.connection.execute(std::string("INSERT INTO ids VALUES ") + row);
    ClassSettings s;
    s.predefined = true;
    s.questions = 2;
    const auto split = stats::SplitTable(ws, s);
    EXPECT_EQ(split.classes, (Classes{{"1", 1}, {"2", 2}}));
    EXPECT_EQ(split.otherShape, 4);
    EXPECT_EQ(
        stats::SplitSummary(split),
        "按当前设置：3 份答卷分入 2 个班，4 份不属于任何班（名单 ids 中没有它们的考号或班别）。");
    auto cls = ws.connection.select("SELECT COUNT(*) FROM split WHERE CLS IS NOT NULL");
    EXPECT_EQ(db::Query::ToText(cls.rows[0][0]), "0") << "the preview writes nothing";
    ExpectTheRunAgrees(s, split);
    // A sheet whose class the run wrote earlier keeps it where the roster has none.
    ws.connection.execute("UPDATE split SET CLS = 3 WHERE BH = 'K010002'");
    EXPECT_EQ(stats::SplitTable(ws, s).classes, (Classes{{"1", 1}, {"2", 2}, {"3", 1}}));
}

TEST_F(ClassSplitTest, SettingsTheRunRefusesAreShownInsteadOfCounts) {
    OpenMixed();
    EXPECT_EQ(stats::SplitTable(ws, Prefix("", 7, 2, 1, 3)).problem, "考号前缀设置错误。");
    EXPECT_EQ(stats::SplitTable(ws, Prefix("K", 7, 2, 3, 1)).problem,
              "错误: 班别大小顺序不对。应该从小到大。");
    ClassSettings predefined;
    predefined.predefined = true;
    const auto split = stats::SplitTable(ws, predefined);
    EXPECT_EQ(split.problem, "找不到表 ids 。请检查 data.mdb。");
    EXPECT_EQ(stats::SplitSummary(split), "按当前设置不能分班：找不到表 ids 。请检查 data.mdb。");
    EXPECT_TRUE(ui.messages.empty()) << "the preview shows no message";
}

TEST_F(ClassSplitTest, TheRunSaysHowManySheetsFellIntoNoClass) {
    OpenMixed();
    const auto result = Run(Prefix("K", 7, 2, 1, 3));
    EXPECT_EQ(result.withoutClass, 4);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "有 4 份答卷不属于任何班级（考号的前缀、长度或班别不在设置的范围内），"
              "只计入了所有考生的人数和总分，没有计入任何班。");
    EXPECT_EQ(ui.messages[0].title, "分班统计");
    EXPECT_EQ(ui.messages[0].icon, core::Icon::Information);
    EXPECT_EQ(text::LoadLines(home / "分班统计_split.txt")[0],
              "所有考生人数7, 总分21.00, 平均分3.00。")
        << "the report is as before";
    EXPECT_EQ(stats::WithoutClassNotice(1, true),
              "有 1 份答卷不属于任何班级（名单 ids "
              "中没有它们的考号或班别），只计入了所有考生的人数和总分，没有计入任何班。");
}

TEST_F(ClassSplitTest, TheSuggestionTakesThePrefixAndTheClassesFound) {
    // Classes 02 to 11 after "2026", seats 01 to 03, and one stray number.
    std::vector<std::string> ids = {"12345"};
    for (int c = 2; c <= 11; ++c)
        for (int seat = 1; seat <= 3; ++seat)
            ids.push_back("2026" + std::string(c < 10 ? "0" : "") + std::to_string(c) + "0" +
                          std::to_string(seat));
    Open(ids);
    const auto found = stats::SuggestClasses(ws, 2);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->prefixMode);
    EXPECT_EQ(found->prefix, "2026");
    EXPECT_EQ(found->totalLength, 8);
    ASSERT_TRUE(found->range.has_value());
    EXPECT_EQ(*found->range, std::make_pair(2, 11));

    ClassSettings start; // the dialog's initial state: start position 1, classes 1 to 24
    start.questions = 2;
    const ClassSettings applied = stats::Applied(start, *found);
    EXPECT_EQ(applied.prefix, "2026");
    EXPECT_EQ(applied.firstClass, 2);
    EXPECT_EQ(applied.lastClass, 11);
    EXPECT_EQ(applied.codeLength, 2);
    const auto split = stats::SplitTable(ws, applied);
    EXPECT_EQ(split.inClasses, 30);
    EXPECT_EQ(split.otherShape, 1);
    EXPECT_EQ(split.classes.size(), 10u);
}

TEST_F(ClassSplitTest, TheSuggestionGivesACommonLeadingZeroBackToTheClasses) {
    // Classes 01 to 03 after "2026": every number starts "20260".
    std::vector<std::string> ids;
    for (int c = 1; c <= 3; ++c)
        for (int seat = 1; seat <= 40; ++seat)
            ids.push_back("20260" + std::to_string(c) + (seat < 10 ? "0" : "") +
                          std::to_string(seat));
    Open(ids);
    const auto found = stats::SuggestClasses(ws, 2);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->prefix, "2026");
    EXPECT_EQ(*found->range, std::make_pair(1, 3));

    // A prefix that ends in 0 keeps it when the classes after it run on.
    ids.clear();
    for (int c = 1; c <= 12; ++c)
        ids.push_back("2020" + std::string(c < 10 ? "0" : "") + std::to_string(c) + "01");
    Open(ids, "year");
    const auto year = stats::SuggestClasses(ws, 2);
    EXPECT_EQ(year->prefix, "2020");
    EXPECT_EQ(*year->range, std::make_pair(1, 12));
}

TEST_F(ClassSplitTest, NoCommonPrefixMeansTheCodeStartsTheNumber) {
    Open({"0101", "0202", "1103"});
    const auto found = stats::SuggestClasses(ws, 2);
    ASSERT_TRUE(found.has_value());
    EXPECT_FALSE(found->prefixMode);
    EXPECT_EQ(*found->range, std::make_pair(1, 11));
    const ClassSettings applied = stats::Applied(Prefix("X", 9, 2, 5, 6), *found);
    EXPECT_FALSE(applied.prefixMode);
    EXPECT_EQ(applied.startPosition, 1);
    EXPECT_EQ(stats::SplitTable(ws, applied).inClasses, 3);
}

TEST_F(ClassSplitTest, AnUnscoredTableIsAskedAboutWithGoingOnAsTheDefault) {
    Open({"K010001"});
    ui.answers = {false};
    EXPECT_FALSE(stats::GoOnWithoutScores(ws, ui));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text,
              "表 split 还没有评分，分班统计的总分和平均分将都是 0。\r是否仍然进行分班统计？");
    EXPECT_EQ(ui.questionKinds[0], core::GoOn::WithYes);
    ui.answers = {true};
    EXPECT_TRUE(stats::GoOnWithoutScores(ws, ui));

    scoring::ScoringSettings st;
    st.counts = {2, 0, 0, 0};
    st.points = {"1", "0", "0", "0"};
    st.singleKey = "AB";
    scoring::RecordRun(ws.connection, scoring::RunRecordOf("split", st, ws.Fields));
    EXPECT_TRUE(stats::GoOnWithoutScores(ws, ui));
    EXPECT_EQ(ui.questions.size(), 2u) << "a scored table is not asked about";
}

TEST_F(ClassSplitTest, CancelInTheStartNumberPromptStopsTheCheck) {
    Open({"1001", "1002", "1005"});
    ui.cancelInput = true;
    const auto result = stats::CheckMissingNumbers(ws, ui, shell);
    EXPECT_EQ(result.outcome, core::Outcome::Stopped);
    EXPECT_EQ(ui.inputs.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(home / "CheckLog.txt"));
    EXPECT_TRUE(shell.opened().empty());
    EXPECT_TRUE(ui.messages.empty());
    ui.cancelInput = false;
    EXPECT_EQ(stats::CheckMissingNumbers(ws, ui, shell).found, stats::CheckResult::Found::Gaps)
        << "confirmed, the same prompt runs the check";
}

} // namespace
