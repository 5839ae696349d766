#include "core/GridEdits.h"
#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ViewCommands.h"
#include "core/ViewOrder.h"
#include "platform/text/TextFile.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadBytes;
using testsupport::Sheets;
using testsupport::TempHome;
using testsupport::WriteAnswers;

std::tm At(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 5; // June
    t.tm_mday = 7;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

class GridEditsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        WriteAnswers(home / "paper.dbf", Sheets(6, 4), 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "paper.dbf");
        edits.clock = [this] { return At(9, 30, mSecond++); };
    }

    [[nodiscard]] std::string Stored(const std::string& column, const std::string& id) {
        auto r = ws.connection.select("select " + column + " from paper where BH = '" + id + "'");
        return db::Query::ToText(r.rows.at(0).at(0));
    }
    [[nodiscard]] int RowOf(const std::string& id) {
        const int bh = ws.view.fieldIndex("BH");
        for (int r = 0; r < ws.view.recordCount(); ++r)
            if (db::Query::ToText(ws.view.valueAt(r, bh)) == id)
                return r;
        return -1;
    }
    [[nodiscard]] std::vector<std::string> LogLines() {
        return text::LoadLines(home / core::EditLogName());
    }
    void UndoFails(const std::string& why) {
        try {
            (void)edits.undoLast(ws);
            ADD_FAILURE() << "undo went through";
        } catch (const core::AppError& e) {
            EXPECT_EQ(std::string(e.what()), why);
        }
    }

    TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    core::EditSession edits;
    int mSecond = 0;
};

TEST(EditLogLineTest, NamesEveryPartAndKeepsOneLine) {
    core::CellEdit e{"期中", 7, "202601003", "score", std::monostate{}, 88.5};
    EXPECT_EQ(core::EditLogLine(At(9, 5, 0), core::EditKind::Edit, e),
              "2026-06-07 09:05:00\t编辑\t期中\t202601003\tscore\t\t88.5");
    e.before = std::string("a\tb\r\nc");
    e.after = std::int64_t{3};
    EXPECT_EQ(core::EditLogLine(At(23, 59, 59), core::EditKind::Undo, e),
              "2026-06-07 23:59:59\t撤销\t期中\t202601003\tscore\ta b  c\t3");
    // Every field keeps to its line: the table, the number and the column too.
    e = {"期\n中", 7, "2026\t01003", "sc\rore", std::string("x"), std::string("y")};
    EXPECT_EQ(core::EditLogLine(At(9, 5, 0), core::EditKind::Edit, e),
              "2026-06-07 09:05:00\t编辑\t期 中\t2026 01003\tsc ore\tx\ty");
}

TEST_F(GridEditsTest, AnEditPostsAndIsLoggedInGbkWithCrLf) {
    const int row = RowOf("202601003");
    ASSERT_TRUE(edits.post(ws, row, ws.view.fieldIndex("score"), 88.5));
    EXPECT_EQ(Stored("score", "202601003"), "88.5");
    EXPECT_EQ(Stored("score", "202601004"), "");
    const std::string line = "2026-06-07 09:30:00\t编辑\tpaper\t202601003\tSCORE\t\t88.5\r\n";
    EXPECT_EQ(ReadBytes(home / "编辑记录.log"), text::GbkLines({line.substr(0, line.size() - 2)}));
    ASSERT_EQ(edits.done().size(), 1u);
    EXPECT_EQ(edits.done()[0].rowid, ws.view.rowidAt(row));
}

TEST_F(GridEditsTest, TheSameValueAgainChangesAndLogsNothing) {
    const int content = ws.view.fieldIndex("content");
    const std::string now = db::Query::ToText(ws.view.valueAt(0, content));
    EXPECT_FALSE(edits.post(ws, 0, content, now));
    EXPECT_FALSE(std::filesystem::exists(home / "编辑记录.log"));
    EXPECT_FALSE(edits.canUndo());
}

TEST_F(GridEditsTest, UndoGoesBackNewestFirstToTheValueBefore) {
    const int score = ws.view.fieldIndex("score");
    const int row = RowOf("202601002");
    ASSERT_TRUE(edits.post(ws, row, score, 50.0));
    ASSERT_TRUE(edits.post(ws, row, score, 60.0));
    ASSERT_TRUE(
        edits.post(ws, RowOf("202601005"), ws.view.fieldIndex("content"), std::string("GGGG")));
    EXPECT_EQ(Stored("content", "202601005"), "GGGG");

    auto undone = edits.undoLast(ws);
    EXPECT_EQ(undone.edit.column, "CONTENT"); // as the table names it
    EXPECT_EQ(Stored("content", "202601005"), "1248");
    undone = edits.undoLast(ws);
    EXPECT_EQ(Stored("score", "202601002"), "50");
    EXPECT_EQ(undone.row, row);
    (void)edits.undoLast(ws);
    EXPECT_EQ(Stored("score", "202601002"), ""); // null, as it was read
    EXPECT_FALSE(edits.canUndo());
    UndoFails("没有可以撤销的编辑。");

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "2026-06-07 09:30:03\t撤销\tpaper\t202601005\tCONTENT\tGGGG\t1248");
    EXPECT_EQ(lines[4], "2026-06-07 09:30:04\t撤销\tpaper\t202601002\tSCORE\t60\t50");
    EXPECT_EQ(lines[5], "2026-06-07 09:30:05\t撤销\tpaper\t202601002\tSCORE\t50\t");
}

