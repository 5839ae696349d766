#include "core/AppError.h"
#include "core/OpenTable.h"
#include "platform/db/Query.h"
#include "platform/os/Shell.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "roster/Corrections.h"
#include "roster/Error.h"
#include "roster/RosterCommands.h"
#include "roster/VerifyReport.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using testsupport::ScriptedUi;
using testsupport::TempHome;

class RosterCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    std::filesystem::path List(const std::string& name, const std::string& utf8, bool gbk = false) {
        const auto file = home / name;
        testsupport::WriteBytes(file, gbk ? text::ToGbk(utf8) : utf8);
        return file;
    }

    // The rows of `ids` as "ID|StudClass|StudName", by ID; StudClass as its type shows it.
    std::vector<std::string> Ids() {
        std::vector<std::string> rows;
        auto r = ws.connection.select(
            "SELECT ID, StudClass, typeof(StudClass), StudName FROM ids ORDER BY ID");
        for (const auto& row : r.rows)
            rows.push_back(db::Query::ToText(row[0]) + "|" + db::Query::ToText(row[1]) + ":" +
                           db::Query::ToText(row[2]) + "|" + db::Query::ToText(row[3]));
        return rows;
    }

    // An answer table of these numbers, in this record order, opened as the window opens it.
    void OpenSheets(const std::vector<std::string>& numbers, const std::string& name = "exam") {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (const auto& n : numbers)
            sheets.emplace_back(n, "1248");
        testsupport::WriteAnswers(home / (name + ".dbf"), sheets, 'N');
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
    }

    std::string NumberOfRow(std::int64_t rowid) {
        auto r = ws.connection.select("SELECT BH FROM exam WHERE rowid = " + std::to_string(rowid));
        return db::Query::ToText(r.rows.at(0).at(0));
    }

    std::vector<std::string> Numbers() {
        std::vector<std::string> ids;
        for (const auto& row : ws.connection.select("SELECT BH FROM exam ORDER BY rowid").rows)
            ids.push_back(db::Query::ToText(row[0]));
        return ids;
    }

    std::vector<std::string> Log() {
        const auto file = home / roster::CorrectionLogName();
        return std::filesystem::exists(file) ? text::LoadLines(file) : std::vector<std::string>{};
    }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

const char* const kClassList = "考号,姓名,班级\r\n"
                               "310101001,张三,高一(3)班\r\n"
                               "310101002,李四,3班\r\n"
                               "310101001,王五,4班\r\n"
                               ",赵六,4班\r\n"
                               "310101005,钱七,\r\n"
                               "310101004,孙八,实验班\r\n";

// --- import ------------------------------------------------------------------

TEST_F(RosterCommandsTest, ImportFillsIdsAndSaysWhatItSkipped) {
    const auto done = roster::ImportRoster(ws, ui, List("名单.csv", kClassList));
    EXPECT_EQ(done.taken, 4u);
    EXPECT_EQ(done.skipped, 2u) << "the second 310101001 and the empty number";
    EXPECT_EQ(done.duplicateIds, 1u);
    EXPECT_EQ(done.emptyIds, 1u);
    EXPECT_EQ(done.withoutClass, 1u);
    EXPECT_FALSE(done.withSubject);
    EXPECT_EQ(Ids(),
              (std::vector<std::string>{"310101001|3:integer|张三", "310101002|3:integer|李四",
                                        "310101004|实验班:text|孙八", "310101005|:null|钱七"}));
    EXPECT_EQ(ws.connection.columns("ids").size(), 3u) << "no StudSubject without a subject column";
    ASSERT_GE(done.summary.size(), 3u);
    EXPECT_NE(done.summary[2].find("导入 4 人，跳过 2 行"), std::string::npos) << done.summary[2];
}

TEST_F(RosterCommandsTest, ImportReplacesTheRowsOfIds) {
    OpenSheets({"310101001", "310101002"}); // the table view stays open meanwhile
    ws.view.moveTo(1);
    (void)roster::ImportRoster(ws, ui, List("a.csv", kClassList));
    const auto done = roster::ImportRoster(
        ws, ui,
        List("b.csv", "准考证号,姓名,班级,科目\n0123,周九,02,物理\n0124,吴十,2,化学\n", true));
    EXPECT_EQ(done.taken, 2u);
    EXPECT_TRUE(done.withSubject);
    EXPECT_EQ(Ids(), (std::vector<std::string>{"0123|2:integer|周九", "0124|2:integer|吴十"}))
        << "a GBK list; leading zeros kept; the old rows gone";
    auto subjects = ws.connection.select("SELECT StudSubject FROM ids ORDER BY ID");
    EXPECT_EQ(db::Query::ToText(subjects.rows.at(1).at(0)), "化学");
    EXPECT_EQ(ws.view.asText("BH"), "310101002");
}

