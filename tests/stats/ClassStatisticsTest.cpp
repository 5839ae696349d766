#include "core/AppError.h"
#include "core/OpenTable.h"
#include "platform/db/Error.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "stats/CheckCommand.h"
#include "stats/ClassesCommand.h"
#include "stats/Like.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ClassReportByStatements.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using stats::ClassSettings;
using testsupport::ScriptedUi;
using testsupport::TempHome;

TEST(Like, AsTheDatabaseEvaluatesIt) {
    EXPECT_TRUE(stats::Like("K03____", "K03abcd"));
    EXPECT_TRUE(stats::Like("k03____", "K03ABCD")) << "ASCII letters without regard to case";
    EXPECT_FALSE(stats::Like("K03____", "K03abc"));
    EXPECT_FALSE(stats::Like("K03____", "K03abcde"));
    EXPECT_TRUE(stats::Like("_03____", "903中文字符"));
    EXPECT_TRUE(stats::Like("20%1", "2026011"));
    EXPECT_TRUE(stats::Like("%", ""));
    EXPECT_FALSE(stats::Like("_", ""));
    EXPECT_TRUE(stats::Like("a%b%c", "axxbyyc"));
    EXPECT_FALSE(stats::Like("a%b%c", "axxbyy"));
}

TEST(ClassPatterns, PrefixAndStartPosition) {
    ClassSettings s;
    s.prefixMode = true;
    s.prefix = "K";
    s.totalLength = 7;
    s.codeLength = 2;
    EXPECT_EQ(stats::ClassPattern(s), "K%s____");
    s.prefixMode = false;
    s.startPosition = 2;
    EXPECT_EQ(stats::ClassPattern(s), "_%s____");
    s.startPosition = 7;
    EXPECT_EQ(stats::ClassPattern(s), "______%s") << "no trailing _ when none is left";
    EXPECT_EQ(stats::ClassCode(s, 3), "03");
    EXPECT_EQ(stats::ClassCode(s, 123), "123");
    s.codeLength = 0;
    EXPECT_EQ(stats::ClassCode(s, 3), "3");
}

class ClassStatsTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    // Sheets with exam numbers and contents, scored with f1..f3 and the score.
    void Open(const std::vector<std::pair<std::string, std::string>>& sheets,
              const std::string& name = "cls") {
        testsupport::WriteAnswers(home / (name + ".dbf"), sheets, 'N');
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
        // Points of varied sizes, so the sums are not all whole.
        ws.connection.execute("UPDATE " + name +
                              " SET f1 = 1.5, f2 = rowid * 0.25, "
                              "f3 = CASE WHEN rowid % 3 = 0 THEN NULL ELSE 2 END");
    }

    std::vector<std::string> Report(const std::string& name = "cls") {
        return text::LoadLines(home / ("分班统计_" + name + ".txt"));
    }

    core::Outcome Run(const ClassSettings& s) {
        auto result = stats::RunClassStatistics(ws, ui, shell, {}, s, "分班统计");
        rowsUpdated = result.rowsUpdated;
        return result.outcome;
    }

    // The run's report must be the one the per-class statements give.
    void ExpectAsStatementsSay(const ClassSettings& s) {
        ASSERT_EQ(Run(s), core::Outcome::Done);
        EXPECT_EQ(Report(), testsupport::ReportByStatements(ws, s));
    }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
    os::RecordingShell shell;
    std::optional<int> rowsUpdated;
};

ClassSettings Prefix(const std::string& prefix, int total, int code, int first, int last, int n) {
    ClassSettings s;
    s.prefixMode = true;
    s.prefix = prefix;
    s.totalLength = total;
    s.codeLength = code;
    s.firstClass = first;
    s.lastClass = last;
    s.questions = n;
    return s;
}

