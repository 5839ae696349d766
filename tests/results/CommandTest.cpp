// The results command on small answer tables in the scratch database: the
// sheets read in exam-number order, classes told as the class statistics
// tell them (from the exam number or from `ids`), names from the roster,
// empty scores noted, the full marks counted or given.
#include "core/OpenTable.h"
#include "platform/os/Shell.h"
#include "results/ResultsCommand.h"
#include "scoring/ScoreCommand.h"
#include "stats/ClassAssignment.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::CellMap;
using testsupport::ScriptedUi;
using testsupport::TempHome;

struct Marked {
    std::string examNumber;
    std::optional<double> score;
    double f1, f2;
};

// Classes 01 .. 03 from "2026" + class + seat; 05 is outside the range. Two
// ties in the grade (9, 8.5), one across the classes' boundary; a sheet
// without a score whose points must count nowhere.
std::vector<Marked> Grade() {
    return {{"202601001", 9, 5, 4},     {"202601002", 6, 4, 2},
            {"202601003", 8.5, 5, 3.5}, {"202601004", std::nullopt, 6, 4},
            {"202602001", 9, 6, 3},     {"202602002", 8.5, 4.5, 4},
            {"202602003", 4, 2, 2},     {"202605001", 3, 2, 1}};
}

stats::ClassSettings ByExamNumber() {
    stats::ClassSettings s;
    s.prefixMode = true;
    s.prefix = "2026";
    s.totalLength = 9;
    s.codeLength = 2;
    s.firstClass = 1;
    s.lastClass = 3;
    s.questions = 2;
    return s;
}

double Num(std::map<std::string, testsupport::XlsxCell>& cells, const std::string& ref) {
    EXPECT_TRUE(cells.count(ref)) << ref;
    EXPECT_EQ(cells[ref].type, "") << ref << " is a number cell";
    return cells.count(ref) ? std::stod(cells[ref].value) : -1;
}

class ResultsCommandTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    // The sheets written out of exam-number order, opened, their points and
    // scores set as a scoring run leaves them.
    void Open(const std::vector<Marked>& sheets) {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const Marked& m : sheets)
            rows.emplace_back(m.examNumber, "12");
        testsupport::WriteAnswers(home / "期中.dbf", testsupport::Shuffled(rows), 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "期中.dbf");
        for (const Marked& m : sheets)
            ws.connection.execute(
                "UPDATE [期中] SET SCORE = " + (m.score ? std::to_string(*m.score) : "NULL") +
                ", f1 = " + std::to_string(m.f1) + ", f2 = " + std::to_string(m.f2) +
                " WHERE BH = '" + m.examNumber + "'");
    }

    results::ResultsRun Run(const stats::ClassSettings& s, results::ResultsSettings r = {}) {
        return results::WriteResults(ws, ui, s, r);
    }

    [[nodiscard]] std::filesystem::path file() const { return home / "成绩分析_期中.xlsx"; }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

