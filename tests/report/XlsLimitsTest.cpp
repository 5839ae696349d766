// The .xls writer at the edges of its format: the row limit, text records
// longer than a record holds, whole numbers beyond an RK cell.
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "report/ExportExcel.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

using testsupport::TempHome;

// One cell record of an .xls as the bytes give it.
struct Record {
    unsigned id = 0;
    unsigned length = 0;
    unsigned row = 0;
    unsigned col = 0;
    std::string data; // after row, column and format
};

unsigned U16(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

// The cell records between the beginning and the end record; fails the test
// when a record runs past the file or the end record is missing.
std::vector<Record> CellRecords(const std::string& b) {
    std::vector<Record> out;
    std::size_t at = 12; // after the beginning-of-file record
    while (at + 4 <= b.size()) {
        Record r;
        r.id = U16(b, at);
        r.length = U16(b, at + 2);
        if (r.id == 0x000A) {
            EXPECT_EQ(at + 4, b.size()) << "the end record is the last";
            return out;
        }
        EXPECT_LE(at + 4 + r.length, b.size()) << "record at " << at << " runs past the file";
        if (at + 4 + r.length > b.size())
            return out;
        r.row = U16(b, at + 4);
        r.col = U16(b, at + 6);
        r.data = b.substr(at + 10, r.length - 6);
        out.push_back(r);
        at += 4 + r.length;
    }
    ADD_FAILURE() << "no end record";
    return out;
}

class XlsLimitsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        c.execute("CREATE TABLE t (n integer, s text)");
    }

    // Rows n = 0, 1, ... in one statement of SQLite's own.
    void Insert(int rows) {
        const std::string sql =
            "WITH RECURSIVE k(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM k WHERE n + 1 < " +
            std::to_string(rows) + ") INSERT INTO t SELECT n, 'r' FROM k";
        db::Statement insert = c.prepare(sql);
        while (insert.step()) {
        }
    }

    std::string Save(const std::string& sql, long long limit = report::TDS2Excel::kRowLimit) {
        db::Query q(c);
        q.setSql(sql);
        q.open();
        report::TDS2Excel(q, limit).SaveToFile(home / "t.xls", true);
        return testsupport::ReadBytes(home / "t.xls");
    }

    TempHome home;
    db::Connection c;
};

