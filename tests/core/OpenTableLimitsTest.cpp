// Opening answer tables that SQLite could not take as they stand: a field
// named as the hidden row id, and more fields than leave room for the
// columns the scoring adds.
#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "core/Workspace.h"
#include "platform/db/Query.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testsupport::DbfCell;
using testsupport::DbfColumn;
using testsupport::ScriptedUi;
using testsupport::TempHome;
using testsupport::WriteDbf;

class OpenTableLimits : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        std::filesystem::create_directories(exam);
    }

    // An answer table (BH, CONTENT, SCORE) with `extra` more one-byte fields.
    void writeWide(const std::string& name, int extra) {
        std::vector<DbfColumn> columns = {
            {"BH", 'C', 9}, {"CONTENT", 'C', 4}, {"SCORE", 'N', 5, 1}};
        std::vector<DbfCell> row = {std::string("202601001"), std::string("ABCD"), std::nullopt};
        for (int i = 1; i <= extra; ++i) {
            char field[16];
            std::snprintf(field, sizeof field, "X%04d", i);
            columns.push_back({field, 'C', 1});
            row.push_back(std::string("x"));
        }
        WriteDbf(exam / (name + ".dbf"), columns, {row});
    }

    std::vector<std::string> column(const std::string& sql) {
        std::vector<std::string> out;
        for (const auto& r : ws.connection.select(sql).rows)
            out.push_back(db::Query::ToText(r.at(0)));
        return out;
    }

    TempHome home;
    std::filesystem::path exam = home / "exam";
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

TEST_F(OpenTableLimits, ATableWithARowidFieldOpensWithItsOwnRowIds) {
    WriteDbf(exam / "rid.dbf",
             {{"BH", 'C', 9}, {"CONTENT", 'C', 4}, {"SCORE", 'N', 5, 1}, {"ROWID", 'C', 3}},
             {{"202601003", "ABCD", std::nullopt, "900"},
              {"202601001", "AB", std::nullopt, "900"},
              {"202601002", "ABC", std::nullopt, "7"}});
    auto opened = core::OpenAnswerTable(ws, ui, exam / "rid.dbf");
    EXPECT_EQ(opened.status, "记录数:3  题目数:4");
    EXPECT_TRUE(opened.scoringEnabled);
    EXPECT_EQ(column("select rowid || ':' || ROWID_2 from rid order by rowid"),
              (std::vector<std::string>{"1:900", "2:900", "3:7"}));
    ws.view.first();
    EXPECT_EQ(ws.view.asText("BH"), "202601001") << "the view reaches its rows by their row ids";
    ws.view.next();
    EXPECT_EQ(ws.view.asText("ROWID_2"), "7");
    EXPECT_EQ(opened.notes,
              std::vector<std::string>{
                  "rid.dbf: 字段 ROWID 与数据库隐含的行号 (rowid) 同名，导入为 ROWID_2"})
        << "the opening tells what the reading noticed";
}

TEST_F(OpenTableLimits, FieldsThatLeaveNoRoomForTheScoringColumnsAreRefusedBeforeAnyImport) {
    ws.connect();
    const int limit = ws.connection.columnLimit();
    const int fields = limit - (core::MaxQuestions + 2) + 1;
    writeWide("wide", fields - 3);
    try {
        (void)core::OpenAnswerTable(ws, ui, exam / "wide.dbf");
        FAIL() << "opened";
    } catch (const core::AppError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "数据表文件 " + (exam / "wide.dbf").string() + " 有 " + std::to_string(fields) +
                      " 个字段，导入时还要加上 107 列 (CLS、分数和 f1 到 f105)，共 " +
                      std::to_string(limit + 1) + " 列，多于数据库一张表最多能有的 " +
                      std::to_string(limit) + " 列。没有导入任何记录；请删去不用的字段后再打开。");
    }
    EXPECT_FALSE(core::TableExists(ws.connection, "wide"));
    EXPECT_FALSE(core::TableExists(ws.connection, "t2"));
}

TEST_F(OpenTableLimits, FieldsThatLeaveJustRoomOpen) {
    ws.connect();
    const int limit = ws.connection.columnLimit();
    writeWide("roomy", limit - (core::MaxQuestions + 2) - 3);
    auto opened = core::OpenAnswerTable(ws, ui, exam / "roomy.dbf");
    EXPECT_EQ(opened.status, "记录数:1  题目数:4");
    EXPECT_EQ(column("select X0001 || coalesce(f105, '-') from roomy"),
              std::vector<std::string>{"x-"});
}

} // namespace
