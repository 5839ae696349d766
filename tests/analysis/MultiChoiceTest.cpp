// Multiple-choice questions, left-out questions, bands through a whole
// analysis, and input that does not fit the run.
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace analysis;
using testsupport::MemorySheets;

constexpr double Tight = 1e-12;

// One single-choice question (key A, 1 point) and one multiple-choice
// question (key AC, full 4, partial 2).
scoring::ExamRun MixedRun() {
    scoring::ExamRun run;
    run.table = "mixed";
    run.settings.counts = {1};
    run.settings.points = {"1"};
    run.settings.singleKey = "A";
    run.settings.multiCount = 1;
    run.settings.full = "4";
    run.settings.partial = "2";
    run.settings.multiKey = "AC";
    return scoring::AcceptedRun(run);
}

TEST(MultiChoice, CreditLettersAndTheShortContent) {
    MemorySheets sheets;
    sheets.add("15", {1.0f, 4.0f});         // AC: full
    sheets.add("11", {1.0f, 2.0f});         // A: partial
    sheets.add("23", {0.0f, 0.0f});         // AB: none
    sheets.add("20", {0.0f, std::nullopt}); // blank, NULL points
    // The content stops at the single-choice part: 0 on the multiple choice
    // whatever its column still holds from an earlier run.
    sheets.add("1", {1.0f, 4.0f});
    const ExamAnalysis a = Analyze(MixedRun(), sheets);
    ASSERT_EQ(a.items.size(), 2u);
    const ItemFigures& m = a.items[1];
    EXPECT_EQ(m.type, QuestionType::Multi);
    EXPECT_EQ(m.position, 2);
    EXPECT_EQ(m.key, "AC");
    EXPECT_DOUBLE_EQ(m.max, 4);
    EXPECT_NEAR(m.mean, 6.0 / 5, Tight);
    EXPECT_NEAR(m.p, 0.3, Tight);
    ASSERT_TRUE(m.multi);
    EXPECT_FALSE(m.single);
    EXPECT_EQ(m.multi->full, 1);
    EXPECT_EQ(m.multi->partial, 1);
    EXPECT_EQ(m.multi->none, 3);
    EXPECT_NEAR(m.multi->letters[0].share, 3.0 / 5, Tight); // A in 5, 1, 3
    EXPECT_NEAR(m.multi->letters[1].share, 1.0 / 5, Tight);
    EXPECT_NEAR(m.multi->letters[2].share, 1.0 / 5, Tight);
    EXPECT_DOUBLE_EQ(m.multi->letters[3].share, 0);
    // Totals 5 3 0 0 1: n = 1; upper = the 5 (AC), lower = the last 0 (blank).
    EXPECT_EQ(a.groupSize, 1);
    EXPECT_DOUBLE_EQ(*m.multi->letters[2].upper, 1);
    EXPECT_DOUBLE_EQ(*m.multi->letters[0].lower, 0);
    EXPECT_DOUBLE_EQ(a.full, 5);
    EXPECT_DOUBLE_EQ(a.mean, 9.0 / 5);
    EXPECT_DOUBLE_EQ(a.median, 1);
    EXPECT_NEAR(*m.d, 1, Tight);
}

TEST(MultiChoice, LeftOutQuestionsAreInNoFigure) {
    scoring::ExamRun run;
    run.table = "t";
    run.settings.counts = {2, 1};
    run.settings.points = {"1", "0"};
    run.settings.singleKey = "xAB";
    run.settings.multiCount = 2;
    run.settings.full = "2";
    run.settings.multiKey = "z;Z";
    MemorySheets sheets;
    // Columns of left-out questions hold anything: they are not read.
    sheets.add("11201", {99.0f, 1.0f, 5.0f, 7.0f, 0.0f});
    sheets.add("12101", {99.0f, 0.0f, 5.0f, 7.0f, 0.0f});
    const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets);
    ASSERT_EQ(a.items.size(), 2u);
    EXPECT_EQ(a.items[0].position, 2);
    EXPECT_EQ(a.items[1].key, "Z");
    EXPECT_EQ(a.items[1].number, 2);
    EXPECT_DOUBLE_EQ(a.full, 3);
    EXPECT_DOUBLE_EQ(a.max, 1);
    ASSERT_EQ(a.leftOut.size(), 3u);
    EXPECT_EQ(a.leftOut[0].reason, LeftOut::KeyX);
    EXPECT_EQ(a.leftOut[1].reason, LeftOut::ZeroPoints);
    EXPECT_EQ(a.leftOut[2].reason, LeftOut::KeyZ);
    EXPECT_EQ(a.leftOut[2].type, QuestionType::Multi);
}