TEST_F(XlsLimitsTest, TheLastRowThatFitsIsRow65535AndNothingWraps) {
    Insert(65535); // with the field-name row: 65,536 rows, every row number there is
    const auto records = CellRecords(Save("select n from t"));
    ASSERT_EQ(records.size(), 65536u);
    for (std::size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(records[i].row, i) << "row numbers climb one by one";
    EXPECT_EQ(records.back().row, 0xFFFFu);
    std::uint32_t rk;
    std::memcpy(&rk, records.back().data.data(), 4);
    EXPECT_EQ(static_cast<std::int32_t>(rk) >> 2, 65534) << "the last record holds the last row";
}

TEST_F(XlsLimitsTest, OneRowMoreIsRefusedBeforeAnythingIsWritten) {
    Insert(65536);
    db::Query q(c);
    q.setSql("select n from t");
    q.open();
    try {
        report::TDS2Excel(q).SaveToFile(home / "t.xls", true);
        FAIL() << "65,537 rows were written";
    } catch (const report::TooManyRows& e) {
        EXPECT_EQ(e.rows(), 65537);
        EXPECT_EQ(e.limit(), 65536);
        const std::string text = e.what();
        EXPECT_NE(text.find("65537"), std::string::npos) << text;
        EXPECT_NE(text.find("65536"), std::string::npos) << text;
        EXPECT_NE(text.find((home / "t.xls").string()), std::string::npos) << text;
    }
    EXPECT_FALSE(std::filesystem::exists(home / "t.xls"));
    // Without the field-name row the same rows fit.
    report::TDS2Excel(q).SaveToFile(home / "t.xls", false);
    EXPECT_EQ(CellRecords(testsupport::ReadBytes(home / "t.xls")).size(), 65536u);
}

TEST_F(XlsLimitsTest, TheLimitIsAParameterAndTheStreamStaysEmpty) {
    Insert(3);
    EXPECT_EQ(CellRecords(Save("select n from t", 4)).size(), 4u)
        << "three rows and the names fit four";
    c.execute("INSERT INTO t VALUES (3, 'r')");
    db::Query q(c);
    q.setSql("select n from t");
    q.open();
    report::TDS2Excel writer(q, 4);
    EXPECT_FALSE(writer.Fits(true));
    EXPECT_TRUE(writer.Fits(false));
    EXPECT_THROW(writer.SaveToFile(home / "t.xls", true), report::TooManyRows);
    // The beginning, the name "n", three RK cells, the end.
    EXPECT_EQ(testsupport::ReadBytes(home / "t.xls").size(), 12u + 13 + 3 * 14 + 4)
        << "a refusal leaves the earlier file as it was";
    std::ostringstream out;
    report::TDS2Excel refusing(q, 3);
    EXPECT_THROW(refusing.WriteToStream(out), report::TooManyRows);
    EXPECT_TRUE(out.str().empty());
}

TEST_F(XlsLimitsTest, LongTextIsCutAtACharacterBoundaryWithMatchingLengths) {
    std::string chinese;
    for (int i = 0; i < 40000; ++i)
        chinese += "中";
    c.execute("INSERT INTO t VALUES (1, 'ab" + chinese + "')");
    c.execute("INSERT INTO t VALUES (2, '" + std::string(report::kXlsTextLimit, 'x') + "')");
    c.execute("INSERT INTO t VALUES (3, '" + std::string(report::kXlsTextLimit + 1, 'y') + "')");
    const auto records = CellRecords(Save("select s from t"));
    ASSERT_EQ(records.size(), 4u);
    // "ab" and 32,762 two-byte characters: 65,526 bytes; one more would pass 65,527.
    const Record& cut = records[1];
    EXPECT_EQ(cut.length, 8u + 65526);
    EXPECT_EQ(U16(cut.data, 0), 65526u);
    EXPECT_EQ(cut.data.size(), 2u + 65526);
    EXPECT_EQ(cut.data.substr(2, 4), "ab\xD6\xD0");
    EXPECT_EQ(cut.data.substr(cut.data.size() - 2), "\xD6\xD0") << "no half character at the end";
    EXPECT_EQ(text::FromGbk(cut.data.substr(2)).find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(U16(records[2].data, 0), report::kXlsTextLimit) << "a text that fits is kept whole";
    EXPECT_EQ(records[2].length, 0xFFFFu);
    EXPECT_EQ(U16(records[3].data, 0), report::kXlsTextLimit);
    EXPECT_EQ(records[3].row, 3u) << "the record after a cut one is read in its place";
}

TEST_F(XlsLimitsTest, WholeNumbersBeyondThirtyBitsBecomeNumberCells) {
    c.execute("CREATE TABLE big (v integer)");
    const std::vector<std::int64_t> values = {536870911,  536870912,       -536870912,
                                              -536870913, 1000000000000LL, 202633535};
    for (auto v : values)
        c.execute("INSERT INTO big VALUES (" + std::to_string(v) + ")");
    const auto records = CellRecords(Save("select v from big"));
    ASSERT_EQ(records.size(), 1 + values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Record& r = records[i + 1];
        const bool fits = values[i] >= -536870912 && values[i] <= 536870911;
        if (fits) {
            ASSERT_EQ(r.id, 0x027Eu) << values[i];
            std::uint32_t rk;
            std::memcpy(&rk, r.data.data(), 4);
            EXPECT_EQ(rk & 3, 2u);
            EXPECT_EQ(static_cast<std::int32_t>(rk) >> 2, values[i]);
        } else {
            ASSERT_EQ(r.id, 0x0203u) << values[i];
            double d;
            std::memcpy(&d, r.data.data(), 8);
            EXPECT_EQ(d, static_cast<double>(values[i]));
        }
    }
}

} // namespace
