#include "core/AppError.h"
#include "core/OpenTable.h"
#include "platform/db/Error.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/ConvertCommand.h"
#include "scoring/ScoreCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using core::Outcome;
using scoring::Credit;
using scoring::KeyMatch;
using scoring::ScoringSettings;
using scoring::TwoLetterKeys;
using testsupport::ScriptedUi;
using testsupport::TempHome;

ScoringSettings Single(int count, const std::string& points, const std::string& key) {
    ScoringSettings st;
    st.segmentChoice = 1;
    st.counts = {count, 0, 0, 0};
    st.enabled = {true, false, false, false};
    st.points = {points, "0", "0", "0"};
    st.singleKey = key;
    return st;
}

class ScoringTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    // Opens a table of these contents (exam numbers 202601001...), read from
    // a file that holds the sheets out of exam-number order.
    void Open(const std::vector<std::string>& contents, char scoreType = 'N',
              const std::string& name = "exam") {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (std::size_t i = 0; i < contents.size(); ++i)
            sheets.emplace_back(std::to_string(202601001 + i), contents[i]);
        testsupport::WriteAnswers(home / (name + ".dbf"), testsupport::Shuffled(sheets), scoreType,
                                  contents.empty() ? 5 : 0);
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
        table = name;
    }

    Outcome Run(const ScoringSettings& st) {
        return scoring::ScoreAll(ws, ui, shell, st,
                                 {[this] { ++classStats; }, [this] { ++reports; }})
            .outcome;
    }

    // One column of the scratch table in exam-number order, as text.
    std::vector<std::string> Column(const std::string& name) {
        auto r = ws.connection.select("select " + name + " from " + table + " order by BH");
        std::vector<std::string> out;
        for (const auto& row : r.rows)
            out.push_back(db::Query::ToText(row[0]));
        return out;
    }

    std::vector<std::string> Stats() { return text::LoadLines(home / "统计_exam.txt"); }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
    os::RecordingShell shell;
    int classStats = 0;
    int reports = 0;
    std::string table;
};

TEST(ScoringRules, FullMatchDecidesAKeyOfSeveralMarks) {
    // Key "3" is A and B.
    EXPECT_TRUE(scoring::SingleRight('3', '3', KeyMatch::WholeCode));
    EXPECT_FALSE(scoring::SingleRight('1', '3', KeyMatch::WholeCode));
    EXPECT_FALSE(scoring::SingleRight('3', '3', KeyMatch::AnyOption));
    EXPECT_TRUE(scoring::SingleRight('1', '3', KeyMatch::AnyOption));
    EXPECT_TRUE(scoring::SingleRight('2', '3', KeyMatch::AnyOption));
    EXPECT_FALSE(scoring::SingleRight('0', '3', KeyMatch::AnyOption));
    EXPECT_FALSE(scoring::SingleRight('0', '3', KeyMatch::WholeCode));
}

TEST(ScoringRules, XAndZAndLetterLookingCodesNeverEarn) {
    EXPECT_FALSE(scoring::SingleRight('x', 'x', KeyMatch::WholeCode));
    EXPECT_FALSE(scoring::SingleRight('z', 'z', KeyMatch::AnyOption));
    for (char code = 'A'; code <= 'F'; ++code) {
        EXPECT_FALSE(scoring::SingleRight(code, code, KeyMatch::WholeCode))
            << code << " is a multi-mark";
        EXPECT_FALSE(scoring::SingleRight(code, 'Q', KeyMatch::AnyOption)) << code; // Q = A+F
    }
    EXPECT_TRUE(scoring::SingleRight('1', 'A', KeyMatch::WholeCode));
    EXPECT_TRUE(scoring::SingleRight('P', 'F', KeyMatch::WholeCode));
}