TEST_F(ClassStatsTest, ReportByteForByte) {
    Open({{"K010001", "125"},
          {"K010002", "840"},
          {"K030001", "1@P"},
          {"K03001", "111"},
          {"X010003", "222"}});
    ASSERT_EQ(Run(Prefix("K", 7, 2, 1, 3, 3)), core::Outcome::Done);
    // f1 = 1.5 on all five; f2 = rowid/4 (0.25 .. 1.25); f3 = 2 except rows 3.
    const std::string expected = text::ToGbk("所有考生人数5, 总分19.25, 平均分3.85。\r\n"
                                             "01 班人数 2, 总分 7.75, 平均分 3.88。\r\n"
                                             "03 班人数 1, 总分 2.25, 平均分 2.25。\r\n"
                                             "\r\n"
                                             "01 班的统计数据，人数 2\r\n"
                                             "选择题单项统计 - 多选题分散统计。\r\n"
                                             "题目    选A   选B   选C   选D\r\n"
                                             "1       1      0      0      1     \r\n"
                                             "2       0      1      1      0     \r\n"
                                             "3       1      0      1      0     \r\n"
                                             "\r\n"
                                             "03 班的统计数据，人数 1\r\n"
                                             "选择题单项统计 - 多选题分散统计。\r\n"
                                             "题目    选A   选B   选C   选D\r\n"
                                             "1       1      0      0      0     \r\n"
                                             "2       0      0      0      0     \r\n"
                                             "3       0      0      0      0     \r\n"
                                             "\r\n");
    EXPECT_EQ(testsupport::ReadBytes(home / "分班统计_cls.txt"), expected);
    ASSERT_EQ(shell.opened().size(), 1u);
    EXPECT_EQ(shell.opened()[0], (home / "分班统计_cls.txt").string());
}

TEST_F(ClassStatsTest, OnePassAgreesOnShuffledSheetsAndEmptyNumbers) {
    std::vector<std::pair<std::string, std::string>> sheets;
    for (int i = 0; i < 40; ++i) {
        std::string id =
            i % 9 == 4 ? "" : "2026" + std::to_string(10 + i % 4) + std::to_string(100 + i);
        sheets.emplace_back(id,
                            std::string("1248375@P0?o").substr(static_cast<std::size_t>(i % 6), 5));
    }
    Open(testsupport::Shuffled(sheets));
    auto empty = ws.connection.select("select count(*) from cls where BH is null or BH = ''");
    ASSERT_EQ(db::Query::ToText(empty.rows[0][0]), "4")
        << "the sheets without a number are imported";
    ExpectAsStatementsSay(Prefix("2026", 9, 2, 10, 13, 5));
    EXPECT_EQ(Report()[0].rfind("所有考生人数40,", 0), 0u) << Report()[0];

    ws.connection.execute("CREATE TABLE ids (ID varchar(9), StudClass integer)");
    for (int i = 0; i < 40; i += 3)
        if (!sheets[static_cast<std::size_t>(i)].first.empty())
            ws.connection.execute("INSERT INTO ids VALUES ('" +
                                  sheets[static_cast<std::size_t>(i)].first + "', " +
                                  std::to_string(1 + i % 2) + ")");
    ClassSettings predefined;
    predefined.predefined = true;
    predefined.questions = 5;
    ExpectAsStatementsSay(predefined);
}

TEST_F(ClassStatsTest, OnePassAgreesWithThePerClassStatements) {
    std::vector<std::pair<std::string, std::string>> sheets;
    for (int i = 0; i < 60; ++i) {
        std::string id = "2026" + std::string(i % 7 == 0 ? "1" : "0") + std::to_string(i % 5) +
                         std::to_string(100 + i);
        if (i % 11 == 0)
            id += "9"; // a wrong length: the whole grade only
        sheets.emplace_back(id,
                            std::string("1248375@P0?o").substr(static_cast<std::size_t>(i % 5), 6));
    }
    Open(sheets);
    ExpectAsStatementsSay(Prefix("2026", 9, 2, 0, 12, 6));
    ExpectAsStatementsSay(Prefix("2026", 9, 2, 3, 3, 4));
    ClassSettings start;
    start.startPosition = 5;
    start.codeLength = 2;
    start.totalLength = 9;
    start.firstClass = 1;
    start.lastClass = 20;
    start.questions = 6;
    ExpectAsStatementsSay(start);
    ExpectAsStatementsSay(Prefix("20_6", 9, 1, 0, 9, 5)); // a prefix holding a wildcard
}

TEST_F(ClassStatsTest, ClassesOutsideOneToNinetyNine) {
    Open({{"K123001", "1"}, {"K000001", "2"}, {"K099001", "4"}});
    ExpectAsStatementsSay(Prefix("K", 7, 3, 0, 123, 1));
    auto lines = Report();
    EXPECT_EQ(lines[1].rfind("000 班人数 1", 0), 0u);
    EXPECT_EQ(lines[2].rfind("099 班人数 1", 0), 0u);
    EXPECT_EQ(lines[3].rfind("123 班人数 1", 0), 0u);
}

