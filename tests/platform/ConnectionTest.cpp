#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempHome;
using testsupport::WriteDbf;

class ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        std::filesystem::create_directories(home / "src");
        WriteDbf(home / "src" / "EXAM.DBF",
                 {{"BH", 'C', 9}, {"CONTENT", 'C', 6}, {"SCORE", 'N', 5, 1}},
                 {{"202601001", "124800", "1.5"},
                  {"202601002", "842100", std::nullopt},
                  {"202602001", "111111", "3"}});
    }

    std::string folder() const { return (home / "src").string(); }

    std::vector<std::string> Column(const std::string& sql) {
        auto r = c.select(sql);
        std::vector<std::string> out;
        for (const auto& row : r.rows)
            out.push_back(db::Query::ToText(row.at(0)));
        return out;
    }

    std::string TypeOf(const std::string& table, const std::string& column) {
        for (const auto& col : c.columns(table))
            if (col.name == column)
                return col.declaredType;
        return "<missing>";
    }

    TempHome home;
    db::Connection c;
};

TEST_F(ConnectionTest, ReadsAnExternalDbaseTableIntoANewTable) {
    int rows = c.execute("select * into t from exam in \"" + folder() + "\" \"dbase 5.0;\"");
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(Column("select BH from t"),
              (std::vector<std::string>{"202601001", "202601002", "202602001"}));
    EXPECT_EQ(TypeOf("t", "BH"), "VARCHAR(9)");
    EXPECT_EQ(TypeOf("t", "SCORE"), "DOUBLE");
    EXPECT_EQ(Column("select SCORE from t where SCORE is null").size(), 1u);
}

TEST_F(ConnectionTest, StructureCopiesKeepTypesAndTakeNoRows) {
    c.execute("select * into t2 from exam in \"" + folder() + "\" \"dbase 5.0;\"  where 1 <> 1");
    EXPECT_TRUE(Column("select BH from t2").empty());
    EXPECT_EQ(TypeOf("t2", "BH"), "VARCHAR(9)");

    c.execute("select * into t from exam in \"" + folder() + "\" \"dbase 5.0;\"");
    c.execute("Select * into 期中 from t where 1 <> 1");
    EXPECT_EQ(TypeOf("期中", "SCORE"), "DOUBLE");
    EXPECT_TRUE(Column("select BH from 期中").empty());
    c.execute("Drop table t");
    c.execute("INSERT INTO 期中 Select * from t2");
    c.execute("select * into t from 期中");
    EXPECT_EQ(TypeOf("t", "BH"), "VARCHAR(9)");
}

TEST_F(ConnectionTest, MakeTableRefusesAnExistingTarget) {
    c.execute("CREATE TABLE t (a integer)");
    EXPECT_THROW(c.execute("select * into t from exam in \"" + folder() + "\" \"dbase 5.0;\""),
                 db::Error);
}

TEST_F(ConnectionTest, ExternalTableErrorsNameTheFileAndLeaveNothing) {
    EXPECT_THROW(c.execute("select * into t from nosuch in \"" + folder() + "\" \"dbase 5.0;\""),
                 db::Error);
    EXPECT_THROW(c.execute("select * into t from exam in \"/no/such/folder\" \"dbase 5.0;\""),
                 db::Error);
    testsupport::WriteBytes(home / "src" / "bad.dbf", std::string(40, '\x03'));
    try {
        c.execute("select * into t from bad in \"" + folder() + "\" \"dbase 5.0;\"");
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("bad.dbf"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(c.hasTable("t"));
}

TEST_F(ConnectionTest, UserLoadsIdsFromADbaseFile) {
    WriteDbf(home / "src" / "ids.dbf", {{"id", 'C', 9}, {"StudClass", 'C', 10}},
             {{"202601001", "初一(1)班"}, {"202602001", "初一(2)班"}});
    c.execute("select * into ids from ids in \"" + folder() + "\" \"dbase 5.0;\"");
    EXPECT_EQ(Column("SELECT DISTINCT StudClass FROM ids ORDER BY StudClass"),
              (std::vector<std::string>{"初一(1)班", "初一(2)班"}));
}

TEST_F(ConnectionTest, AlterAddsAllColumnsOrNone) {
    c.execute("CREATE TABLE x (BH varchar(10), n integer)");
    c.execute("Alter Table x ADD CLS INT NULL, score REAL NULL, f1 REAL NULL, f2 REAL NULL");
    EXPECT_EQ(c.columns("x").size(), 6u);
    EXPECT_EQ(TypeOf("x", "CLS"), "INT");
    EXPECT_EQ(TypeOf("x", "f2"), "REAL");
    try {
        c.execute("Alter Table x ADD f3 REAL NULL, cls INT NULL");
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("cls"), std::string::npos) << e.what();
    }
    EXPECT_EQ(c.columns("x").size(), 6u) << "f3 must not be added";
}

TEST_F(ConnectionTest, InsertSelectStarMatchesColumnsByName) {
    c.execute("CREATE TABLE a (x integer, y varchar(5))");
    c.execute("CREATE TABLE b (Y varchar(5), X integer, z integer)");
    c.execute("INSERT INTO a VALUES (1, 'one')");
    EXPECT_EQ(c.execute("INSERT INTO b Select * from a"), 1);
    EXPECT_EQ(Column("select Y from b"), std::vector<std::string>{"one"});
    EXPECT_EQ(Column("select X from b"), std::vector<std::string>{"1"});
    c.execute("CREATE TABLE c (x integer)");
    EXPECT_THROW(c.execute("INSERT INTO c Select * from a"), db::Error);
}

TEST_F(ConnectionTest, MultiTableUpdateReturnsRowsChanged) {
    c.execute("CREATE TABLE X (BH varchar(9), CLS integer)");
    c.execute("CREATE TABLE ids (id varchar(9), StudClass varchar(10))");
    for (const char* bh : {"1", "2", "3"})
        c.execute(std::string("INSERT INTO X (BH) VALUES ('") + bh + "')");
    c.execute("INSERT INTO ids VALUES ('1', '7')");
    c.execute("INSERT INTO ids VALUES ('3', '8')");
    int n = c.execute("UPDATE X TTT,ids SET TTT.CLS = ids.StudClass WHERE TTT.BH = ids.id");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Column("select CLS from X order by BH"), (std::vector<std::string>{"7", "", "8"}));
}