TEST_F(ResultsCommandTest, RowsInExamOrderWithTiedRanksAndTheEmptyScoreNoted) {
    Open(Grade());
    const auto run = Run(ByExamNumber());
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(run.written.file, file());
    EXPECT_EQ(run.written.listed, 7);
    EXPECT_EQ(run.written.emptyScores, 1);
    EXPECT_EQ(run.written.unclassed, 1);
    EXPECT_EQ(run.fullMarksFrom, results::FullMarksFrom::ScoreColumns);
    EXPECT_EQ(run.fullMarks, 10) << "the most scored on f1 (6) and f2 (4)";
    ASSERT_EQ(run.questions.size(), 2u);
    EXPECT_EQ(run.questions[0].full, 6);

    auto c = CellMap(testsupport::SheetXml(file(), 1));
    const std::vector<std::string> exam = {"202601001", "202601002", "202601003", "202602001",
                                           "202602002", "202602003", "202605001"};
    const std::vector<std::string> cls = {"01", "01", "01", "02", "02", "02", ""};
    const std::vector<double> score = {9, 6, 8.5, 9, 8.5, 4, 3};
    const std::vector<double> gradeRank = {1, 5, 3, 1, 3, 6, 7};
    const std::vector<double> classRank = {1, 3, 2, 1, 2, 3, 0};
    for (std::size_t r = 0; r < exam.size(); ++r) {
        const std::string row = std::to_string(r + 2);
        EXPECT_EQ(c["A" + row].value, exam[r]) << "exam-number order, the empty score left out";
        EXPECT_EQ(c["B" + row].value, cls[r]) << exam[r];
        EXPECT_EQ(Num(c, "D" + row), score[r]) << exam[r];
        EXPECT_EQ(Num(c, "E" + row), gradeRank[r]) << exam[r];
        if (classRank[r] > 0)
            EXPECT_EQ(Num(c, "F" + row), classRank[r]) << exam[r];
        else
            EXPECT_EQ(c.count("F" + row), 0u) << "outside the class range: no class rank";
    }
    EXPECT_EQ(Num(c, "G5"), 6);
    EXPECT_EQ(Num(c, "H4"), 3.5);
    EXPECT_EQ(c.count("C2"), 0u) << "no roster, no names";
    EXPECT_NE(c["A10"].value.find("另有 1 份答卷总分为空"), std::string::npos) << c["A10"].value;

    // The comparison: the grade, 01, 02, then 未分班; 03 has no sheets.
    auto k = CellMap(testsupport::SheetXml(file(), 2));
    EXPECT_EQ(k["A3"].value, "01");
    EXPECT_EQ(k["A4"].value, "02");
    EXPECT_EQ(k["A5"].value, "未分班");
    EXPECT_EQ(Num(k, "B3"), 3) << "the empty score counts in no class";
    EXPECT_NEAR(Num(k, "H2"), 5.0 / 7, 1e-12) << "6 of 10 passes";
    // Question rates: f1 of 6 points, 01 holds 5 + 4 + 5.
    auto q = CellMap(testsupport::SheetXml(file(), 4));
    EXPECT_NEAR(Num(q, "C2"), 14.0 / 18, 1e-12);
}

TEST_F(ResultsCommandTest, GivenFullMarksMoveTheThresholds) {
    Open(Grade());
    results::ResultsSettings r;
    r.fullMarks = 15;
    r.pass = 0.6;
    auto s = ByExamNumber();
    s.questions = 5;
    const auto run = Run(s, r);
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    EXPECT_EQ(run.fullMarksFrom, results::FullMarksFrom::Given);
    EXPECT_EQ(run.questions.size(), 2u) << "f3 .. f5 hold no points on any sheet: not scored";
    auto c = CellMap(testsupport::SheetXml(file(), 1));
    EXPECT_EQ(c["H1"].value, "f2");
    EXPECT_EQ(c.count("I1"), 0u);
    auto k = CellMap(testsupport::SheetXml(file(), 2));
    EXPECT_NEAR(Num(k, "H2"), 2.0 / 7, 1e-12) << "only the two 9s reach 60 % of 15";
}

TEST_F(ResultsCommandTest, ClassesAndNamesFromTheRoster) {
    Open(Grade());
    // Text class codes, one exam number twice, 202602003 not on the roster.
    ws.connection.execute(
        "CREATE TABLE ids (ID varchar(9), StudClass varchar(4), StudName varchar(8))");
    ws.connection.execute(
        "INSERT INTO ids VALUES ('202601001', '2', '张三'), ('202601002', '1', '李四'), "
        "('202601003', '1', '王五'), ('202602001', '2', '赵六'), ('202602002', '1', '钱七'), "
        "('202602002', '1', '钱七'), ('202605001', '2', '孙八')");
    stats::ClassSettings s;
    s.predefined = true;
    s.questions = 2;
    const auto run = Run(s);
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    EXPECT_EQ(run.written.listed, 7) << "a roster entry twice gives no second row";
    EXPECT_EQ(run.written.unclassed, 1);
    auto c = CellMap(testsupport::SheetXml(file(), 1));
    const std::vector<std::string> cls = {"2", "1", "1", "2", "1", "", "2"};
    const std::vector<std::string> names = {"张三", "李四", "王五", "赵六", "钱七", "", "孙八"};
    // Class 1: 6 8.5 8.5; class 2: 9 9 3.
    const std::vector<double> classRank = {1, 3, 1, 1, 1, 0, 3};
    for (std::size_t r = 0; r < cls.size(); ++r) {
        const std::string row = std::to_string(r + 2);
        EXPECT_EQ(c["B" + row].value, cls[r]) << row;
        EXPECT_EQ(c["C" + row].value, names[r]) << row;
        if (classRank[r] > 0)
            EXPECT_EQ(Num(c, "F" + row), classRank[r]) << row;
        else
            EXPECT_EQ(c.count("F" + row), 0u) << "not on the roster: no class";
    }
    auto k = CellMap(testsupport::SheetXml(file(), 2));
    EXPECT_EQ(k["A3"].value, "1");
    EXPECT_EQ(k["A4"].value, "2");
    EXPECT_EQ(k["A5"].value, "未分班");
    EXPECT_EQ(Num(k, "B5"), 1);
}

