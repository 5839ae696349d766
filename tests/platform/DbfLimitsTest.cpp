// What SQLite cannot take from a dBase table: a field named as its hidden row
// id is imported under another name, and a table of more fields than a
// SQLite table may have columns is refused naming the file and the numbers.
#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/Query.h"
#include "platform/db/UniqueName.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testsupport::DbfCell;
using testsupport::DbfColumn;
using testsupport::TempHome;
using testsupport::WriteDbf;

class DbfLimits : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
    }

    std::string import(const std::string& table) {
        try {
            c.execute("select * into t from " + table + " in \"" + home.path().string() +
                      "\" \"dbase 5.0;\"");
        } catch (const db::Error& e) {
            return e.what();
        }
        return {};
    }

    std::vector<std::string> column(const std::string& sql) {
        std::vector<std::string> out;
        for (const auto& row : c.select(sql).rows)
            out.push_back(db::Query::ToText(row.at(0)));
        return out;
    }

    std::vector<std::string> columnNames(const std::string& table) {
        std::vector<std::string> names;
        for (const auto& info : c.columns(table))
            names.push_back(info.name);
        return names;
    }

    // A table of `count` one-byte character fields F0001, F0002, ... and one record.
    void writeWide(const std::string& name, int count) {
        std::vector<DbfColumn> columns;
        std::vector<DbfCell> row;
        for (int i = 1; i <= count; ++i) {
            char field[16];
            std::snprintf(field, sizeof field, "F%04d", i);
            columns.push_back({field, 'C', 1});
            row.push_back(std::string(1, static_cast<char>('a' + i % 26)));
        }
        WriteDbf(home / (name + ".dbf"), columns, {row});
    }

    TempHome home;
    db::Connection c;
};

TEST(RowidNames, AreTheThreeNamesOfTheHiddenRowIdInAnyCase) {
    for (const char* name : {"ROWID", "rowid", "RowId", "OID", "oid", "_ROWID_", "_rowid_"})
        EXPECT_TRUE(db::IsRowidName(name)) << name;
    for (const char* name : {"ROWID_2", "ROW_ID", "OIDS", "_ROWID", "ID", ""})
        EXPECT_FALSE(db::IsRowidName(name)) << name;
}

TEST_F(DbfLimits, FieldsNamedAsTheHiddenRowIdImportUnderFreeNamesWithANote) {
    WriteDbf(home / "rid.dbf",
             {{"BH", 'C', 3},
              {"ROWID", 'C', 2},
              {"oid", 'N', 4},
              {"_RowId_", 'C', 1},
              {"ROWID_2", 'C', 1}},
             {{"001", "r1", "70", "x", "y"}, {"002", "r2", "80", "z", "w"}});
    ASSERT_EQ(import("rid"), "");
    EXPECT_EQ(columnNames("t"),
              (std::vector<std::string>{"BH", "ROWID_3", "oid_2", "_RowId__2", "ROWID_2"}));
    EXPECT_EQ(column("select ROWID_3 || oid_2 || _RowId__2 || ROWID_2 from t order by BH"),
              (std::vector<std::string>{"r170xy", "r280zw"}));
    EXPECT_EQ(column("select rowid from t order by rowid"), (std::vector<std::string>{"1", "2"}))
        << "the row id is the table's own again";
    EXPECT_EQ(c.takeImportNotes(),
              (std::vector<std::string>{
                  "rid.dbf: 字段 ROWID 与数据库隐含的行号 (rowid) 同名，导入为 ROWID_3",
                  "rid.dbf: 字段 oid 与数据库隐含的行号 (rowid) 同名，导入为 oid_2",
                  "rid.dbf: 字段 _RowId_ 与数据库隐含的行号 (rowid) 同名，导入为 _RowId__2"}));
}

TEST_F(DbfLimits, ASecondRowidFieldIsRenamedOnceWithTheRowIdNote) {
    WriteDbf(home / "two.dbf", {{"rowid", 'C', 1}, {"ROWID", 'C', 1}}, {{"a", "b"}});
    ASSERT_EQ(import("two"), "");
    EXPECT_EQ(columnNames("t"), (std::vector<std::string>{"rowid_2", "ROWID_3"}));
    EXPECT_EQ(c.takeImportNotes().size(), 2u);
}

TEST_F(DbfLimits, AsManyFieldsAsATableMayHaveColumnsImport) {
    const int limit = c.columnLimit();
    ASSERT_GT(limit, 100);
    writeWide("full", limit);
    ASSERT_EQ(import("full"), "");
    EXPECT_EQ(columnNames("t").size(), static_cast<std::size_t>(limit));
    EXPECT_EQ(column("select F0001 || F0026 from t"), std::vector<std::string>{"ba"});
}

TEST_F(DbfLimits, OneFieldMoreIsRefusedNamingTheFileAndTheNumbers) {
    const int limit = c.columnLimit();
    writeWide("wide", limit + 1);
    const std::string error = import("wide");
    const std::string expected =
        "数据表 " + (home / "wide.dbf").string() + " 有 " + std::to_string(limit + 1) +
        " 个字段，多于数据库一张表最多能有的 " + std::to_string(limit) + " 列，不能读取";
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_FALSE(c.hasTable("t"));
}

} // namespace