TEST_F(RosterCommandsTest, ABadListLeavesIdsAsItWas) {
    (void)roster::ImportRoster(ws, ui, List("a.csv", kClassList));
    const auto before = Ids();
    try {
        (void)roster::ImportRoster(ws, ui, List("坏.csv", "姓名,班级\n张三,3\n"));
        FAIL() << "a list without an exam-number column";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("坏.csv"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)roster::ImportRoster(ws, ui, home / "missing.xlsx"), roster::Error);
    EXPECT_THROW((void)roster::ImportRoster(ws, ui, List("empty.csv", "考号,姓名\n,张三\n")),
                 roster::Error)
        << "no student left";
    EXPECT_EQ(Ids(), before);
}

TEST_F(RosterCommandsTest, TheClassStatisticsUseTheImportedClasses) {
    OpenSheets({"310101001", "310101002", "310101004", "310101009"});
    (void)roster::ImportRoster(ws, ui, List("a.csv", kClassList));
    stats::ClassSettings s;
    s.predefined = true;
    s.questions = 2;
    os::RecordingShell shell;
    auto run = stats::RunClassStatistics(ws, ui, shell, {}, s, "分班统计");
    ASSERT_EQ(run.outcome, core::Outcome::Done);
    EXPECT_EQ(run.rowsUpdated, 3);
    const auto lines = text::LoadLines(home / "分班统计_exam.txt");
    auto starting = [&lines](const std::string& head) {
        return std::count_if(lines.begin(), lines.end(),
                             [&head](const std::string& l) { return l.rfind(head, 0) == 0; });
    };
    EXPECT_EQ(starting("3 班人数 2"), 1);
    EXPECT_EQ(starting("实验班 班人数 1"), 1);
}

// --- the check -----------------------------------------------------------------

TEST_F(RosterCommandsTest, TheCheckReadsTheTableInExamNumberOrderAndWritesItsReport) {
    (void)roster::ImportRoster(
        ws, ui,
        List("a.csv", "考号,姓名,班级\n310101001,甲,1\n310101002,乙,1\n310101003,丙,1\n"
                      "310101004,丁,1\n310101010,戊,2\n"));
    OpenSheets({"310101040", "310101002", "310101001", "310101002"});
    ws.connection.execute("UPDATE exam SET SCORE = rowid * 10");
    const auto check = roster::VerifyTable(ws, ui, roster::ClassCodeRule{});
    ASSERT_EQ(check.outcome, core::Outcome::Done);
    ASSERT_TRUE(check.roster);
    const auto& sheets = check.sheets.sheets;
    ASSERT_EQ(sheets.size(), 4u);
    EXPECT_EQ(sheets.id(0), "310101001");
    EXPECT_EQ(check.sheets.rowids, (std::vector<std::int64_t>{3, 2, 4, 1})) << "ties by rowid";
    EXPECT_EQ(sheets.record(3), 4u);
    EXPECT_EQ(sheets.score(0), 30.0);

    const auto& r = check.result;
    ASSERT_EQ(r.duplicates.size(), 1u);
    EXPECT_EQ(r.duplicates[0].sheets, (std::vector<std::uint32_t>{1, 2}));
    ASSERT_EQ(r.unknown.size(), 1u);
    EXPECT_EQ(sheets.id(r.unknown[0].sheet), "310101040");
    ASSERT_EQ(r.unknown[0].suggestions.size(), 2u);
    EXPECT_EQ(check.roster->id(r.unknown[0].suggestions[0].student), "310101010")
        << "one digit first";
    EXPECT_EQ(check.roster->id(r.unknown[0].suggestions[1].student), "310101004")
        << "then the swap";
    EXPECT_EQ(r.absentCount(), 3u) << "003, 004 and 010";

    EXPECT_EQ(check.report, home / "考号核对_exam.txt");
    const auto bytes = testsupport::ReadBytes(check.report);
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    EXPECT_NE(bytes.find(text::ToGbk("310101040")), std::string::npos);
    EXPECT_EQ(text::LoadLines(check.report),
              roster::VerifyReportLines("exam", sheets, &*check.roster, r));
}