TEST_F(ResultsCommandTest, NamesFromTheRosterAlsoWithExamNumberClasses) {
    Open(Grade());
    ws.connection.execute(
        "CREATE TABLE ids (ID varchar(9), StudClass integer, StudName varchar(8))");
    ws.connection.execute("INSERT INTO ids VALUES ('202602002', 7, '钱七')");
    ASSERT_EQ(Run(ByExamNumber()).outcome, core::Outcome::Done);
    auto c = CellMap(testsupport::SheetXml(file(), 1));
    EXPECT_EQ(c["C6"].value, "钱七");
    EXPECT_EQ(c["B6"].value, "02") << "the class still comes from the exam number";
    EXPECT_EQ(c.count("C5"), 0u);
}

TEST_F(ResultsCommandTest, ARosterWithoutClassesOrNamesStillServesExamNumberClasses) {
    Open(Grade());
    ws.connection.execute("CREATE TABLE ids (ID varchar(9), StudName varchar(8))");
    ws.connection.execute("INSERT INTO ids VALUES ('202601002', '李四')");
    ASSERT_EQ(Run(ByExamNumber()).outcome, core::Outcome::Done);
    auto c = CellMap(testsupport::SheetXml(file(), 1));
    EXPECT_EQ(c["C3"].value, "李四");
    ws.connection.execute("DROP TABLE ids");
    ws.connection.execute("CREATE TABLE ids (Code varchar(9), StudName varchar(8))");
    ASSERT_EQ(Run(ByExamNumber()).outcome, core::Outcome::Done)
        << "no exam numbers on it: no names";
    c = CellMap(testsupport::SheetXml(file(), 1));
    EXPECT_EQ(c.count("C3"), 0u);
    EXPECT_EQ(c["B3"].value, "01");
}

TEST_F(ResultsCommandTest, TheSheetBoundaryLosesNoRow) {
    Open(Grade());
    results::ResultsSettings r;
    r.rowsPerSheet = 3;
    const auto run = Run(ByExamNumber(), r);
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    std::vector<std::string> seen;
    for (int sheet = 1; sheet <= run.written.studentSheets; ++sheet)
        for (const auto& cell : testsupport::SheetCells(testsupport::SheetXml(file(), sheet)))
            if (cell.ref[0] == 'A' && cell.ref != "A1" && cell.value.rfind("2026", 0) == 0)
                seen.push_back(cell.value);
    EXPECT_EQ(seen, (std::vector<std::string>{"202601001", "202601002", "202601003", "202602001",
                                              "202602002", "202602003", "202605001"}));
}