TEST(ScoringRules, MultipleChoiceCredit) {
    EXPECT_EQ(scoring::MultiCredit("AB", "AB", TwoLetterKeys::Strict), Credit::Full);
    EXPECT_EQ(scoring::MultiCredit("A", "AB", TwoLetterKeys::Strict), Credit::Partial);
    EXPECT_EQ(scoring::MultiCredit("ABC", "AB", TwoLetterKeys::Strict), Credit::None);
    EXPECT_EQ(scoring::MultiCredit("AC", "AB", TwoLetterKeys::Strict), Credit::None);
    EXPECT_EQ(scoring::MultiCredit(" ", "AB", TwoLetterKeys::Strict), Credit::None);
    EXPECT_EQ(scoring::MultiCredit("AC", "AB", TwoLetterKeys::OneRightEarnsPartial),
              Credit::Partial);
    EXPECT_EQ(scoring::MultiCredit("ACD", "AB", TwoLetterKeys::OneRightEarnsPartial), Credit::None);
    EXPECT_EQ(scoring::MultiCredit("AB", "BA", TwoLetterKeys::Strict), Credit::Partial);
    EXPECT_EQ(scoring::MultiCredit("x", "x", TwoLetterKeys::Strict), Credit::None);
    EXPECT_EQ(scoring::MultiCredit("A", "Z", TwoLetterKeys::Strict), Credit::None);
}

TEST_F(ScoringTest, KeyOfSeveralMarksWithAndWithoutFullMatch) {
    Open({"3", "1", "0"});
    ws.Fields.FullMatch = true;
    ASSERT_EQ(Run(Single(1, "2", "3")), Outcome::Done);
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"2", "0", "0"}));
    ws.Fields.FullMatch = false;
    ASSERT_EQ(Run(Single(1, "2", "3")), Outcome::Done);
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"0", "2", "0"}));
    EXPECT_EQ(Column("f1"), (std::vector<std::string>{"0", "2", "0"}));
}

TEST_F(ScoringTest, XKeepsTheEarlierValueAndZGivesZero) {
    Open({"11111", "12111"});
    ws.connection.execute("UPDATE exam SET f3 = 2, f4 = 5");
    ui.answers = {true}; // the lower-case warning
    ASSERT_EQ(Run(Single(5, "1", "AAxzA")), Outcome::Done);
    EXPECT_EQ(Column("f3"), (std::vector<std::string>{"2", "2"}));
    EXPECT_EQ(Column("f4"), (std::vector<std::string>{"0", "0"}));
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"3", "2"}));
}

TEST_F(ScoringTest, AContentByteXOrZEarnsNothing) {
    Open({"xz"});
    ui.answers = {true};
    ASSERT_EQ(Run(Single(2, "1", "xz")), Outcome::Done);
    EXPECT_EQ(Column("score"), std::vector<std::string>{"0"});
}

TEST_F(ScoringTest, EverySheetGetsItsOwnScoreWhateverItsPlaceInTheFile) {
    // Each sheet earns a different score; the file holds them out of order
    // and one sheet has no exam number: it is scored like the others.
    std::vector<std::pair<std::string, std::string>> sheets;
    const std::string contents[] = {"11111", "11112", "11122", "11222", "12222", "22222"};
    for (int i = 0; i < 6; ++i)
        sheets.emplace_back(i == 3 ? "" : std::to_string(202601001 + i), contents[i]);
    testsupport::WriteAnswers(home / "mixed.dbf", testsupport::Shuffled(sheets), 'N');
    (void)core::OpenAnswerTable(ws, ui, home / "mixed.dbf");
    table = "mixed";
    ASSERT_EQ(Run(Single(5, "1", "AAAAA")), Outcome::Done);
    auto r = ws.connection.select("select BH, score from mixed");
    ASSERT_EQ(r.rows.size(), 6u);
    for (const auto& row : r.rows) {
        const std::string id = db::Query::ToText(row[0]);
        const int i = id.empty() ? 3 : std::stoi(id) - 202601001;
        EXPECT_EQ(db::Query::ToText(row[1]), std::to_string(5 - i)) << "the sheet " << id;
    }
    const auto lines = text::LoadLines(home / "统计_mixed.txt");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "统计人数: 6  总分: 15  平均分: 2.5"),
              lines.end());
}