TEST_F(GridEditsTest, UndoFindsItsRowAfterTheViewWasSortedTheOtherWay) {
    const int score = ws.view.fieldIndex("score");
    const int row = RowOf("202601002");
    ASSERT_EQ(row, 1);
    ASSERT_TRUE(edits.post(ws, row, score, 77.0));
    core::SortView(ws, "BH", core::SortOrder::Descending);
    ASSERT_EQ(RowOf("202601002"), 4); // six sheets, the second from the back
    const auto undone = edits.undoLast(ws);
    EXPECT_EQ(undone.row, 4);
    EXPECT_EQ(Stored("score", "202601002"), "");
    EXPECT_EQ(Stored("score", "202601005"), ""); // the sheet now at the old row is untouched
    for (const char* id : {"202601001", "202601003", "202601004", "202601006"})
        EXPECT_EQ(Stored("score", id), "") << id;
}

TEST_F(GridEditsTest, UndoRefusesAfterTheTableWasOpenedAgainAndDropsTheList) {
    ASSERT_TRUE(edits.post(ws, 0, ws.view.fieldIndex("score"), 10.0));
    ASSERT_TRUE(edits.post(ws, 1, ws.view.fieldIndex("score"), 20.0));
    edits.tableOpened();
    (void)core::OpenAnswerTable(ws, ui, home / "paper.dbf");
    UndoFails("这 2 处编辑是在数据表 paper 关闭或重新打开之前做的，不能再撤销。");
    UndoFails("没有可以撤销的编辑。");
    EXPECT_EQ(Stored("score", "202601001"), "10");
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(GridEditsTest, UndoRefusesWhileTheViewShowsAnotherTableAndKeepsTheEdit) {
    ASSERT_TRUE(edits.post(ws, 2, ws.view.fieldIndex("score"), 30.0));
    ws.connection.execute("CREATE TABLE other (a TEXT)");
    ws.connection.execute("INSERT INTO other VALUES ('x')");
    (void)core::CustomSql(ws, ui, "SELECT * FROM other", true);
    UndoFails("表格现在显示的不是数据表 paper，不能撤销对它的编辑。"
              "请用“文件 - 取消排序(读卡顺序)”回到整张表后再撤销。");
    EXPECT_TRUE(edits.canUndo());
    core::ReadingOrder(ws);
    (void)edits.undoLast(ws);
    EXPECT_EQ(Stored("score", "202601003"), "");
}

TEST_F(GridEditsTest, UndoRefusesWhenTheRowIsFilteredOut) {
    ASSERT_TRUE(edits.post(ws, RowOf("202601006"), ws.view.fieldIndex("score"), 9.0));
    (void)core::CustomSql(ws, ui, "SELECT * FROM paper WHERE BH < '202601004'", true);
    UndoFails("表格现在没有显示考号 202601006 的记录的 SCORE，不能撤销。"
              "请用“文件 - 取消排序(读卡顺序)”回到整张表后再撤销。");
    EXPECT_TRUE(edits.canUndo());
}

TEST_F(GridEditsTest, UndoRefusesACellChangedSinceAndDropsOnlyThatEdit) {
    const int score = ws.view.fieldIndex("score");
    ASSERT_TRUE(edits.post(ws, 0, score, 1.0));
    ASSERT_TRUE(edits.post(ws, 1, score, 2.0));
    ws.connection.execute("UPDATE paper SET score = 42 WHERE BH = '202601002'"); // a scoring run
    ws.view.refresh();
    UndoFails("考号 202601002 的记录的 SCORE 已不是编辑后的“2”（现在是“42”），这处编辑不再撤销。");
    EXPECT_EQ(Stored("score", "202601002"), "42");
    (void)edits.undoLast(ws);
    EXPECT_EQ(Stored("score", "202601001"), "");
}

TEST_F(GridEditsTest, AnEditThatCannotBeLoggedIsNotPosted) {
    std::filesystem::create_directory(home / "编辑记录.log"); // a folder where the log should go
    const int score = ws.view.fieldIndex("score");
    EXPECT_ANY_THROW((void)edits.post(ws, 0, score, 5.0));
    EXPECT_EQ(Stored("score", "202601001"), "");
    EXPECT_EQ(db::Query::ToText(ws.view.valueAt(0, score)), "");
    EXPECT_FALSE(edits.canUndo());
}

// A log that opens but takes no line (a full disk: /dev/full): the edit is
// committed before its line is written, so it stays made and can be
// undone, and the error says that it is not logged.
TEST_F(GridEditsTest, AnEditWhoseLineCannotBeWrittenIsMadeAndSaidSo) {
    std::filesystem::create_symlink("/dev/full", home / "编辑记录.log");
    const int score = ws.view.fieldIndex("score");
    try {
        (void)edits.post(ws, 0, score, 5.0);
        ADD_FAILURE() << "the full disk went unsaid";
    } catch (const core::AppError& e) {
        EXPECT_NE(std::string(e.what()).find("已改为“5”，但没有记入 编辑记录.log"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Stored("score", "202601001"), "5");
    EXPECT_TRUE(edits.canUndo());
    EXPECT_THROW((void)edits.undoLast(ws), core::AppError);
    EXPECT_EQ(Stored("score", "202601001"), "") << "undone, only not logged";
    EXPECT_FALSE(edits.canUndo());
}

} // namespace
