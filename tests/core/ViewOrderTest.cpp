#include "core/ViewOrder.h"
#include "core/OpenTable.h"
#include "core/ViewCommands.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using core::SortOrder;

class ViewOrderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        testsupport::WriteAnswers(home / "paper.dbf",
                                  testsupport::Shuffled(testsupport::Sheets(5, 4)), 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "paper.dbf");
    }
    [[nodiscard]] std::string Ids() {
        std::string out;
        const int bh = ws.view.fieldIndex("BH");
        for (int r = 0; r < ws.view.recordCount(); ++r)
            out += db::Query::ToText(ws.view.valueAt(r, bh)).substr(8) + " ";
        return out;
    }
    void ExpectOrder(const std::string& column, SortOrder order) {
        const core::ViewOrder now = core::CurrentOrder(ws.view);
        EXPECT_EQ(now.column, column);
        EXPECT_EQ(now.order, order);
    }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
};

TEST_F(ViewOrderTest, OpeningOrdersByExamNumber) {
    EXPECT_EQ(Ids(), "1 2 3 4 5 ");
    ExpectOrder("BH", SortOrder::Ascending);
}

TEST_F(ViewOrderTest, SortsBothWaysAndSaysSo) {
    core::SortView(ws, "BH", SortOrder::Descending);
    EXPECT_EQ(Ids(), "5 4 3 2 1 ");
    ExpectOrder("BH", SortOrder::Descending);
    EXPECT_TRUE(ws.view.sqlText().ends_with(" order by [BH] DESC\r\n"));
    core::SortView(ws, "BH", SortOrder::Ascending);
    EXPECT_EQ(Ids(), "1 2 3 4 5 ");
    ExpectOrder("BH", SortOrder::Ascending);
}

TEST_F(ViewOrderTest, TheSortMenuStillSortsAscendingOnly) {
    core::SortView(ws, "BH", SortOrder::Descending);
    core::SortByColumn(ws, "BH");
    EXPECT_EQ(Ids(), "1 2 3 4 5 ");
    EXPECT_TRUE(ws.view.sqlText().ends_with(" order by [BH]\r\n"));
}

TEST_F(ViewOrderTest, ReadingOrderHasNoOrder) {
    core::ReadingOrder(ws);
    EXPECT_EQ(Ids(), "4 2 1 3 5 "); // as Shuffled wrote them
    ExpectOrder("", SortOrder::Ascending);
}

TEST_F(ViewOrderTest, OrdersTypedByTheUserAreReadWhenSingle) {
    (void)core::CustomSql(ws, ui, "select * from paper order by score desc", true);
    ExpectOrder("score", SortOrder::Descending);
    (void)core::CustomSql(ws, ui, "select * from paper order by [BH] asc", true);
    ExpectOrder("BH", SortOrder::Ascending);
    (void)core::CustomSql(ws, ui, "select * from paper order by flag, BH", true);
    ExpectOrder("", SortOrder::Ascending);
    (void)core::CustomSql(ws, ui, "select * from paper order by [BH] desc, flag", true);
    ExpectOrder("", SortOrder::Ascending);
}

} // namespace