TEST_F(ScoringTest, PointsBeyondZeroToAThousandAreRefusedNamingTheField) {
    Open({"11111", "22222"});
    for (const char* points : {"inf", "nan", "1e308", "-1", "1000.5"}) {
        try {
            (void)Run(Single(5, points, "AAAAA"));
            ADD_FAILURE() << points;
        } catch (const core::AppError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("每题分数（第一段）必须是 0 到 1000 之间的数：'") + points + "'");
        }
    }
    ScoringSettings multi = Single(4, "1", "AAAA");
    multi.multiCount = 1;
    multi.multiKey = "A";
    multi.full = "2";
    multi.partial = "1e9";
    try {
        (void)Run(multi);
        ADD_FAILURE();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "少选分数必须是 0 到 1000 之间的数：'1e9'");
    }
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"", ""})) << "nothing was written";
    EXPECT_FALSE(std::filesystem::exists(home / "统计_exam.txt"));
    EXPECT_EQ(Run(Single(5, "1000", "AAAAA")), Outcome::Done);
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"5000", "0"}));
}

TEST_F(ScoringTest, AFullDiskIsSaidInWordsAndTheNextRunIsWhole) {
    std::vector<std::string> contents(3000, std::string(100, '1'));
    Open(contents);
    std::string key;
    for (int g = 0; g < 20; ++g)
        key += std::string(g ? ";" : "") + "AAAAA";
    // The database may not grow: a hundred points per sheet find no room, as
    // on a full disk, in the middle of the run.
    auto pages = ws.connection.select("PRAGMA page_count").rows[0][0];
    ws.connection.execute("PRAGMA max_page_count = " + db::Query::ToText(pages));
    try {
        (void)Run(Single(100, "1", key));
        FAIL() << "the run cannot have written its scores";
    } catch (const std::exception& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("磁盘已满"), std::string::npos) << text;
        EXPECT_NE(text.find("data.mdb"), std::string::npos) << text;
        EXPECT_EQ(text.find("no transaction"), std::string::npos) << text;
    }
    EXPECT_FALSE(ws.connection.inTransaction());
    ws.connection.execute("PRAGMA max_page_count = 1073741823");
    ASSERT_EQ(Run(Single(100, "1", key)), Outcome::Done);
    auto scored = ws.connection.select("select count(*), min(score) from exam").rows[0];
    EXPECT_EQ(db::Query::ToText(scored[0]), "3000");
    EXPECT_EQ(db::Query::ToText(scored[1]), "100");
}

TEST_F(ScoringTest, SegmentBoundaries) {
    Open({"111111111111111"});
    ScoringSettings st = Single(10, "1", "AAAAA;AAAAA;AAAAA");
    st.segmentChoice = 2;
    st.counts[1] = 5;
    st.enabled[1] = true;
    st.points[1] = "2";
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("f10"), std::vector<std::string>{"1"});
    EXPECT_EQ(Column("f11"), std::vector<std::string>{"2"});
    EXPECT_EQ(Column("score"), std::vector<std::string>{"20"});
}

TEST_F(ScoringTest, MultipleChoiceWithAndWithoutYuwenM) {
    // One single-choice question, then the key AB: answers AB, A, ABC, AC, blank.
    Open({"13", "11", "17", "15", "10"});
    ScoringSettings st = Single(1, "1", "A");
    st.multiCount = 1;
    st.full = "4";
    st.partial = "2";
    st.multiKey = "AB";
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("f2"), (std::vector<std::string>{"4", "2", "0", "0", "0"}));
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"5", "3", "1", "1", "1"}));
    ws.Fields.YuwenM = true;
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("f2"), (std::vector<std::string>{"4", "2", "0", "2", "0"}));
}

TEST_F(ScoringTest, PointsAreThirtyTwoBitFloats) {
    Open({"1111111111"}, 'I');
    ASSERT_EQ(Run(Single(10, "0.7", "AAAAA;AAAAA")), Outcome::Done);
    EXPECT_EQ(Column("score"), std::vector<std::string>{"6"}) << "an integer field truncates";
    auto lines = Stats();
    EXPECT_EQ(lines.at(lines.size() - 2).rfind("统计人数: 1  总分: 6.99999988079071  平均分: 7", 0),
              0u)
        << lines.at(lines.size() - 2);

    Open({"1111111111"}, 'N', "floating");
    ASSERT_EQ(Run(Single(10, "0.7", "AAAAA;AAAAA")), Outcome::Done);
    EXPECT_EQ(Column("score"), std::vector<std::string>{"7"}) << "a floating field rounds";
}