TEST_F(ResultsCommandTest, ChecksStopWithAMessageBeforeAnythingIsWritten) {
    EXPECT_EQ(Run(ByExamNumber()).outcome, core::Outcome::Stopped) << "no table open";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("请先打开"), std::string::npos);

    Open(Grade());
    auto s = ByExamNumber();
    s.firstClass = 4;
    EXPECT_EQ(Run(s).outcome, core::Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "错误: 班别大小顺序不对。应该从小到大。");
    EXPECT_EQ(ui.messages.back().title, "成绩分析");
    s.firstClass = 1;
    s.lastClass = 100;
    EXPECT_EQ(Run(s).outcome, core::Outcome::Stopped) << "a code of 2 characters ends at class 99";
    EXPECT_NE(ui.messages.back().text.find("超出范围"), std::string::npos)
        << ui.messages.back().text;

    s = ByExamNumber();
    s.predefined = true;
    EXPECT_EQ(Run(s).outcome, core::Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "找不到表 ids 。请检查 data.mdb。");

    results::ResultsSettings r;
    r.pass = 1.5;
    EXPECT_EQ(Run(ByExamNumber(), r).outcome, core::Outcome::Stopped);
    EXPECT_NE(ui.messages.back().text.find("0% 到 100%"), std::string::npos);

    ws.connection.execute("UPDATE [期中] SET SCORE = NULL");
    EXPECT_EQ(Run(ByExamNumber()).outcome, core::Outcome::Stopped);
    EXPECT_NE(ui.messages.back().text.find("没有评过分的答卷"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST(ClassAssignment, RosterClassesAsTheClassColumnHoldsThem) {
    EXPECT_EQ(stats::AsClassColumn(std::string("01")), db::Value(1.0));
    EXPECT_EQ(stats::AsClassColumn(std::string(" 2 ")), db::Value(2.0));
    EXPECT_EQ(stats::AsClassColumn(std::string("1e1")), db::Value(10.0));
    EXPECT_EQ(stats::AsClassColumn(std::string("2a")), db::Value(std::string("2a")));
    EXPECT_EQ(stats::AsClassColumn(std::string("0x10")), db::Value(std::string("0x10")));
    EXPECT_EQ(stats::AsClassColumn(std::string(".")), db::Value(std::string(".")));
    EXPECT_EQ(stats::AsClassColumn(std::int64_t{3}), db::Value(std::int64_t{3}));

    stats::ClassSettings s;
    s.predefined = true;
    const stats::ClassAssignment roster(s, {"1", "10", "A班"});
    EXPECT_EQ(roster.classOf(db::Value{}, stats::AsClassColumn(std::string("01"))), 0);
    EXPECT_EQ(roster.classOf(db::Value{}, std::int64_t{10}), 1);
    EXPECT_EQ(roster.classOf(db::Value{}, std::string("A班")), 2);
    EXPECT_EQ(roster.classOf(db::Value{}, db::Value{}), -1);
    const stats::ClassAssignment numbers(ByExamNumber(), {});
    EXPECT_EQ(numbers.codes(), (std::vector<std::string>{"01", "02", "03"}));
    EXPECT_EQ(numbers.classOf(std::string("202603123"), {}), 2);
    EXPECT_EQ(numbers.classOf(std::string("20260312"), {}), -1) << "too short";
    EXPECT_EQ(numbers.classOf(db::Value{}, {}), -1);
}

TEST_F(ResultsCommandTest, FullMarksComeFromTheLastScoringRun) {
    // Five single-choice questions worth 2, the fourth keyed "x": full marks 8,
    // although nobody earned the points of the third question.
    testsupport::WriteAnswers(
        home / "期中.dbf", {{"202601001", "11211"}, {"202601002", "11111"}, {"202602001", "21211"}},
        'N');
    (void)core::OpenAnswerTable(ws, ui, home / "期中.dbf");
    scoring::ScoringSettings st;
    st.segmentChoice = 1;
    st.counts = {5, 0, 0, 0};
    st.points = {"2", "0", "0", "0"};
    st.singleKey = "AACxA";
    ui.answers = {true, true, true};
    os::RecordingShell shell;
    ASSERT_EQ(scoring::ScoreAll(ws, ui, shell, st, {}).outcome, core::Outcome::Done);
    stats::ClassSettings classes = ByExamNumber();
    classes.questions = 5;
    const auto run = Run(classes);
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    EXPECT_EQ(run.fullMarksFrom, results::FullMarksFrom::LastRun);
    EXPECT_EQ(run.fullMarks, 8);
}

} // namespace
