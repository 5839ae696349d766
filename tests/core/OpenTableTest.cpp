#include "core/OpenTable.h"
#include "core/AppError.h"
#include "core/ScratchDb.h"
#include "core/ViewCommands.h"
#include "core/Workspace.h"
#include "platform/db/Error.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using testsupport::ScriptedUi;
using testsupport::Sheets;
using testsupport::TempHome;
using testsupport::WriteAnswers;

class OpenTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        std::filesystem::create_directories(exam);
    }

    TempHome home;
    std::filesystem::path exam = home / "exam";
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

TEST(TableName, CutAtTheFirstDbfWithoutRegardToCase) {
    EXPECT_EQ(core::TableNameOf("A.DBF"), "A");
    EXPECT_EQ(core::TableNameOf("x.dbf.bak"), "x");
    EXPECT_EQ(core::TableNameOf("9班.Dbf"), "9班");
    EXPECT_EQ(core::TableNameOf("plain"), "plain");
}

TEST_F(OpenTableTest, ATableWithAllThreeColumnsOpensWithoutTheDialog) {
    WriteAnswers(exam / "exam1.dbf", Sheets(45, 60), 'N');
    auto opened = core::OpenAnswerTable(ws, ui, exam / "exam1.dbf");
    EXPECT_EQ(ui.fieldDialogShown, 0);
    EXPECT_EQ(ws.TableName, "exam1");
    EXPECT_EQ(core::Title(ws), "Quillory - exam1");
    EXPECT_EQ(opened.status, "记录数:45  题目数:60");
    EXPECT_EQ(ws.QuestionCount, 60);
    EXPECT_TRUE(opened.scoringEnabled);
    EXPECT_EQ(opened.scoringProblem, "");
    EXPECT_EQ(opened.sortItems, (std::vector<std::string>{"BH", "content", "CLS", "score"}));
    EXPECT_EQ(ws.view.sqlText(), "select * from [exam1] ORDER BY [BH]\r\n");
    EXPECT_EQ(ws.view.recNo(), 9) << "the count leaves the view on the tenth record";
    EXPECT_TRUE(core::TableExists(ws.connection, "t2"));
}

TEST_F(OpenTableTest, AMissingScoreColumnShowsTheDialogFirst) {
    WriteAnswers(exam / "noscore.dbf", Sheets(5, 8), 0);
    ui.fieldDialog = [](core::FieldSettings&) { return true; };
    auto opened = core::OpenAnswerTable(ws, ui, exam / "noscore.dbf");
    EXPECT_EQ(ui.fieldDialogShown, 1);
    EXPECT_TRUE(ws.view.hasField("CLS"));
    EXPECT_TRUE(ws.view.hasField("score"));
    EXPECT_TRUE(ws.view.hasField("f105"));
    EXPECT_EQ(opened.status, "记录数:5  题目数:8");
}

TEST_F(OpenTableTest, CancellingTheDialogForANewTableEndsInAMissingTableError) {
    WriteAnswers(exam / "noscore.dbf", Sheets(5, 8), 0);
    EXPECT_THROW(core::OpenAnswerTable(ws, ui, exam / "noscore.dbf"), db::Error);
    EXPECT_EQ(core::Title(ws), "Quillory - noscore");
    EXPECT_FALSE(ws.view.isOpen());
}

TEST_F(OpenTableTest, ConfirmedNamesForAKnownTableAddTheScoreColumns) {
    ws.connect();
    ws.connection.execute("CREATE TABLE known (BH varchar(9), content varchar(4))");
    ws.connection.execute("INSERT INTO known VALUES ('1', '1248')");
    ui.fieldDialog = [](core::FieldSettings& f) {
        f.Score = "zf";
        return true;
    };
    auto opened = core::OpenAnswerTable(ws, ui, exam / "known.dbf");
    EXPECT_TRUE(ws.view.hasField("zf"));
    EXPECT_EQ(ws.Fields.Score, "zf");
    EXPECT_EQ(opened.status, "记录数:1  题目数:4");
}

TEST_F(OpenTableTest, AChineseNameIsReadWhereItIsAndNoFileIsTouched) {
    // A file of the user's that the program did not create stays as it is.
    WriteAnswers(exam / "temp.dbf", Sheets(2, 6), 'N');
    const auto before = testsupport::ReadBytes(exam / "temp.dbf");
    WriteAnswers(exam / "9班.dbf", Sheets(3, 6), 'N');
    auto opened = core::OpenAnswerTable(ws, ui, exam / "9班.dbf");
    EXPECT_EQ(testsupport::ReadBytes(exam / "temp.dbf"), before);
    EXPECT_EQ(core::Title(ws), "Quillory - 9班");
    EXPECT_TRUE(core::TableExists(ws.connection, "9班"));
    EXPECT_EQ(opened.status, "记录数:3  题目数:6");
}