TEST_F(ScoringTest, HalfPointsInIntegerAndFloatingScoreFields) {
    // 37 right answers worth 1 and one worth 0.5.
    std::string content(38, '1');
    ScoringSettings st = Single(37, "1", "");
    st.segmentChoice = 2;
    st.counts[1] = 1;
    st.enabled[1] = true;
    st.points[1] = "0.5";
    std::string key;
    for (int i = 1; i <= 38; ++i) {
        key += 'A';
        if (i % 5 == 0 && i < 38)
            key += ';';
    }
    st.singleKey = key;
    Open({content}, 'I');
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("score"), std::vector<std::string>{"37"});
    Open({content}, 'N', "floating");
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("score"), std::vector<std::string>{"37.5"});
}

TEST_F(ScoringTest, AContentOfExactlySSkipsTheMultipleChoicePart) {
    Open({"11", "113"});
    ScoringSettings st = Single(2, "1", "AA");
    st.multiCount = 1;
    st.full = "3";
    st.multiKey = "AB";
    ws.QuestionCount = 3;
    ASSERT_EQ(Run(st), Outcome::Done);
    EXPECT_EQ(Column("f3"), (std::vector<std::string>{"", "3"}));
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"2", "5"}));
}

TEST_F(ScoringTest, AShortContentStopsBeforeAnythingIsWritten) {
    Open({"111", "11", "111"});
    try {
        Run(Single(3, "1", "AAA"));
        FAIL();
    } catch (const core::AppError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("202601002"), std::string::npos) << what;
        EXPECT_NE(what.find("2 个字符"), std::string::npos) << what;
        EXPECT_NE(what.find("需要 3"), std::string::npos) << what;
    }
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"", "", ""}));
    EXPECT_FALSE(std::filesystem::exists(home / "统计_exam.txt"));
    EXPECT_TRUE(ws.view.isOpen());
}

TEST_F(ScoringTest, AnErrorInTheLoopKeepsTheSheetsAlreadyScored) {
    Open({"13", "11", "13"});
    ScoringSettings st = Single(1, "1", "A");
    st.multiCount = 1;
    st.full = "4";
    st.partial = "abc"; // converted when the first partial credit is given
    st.multiKey = "AB";
    EXPECT_THROW(Run(st), core::AppError);
    EXPECT_EQ(Column("score"), (std::vector<std::string>{"5", "", ""}));
    EXPECT_FALSE(ws.view.controlsDisabled());
    auto ok = ws.connection.select("PRAGMA integrity_check");
    EXPECT_EQ(db::Query::ToText(ok.rows[0][0]), "ok");
}

TEST_F(ScoringTest, ScoreFieldOfAnotherKindIsRefused) {
    Open({"1"});
    ws.connection.execute("CREATE TABLE cur (BH varchar(9), content varchar(1), score CURRENCY, "
                          "f1 REAL)");
    ws.connection.execute("INSERT INTO cur VALUES ('1', '1', NULL, NULL)");
    ws.view.close();
    ws.view.setSql("select * from cur");
    ws.view.open();
    ws.QuestionCount = 1;
    try {
        Run(Single(1, "1", "A"));
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "分数字段数据类型错误，不能写入分数。");
    }
}

TEST_F(ScoringTest, EachCheckSaysItsText) {
    ScoringSettings st = Single(2, "1", "AA");
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "请先打开卷面数据表DBF文件。");

    Open({"11", "12"});
    st.singleKey = "aA";
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(ui.questions.back().text, "发现输入了小写字符。标准答案对大小写敏感。是否要继续？");
    EXPECT_EQ(ui.questions.back().title, "错误");

    st.singleKey = "AA";
    st.counts[0] = 1;
    ui.answers = {true};
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(ui.questions.back().text,
              "设置的选择题数目总和 1 和表中的客观题个数 2 不相符合，是否现在退出？");
    EXPECT_EQ(ui.questions.back().title, "检测到错误");

    ui.answers = {false};
    EXPECT_EQ(Run(st), Outcome::Stopped) << "No goes on, to the key length";
    EXPECT_EQ(ui.messages.back().text,
              "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一个分隔符号，末尾没有。\r"
              "需要 1 个，已输入 2 个");
    EXPECT_EQ(ui.messages.back().icon, core::Icon::Warning);

    st = Single(2, "1", "AA");
    st.multiCount = 2;
    st.multiKey = "A";
    ui.answers = {false};
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(
        ui.messages.back().text,
        "不定项选择题数目和标准答案个数不一致。请确认每个答案之间只有一个分隔符号，末尾没有。\r"
        "需要 2 个，已输入 1 个");

    st = Single(2, "1", "AA");
    st.segmentChoice = -1;
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(ui.messages.back().text, "请选择题目的分段数。");

    st = Single(2, "0", "AA");
    ui.answers = {true};
    EXPECT_EQ(Run(st), Outcome::Stopped);
    EXPECT_EQ(ui.questions.back().text,
              "检测到有分值设置为零分，可能需要重新设置。是否现在退出评分？");
    EXPECT_EQ(ui.questions.back().title, "评分");
    ui.answers = {false};
    EXPECT_EQ(Run(Single(2, "0", "AA")), Outcome::Done) << "No goes on with zero points";

    st = Single(2, "1", "A;A");
    EXPECT_EQ(Run(st), Outcome::Stopped) << "3 characters but one key character too few";

    st = Single(2, "1", "AA");
    st.multiCount = 0;
    st.points[0] = "1,5";
    EXPECT_THROW(Run(st), core::AppError);
}