TEST_F(ClassStatsTest, ChecksOfTheSettings) {
    Open({{"K010001", "1"}});
    struct Case {
        ClassSettings s;
        const char* text;
    };
    ClassSettings noPrefix = Prefix("", 7, 2, 1, 3, 1);
    ClassSettings noStart = Prefix("", 7, 2, 1, 3, 1);
    noStart.prefixMode = false;
    noStart.startPosition = 0;
    ClassSettings noRoom = Prefix("K0", 4, 2, 1, 3, 1);
    ClassSettings backwards = Prefix("K", 7, 2, 3, 1, 1);
    ClassSettings beyondTheCode = Prefix("K", 7, 2, 1, 100, 1);
    ClassSettings huge = Prefix("K", 20, 12, 1, 2000000000, 1);
    ClassSettings negative = Prefix("K", 7, 2, -1, 3, 1);
    for (const Case& c :
         {Case{noPrefix, "考号前缀设置错误。"},
          Case{beyondTheCode,
               "错误: 班级编号 1 到 100 超出范围。班级编号长度为 2 时，班级编号只能从 0 到 99。"},
          Case{huge, "错误: 班级编号 1 到 2000000000 超出范围。班级编号长度为 12 "
                     "时，班级编号只能从 0 到 100000。"},
          Case{negative,
               "错误: 班级编号 -1 到 3 超出范围。班级编号长度为 2 时，班级编号只能从 0 到 99。"},
          Case{noStart, "班级编号起始位设置错误。"},
          Case{noRoom, "错误: 得到小于等于零的考号中可变字符长度。"},
          Case{backwards, "错误: 班别大小顺序不对。应该从小到大。"}}) {
        EXPECT_EQ(Run(c.s), core::Outcome::Stopped);
        EXPECT_EQ(ui.messages.back().text, c.text);
        EXPECT_EQ(ui.messages.back().title, "分班统计");
        EXPECT_EQ(ui.messages.back().icon, core::Icon::Error);
    }
    EXPECT_FALSE(std::filesystem::exists(home / "分班统计_cls.txt"));
    ClassSettings one = Prefix("K", 7, 2, 1, 1, 1);
    EXPECT_EQ(Run(one), core::Outcome::Done) << "a range of one class";
}

TEST_F(ClassStatsTest, PredefinedClassesFromIds) {
    Open({{"202601001", "12"}, {"202601002", "5"}, {"202601003", "48"}, {"202601004", "88"}});
    ClassSettings s;
    s.predefined = true;
    s.questions = 2;
    s.prefixMode = true; // neither checked nor used
    EXPECT_EQ(Run(s), core::Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "找不到表 ids 。请检查 data.mdb。");

    ws.connection.execute("CREATE TABLE ids (ID varchar(9), StudClass integer)");
    EXPECT_EQ(Run(s), core::Outcome::Done);
    EXPECT_EQ(rowsUpdated, 0);
    auto empty = Report();
    ASSERT_EQ(empty.size(), 2u) << "the whole grade and an empty line";

    ws.connection.execute("INSERT INTO ids VALUES ('202601001', 7)");
    ws.connection.execute("INSERT INTO ids VALUES ('202601002', 3)");
    ws.connection.execute("INSERT INTO ids VALUES ('202601004', 7)");
    ExpectAsStatementsSay(s);
    EXPECT_EQ(rowsUpdated, 3);
    auto lines = Report();
    EXPECT_EQ(lines[1].rfind("3 班人数 1", 0), 0u);
    EXPECT_EQ(lines[2].rfind("7 班人数 2", 0), 0u);
    auto cls = ws.connection.select("select CLS from cls order by BH");
    EXPECT_EQ(db::Query::ToText(cls.rows[2][0]), "") << "a sheet not in ids keeps no class";
}

TEST_F(ClassStatsTest, NoQuestionsIsAClearError) {
    Open({{"K010001", "1"}});
    EXPECT_THROW(Run(Prefix("K", 7, 2, 1, 3, 0)), core::AppError);
    EXPECT_THROW(Run(Prefix("K", 7, 2, 1, 3, 106)), db::Error) << "there is no f106";
}