TEST_F(RosterCommandsTest, SheetsComeInTheOrderTheDatabaseSortsThem) {
    ws.connect();
    ws.connection.execute("CREATE TABLE mixed (BH, SCORE REAL)");
    const char* const values[] = {"'310101002'", "10",         "NULL",         "9.5", "'A1'",
                                  "'310101002'", "9",          "'3101010020'", "''",  "-4",
                                  "10",          "'31010100'", "NULL",         "'B'"};
    int score = 0;
    for (const char* v : values)
        ws.connection.execute(std::string("INSERT INTO mixed VALUES (") + v + ", " +
                              std::to_string(++score) + ")");
    std::vector<std::int64_t> expected;
    for (const auto& row : ws.connection.select("SELECT rowid FROM mixed ORDER BY BH, rowid").rows)
        expected.push_back(std::get<std::int64_t>(row[0]));
    const auto t = roster::ReadSheets(ws.connection, "mixed", ws.Fields, ui);
    EXPECT_EQ(t.rowids, expected);
    ASSERT_EQ(t.sheets.size(), 14u);
    EXPECT_EQ(t.sheets.id(0), "") << "NULL first";
    EXPECT_EQ(t.sheets.id(2), "-4");
    EXPECT_EQ(t.sheets.id(4), "9.5");
    EXPECT_EQ(t.sheets.id(5), "10");
    EXPECT_EQ(t.sheets.record(13), 14u);
    EXPECT_EQ(t.sheets.score(2), 10.0) << "the score of -4, the tenth row";

    ws.connection.execute("CREATE TABLE ordered (BH varchar(9))");
    ws.connection.execute("INSERT INTO ordered VALUES ('1'), ('2'), ('2'), ('3')");
    const auto in = roster::ReadSheets(ws.connection, "ordered", ws.Fields, ui);
    EXPECT_EQ(in.rowids, (std::vector<std::int64_t>{1, 2, 3, 4})) << "a table in order stays so";
    EXPECT_FALSE(in.sheets.score(0)) << "a table without a score column is unscored";
}

TEST_F(RosterCommandsTest, ManySheetsOutOfOrderComeAsTheDatabaseSortsThem) {
    ws.connect();
    ws.connection.execute("CREATE TABLE many (BH, SCORE REAL)");
    std::mt19937 random(7);
    db::Transaction transaction(ws.connection);
    for (int i = 0; i < 3000; ++i) {
        const int kind = static_cast<int>(random() % 10);
        std::string value;
        if (kind == 0)
            value = std::to_string(random() % 1000); // a number
        else if (kind == 1)
            value = "'3101" + std::to_string(random() % 100) + "'"; // shorter text, shared prefix
        else
            value = "'31010" + std::to_string(1000 + random() % 500) + (kind == 2 ? "9'" : "'");
        ws.connection.execute("INSERT INTO many VALUES (" + value + ", NULL)");
    }
    transaction.commit();
    std::vector<std::int64_t> expected;
    for (const auto& row : ws.connection.select("SELECT rowid FROM many ORDER BY BH, rowid").rows)
        expected.push_back(std::get<std::int64_t>(row[0]));
    EXPECT_EQ(roster::ReadSheets(ws.connection, "many", ws.Fields, ui).rowids, expected);
}

TEST_F(RosterCommandsTest, WithoutARosterGapsStayWithinAClass) {
    OpenSheets({"310101001", "310101003", "310102001", "310102002"});
    stats::ClassSettings s;
    s.startPosition = 5;
    s.codeLength = 2;
    const auto check = roster::VerifyTable(ws, ui, s);
    ASSERT_EQ(check.outcome, core::Outcome::Done);
    EXPECT_FALSE(check.roster);
    ASSERT_EQ(check.result.gaps.size(), 1u) << "none across the class boundary";
    EXPECT_EQ(check.result.gaps[0].className, "1");
    ASSERT_EQ(check.result.gaps[0].gaps.size(), 1u);
    EXPECT_EQ(check.result.gaps[0].gaps[0].first, "310101002");
    EXPECT_EQ(check.result.missingInGaps(), 1u);
}

TEST_F(RosterCommandsTest, TheCheckWantsAnOpenTable) {
    const auto check = roster::VerifyTable(ws, ui, roster::ClassCodeRule{});
    EXPECT_EQ(check.outcome, core::Outcome::Stopped);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "请先打开卷面数据库DBF文件。");
}

// --- corrections ---------------------------------------------------------------