TEST_F(ScoringTest, MissingFieldsAndBadMultipleChoiceKeys) {
    Open({"11"});
    ws.Fields.Content = "DA";
    try {
        Run(Single(2, "1", "AA"));
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(),
                     "表中没有此客观题字段：DA。请使用\"设置字段名\"设置相符合的字段名。");
    }
    ws.Fields.Content = "content";
    ws.Fields.ID = "KH";
    try {
        Run(Single(2, "1", "AA"));
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "表中没有此考号字段：KH。请使用\"设置字段名\"设置相符合的字段名。");
    }
    ws.Fields.ID = "BH";
    ScoringSettings st = Single(1, "1", "A");
    st.multiCount = 2;
    st.full = "2";
    st.multiKey = "ABCDE;A";
    ws.QuestionCount = 3;
    try {
        Run(st);
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "不定项标准答案输入错误");
    }
}

TEST_F(ScoringTest, AMissingScoreColumnIsAddedWhenTheUserAgrees) {
    testsupport::WriteAnswers(home / "exam.dbf", {{"1", "12"}}, 0);
    ui.fieldDialog = [](core::FieldSettings&) { return true; };
    (void)core::OpenAnswerTable(ws, ui, home / "exam.dbf");
    table = "exam";
    ws.Fields.Score = "zf";
    EXPECT_EQ(Run(Single(2, "1", "AB")), Outcome::Stopped);
    EXPECT_EQ(ui.questions.back().title, "Quillory");
    EXPECT_EQ(ui.questions.back().text.rfind(
                  "表中没有检测到学生的分数字段 zf，是否现在自动在表中添加此字段？\r", 0),
              0u);
    ws.connection.execute("ALTER TABLE exam DROP COLUMN CLS");
    for (int n = 1; n <= 105; ++n)
        ws.connection.execute("ALTER TABLE exam DROP COLUMN f" + std::to_string(n));
    ws.view.open();
    ui.answers = {true};
    EXPECT_EQ(Run(Single(2, "1", "AB")), Outcome::Done);
    EXPECT_EQ(Column("zf"), std::vector<std::string>{"2"});
    EXPECT_EQ(ws.view.sqlText(), "select * from [exam] ORDER BY [BH]\r\n");
}

TEST_F(ScoringTest, AfterTheLoopInOrder) {
    Open({"12", "11"});
    ui.answers = {true};
    ASSERT_EQ(Run(Single(2, "1", "AB")), Outcome::Done);
    EXPECT_EQ(ui.messages.back().text, "评分完成。\r\r下一步进行分班统计、综合科统计。");
    EXPECT_EQ(ui.messages.back().title, "Quillory - exam");
    EXPECT_EQ(classStats, 1);
    EXPECT_EQ(ui.questions.back().text, "是否现在生成报表?");
    EXPECT_EQ(reports, 1);
    ASSERT_EQ(shell.opened().size(), 1u);
    EXPECT_EQ(shell.opened()[0], (home / "统计_exam.txt").string());
    ASSERT_EQ(Run(Single(2, "1", "AB")), Outcome::Done);
    EXPECT_EQ(reports, 1);
    auto log = text::LoadLines(home / "标准答案历史.log");
    ASSERT_EQ(log.size(), 6u) << "two entries of date line, key and empty line";
    EXPECT_EQ(log[0].rfind("exam  ", 0), 0u);
    EXPECT_EQ(log[1], "AB");
    EXPECT_EQ(log[2], "");
}