TEST_F(ClassStatsTest, DialogGuesses) {
    std::vector<std::pair<std::string, std::string>> ten;
    for (int i = 0; i < 10; ++i)
        ten.emplace_back("20260" + std::to_string(10 + i) + "01", "1248");
    Open(ten, "ten");
    auto g = stats::GuessDialog(ws, ui, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->prefix, "202601") << "A is the last record (202601901), B the first (202601001)";
    EXPECT_EQ(g->totalLength, 9);
    EXPECT_EQ(g->questions, 4);
    EXPECT_EQ(ws.view.recNo(), 9) << "back on the record it started from";
    EXPECT_EQ(stats::GuessDialog(ws, ui, 3)->questions, 3);

    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 30; ++i)
        many.emplace_back("ABCD" + std::to_string(10000 + i * 13), "1248" + std::string(96, '0'));
    Open(many, "many");
    g = stats::GuessDialog(ws, ui, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->prefix, "ABCD10") << "A is ABCD10260 (21st), B ABCD10117 (21st from the end)";
    EXPECT_EQ(g->totalLength, 9);
    EXPECT_EQ(g->questions, 4) << "100 questions: the answered length of sample B";

    ws.view.close();
    EXPECT_FALSE(stats::GuessDialog(ws, ui, 0));
    EXPECT_EQ(ui.messages.back().text, "请先打开卷面数据库DBF文件并评好分。或者当前记录数为 0。");
}

class MissingNumbersTest : public ClassStatsTest {
  protected:
    void Numbers(const std::vector<std::string>& ids) {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (const auto& id : ids)
            sheets.emplace_back(id, "1");
        Open(sheets, "nums" + std::to_string(++tables));
    }
    std::vector<std::string> Log() { return text::LoadLines(home / "CheckLog.txt"); }
    int tables = 0;
};

TEST_F(MissingNumbersTest, GapsAndRepeats) {
    Numbers({"1001", "1002", "1005", "1006"});
    EXPECT_EQ(stats::CheckMissingNumbers(ws, ui, shell).found, stats::CheckResult::Found::Gaps);
    EXPECT_EQ(ui.inputs.back().text, "1001");
    EXPECT_EQ(ui.inputs.back().title, "检查缺漏考号|输入开始考号");
    EXPECT_EQ(Log(), (std::vector<std::string>{"检查缺漏考号结果", "", "1002 ~ 1005"}));
    EXPECT_EQ(testsupport::ReadBytes(home / "CheckLog.txt").substr(0, 18),
              text::ToGbk("检查缺漏考号结果\r\n"));
    EXPECT_TRUE(ws.view.eof());

    Numbers({"1001", "1002", "1002", "1003"});
    stats::CheckMissingNumbers(ws, ui, shell);
    EXPECT_EQ(Log().back(), "1002 ~ 1002");

    Numbers({"1001", "1002", "1003"});
    ui.typed = "990";
    stats::CheckMissingNumbers(ws, ui, shell);
    EXPECT_EQ(Log(), (std::vector<std::string>{"检查缺漏考号结果", "", "990 ~ 1002"}));
}

TEST_F(MissingNumbersTest, ConsecutiveCancelledAndWrong) {
    Numbers({"202601001", "202601002", "202601003"});
    EXPECT_EQ(stats::CheckMissingNumbers(ws, ui, shell).found, stats::CheckResult::Found::NoGaps);
    EXPECT_EQ(ui.messages.back().text, "没有检查到缺漏考号，所有考号均为连续。");
    EXPECT_FALSE(std::filesystem::exists(home / "CheckLog.txt"));
    ui.typed = "  ";
    EXPECT_EQ(stats::CheckMissingNumbers(ws, ui, shell).outcome, core::Outcome::Stopped);
    ui.typed = "12x";
    try {
        stats::CheckMissingNumbers(ws, ui, shell);
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
    }
    ui.typed.reset();
    Numbers({"1", "2"});
    EXPECT_EQ(stats::CheckMissingNumbers(ws, ui, shell).found,
              stats::CheckResult::Found::NothingToCheck);
}

TEST_F(MissingNumbersTest, NumbersBeyondThirtyTwoBits) {
    Numbers({"202612070001", "202612070002", "202612070004"});
    stats::CheckMissingNumbers(ws, ui, shell);
    EXPECT_EQ(Log().back(), "202612070002 ~ 202612070004");
}

} // namespace
