// The one reader of scored sheets: every walk gives the sheets a plain SQL
// query gives, in its order, on a table whose records are out of
// exam-number order and hold NULLs, texts and numbers side by side.
#include "scoring/ScoredSheets.h"
#include "core/Workspace.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>

namespace {

// A stored value as the test compares it: its kind and its text.
std::string Shown(const db::Value* v) {
    if (!v || db::IsNull(*v))
        return "NULL";
    return std::string(std::holds_alternative<std::string>(*v) ? "t:" : "n:") +
           db::Query::ToText(*v);
}

// A point as a 32-bit float's bits, so that NaN compares too.
std::string Shown(const std::optional<float>& p) {
    return p ? std::to_string(std::bit_cast<std::uint32_t>(*p)) : "NULL";
}

// Everything a sheet carries, as one line.
std::string Line(const scoring::Sheet& s) {
    std::string line =
        std::to_string(s.record) + "|" + (s.examNumber ? std::string(*s.examNumber) : "NULL") +
        "|" + Shown(s.storedExamNumber) + "|" + std::string(s.content) + "|" + Shown(s.score) +
        "|" + Shown(s.rosterClass) + "|" + std::string(s.rosterName) + "|";
    for (const auto& p : s.points)
        line += Shown(p) + ",";
    for (const db::Value& v : s.values)
        line += Shown(&v) + ",";
    return line;
}

enum class Walk { ExamOrder, AnyOrder, Chosen, BeforeWriting, OfRowids };

class ScoredSheetsTest : public ::testing::TestWithParam<Walk> {
  protected:
    void SetUp() override {
        ws.startUp();
        ws.connect();
        Execute("CREATE TABLE exam (BH, CONTENT, SCORE, F1, f2, f3)");
        Execute("CREATE TABLE ids (ID, StudClass, StudName)");
        std::mt19937 random(11);
        const char* const numbers[] = {"NULL", "'310101002'",  "310101002", "'A1'", "9.5",
                                       "''",   "'3101010020'", "-4",        "'B'",  "310101001"};
        const char* const points[] = {"NULL", "1", "2.5", "0", "'x'", "0.1"};
        db::Transaction tx(ws.connection);
        for (int i = 0; i < 300; ++i) {
            auto pick = [&random](const auto& from) {
                return std::string(from[random() % std::size(from)]);
            };
            Execute("INSERT INTO exam VALUES (" + pick(numbers) + ", " +
                    (random() % 7 == 0 ? "NULL" : "'" + std::to_string(random() % 100000) + "'") +
                    ", " + pick(points) + ", " + pick(points) + ", " + pick(points) + ", " +
                    pick(points) + ")");
        }
        Execute("DELETE FROM exam WHERE rowid % 17 = 0"); // gaps in the rowids
        Execute("INSERT INTO ids VALUES ('310101002', 3, '张三'), (310101001, NULL, '李四'), "
                "('A1', '07', NULL)");
        tx.commit();
    }

    void Execute(const std::string& sql) { ws.connection.prepare(sql).step(); }

    // The sheets a plain query gives, in its order: the table joined with
    // its roster, the column list as the reader reads it.
    std::vector<std::string> Expected(const std::string& where, const std::string& order) {
        db::Statement st = ws.connection.prepare(
            "SELECT e.rowid, e.BH, e.CONTENT, e.SCORE, r.StudClass, r.StudName, e.F1, e.f2, e.f3, "
            "e.SCORE FROM exam AS e LEFT JOIN ids AS r ON e.BH = r.ID" +
            where + " ORDER BY " + order);
        std::vector<std::string> lines;
        while (st.step()) {
            const db::Value exam = st.column(1), score = st.column(3), cls = st.column(4);
            std::string line = std::to_string(st.columnInt(0)) + "|" +
                               (db::IsNull(exam) ? "NULL" : db::Query::ToText(exam)) + "|" +
                               Shown(&exam) + "|" + db::Query::ToText(st.column(2)) + "|" +
                               Shown(&score) + "|" + Shown(&cls) + "|" +
                               db::Query::ToText(st.column(5)) + "|";
            for (int k = 6; k <= 8; ++k) {
                const db::Value p = st.column(k);
                std::optional<float> point;
                if (std::holds_alternative<std::string>(p))
                    point = std::nanf(""); // no number: the NaN the reader gives
                else if (!db::IsNull(p))
                    point = static_cast<float>(db::Query::ToFloat(p));
                line += Shown(point) + ",";
            }
            lines.push_back(line + Shown(&score) + ",");
        }
        return lines;
    }

    scoring::SheetColumns Columns() const {
        scoring::SheetColumns c;
        c.table = "exam";
        c.examNumber = "BH";
        c.content = "CONTENT";
        c.score = "SCORE";
        c.points = {"F1", "f2", "f3"};
        c.values = {"SCORE"};
        c.rosterClass = c.rosterName = true;
        return c;
    }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
};

TEST_P(ScoredSheetsTest, GivesTheSheetsAPlainQueryGives) {
    scoring::TableSheets sheets(ws.connection, Columns());
    std::vector<std::string> seen;
    auto keep = [&seen](const scoring::Sheet& s) { seen.push_back(Line(s)); };
    std::vector<std::string> expected;
    switch (GetParam()) {
    case Walk::ExamOrder:
        sheets.forEach(keep);
        expected = Expected("", "e.BH, e.rowid");
        break;
    case Walk::AnyOrder:
        sheets.forEachInAnyOrder(keep);
        expected = Expected("", "e.rowid");
        break;
    case Walk::Chosen:
        sheets.forEachRecord({250, 3, 40, 41, 99}, keep);
        expected = Expected(" WHERE e.rowid IN (250, 3, 40, 41, 99)", "e.BH, e.rowid");
        break;
    case Walk::BeforeWriting: {
        std::vector<std::int64_t> told;
        sheets.forEachBeforeWriting(keep, [&told](std::int64_t done) { told.push_back(done); });
        expected = Expected("", "e.rowid");
        EXPECT_EQ(told, std::vector<std::int64_t>{static_cast<std::int64_t>(expected.size())});
        break;
    }
    case Walk::OfRowids: {
        // More rowids than one batch, out of order, one of them deleted.
        std::vector<std::int64_t> rowids;
        for (std::int64_t r = 300; r > 0; r -= 1)
            if (r % 17 != 0 || r == 34)
                rowids.push_back(r);
        std::rotate(rowids.begin(), rowids.begin() + 100, rowids.end());
        std::size_t fed = 0;
        sheets.forEachOfBeforeWriting(
            [&](std::span<std::int64_t> next) {
                std::size_t n = 0;
                for (; n < next.size() && fed < rowids.size() && n < 100; ++n)
                    next[n] = rowids[fed++]; // batches fed short too
                return n;
            },
            keep);
        for (std::int64_t r : rowids)
            expected.push_back(
                r == 34 ? "34|NULL|NULL||NULL|NULL||NULL,NULL,NULL,NULL,"
                        : Expected(" WHERE e.rowid = " + std::to_string(r), "e.rowid").at(0));
        break;
    }
    }
    EXPECT_EQ(sheets.sizeHint(), 283);
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Walks, ScoredSheetsTest,
                         ::testing::Values(Walk::ExamOrder, Walk::AnyOrder, Walk::Chosen,
                                           Walk::BeforeWriting, Walk::OfRowids));

} // namespace