TEST_F(RosterCommandsTest, ACorrectionChangesOneSheetAndIsLogged) {
    OpenSheets({"310101040", "310101002", "310101001"});
    ws.connection.execute("UPDATE exam SET SCORE = 85.5 WHERE rowid = 1");
    const auto change =
        roster::CorrectNumber(ws, "exam", *roster::ParseCorrection("310101040=310101010"));
    EXPECT_EQ(change.rowid, 1);
    EXPECT_EQ(change.record, 3u);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101010", "310101002", "310101001"}));
    const auto log = Log();
    ASSERT_EQ(log.size(), 1u);
    const auto entry = roster::ParseCorrectionLogLine(log[0]);
    ASSERT_TRUE(entry) << log[0];
    EXPECT_EQ(entry->kind, roster::CorrectionKind::Correct);
    EXPECT_EQ(entry->table, "exam");
    EXPECT_EQ(entry->oldId, "310101040");
    EXPECT_EQ(entry->newId, "310101010");
    EXPECT_EQ(entry->score, 85.5);
    const auto bytes = testsupport::ReadBytes(home / roster::CorrectionLogName());
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_NE(bytes.find(text::ToGbk("更正")), std::string::npos);
}

TEST_F(RosterCommandsTest, RefusedCorrectionsChangeNothing) {
    OpenSheets({"310101040", "310101002", "310101001", "310101002"});
    const auto before = Numbers();
    auto refused = [&](const std::string& text, std::optional<std::uint32_t> record,
                       const char* reason) {
        auto c = *roster::ParseCorrection(text);
        c.record = record;
        try {
            (void)roster::CorrectNumber(ws, "exam", c);
            ADD_FAILURE() << text << " was not refused";
        } catch (const core::AppError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    };
    refused("310101040=310101001", {}, "已经有答卷");
    refused("310101099=310101010", {}, "没有考号为 310101099");
    refused("310101002=310101010", {}, "有 2 份答卷");
    refused("310101002=310101010", 1u, "第 1 条答卷的考号不是");
    EXPECT_EQ(Numbers(), before);
    EXPECT_TRUE(Log().empty());

    auto named = *roster::ParseCorrection("310101002=310101010");
    named.record = 3; // the second 310101002 in exam-number order: rowid 4
    const auto change = roster::CorrectNumber(ws, "exam", named);
    EXPECT_EQ(change.rowid, 4);
    EXPECT_EQ(Numbers(),
              (std::vector<std::string>{"310101040", "310101002", "310101001", "310101010"}));
}

TEST_F(RosterCommandsTest, UndoGivesTheLastCorrectionsBack) {
    OpenSheets({"310101040", "310101002", "310101031"});
    const auto before = Numbers();
    roster::CorrectionSession session;
    EXPECT_FALSE(session.canUndo());
    (void)session.correct(ws, "exam", *roster::ParseCorrection("310101040=310101010"));
    (void)session.correct(ws, "exam", *roster::ParseCorrection("310101031=310101013"));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101010", "310101002", "310101013"}));

    const auto undone = session.undoLast(ws);
    EXPECT_EQ(undone.oldId, "310101013");
    EXPECT_EQ(undone.newId, "310101031");
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101010", "310101002", "310101031"}));
    (void)session.undoLast(ws);
    EXPECT_EQ(Numbers(), before);
    EXPECT_FALSE(session.canUndo());
    EXPECT_THROW((void)session.undoLast(ws), core::AppError);

    const auto log = Log();
    ASSERT_EQ(log.size(), 4u);
    const auto last = roster::ParseCorrectionLogLine(log[3]);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->kind, roster::CorrectionKind::Undo);
    EXPECT_EQ(last->oldId, "310101010");
    EXPECT_EQ(last->newId, "310101040");
}

TEST_F(RosterCommandsTest, UndoRefusesASheetChangedSince) {
    OpenSheets({"310101040", "310101002"});
    roster::CorrectionSession session;
    (void)session.correct(ws, "exam", *roster::ParseCorrection("310101040=310101010"));
    ws.connection.execute("UPDATE exam SET BH = '310101077' WHERE rowid = 1");
    EXPECT_THROW((void)session.undoLast(ws), core::AppError);
    EXPECT_EQ(NumberOfRow(1), "310101077");
    EXPECT_TRUE(session.canUndo());
    EXPECT_EQ(Log().size(), 1u);
}

