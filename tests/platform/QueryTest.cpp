#include "platform/db/Query.h"
#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using db::FieldKind;
using db::Query;
using testsupport::TempHome;

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        c.execute("CREATE TABLE x (BH varchar(10), n integer, s REAL, d DOUBLE)");
        db::Transaction tx(c);
        for (int i = 0; i < 200; ++i)
            c.execute("INSERT INTO x (BH, n) VALUES ('" + std::to_string(1000 + (i * 37) % 200) +
                      "', " + std::to_string(i) + ")");
        tx.commit();
    }

    TempHome home;
    db::Connection c;
};

TEST_F(QueryTest, SqlTextIsHeldAsLines) {
    Query q(c);
    q.setSql("select * from x\r\nwhere n > 1");
    EXPECT_EQ(q.sqlLines().size(), 2u);
    EXPECT_EQ(q.sqlText(), "select * from x\r\nwhere n > 1\r\n");
    q.setSql(q.sqlText() + " order by BH");
    EXPECT_EQ(q.sqlLines(),
              (std::vector<std::string>{"select * from x", "where n > 1", " order by BH"}));
    q.open();
    EXPECT_EQ(q.recordCount(), 198);
    EXPECT_EQ(q.asText("BH"), "1001") << "n > 1 leaves out 1000";
}

TEST_F(QueryTest, WalksAKeysetInOrderAcrossFetchWindows) {
    Query q(c);
    q.setSql("select * from x ORDER BY BH");
    q.open();
    ASSERT_EQ(q.recordCount(), 200);
    EXPECT_TRUE(q.bof());
    int seen = 0;
    std::string previous;
    for (q.first(); !q.eof(); q.next()) {
        std::string bh = q.asText("bh");
        EXPECT_LT(previous, bh);
        previous = bh;
        ++seen;
    }
    EXPECT_EQ(seen, 200);
    EXPECT_EQ(q.recNo(), 199);
    // Walking back crosses the window boundary from the other side.
    for (int i = 0; i < 150; ++i)
        q.prior();
    EXPECT_EQ(q.asText("BH"), "1049");
    q.last();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.asText("BH"), "1199");
}

TEST_F(QueryTest, PostsThroughTheKeysetAtJetPrecision) {
    Query q(c);
    q.setSql("select * from x where n < 3 order by n");
    q.open();
    q.next();
    q.edit();
    q.setValue("s", 0.7);
    q.setValue("d", 0.7);
    q.setValue("n", std::int64_t{4242});
    q.post();
    EXPECT_EQ(q.asFloat("s"), static_cast<double>(0.7f)) << "REAL holds a 32-bit float";
    EXPECT_EQ(q.asFloat("d"), 0.7);
    EXPECT_EQ(q.asText("s"), "0.699999988079071");
    auto r = c.select("select s, d from x where n = 4242");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(std::get<double>(r.rows[0][0]), static_cast<double>(0.7f));
    EXPECT_EQ(std::get<double>(r.rows[0][1]), 0.7);
}

TEST_F(QueryTest, NextPostsAPendingEditAndAppendAddsARowAtTheEnd) {
    Query q(c);
    q.setSql("select BH, n from x where n < 2 order by n");
    q.open();
    q.edit();
    q.setValue("BH", std::string("changed"));
    q.next();
    EXPECT_EQ(c.select("select n from x where BH = 'changed'").rows.size(), 1u);
    int mark = q.bookmark();
    q.append();
    q.setValue("BH", std::string("new"));
    q.post();
    EXPECT_EQ(q.recordCount(), 3);
    EXPECT_EQ(q.asText("BH"), "new");
    q.gotoBookmark(mark);
    EXPECT_EQ(q.asInteger("n"), 1);
    EXPECT_THROW(q.setValue("BH", std::string("x")), db::Error) << "not in edit state";
}

TEST_F(QueryTest, NullReadsAsEmptyTextAndZero) {
    Query q(c);
    q.setSql("select * from x");
    q.open();
    EXPECT_TRUE(q.isNull("s"));
    EXPECT_EQ(q.asText("s"), "");
    EXPECT_EQ(q.asInteger("s"), 0);
    EXPECT_EQ(q.asFloat("s"), 0.0);
    EXPECT_THROW((void)q.asText("nosuch"), db::Error);
    try {
        (void)Query::ToInteger(std::string("12a"));
        FAIL();
    } catch (const db::Error& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}

TEST_F(QueryTest, AggregatesAreReadWholeAndReadOnly) {
    Query q(c);
    q.setSql("SELECT COUNT(*) AS n, SUM(n) AS total FROM x WHERE BH LIKE :p");
    q.setParam("P", std::string("10_0"));
    q.open();
    EXPECT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.asInteger("n"), 10);
    EXPECT_EQ(q.field(0).kind, FieldKind::Integer);
    EXPECT_THROW(q.edit(), db::Error);
}

TEST_F(QueryTest, EmptyResultIsBothBofAndEof) {
    Query q(c);
    q.setSql("select * from x where 1 <> 1");
    q.open();
    EXPECT_TRUE(q.bof());
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.recordCount(), 0);
    EXPECT_EQ(q.fieldCount(), 4);
    EXPECT_EQ(q.asText("BH"), "");
}

