#include "core/AppError.h"
#include "core/Maintenance.h"
#include "core/OpenTable.h"
#include "core/ViewCommands.h"
#include "platform/db/Error.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadBytes;
using testsupport::ScriptedUi;
using testsupport::Sheets;
using testsupport::TempHome;
using testsupport::WriteAnswers;

class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        WriteAnswers(home / "paper.dbf", Sheets(6, 4), 'N');
    }
    void OpenView() { (void)core::OpenAnswerTable(ws, ui, home / "paper.dbf"); }

    TempHome home;
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

TEST_F(CommandsTest, RepairClearsOnlyTheIndexByte) {
    std::string before = ReadBytes(home / "paper.dbf");
    std::string flagged = before;
    flagged[28] = '\x01';
    testsupport::WriteBytes(home / "paper.dbf", flagged);
    core::RepairDbfIndex(home / "paper.dbf");
    EXPECT_EQ(ReadBytes(home / "paper.dbf"), before);
    core::RepairDbfIndex(home / "paper.dbf");
    EXPECT_EQ(ReadBytes(home / "paper.dbf"), before);
    EXPECT_THROW(core::RepairDbfIndex(home / "missing.dbf"), core::AppError);
}

TEST_F(CommandsTest, RepairLeavesTheScratchTableAlone) {
    OpenView();
    ws.connection.execute("UPDATE paper SET score = 5");
    core::RepairDbfIndex(home / "paper.dbf");
    auto r = ws.connection.select("select sum(score) from paper");
    EXPECT_EQ(db::Query::ToText(r.rows[0][0]), "30");
}

TEST_F(CommandsTest, ScoreFieldCheckSaysWhatItFinds) {
    core::AddScoreFieldCheck(ws, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "请先打开卷面数据库DBF文件。");
    EXPECT_EQ(ui.messages[0].title, "Quillory");
    OpenView();
    core::AddScoreFieldCheck(ws, ui);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "已有分数字段 score");
    EXPECT_EQ(ui.messages[1].title, "Quillory - paper");
    ws.Fields.Score = "zf";
    core::AddScoreFieldCheck(ws, ui);
    EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(CommandsTest, SortReplacesTheOrderClause) {
    OpenView();
    core::SortByColumn(ws, "content");
    EXPECT_EQ(ws.view.sqlText(), "select * from [paper]  order by [content]\r\n");
    core::SortByColumn(ws, "content");
    std::string again = ws.view.sqlText();
    EXPECT_EQ(again.substr(again.size() - 21), " order by [content]\r\n");
    EXPECT_EQ(again.find("order by"), again.rfind("order by"));
    core::ReadingOrder(ws);
    EXPECT_EQ(ws.view.sqlText(), "SELECT * FROM [paper]\r\n");
    core::SortByColumn(ws, "BH");
    EXPECT_EQ(ws.view.sqlLines(),
              (std::vector<std::string>{"SELECT * FROM [paper]", " order by [BH]"}));
    EXPECT_EQ(ws.view.recordCount(), 6);
}

TEST_F(CommandsTest, AnUpperCaseOrderByIsCutToo) {
    OpenView();
    core::CustomSql(ws, ui, "SELECT BH FROM paper ORDER BY BH DESC", true);
    EXPECT_EQ(ws.view.asText("BH"), "202601006");
    core::SortByColumn(ws, "BH");
    EXPECT_EQ(ws.view.sqlText(), "SELECT BH FROM paper  order by [BH]\r\n");
    EXPECT_EQ(ws.view.asText("BH"), "202601001");
}

TEST_F(CommandsTest, AStatementWithoutRowsReopensThePreviousView) {
    OpenView();
    int changed = core::CustomSql(ws, ui, "UPDATE paper SET CLS = 3 WHERE BH > '202601003'", false);
    EXPECT_EQ(changed, 3);
    EXPECT_EQ(ws.view.sqlText(), "select * from [paper] ORDER BY [BH]\r\n");
    ws.view.last();
    EXPECT_EQ(ws.view.asInteger("CLS"), 3);
}

TEST_F(CommandsTest, TypedStatementsActOnTheScratchDatabaseOnly) {
    OpenView();
    const std::string other = (home / "other.db").string();
    struct Case {
        std::string statement;
        const char* says;
    };
    for (const Case& c :
         {Case{"ATTACH DATABASE '" + other + "' AS o", "不能使用 ATTACH"},
          Case{"VACUUM INTO '" + other + "'", "不能使用 VACUUM"},
          Case{"CREATE VIRTUAL TABLE x USING dbf('" + (home / "paper.dbf").string() + "')",
               "不能使用 CREATE VIRTUAL TABLE"},
          Case{"select load_extension('x')", "不能使用 load_extension"},
          Case{"UPDATE paper SET CLS = 1; UPDATE paper SET CLS = 2", "只能执行一条语句"}}) {
        try {
            (void)core::CustomSql(ws, ui, c.statement, false);
            ADD_FAILURE() << c.statement;
        } catch (const db::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_TRUE(ws.view.isOpen()) << "the previous view stays: " << c.statement;
    }
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_EQ(ws.connection.select("select count(*) from paper where CLS is not null").rows[0][0],
              db::Value{std::int64_t{0}})
        << "the first of two statements did not run either";
    // The program's own reading of a .dbf, and a lone trailing ";", still work.
    EXPECT_EQ(core::CustomSql(ws, ui, "UPDATE paper SET CLS = 5;", false), 6);
    (void)core::CustomSql(
        ws, ui, "select * from paper in \"" + home.path().string() + "\" \"dbase 5.0;\"", true);
    EXPECT_EQ(ws.view.recordCount(), 6);
}

TEST_F(CommandsTest, CustomSqlWantsAnOpenTable) {
    EXPECT_EQ(core::CustomSql(ws, ui, "select 1", true), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "请先打开卷面数据表DBF文件。");
}

TEST_F(CommandsTest, ARejectedSortLeavesTheViewClosed) {
    OpenView();
    EXPECT_THROW(core::SortByColumn(ws, "nosuch"), db::Error);
    EXPECT_FALSE(ws.view.isOpen());
    core::SortByColumn(ws, "BH"); // nothing happens while closed
    EXPECT_FALSE(ws.view.isOpen());
}

} // namespace
