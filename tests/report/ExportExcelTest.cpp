#include "report/ExportExcel.h"
#include "report/ReportCommand.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using testsupport::TempHome;

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

class ExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        c.execute(
            "CREATE TABLE x (s varchar(5), n integer, d DOUBLE, b BIT, m CURRENCY, k SMALLINT)");
    }

    std::string Write(const std::string& sql, bool names) {
        db::Query q(c);
        q.setSql(sql);
        q.open();
        std::ostringstream out;
        report::TDS2Excel(q).SaveToFile(home / "t.xls", names);
        return testsupport::ReadBytes(home / "t.xls");
    }

    TempHome home;
    db::Connection c;
};

const char* kBof = "09 08 08 00 00 00 10 00 00 00 00 00";
const char* kEof = "0A 00 00 00";

TEST_F(ExportTest, AnEmptyDatasetGivesTheNamesRowOnly) {
    std::string bytes = Write("select s, n from x", true);
    EXPECT_EQ(Hex(bytes), std::string(kBof) +
                              " 04 02 09 00 00 00 00 00 00 00 01 00 73"  // "s" at 0,0
                              " 04 02 09 00 00 00 01 00 00 00 01 00 6E " // "n" at 0,1
                              + kEof);
}

TEST_F(ExportTest, CellsByFieldKindInRowOrder) {
    c.execute("INSERT INTO x VALUES ('abc', 5, 1.5, 1, 2.25, -1)");
    c.execute("INSERT INTO x VALUES ('中', NULL, NULL, NULL, NULL, NULL)");
    std::string bytes = Write("select * from x", false);
    EXPECT_EQ(Hex(bytes),
              std::string(kBof) +
                  " 04 02 0B 00 00 00 00 00 00 00 03 00 61 62 63"          // "abc"
                  " 7E 02 0A 00 00 00 01 00 00 00 16 00 00 00"             // RK 5
                  " 03 02 0E 00 00 00 02 00 00 00 00 00 00 00 00 00 F8 3F" // 1.5
                  " 04 02 09 00 00 00 03 00 00 00 01 00 31"                // BIT as text
                  " 03 02 0E 00 00 00 04 00 00 00 00 00 00 00 00 00 02 40" // 2.25
                  " 7E 02 0A 00 00 00 05 00 00 00 FE FF FF FF"             // RK -1
                  " 04 02 0A 00 01 00 00 00 00 00 02 00 D6 D0"             // GBK text
                  " 01 02 06 00 01 00 01 00 17 00"                         // blank, format 23
                  " 01 02 06 00 01 00 02 00 17 00 01 02 06 00 01 00 03 00 17 00"
                  " 01 02 06 00 01 00 04 00 17 00 01 02 06 00 01 00 05 00 17 00 " +
                  kEof);
}

TEST_F(ExportTest, TextInRowOneColumnZero) {
    c.execute("INSERT INTO x (s) VALUES ('abc')");
    std::string bytes = Write("select s from x", true);
    EXPECT_NE(Hex(bytes).find("04 02 0B 00 01 00 00 00 00 00 03 00 61 62 63"), std::string::npos);
}

TEST_F(ExportTest, ReplacesTheFileAndRestoresThePosition) {
    for (int i = 0; i < 5; ++i)
        c.execute("INSERT INTO x (s, n) VALUES ('r', " + std::to_string(i) + ")");
    testsupport::WriteBytes(home / "t.xls", std::string(5000, 'x'));
    db::Query q(c);
    q.setSql("select n from x");
    q.open();
    q.moveTo(3);
    q.disableControls();
    report::TDS2Excel(q).SaveToFile(home / "t.xls", false);
    EXPECT_EQ(q.asInteger("n"), 3);
    EXPECT_TRUE(q.controlsDisabled()) << "its own disable was undone, the caller's stays";
    q.enableControls();
    EXPECT_EQ(testsupport::ReadBytes(home / "t.xls").size(), 12u + 5 * 14 + 4);
}

TEST(ReportTexts, DataRangeAndReportQuery) {
    EXPECT_EQ(report::DataRange(100, 3), "a2:c101");
    EXPECT_EQ(report::DataRange(5, 26), "a2:z6");
    EXPECT_EQ(report::DataRange(5, 27), "a2:{6") << "past z, as the letter arithmetic gives";
    EXPECT_EQ(report::ReportQuery("SELECT * FROM 期中 WHERE CLS = 1\r\n ORDER BY BH\r\n", "BH",
                                  "content", "score"),
              "SELECT [BH], [content], [score] FROM 期中 WHERE CLS = 1\r\n ORDER BY BH\r\n");
    EXPECT_EQ(report::ReportQuery("select * from\r\nx\r\n", "BH", "content", "score"),
              "select * from\r\nx\r\n");
}

} // namespace
