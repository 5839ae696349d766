#include "platform/db/PackedReals.h"
#include "platform/db/Connection.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::TempHome;

// The packed read must give every value as reading the column alone gives
// it: numbers as 32-bit floats, NULL as nothing, anything else as NaN.
class PackedRealsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        db::RegisterPackedReals(c);
    }

    std::vector<std::optional<float>> Read(const std::string& list, std::size_t count) {
        db::Statement st = c.prepare("SELECT 7, " + list + " FROM t");
        EXPECT_TRUE(st.step());
        std::vector<std::optional<float>> out(count);
        db::ReadPackedReals(st, 1, out);
        return out;
    }

    TempHome home;
    db::Connection c;
};

TEST_F(PackedRealsTest, NumbersNullAndTextKeepWhatTheyAre) {
    c.prepare("CREATE TABLE t (a REAL, b REAL, c INTEGER, d TEXT, e REAL)").step();
    c.prepare("INSERT INTO t VALUES (1.5, NULL, 3, 'x', 0.7)").step();
    const auto v = Read(db::PackedRealsList({"a", "b", "c", "d", "e"}), 5);
    ASSERT_TRUE(v[0] && v[2] && v[3] && v[4]);
    EXPECT_EQ(*v[0], 1.5f);
    EXPECT_FALSE(v[1]);
    EXPECT_EQ(*v[2], 3.0f);
    EXPECT_TRUE(std::isnan(*v[3]));
    EXPECT_EQ(*v[4], 0.7f); // the float nearest 0.7, as a score column holds it
}

TEST_F(PackedRealsTest, MoreColumnsThanOneCallTakesSpanSeveralResultColumns) {
    const int n = db::PackedRealsMost * 2 + 5;
    std::string create = "CREATE TABLE t (", insert = "INSERT INTO t VALUES (";
    std::vector<std::string> names;
    for (int k = 1; k <= n; ++k) {
        names.push_back("f" + std::to_string(k));
        create += (k > 1 ? ", f" : "f") + std::to_string(k) + " REAL";
        insert +=
            (k > 1 ? ", " : "") + (k % 7 == 0 ? std::string("NULL") : std::to_string(k) + ".25");
    }
    c.prepare(create + ")").step();
    c.prepare(insert + ")").step();
    EXPECT_EQ(db::PackedRealsColumns(names.size()), 3);
    const auto v = Read(db::PackedRealsList(names), names.size());
    for (int k = 1; k <= n; ++k) {
        SCOPED_TRACE(k);
        if (k % 7 == 0) {
            EXPECT_FALSE(v[static_cast<std::size_t>(k - 1)]);
        } else {
            ASSERT_TRUE(v[static_cast<std::size_t>(k - 1)]);
            EXPECT_EQ(*v[static_cast<std::size_t>(k - 1)], static_cast<float>(k) + 0.25f);
        }
    }
}

TEST_F(PackedRealsTest, NoColumnsMakeAnEmptyList) {
    EXPECT_EQ(db::PackedRealsList({}), "");
    EXPECT_EQ(db::PackedRealsColumns(0), 0);
}

} // namespace
