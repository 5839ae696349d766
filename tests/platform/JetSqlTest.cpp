#include "platform/db/JetSql.h"
#include "platform/db/Error.h"

#include <gtest/gtest.h>

namespace {

using namespace db::jet;

std::string Sqlite(const std::string& jet) {
    Tokens t = Tokenize(jet);
    Normalize(t);
    return Render(t);
}

TEST(JetSql, RendersJetLiteralsAndNamesForSqlite) {
    EXPECT_EQ(Sqlite("select * from 9班 where a = \"x\" & [b c]"),
              "select * from \"9班\" where a = 'x' || \"b c\"");
    EXPECT_EQ(Sqlite("select 'it''s', \"say \"\"hi\"\"\" from t"),
              "select 'it''s', 'say \"hi\"' from t");
    EXPECT_EQ(Sqlite("select left(BH, 4), right(BH,2) from t"),
              "select jet_left(BH, 4), jet_right(BH,2) from t");
    EXPECT_EQ(Sqlite("select * from t where d > #2026-12-07#"),
              "select * from t where d > '2026-12-07'");
    EXPECT_EQ(Sqlite("select top 5 * from t order by x;"), "select * from t order by x LIMIT 5");
    EXPECT_EQ(Sqlite("Delete * From t"), "Delete From t");
    EXPECT_EQ(Sqlite("select 1.5e3, 7 mod 3 from t where x <> :ClassID"),
              "select 1.5e3, 7 % 3 from t where x <> :ClassID");
}

TEST(JetSql, KeepsLineBreaksAsBlanksAndCommentsNothingAway) {
    EXPECT_EQ(Sqlite("select * from a\r\n order by BH\r\n"), "select * from a order by BH");
}

TEST(JetSql, RefusesUnterminatedLiterals) {
    EXPECT_THROW((void)Tokenize("select 'abc from t"), db::Error);
    EXPECT_THROW((void)Tokenize("select [abc from t"), db::Error);
}

TEST(JetSql, FindsExternalDbaseTables) {
    Tokens t = Tokenize("select * into t from 期中 in \"/home/x y\" \"dbase 5.0;\"  where 1 <> 1");
    auto ext = FindExternals(t);
    ASSERT_EQ(ext.size(), 1u);
    EXPECT_EQ(ext[0].table, "期中");
    EXPECT_EQ(ext[0].folder, "/home/x y");
    EXPECT_TRUE(FindExternals(Tokenize("select * from t where a in ('x', 'y')")).empty());
}

TEST(JetSql, RecognisesSingleTableSelects) {
    auto s = AsSimpleSelect(Tokenize("select * from 期中 ORDER BY BH"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->table, "期中");
    EXPECT_EQ(s->selectList, "*");
    EXPECT_EQ(s->rowidRef, "期中.rowid");
    EXPECT_EQ(s->rest, "ORDER BY BH");

    auto aliased = AsSimpleSelect(Tokenize("select a.BH, a.score from x a where a.CLS = 1"));
    ASSERT_TRUE(aliased);
    EXPECT_EQ(aliased->rowidRef, "a.rowid");
    EXPECT_EQ(aliased->from, "x a");

    for (const char* q :
         {"select count(*) as n from x", "select distinct CLS from x", "select * from a, b",
          "select * from a inner join b on a.x = b.x", "select CLS, sum(score) from x group by CLS",
          "select 1", "select top 3 * from x"})
        EXPECT_FALSE(AsSimpleSelect(Tokenize(q))) << q;
}

} // namespace
