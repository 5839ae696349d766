#include "core/ScratchDb.h"
#include "core/Workspace.h"
#include "platform/db/Error.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::Sheets;
using testsupport::TempHome;
using testsupport::WriteAnswers;

class ScratchDbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        ws.connect();
        std::filesystem::create_directories(home / "exam");
    }

    std::vector<std::string> Columns(const std::string& table) {
        std::vector<std::string> names;
        for (const auto& c : ws.connection.columns(table))
            names.push_back(c.name);
        return names;
    }

    long long Count(const std::string& table) {
        auto r = ws.connection.select("select count(*) from " + table);
        return std::get<std::int64_t>(r.rows.at(0).at(0));
    }

    std::string folder() const { return (home / "exam").string(); }

    TempHome home;
    core::Workspace ws{home.path()};
};

TEST_F(ScratchDbTest, QuestionColumnListRunsFromF1ToF105) {
    std::string list = core::QuestionColumnList();
    EXPECT_EQ(list.rfind("f1 REAL NULL, f2 REAL NULL, ", 0), 0u);
    EXPECT_EQ(list.size() - list.rfind("f105 REAL NULL"), std::string("f105 REAL NULL").size());
    EXPECT_EQ(std::count(list.begin(), list.end(), ','), 104);
}

TEST_F(ScratchDbTest, ImportWithoutScoreAddsClassScoreAndQuestionColumns) {
    WriteAnswers(home / "exam" / "a.dbf", Sheets(12, 5), 0);
    core::ImportAnswerTable(ws.connection, folder(), "a", "score");
    auto cols = Columns("a");
    ASSERT_EQ(cols.size(), 4u + 2 + 105);
    EXPECT_EQ(cols[4], "CLS");
    EXPECT_EQ(cols[5], "score");
    EXPECT_EQ(cols[6], "f1");
    EXPECT_EQ(cols.back(), "f105");
    EXPECT_EQ(Count("a"), 12);
    EXPECT_EQ(Count("a where CLS is null and score is null and f105 is null"), 12);
    EXPECT_EQ(Count("t"), 12) << "t keeps the copy of the last import";
}

TEST_F(ScratchDbTest, ImportWithItsOwnScoreKeepsItAndGetsClassAndQuestionColumns) {
    WriteAnswers(home / "exam" / "b.dbf", Sheets(3, 5), 'N');
    core::ImportAnswerTable(ws.connection, folder(), "b", "score");
    auto cols = Columns("b");
    ASSERT_EQ(cols.size(), 5u + 1 + 105);
    EXPECT_EQ(cols[4], "SCORE");
    EXPECT_EQ(cols[5], "CLS");
    EXPECT_EQ(cols[6], "f1");
    auto types = ws.connection.columns("b");
    EXPECT_EQ(types[4].declaredType, "DOUBLE") << "the .dbf's own score column stays as it is";
    EXPECT_EQ(Count("b"), 3);
}

TEST_F(ScratchDbTest, AnExistingTableWithoutScoreKeepsItsRows) {
    ws.connection.execute("CREATE TABLE c (BH varchar(9), CONTENT varchar(5))");
    ws.connection.execute("INSERT INTO c VALUES ('1', '12')");
    core::ImportAnswerTable(ws.connection, folder(), "c", "score");
    EXPECT_EQ(Count("c"), 1);
    EXPECT_EQ(Columns("c").size(), 2u + 2 + 105);
}

TEST_F(ScratchDbTest, AChineseNameIsReadWhereItIs) {
    WriteAnswers(home / "exam" / "9班.dbf", Sheets(4, 5), 0);
    WriteAnswers(home / "exam" / "temp.dbf", Sheets(2, 5), 0); // the user's own file
    core::ImportAnswerTable(ws.connection, folder(), "9班", "score");
    EXPECT_EQ(Count("9班"), 4) << "the table's own sheets, not those of temp.dbf";
    EXPECT_TRUE(std::filesystem::exists(home / "exam" / "temp.dbf"));
}

TEST_F(ScratchDbTest, AddingScoreColumnsKeepsEveryRowOnce) {
    ws.connection.execute("CREATE TABLE d (BH varchar(9), CONTENT varchar(5))");
    for (int i = 0; i < 40; ++i)
        ws.connection.execute("INSERT INTO d VALUES ('" + std::to_string(i) + "', '1')");
    core::AddScoreColumns(ws.connection, "d", "zf");
    EXPECT_EQ(Count("d"), 40);
    EXPECT_EQ(Count("t"), 40);
    auto cols = Columns("d");
    ASSERT_EQ(cols.size(), 2u + 2 + 105);
    EXPECT_EQ(cols[3], "zf");
    // A second addition finds CLS there and changes nothing.
    EXPECT_THROW(core::AddScoreColumns(ws.connection, "d", "zf2"), db::Error);
    EXPECT_EQ(Columns("d").size(), 2u + 2 + 105);
    EXPECT_EQ(Count("d"), 40);
}

TEST_F(ScratchDbTest, AFailedImportLeavesNothingBehind) {
    testsupport::WriteBytes(home / "exam" / "bad.dbf", std::string(100, '\x03'));
    EXPECT_THROW(core::ImportAnswerTable(ws.connection, folder(), "bad", "score"), db::Error);
    EXPECT_FALSE(core::TableExists(ws.connection, "bad"));
    EXPECT_FALSE(core::TableExists(ws.connection, "t"));
}

TEST_F(ScratchDbTest, TableExistsIgnoresCase) {
    ws.connection.execute("CREATE TABLE T2 (a integer)");
    EXPECT_TRUE(core::TableExists(ws.connection, "t2"));
    EXPECT_FALSE(core::TableExists(ws.connection, "t"));
}

} // namespace