TEST_F(OpenTableTest, TheQuestionCountSkipsBlankAnswersAndStopsAfterTenRecords) {
    auto sheets = Sheets(14, 6);
    sheets[0].second = "";
    sheets[1].second = "      ";
    sheets[12].second = "12481248"; // beyond the tenth record: not looked at
    WriteAnswers(exam / "blank.dbf", sheets, 'N', 8);
    (void)core::OpenAnswerTable(ws, ui, exam / "blank.dbf");
    EXPECT_EQ(ws.QuestionCount, 6);

    WriteAnswers(exam / "three.dbf", {{"1", "12"}, {"2", "1248"}, {"3", "124"}}, 'N');
    (void)core::OpenAnswerTable(ws, ui, exam / "three.dbf");
    EXPECT_EQ(ws.QuestionCount, 4);
    EXPECT_EQ(ws.view.recNo(), 2);
}

TEST_F(OpenTableTest, AnEmptyTableCountsZero) {
    WriteAnswers(exam / "empty.dbf", {}, 'N', 5);
    EXPECT_EQ(core::OpenAnswerTable(ws, ui, exam / "empty.dbf").status, "记录数:0  题目数:0");
}

TEST_F(OpenTableTest, WithoutAContentColumnTheStatusAsksForFieldNames) {
    WriteAnswers(exam / "first.dbf", Sheets(2, 7), 'N');
    (void)core::OpenAnswerTable(ws, ui, exam / "first.dbf");
    ws.Fields.Content = "DA";
    auto opened = core::OpenAnswerTable(ws, ui, exam / "first.dbf");
    EXPECT_EQ(ui.fieldDialogShown, 1);
    EXPECT_EQ(opened.status, "请设置字段名");
    EXPECT_EQ(ws.QuestionCount, 7) << "keeps its previous value";
}

TEST_F(OpenTableTest, AScoreColumnOfTextStopsScoring) {
    WriteAnswers(exam / "text.dbf", Sheets(2, 3), 'C');
    auto opened = core::OpenAnswerTable(ws, ui, exam / "text.dbf");
    EXPECT_EQ(opened.scoringProblem, "分数字段的数据类型有错误，不能评分。");
    EXPECT_FALSE(opened.scoringEnabled);
    EXPECT_TRUE(opened.sortItems.empty());
    EXPECT_TRUE(ws.view.isOpen()) << "the grid still shows the table";
}

TEST_F(OpenTableTest, AKnownNameIsNotReadAgainFromAnyFolder) {
    WriteAnswers(exam / "same.dbf", Sheets(5, 4), 'N');
    (void)core::OpenAnswerTable(ws, ui, exam / "same.dbf");
    ws.connection.execute("UPDATE same SET score = 88");
    std::filesystem::create_directories(home / "other");
    WriteAnswers(home / "other" / "SAME.DBF", Sheets(9, 4), 'N');
    (void)core::OpenAnswerTable(ws, ui, home / "other" / "SAME.DBF");
    EXPECT_EQ(ws.TableName, "SAME");
    EXPECT_EQ(ws.view.recordCount(), 5);
    EXPECT_EQ(ws.view.asInteger("score"), 88);
}

TEST_F(OpenTableTest, TheDatabaseIsFoundWhateverTheCurrentFolder) {
    WriteAnswers(exam / "cwd.dbf", Sheets(2, 4), 'N');
    auto before = std::filesystem::current_path();
    std::filesystem::current_path(exam);
    (void)core::OpenAnswerTable(ws, ui, exam / "cwd.dbf");
    std::filesystem::current_path(before);
    EXPECT_EQ(ws.connection.file(), home / "data.mdb");
    EXPECT_FALSE(std::filesystem::exists(exam / "data.mdb"));
}

TEST_F(OpenTableTest, ADamagedFileIsRefusedAndNothingReachesTheDatabase) {
    WriteAnswers(exam / "broken.dbf", Sheets(20, 4), 'N');
    std::filesystem::resize_file(exam / "broken.dbf", 300);
    try {
        (void)core::OpenAnswerTable(ws, ui, exam / "broken.dbf");
        FAIL();
    } catch (const db::Error& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("broken.dbf"), std::string::npos) << what;
        EXPECT_NE(what.find("20 条记录"), std::string::npos) << what;
    }
    EXPECT_FALSE(core::TableExists(ws.connection, "broken"));
    EXPECT_FALSE(core::TableExists(ws.connection, "t2"));
}

TEST_F(OpenTableTest, AMissingFileNamesIt) {
    try {
        (void)core::OpenAnswerTable(ws, ui, exam / "nothere.dbf");
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("nothere.dbf"), std::string::npos) << e.what();
    }
}

TEST_F(OpenTableTest, ANameSqlCannotTakeGivesAClearError) {
    WriteAnswers(exam / "my'exam.dbf", Sheets(2, 4), 'N');
    try {
        (void)core::OpenAnswerTable(ws, ui, exam / "my'exam.dbf");
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_NE(std::string(e.what()).find("my'exam"), std::string::npos) << e.what();
    }
    EXPECT_EQ(core::Title(ws), "Quillory - my'exam");
    ws.connect();
    EXPECT_EQ(ws.connection.tables(), std::vector<std::string>{});
}