TEST_F(ScoringTest, StatisticsFileByteForByte) {
    // S = 3 (key A, 3, E), M = 2 (keys AB, C); three sheets.
    Open({"11331", "21730", "41400"});
    ScoringSettings st = Single(3, "1", "A3E");
    st.multiCount = 2;
    st.full = "2";
    st.partial = "1";
    st.multiKey = "AB;C";
    ASSERT_EQ(Run(st), Outcome::Done);
    std::string expected = text::ToGbk("统计结果 - 所有考号\r\n"
                                       "单选题部分\r\n"
                                       "题目  选A   选B   选C   选D    答对\r\n"
                                       "1     1     1     1     0     33.33%\r\n"
                                       "2     3     0     0     0     0%\r\n"
                                       "3     0     0     1     0     0%\r\n"
                                       "\r\n"
                                       "多选题部分\r\n"
                                       "题目   全对  A     B     C     D    平均分\r\n"
                                       "1     2     2     2     0     0      1.33\r\n"
                                       "2     0     1     0     0     0      0\r\n"
                                       "\r\n"
                                       "统计人数: 3  总分: 5  平均分: 1.67\r\n"
                                       "\r\n");
    EXPECT_EQ(testsupport::ReadBytes(home / "统计_exam.txt"), expected);
}

TEST_F(ScoringTest, AnEmptyTableStillCompletes) {
    Open({});
    ScoringSettings st = Single(2, "1", "AB");
    st.multiCount = 1;
    st.full = "2";
    st.multiKey = "A";
    ws.QuestionCount = 3;
    ASSERT_EQ(Run(st), Outcome::Done);
    auto lines = Stats();
    EXPECT_EQ(lines[3], "1     0     0     0     0     0%");
    EXPECT_EQ(lines[8], "1     0     0     0     0     0      ??");
    EXPECT_EQ(lines[10], "统计人数: 0  总分: 0  平均分: ??");
    EXPECT_EQ(ui.messages.back().text, "评分完成。\r\r下一步进行分班统计、综合科统计。");
}

// Kills its own process the first time the run reports progress, that is in
// the middle of the sheet loop.
class KillingUi : public ScriptedUi {
  public:
    void progress(const std::string&, long long done, long long) override {
        if (done > 0)
            ::raise(SIGKILL);
    }
};

TEST_F(ScoringTest, AKilledRunLeavesTheDatabaseIntact) {
    std::vector<std::string> contents(10000, "1248");
    Open(contents);
    ws.view.close();
    ws.connection.close();
    pid_t pid = ::fork();
    if (pid == 0) {
        core::Workspace child(home.path());
        child.startUp();
        KillingUi killing;
        (void)core::OpenAnswerTable(child, killing, home / "exam.dbf");
        os::RecordingShell quiet;
        scoring::ScoreAll(child, killing, quiet, Single(4, "1", "ABCD"), {});
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run was not killed half-way";
    ws.connect();
    auto ok = ws.connection.select("PRAGMA integrity_check");
    EXPECT_EQ(db::Query::ToText(ok.rows[0][0]), "ok");
    auto scored = ws.connection.select("select count(*) from exam where score is not null");
    EXPECT_EQ(db::Query::ToText(scored.rows[0][0]), "0") << "the open transaction is gone";
}

TEST(Conversion, KeysFromASheet) {
    EXPECT_EQ(scoring::ConvertAnswers("124831"
                                      "03?",
                                      7),
              "ABCD3;A0  AB;ABCD");
    EXPECT_EQ(scoring::ConvertAnswers("1248113", 5), "ABCDA;  A;AB");
    EXPECT_EQ(scoring::ConvertAnswers("12481", 5), "ABCDA");
    EXPECT_EQ(scoring::ConvertAnswers("137", 0), "A;AB;ABC");
    EXPECT_EQ(scoring::ConvertAnswers("103", 0), "A; ;AB");
    EXPECT_EQ(scoring::ConvertAnswers("130", 0), "A;AB;");
}

} // namespace