TEST(MultiChoice, EveryQuestionLeftOutLeavesOnlyTheCounts) {
    scoring::ExamRun run;
    run.table = "t";
    run.settings.counts = {2};
    run.settings.points = {"1"};
    run.settings.singleKey = "xz";
    MemorySheets sheets;
    sheets.add("12", {1.0f, 1.0f});
    sheets.add("21", {0.0f, 0.0f});
    const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets);
    EXPECT_EQ(a.sheets, 2);
    EXPECT_TRUE(a.items.empty());
    EXPECT_EQ(a.leftOut.size(), 2u);
    EXPECT_DOUBLE_EQ(a.full, 0);
    EXPECT_DOUBLE_EQ(a.max, 0) << "the columns of left-out questions are not read";
    EXPECT_FALSE(a.alpha);
    ASSERT_EQ(a.bands.size(), 1u);
    EXPECT_EQ(a.bands[0].count, 2);
}

TEST(Bands, CountsSharesAndCumulativeCounts) {
    scoring::ExamRun run;
    run.table = "b";
    run.settings.counts = {10};
    run.settings.points = {"10"};
    run.settings.singleKey = "AAAAA;AAAAA";
    MemorySheets sheets;
    auto add = [&](std::vector<float> points) {
        points.resize(10, 0.0f);
        sheets.add(std::string(10, '1'), {points.begin(), points.end()});
    };
    add({10, 9.999999f});                            // 9.5e-7 below 20: [20, 30)
    add({10, 9.999998f});                            // 1.9e-6 below: [10, 20)
    add({});                                         // 0
    add(std::vector<float>(10, 10.0f));              // a total of 100 falls in the last band
    add({10, 10, 10, 10, 10, 10, 10, 10, 10});       // a total of 90 falls in the last band too
    add({10, 10, 10, 10, 10, 10, 10, 10, 9.99999f}); // 89.99999: [80, 90)
    const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets);
    ASSERT_EQ(a.bands.size(), 10u);
    std::vector<std::int64_t> counts, cumulative;
    for (const Band& b : a.bands) {
        counts.push_back(b.count);
        cumulative.push_back(b.cumulative);
    }
    EXPECT_EQ(counts, (std::vector<std::int64_t>{1, 1, 1, 0, 0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(cumulative, (std::vector<std::int64_t>{6, 5, 4, 3, 3, 3, 3, 3, 3, 2}));
    EXPECT_DOUBLE_EQ(a.bands[9].share, 2.0 / 6);
    EXPECT_DOUBLE_EQ(a.bands[9].from, 90);
    EXPECT_DOUBLE_EQ(a.bands[9].to, 100);
    EXPECT_DOUBLE_EQ(a.bands[0].to, 10);
    EXPECT_DOUBLE_EQ(a.max, 100);
}

TEST(BadInput, AContentShorterThanTheRunNamesTheSheet) {
    MemorySheets sheets;
    sheets.add("15", {1.0f, 4.0f});
    sheets.add({std::string("20260107"), "", {0.0f, 0.0f}});
    try {
        (void)Analyze(MixedRun(), sheets);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("考号 20260107"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("只有 0 个字符"), std::string::npos) << e.what();
    }
}

TEST(BadInput, TooFewScoreColumnsOrPointsNoRunWrites) {
    MemorySheets few;
    few.add("15", {1.0f});
    EXPECT_THROW((void)Analyze(MixedRun(), few), Error);
    MemorySheets nan;
    nan.add("15", {std::numeric_limits<float>::quiet_NaN(), 4.0f});
    EXPECT_THROW((void)Analyze(MixedRun(), nan), Error);
    MemorySheets huge;
    huge.add("15", {1e30f, 4.0f});
    EXPECT_THROW((void)Analyze(MixedRun(), huge), Error);
}

TEST(BadInput, NoSheetsIsAnError) {
    MemorySheets none;
    EXPECT_THROW((void)Analyze(MixedRun(), none), Error);
}

TEST(BadInput, BadOptionsAreRejected) {
    MemorySheets sheets;
    sheets.add("15", {1.0f, 4.0f});
    EXPECT_THROW((void)Analyze(MixedRun(), sheets, {0, 10}), std::invalid_argument);
    EXPECT_EQ(sheets.passes(), 0);
}

// A source whose second walk differs from its first.
class ChangingSheets : public MemorySheets {
  public:
    void forEach(const std::function<void(const Sheet&)>& visit) override {
        MemorySheets::forEach(visit);
        sheets()[0].points[0] = 0.0f;
    }
};

TEST(BadInput, SheetsThatChangeBetweenTheWalksAreAnError) {
    ChangingSheets sheets;
    sheets.add("15", {1.0f, 4.0f});
    sheets.add("25", {0.0f, 4.0f});
    EXPECT_THROW((void)Analyze(MixedRun(), sheets), Error);
}

} // namespace