TEST(StartUp, AProgramFolderThatCannotHoldTheDatabaseNamesIt) {
    TempHome home;
    testsupport::WriteBytes(home / "file", "x");
    core::Workspace ws(home / "file");
    try {
        ws.startUp();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("不能创建数据库"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("data.mdb"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ws.Fields.Content, "CONTENT") << "the configuration is not loaded";
}

TEST(StartUp, AReadOnlyProgramFolderCannotHoldTheDatabase) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; run as a user to see this";
    TempHome home;
    std::filesystem::permissions(home.path(), std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_exec);
    core::Workspace ws(home.path());
    try {
        ws.startUp();
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("data.mdb"), std::string::npos) << e.what();
    }
}

// Answer tables are often named after a date or a class number, or carry
// words of SQL: every such name opens, is scored and keeps its rows.
class TableNames : public OpenTableTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TableNames, OpenAndScoreLikeAnyOther) {
    const std::string name = GetParam();
    WriteAnswers(exam / (name + ".dbf"), Sheets(3, 5), 'N');
    auto opened = core::OpenAnswerTable(ws, ui, exam / (name + ".dbf"));
    EXPECT_EQ(ws.TableName, name);
    EXPECT_EQ(opened.status, "记录数:3  题目数:5");
    EXPECT_TRUE(core::TableExists(ws.connection, name));
    core::SortByColumn(ws, "content");
    core::ReadingOrder(ws);
    EXPECT_EQ(ws.view.recordCount(), 3);
    // A second opening finds the stored table.
    EXPECT_EQ(core::OpenAnswerTable(ws, ui, exam / (name + ".dbf")).status, "记录数:3  题目数:5");
}

INSTANTIATE_TEST_SUITE_P(DigitsDotsAndSqlWords, TableNames,
                         ::testing::Values("801", "060", "2024", "2024期中", "期中2024",
                                           "期中.2024", "select", "order", "table", "my-exam",
                                           "ids"));

TEST_F(OpenTableTest, NamesOfTheProgramsOwnTablesAreRefusedBeforeAnyWork) {
    for (const char* name : {"t", "T2", "temp", "Zonghe", "quillory_runs", "QUILLORY_x"}) {
        WriteAnswers(exam / (std::string(name) + ".dbf"), Sheets(2, 4), 'N');
        try {
            (void)core::OpenAnswerTable(ws, ui, exam / (std::string(name) + ".dbf"));
            ADD_FAILURE() << name << " was opened";
        } catch (const core::AppError& e) {
            EXPECT_NE(std::string(e.what()).find("和程序自己的表"), std::string::npos) << e.what();
        }
    }
    ws.connect();
    EXPECT_EQ(ws.connection.tables(), std::vector<std::string>{}) << "nothing was imported";
}

// Many tools write the code-page byte of Western Europe on tables whose text
// is GBK: the opening says which code page it used, and config.ini's
// [General] CodePage sets it right.
TEST_F(OpenTableTest, TheCodePageUsedIsToldAndTheSettingOverridesTheHeader) {
    testsupport::DbfLayout layout;
    layout.languageDriver = 0x57; // code page 1252 in the header
    layout.codePage = 936;        // the text really is GBK
    auto write = [&](const std::filesystem::path& file) {
        testsupport::DbfWriter w(
            file, {{"BH", 'C', 9}, {"CONTENT", 'C', 4}, {"XM", 'C', 8}, {"SCORE", 'N', 5, 1}},
            layout);
        w.append(
            {std::string("202601001"), std::string("1248"), std::string("张三"), std::nullopt});
        w.finish();
    };
    write(exam / "west.dbf");
    auto opened = core::OpenAnswerTable(ws, ui, exam / "west.dbf");
    ASSERT_EQ(opened.notes.size(), 1u);
    EXPECT_NE(opened.notes[0].find("代码页 1252"), std::string::npos) << opened.notes[0];
    EXPECT_NE(opened.notes[0].find("CodePage=936"), std::string::npos) << opened.notes[0];
    EXPECT_NE(ws.connection.select("select XM from west").rows[0][0],
              db::Value{std::string("张三")});

    TempHome other;
    testsupport::WriteBytes(other / "config.ini", "[General]\r\nCodePage=936\r\n");
    core::Workspace set(other.path());
    set.startUp();
    EXPECT_EQ(set.Fields.CodePage, 936);
    write(other / "west.dbf");
    opened = core::OpenAnswerTable(set, ui, other / "west.dbf");
    EXPECT_TRUE(opened.notes.empty()) << opened.notes[0];
    EXPECT_EQ(set.connection.select("select XM from west").rows[0][0],
              db::Value{std::string("张三")});
}

} // namespace