// Another program corrects the table while a correction waits for the write
// lock: the waiting one checks the table as the other left it. The other
// program takes the lock first and changes the table only once the test's
// correction has said that it waits (the connection's busy notice).
struct RaceCase {
    const char* name;
    const char* otherChange;          // the other program's statement, inside its held lock
    const char* correction;           // ours, "" for an undo of ours of 202601001=209999999
    const char* refusal;              // what ours says
    std::vector<std::string> numbers; // the table after both, by rowid
};

class CorrectionRaceTest : public RosterCommandsTest,
                           public ::testing::WithParamInterface<RaceCase> {};

TEST_P(CorrectionRaceTest, TheWaitingCorrectionIsCheckedAgainstTheOtherProgramsChange) {
    const RaceCase c = GetParam();
    OpenSheets({"202601001", "202601002", "202601003"});
    roster::CorrectionSession session;
    const bool undo = std::string(c.correction).empty();
    if (undo)
        (void)session.correct(ws, "exam", *roster::ParseCorrection("202601001=209999999"));
    const auto logged = Log().size();
    const std::filesystem::path database = ws.connection.file();
    testsupport::OtherProgram other([&](const std::function<void()>& holding) {
        db::Connection c2;
        c2.open(database);
        c2.beginImmediate();
        holding();
        c2.execute(c.otherChange);
        c2.commit();
    });
    ASSERT_TRUE(other.holding());
    ws.connection.setBusyNotice([&other] { other.goOn(); });
    try {
        if (undo)
            (void)session.undoLast(ws);
        else
            (void)roster::CorrectNumber(ws, "exam", *roster::ParseCorrection(c.correction));
        ADD_FAILURE() << "the correction went through";
    } catch (const core::AppError& e) {
        EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
    }
    EXPECT_TRUE(other.finish());
    EXPECT_EQ(Numbers(), c.numbers);
    EXPECT_EQ(Log().size(), logged) << "no line for a correction not made";
}

INSTANTIATE_TEST_SUITE_P(
    Races, CorrectionRaceTest,
    ::testing::Values(RaceCase{"SameNewNumber",
                               "UPDATE exam SET BH = '209999999' WHERE BH = '202601001'",
                               "202601002=209999999",
                               "已经有答卷",
                               {"209999999", "202601002", "202601003"}},
                      RaceCase{"SameSheet",
                               "UPDATE exam SET BH = '208888888' WHERE BH = '202601001'",
                               "202601001=209999999",
                               "没有考号为 202601001",
                               {"208888888", "202601002", "202601003"}},
                      RaceCase{"UndoOfASheetCorrectedSince",
                               "UPDATE exam SET BH = '207777777' WHERE rowid = 1",
                               "",
                               "已不是 209999999",
                               {"207777777", "202601002", "202601003"}}),
    [](const ::testing::TestParamInfo<RaceCase>& info) { return std::string(info.param.name); });

// The log line of a correction goes in after the commit: a log that cannot
// be opened stops the correction before anything changes; the session's
// undo list follows the table.
TEST_F(RosterCommandsTest, ALogThatCannotBeOpenedStopsTheCorrection) {
    OpenSheets({"310101040", "310101002"});
    std::filesystem::create_directory(home / roster::CorrectionLogName());
    roster::CorrectionSession session;
    EXPECT_THROW((void)session.correct(ws, "exam", *roster::ParseCorrection("310101040=310101010")),
                 std::exception);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101040", "310101002"}));
    EXPECT_FALSE(session.canUndo());
}

// A log that opens but takes no line (a full disk: /dev/full): the
// correction is committed first, so it stays made, the session can undo it,
// and the error says that it is not logged.
TEST_F(RosterCommandsTest, ACorrectionWhoseLineCannotBeWrittenIsMadeAndSaidSo) {
    OpenSheets({"310101040", "310101002"});
    std::filesystem::create_symlink("/dev/full", home / roster::CorrectionLogName());
    roster::CorrectionSession session;
    try {
        (void)session.correct(ws, "exam", *roster::ParseCorrection("310101040=310101010"));
        ADD_FAILURE() << "the full disk went unsaid";
    } catch (const roster::LoggedLate& e) {
        EXPECT_NE(
            std::string(e.what()).find(
                "考号已更正（表 exam 第 2 条，310101040 -> 310101010），但没有记入 考号更正.log"),
            std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101010", "310101002"}));
    ASSERT_TRUE(session.canUndo());
    EXPECT_THROW((void)session.undoLast(ws), roster::LoggedLate);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"310101040", "310101002"}));
    EXPECT_FALSE(session.canUndo());
}

} // namespace
