#include "analysis/CompactSheets.h"
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using analysis::CompactSheets;
using analysis::Sheet;
using testsupport::MemorySheets;

// A sheet as a walk hands it over, kept beyond the call.
struct Seen {
    std::int64_t record = 0;
    std::string content;
    std::vector<std::optional<float>> points;
    bool operator==(const Seen& o) const {
        if (record != o.record || content != o.content || points.size() != o.points.size())
            return false;
        for (std::size_t k = 0; k < points.size(); ++k) // bit for bit, NaN included
            if (points[k].has_value() != o.points[k].has_value() ||
                (points[k] && std::memcmp(&*points[k], &*o.points[k], sizeof(float)) != 0))
                return false;
        return true;
    }
};

std::vector<Seen> Walk(analysis::SheetSource& source) {
    std::vector<Seen> seen;
    source.forEachInAnyOrder([&](const Sheet& s) {
        seen.push_back({s.record, std::string(s.content), {s.points.begin(), s.points.end()}});
    });
    return seen;
}

std::vector<Seen> Truncated(std::vector<Seen> sheets, std::size_t columns) {
    for (Seen& s : sheets) {
        s.points.resize(columns);
        for (std::size_t k = columns; k < s.content.size(); ++k)
            s.content[k] = ' ';
    }
    return sheets;
}

MemorySheets Varied() {
    MemorySheets m;
    m.add("1240", {1.0f, 0.0f, 2.0f, 0.7f});
    m.add("8", {0.0f, std::nullopt, std::nullopt, std::nullopt}); // content stops early
    m.add("12405xyz",
          {1.0f, 0.0f, 1.0f, std::numeric_limits<float>::quiet_NaN()}); // longer content
    m.add("", {std::nullopt, std::nullopt, std::nullopt, 3.0f});
    m.add("1240", {1.0f, 0.0f, 2.0f, 0.7f});
    return m;
}

TEST(CompactSheets, TheSecondWalkHandsOverWhatTheFirstPassedThrough) {
    MemorySheets inner = Varied();
    CompactSheets kept(inner, 4, 1000);
    const std::vector<Seen> first = Walk(kept);
    EXPECT_EQ(first, Walk(inner)); // the first walk passes the sheets through untouched
    const int innerWalks = inner.passes();
    const std::vector<Seen> second = Walk(kept);
    EXPECT_TRUE(kept.replayed());
    EXPECT_EQ(inner.passes(), innerWalks); // the inner source was not read again
    EXPECT_EQ(second, Truncated(first, 4));
    EXPECT_EQ(second[2].content, "1240    "); // the marks beyond the questions come back blank
    EXPECT_EQ(Walk(kept), second);
}

TEST(CompactSheets, OnlyTheFirstColumnsAreKept) {
    MemorySheets inner = Varied();
    CompactSheets kept(inner, 2, 1000);
    const std::vector<Seen> first = Walk(kept);
    EXPECT_EQ(Walk(kept), Truncated(first, 2));
}

TEST(CompactSheets, MoreThan256PairsAtAPositionReadTheInnerSourceAgain) {
    MemorySheets inner;
    for (int i = 0; i < 300; ++i)
        inner.add("1", {static_cast<float>(i)});
    CompactSheets kept(inner, 1, 1000);
    const std::vector<Seen> first = Walk(kept);
    const int innerWalks = inner.passes();
    EXPECT_EQ(Walk(kept), first);
    EXPECT_FALSE(kept.replayed());
    EXPECT_EQ(inner.passes(), innerWalks + 1);
}

TEST(CompactSheets, MoreSheetsThanAllowedReadTheInnerSourceAgain) {
    MemorySheets inner = Varied();
    CompactSheets kept(inner, 4, 4);
    const std::vector<Seen> first = Walk(kept);
    EXPECT_EQ(Walk(kept), first);
    EXPECT_FALSE(kept.replayed());
}

TEST(CompactSheets, AWalkThatEndedEarlyIsNotReplayed) {
    MemorySheets inner = Varied();
    CompactSheets kept(inner, 4, 1000);
    int visited = 0;
    EXPECT_THROW(kept.forEachInAnyOrder([&](const Sheet&) {
        if (++visited == 2)
            throw std::runtime_error("stop");
    }),
                 std::runtime_error);
    EXPECT_EQ(Walk(kept).size(), 5u);
    EXPECT_FALSE(kept.replayed());
}

// Memory sheets that can walk chosen records, as the table's sheets can: the
// analysis then takes both its walks in any order.
class RecordSheets : public MemorySheets {
  public:
    [[nodiscard]] bool walksRecords() const override { return true; }
    void forEachRecord(const std::vector<std::int64_t>& records,
                       const std::function<void(const Sheet&)>& visit) override {
        forEach([&](const Sheet& s) {
            if (std::find(records.begin(), records.end(), s.record) != records.end())
                visit(s);
        });
    }
};

// The analysis over the copy gives every figure the analysis over the
// sheets themselves gives.
TEST(CompactSheets, TheAnalysisOfTheCopyIsTheAnalysisOfTheSheets) {
    scoring::ExamRun run;
    run.settings.counts = {3};
    run.settings.points = {"1"};
    run.settings.singleKey = "ABC";
    RecordSheets inner;
    const std::string chosen[] = {"ABC", "ABD", "BBC", "A C", "DDD", "ABC", "CBA", "AAC"};
    for (const std::string& c : chosen)
        testsupport::AddChosen(inner, c, "ABC", {1, 1, 1});
    const analysis::ExamAnalysis direct = analysis::Analyze(scoring::AcceptedRun(run), inner);
    CompactSheets kept(inner, 3, 1000);
    const analysis::ExamAnalysis copied = analysis::Analyze(scoring::AcceptedRun(run), kept);
    EXPECT_TRUE(kept.replayed());
    EXPECT_EQ(copied.sheets, direct.sheets);
    EXPECT_EQ(copied.mean, direct.mean);
    EXPECT_EQ(copied.sd, direct.sd);
    EXPECT_EQ(copied.alpha, direct.alpha);
    ASSERT_EQ(copied.items.size(), direct.items.size());
    for (std::size_t i = 0; i < direct.items.size(); ++i) {
        EXPECT_EQ(copied.items[i].p, direct.items[i].p);
        EXPECT_EQ(copied.items[i].d, direct.items[i].d);
        EXPECT_EQ(copied.items[i].rRest, direct.items[i].rRest);
        EXPECT_EQ(copied.items[i].flags, direct.items[i].flags);
    }
}

} // namespace