TEST_F(QueryTest, FieldKindsComeFromDeclaredTypes) {
    c.execute("CREATE TABLE k (a INT, b LONG, c SMALLINT, d BYTE, e REAL, f FLOAT, g SINGLE, "
              "h CURRENCY, i DECIMAL(10,2), j VARCHAR(5), k2 TEXT(9), l MEMO, m BIT, n DATETIME, "
              "o DATE, p CHAR(3), q YESNO, r MONEY, s NUMERIC(5), t LOGICAL, u DOUBLE)");
    Query q(c);
    q.setSql("select * from k");
    q.open();
    std::vector<FieldKind> want = {FieldKind::Integer,  FieldKind::Integer,  FieldKind::SmallInt,
                                   FieldKind::SmallInt, FieldKind::Float,    FieldKind::Float,
                                   FieldKind::Float,    FieldKind::Currency, FieldKind::Bcd,
                                   FieldKind::String,   FieldKind::String,   FieldKind::Memo,
                                   FieldKind::Boolean,  FieldKind::DateTime, FieldKind::DateTime,
                                   FieldKind::String,   FieldKind::Boolean,  FieldKind::Currency,
                                   FieldKind::Bcd,      FieldKind::Boolean,  FieldKind::Float};
    ASSERT_EQ(q.fieldCount(), static_cast<int>(want.size()));
    for (int i = 0; i < q.fieldCount(); ++i)
        EXPECT_EQ(q.field(i).kind, want[static_cast<std::size_t>(i)]) << q.field(i).name;
    // A memo keeps its text as typed, leading zeros and all.
    c.execute("INSERT INTO k (l) VALUES ('0123')");
    q.open();
    EXPECT_EQ(q.asText("l"), "0123");
}

TEST_F(QueryTest, ExpressionColumnsTakeTheirKindFromTheirValues) {
    Query q(c);
    q.setSql("select BH, len(BH) as n, n * 0.5 as half, 'x' || BH as label from x");
    q.open();
    EXPECT_EQ(q.field(1).kind, FieldKind::Integer);
    EXPECT_EQ(q.field(2).kind, FieldKind::Float);
    EXPECT_EQ(q.field(3).kind, FieldKind::String);
    EXPECT_TRUE(q.field(3).baseColumn.empty());
    q.edit();
    EXPECT_THROW(q.setValue("label", std::string("y")), db::Error)
        << "an expression is not updatable";
}

TEST_F(QueryTest, PreparedClassQueriesWithANamedParameter) {
    Query q(c);
    q.setSql("SELECT COUNT(*) AS count1, SUM(n) AS ff1 FROM x");
    q.addSql(" WHERE BH LIKE :ClassID ");
    q.setParam("ClassID", std::string("101_"));
    q.prepare();
    q.open();
    EXPECT_EQ(q.asInteger("count1"), 10);
    q.close();
    q.setSql("SELECT * FROM x ");
    q.addSql(" WHERE BH LIKE :ClassID ");
    q.addSql("ORDER BY BH ");
    q.prepare();
    q.open();
    EXPECT_EQ(q.recordCount(), 10);
    EXPECT_EQ(q.asText("BH"), "1010");
    q.edit();
    q.setValue("d", 2.5);
    q.post();
    EXPECT_EQ(q.asFloat("d"), 2.5);
}

TEST_F(QueryTest, RowsAppendToAnEmptyStructureQuery) {
    c.execute(
        "CREATE TABLE zonghe (ID varchar(10), CLS varchar(10), field1 integer, field2 integer, "
        "field3 integer, field4 integer, field5 integer, field6 integer )");
    Query q(c);
    q.setSql("SELECT * FROM zonghe WHERE 1 <> 1");
    q.open();
    for (int i = 0; i < 3; ++i) {
        q.append();
        q.setValue("ID", std::to_string(i));
        q.setValue("field1", std::int64_t{i * 10});
        q.post();
    }
    EXPECT_EQ(q.recordCount(), 3);
    EXPECT_EQ(q.asInteger("field1"), 20);
    auto r = c.select("select sum(field1) from zonghe");
    EXPECT_EQ(db::Query::ToText(r.rows[0][0]), "30");
}

class Recorder : public db::QueryObserver {
  public:
    void datasetChanged() override { ++changed; }
    void rowChanged(int) override { ++rows; }
    void currentChanged(int) override { ++moves; }
    int changed = 0, rows = 0, moves = 0;
};

TEST_F(QueryTest, DisabledControlsHearNothingUntilEnabled) {
    Query q(c);
    Recorder r;
    q.addObserver(&r);
    q.setSql("select * from x");
    q.open();
    EXPECT_EQ(r.changed, 1);
    q.disableControls();
    q.disableControls();
    for (q.first(); !q.eof(); q.next()) {
        q.edit();
        q.setValue("d", 1.5);
        q.post();
    }
    EXPECT_EQ(r.rows, 0);
    EXPECT_EQ(r.moves, 0);
    q.enableControls();
    EXPECT_EQ(r.changed, 1);
    EXPECT_TRUE(q.controlsDisabled());
    q.enableControls();
    EXPECT_EQ(r.changed, 2);
    EXPECT_FALSE(q.controlsDisabled());
    EXPECT_EQ(c.select("select count(*) from x where d = 1.5").rows[0][0],
              db::Value{std::int64_t{200}});
    q.removeObserver(&r);
}

} // namespace