TEST_F(ConnectionTest, CommonStatementsWork) {
    c.execute("CREATE TABLE zonghe (BH varchar(10), CLS integer, field1 integer)");
    c.execute("INSERT INTO zonghe VALUES ('202601001', 1, 10)");
    c.execute("INSERT INTO zonghe VALUES ('202601002', 1, 20)");
    c.execute("INSERT INTO zonghe VALUES ('202602001', 2, 5)");
    EXPECT_EQ(Column("select count(*) as n from zonghe where BH like '202601___'"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(Column("select count(*) as n from zonghe where BH like '20260_'"),
              std::vector<std::string>{"0"});
    auto r = c.select("select sum(field1) as total from zonghe where CLS = :ClassID",
                      {{"ClassID", std::string("1")}});
    EXPECT_EQ(r.fields[0].name, "total");
    EXPECT_EQ(db::Query::ToText(r.rows[0][0]), "30");
    EXPECT_EQ(r.fields[0].kind, db::FieldKind::Integer);
    EXPECT_EQ(c.execute("Delete From zonghe where CLS = 1"), 2);
    c.execute("Drop table zonghe");
    EXPECT_FALSE(c.hasTable("zonghe"));
}

TEST_F(ConnectionTest, JetFunctionsAreThere) {
    auto r =
        c.select("select len('中文a'), mid('abcdef', 2, 3), left('abc', 2), right('abc', 2), "
                 "ucase('ab'), lcase('AB'), val(' 12 3x'), nz(null, 5), instr(2, 'abcabc', 'a'), "
                 "iif(1 > 0, 'y', 'n'), trim('  a ')");
    std::vector<std::string> got;
    for (const auto& v : r.rows.at(0))
        got.push_back(db::Query::ToText(v));
    EXPECT_EQ(got, (std::vector<std::string>{"3", "bcd", "ab", "bc", "AB", "ab", "123", "5", "4",
                                             "y", "a"}));
}

TEST_F(ConnectionTest, ListsTablesAndFindsThemWithoutRegardToCase) {
    c.execute("CREATE TABLE T2 (a integer)");
    EXPECT_TRUE(c.hasTable("t2"));
    EXPECT_FALSE(c.hasTable("t3"));
    EXPECT_EQ(c.tables(), std::vector<std::string>{"T2"});
}

TEST_F(ConnectionTest, ARejectedStatementSaysWhy) {
    try {
        c.execute("select * frm x");
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("select * frm x"), std::string::npos) << e.what();
    }
}

TEST_F(ConnectionTest, TransactionCommitsOnBothPathsWhenAskedTo) {
    c.execute("CREATE TABLE x (a integer)");
    try {
        db::Transaction tx(c, db::Transaction::CommitAlways);
        c.execute("INSERT INTO x VALUES (1)");
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    {
        db::Transaction tx(c);
        c.execute("INSERT INTO x VALUES (2)");
    }
    EXPECT_EQ(Column("select a from x"), std::vector<std::string>{"1"});
}

// A commit that fails leaves SQLite's transaction open (a full disk does
// so; a deferred foreign key that is still broken at the commit is the way
// to make one fail here): the transaction is rolled back before the error
// goes on, on the commit() path and on CommitAlways's way out of a scope.
TEST_F(ConnectionTest, AFailedCommitIsRolledBackBeforeTheErrorGoesOn) {
    c.prepare("PRAGMA foreign_keys = ON").step();
    c.prepare("CREATE TABLE p (id INTEGER PRIMARY KEY)").step();
    c.prepare("CREATE TABLE k (p INTEGER REFERENCES p(id) DEFERRABLE INITIALLY DEFERRED)").step();
    c.execute("INSERT INTO p VALUES (1)");
    for (const auto mode : {db::Transaction::RollbackOnError, db::Transaction::Immediate}) {
        db::Transaction tx(c, mode);
        c.execute("INSERT INTO k VALUES (1)");
        c.execute("INSERT INTO k VALUES (2)"); // no such p: the commit fails
        EXPECT_THROW(tx.commit(), db::Error);
        EXPECT_FALSE(c.inTransaction()) << "rolled back, not left open";
    }
    try {
        db::Transaction tx(c, db::Transaction::CommitAlways);
        c.execute("INSERT INTO k VALUES (3)");
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(c.inTransaction());
    EXPECT_TRUE(Column("select p from k").empty()) << "none of the failed work was kept";
    {
        db::Transaction tx(c);
        c.execute("INSERT INTO k VALUES (1)");
        tx.commit();
    }
    EXPECT_EQ(Column("select p from k"), std::vector<std::string>{"1"})
        << "the next transaction begins and commits as usual";
}

TEST(Connection, OpeningAMissingDatabaseFails) {
    TempHome home;
    db::Connection c;
    EXPECT_THROW(c.open(home / "data.mdb"), db::Error);
    EXPECT_FALSE(c.isOpen());
    testsupport::WriteBytes(home / "data.mdb", "this is not a database file, really not");
    EXPECT_THROW(c.open(home / "data.mdb"), db::Error);
}

} // namespace
