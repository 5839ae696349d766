// The questions a run makes, the options, the score bands and the group cut.
#include "analysis/Analysis.h"
#include "analysis/Bands.h"
#include "analysis/Ranking.h"

#include <gtest/gtest.h>

namespace {

using namespace analysis;

TEST(Plan, SplitsTheKeysAsTheRunDoes) {
    scoring::ExamRun run;
    run.settings.counts = {5, 6};
    run.settings.points = {"1", "2.5"};
    run.settings.singleKey = " BBDAC;BB,ADC x";
    run.settings.multiCount = 3;
    run.settings.full = "4";
    run.settings.multiKey = "AC;x;ABD ";
    const scoring::ExamRun plan = scoring::AcceptedRun(run);
    EXPECT_EQ(plan.singleCount, 11);
    EXPECT_EQ(plan.multiCount, 3);
    EXPECT_EQ(plan.columnCount(), 14);
    ASSERT_EQ(plan.questions.size(), 14u);
    EXPECT_EQ(plan.questions[5].key, "B");
    EXPECT_FLOAT_EQ(plan.questions[5].points, 2.5f);
    EXPECT_EQ(plan.questions[10].key, "x");
    EXPECT_EQ(plan.questions[10].leftOut, LeftOut::KeyX);
    const scoring::RunQuestion& m = plan.questions[13];
    EXPECT_EQ(m.kind, QuestionType::Multi);
    EXPECT_EQ(m.number, 3);
    EXPECT_EQ(m.position, 14);
    EXPECT_EQ(m.key, "ABD");
    EXPECT_FLOAT_EQ(m.points, 4);
    EXPECT_EQ(plan.questions[12].leftOut, LeftOut::KeyX);
}

TEST(Plan, KeysOfTheWrongLengthAreAnError) {
    scoring::ExamRun run;
    run.settings.counts = {3};
    run.settings.points = {"1"};
    run.settings.singleKey = "AB";
    EXPECT_THROW((void)scoring::AcceptedRun(run), Error);
    run.settings.singleKey = "ABC";
    run.settings.multiCount = 2;
    run.settings.multiKey = "A;B;C";
    EXPECT_THROW((void)scoring::AcceptedRun(run), Error);
    run.settings.multiKey = "";
    EXPECT_EQ(scoring::AcceptedRun(run).multiCount, 0) << "an empty key scored no multiple choice";
}

TEST(Plan, LeftOutQuestions) {
    scoring::ExamRun run;
    run.settings.counts = {2, 1};
    run.settings.points = {"1", "0"};
    run.settings.singleKey = "zAB";
    run.settings.multiCount = 4;
    run.settings.full = "2";
    run.settings.multiKey = "x;Z;AZ;z";
    const scoring::ExamRun plan = scoring::AcceptedRun(run);
    std::vector<LeftOut> reasons;
    for (const scoring::RunQuestion& q : plan.questions)
        reasons.push_back(q.leftOut);
    EXPECT_EQ(reasons,
              (std::vector<LeftOut>{LeftOut::KeyZ, LeftOut::No, LeftOut::ZeroPoints, LeftOut::KeyX,
                                    LeftOut::No, LeftOut::No, LeftOut::KeyZ}));
}

TEST(Options, Checked) {
    EXPECT_FALSE(CheckOptions({}));
    EXPECT_FALSE(CheckOptions({50, 0.5}));
    EXPECT_TRUE(CheckOptions({0, 10}));
    EXPECT_TRUE(CheckOptions({50.5, 10}));
    EXPECT_TRUE(CheckOptions({27, 0}));
    EXPECT_TRUE(CheckOptions({27, -1}));
    EXPECT_TRUE(CheckOptions({27, std::nan("")}));
}

TEST(Bands, LastBandReachesTheFullMarks) {
    const BandLayout hundred(100, 10);
    EXPECT_EQ(hundred.count(), 10);
    EXPECT_DOUBLE_EQ(hundred.from(9), 90);
    EXPECT_DOUBLE_EQ(hundred.to(9), 100);
    EXPECT_EQ(hundred.indexOf(100), 9) << "full marks in [90, 100]";
    EXPECT_EQ(hundred.indexOf(90), 9);
    EXPECT_EQ(hundred.indexOf(89.99999237060546875), 8) << "7.6e-6 below 90";
    const BandLayout ninetyFive(95, 10);
    EXPECT_EQ(ninetyFive.count(), 10);
    EXPECT_DOUBLE_EQ(ninetyFive.to(9), 95);
    EXPECT_DOUBLE_EQ(ninetyFive.to(8), 90);
    EXPECT_EQ(BandLayout(100.5, 10).count(), 11);
    EXPECT_EQ(BandLayout(0, 10).count(), 1);
}

TEST(Bands, AMillionthBelowABoundBelongsToIt) {
    const BandLayout bands(100, 10);
    // 10 + 9.999999f: 9.5e-7 short of 20. 10 + 9.999998f: 1.9e-6 short.
    EXPECT_EQ(bands.indexOf(10.0 + 9.999999f), 2);
    EXPECT_EQ(bands.indexOf(10.0 + 9.999998f), 1);
    EXPECT_EQ(bands.indexOf(20 - 0.0000009), 2);
    EXPECT_EQ(bands.indexOf(20 - 0.0000011), 1);
    EXPECT_EQ(bands.indexOf(0), 0);
    EXPECT_EQ(bands.indexOf(9.9999995), 1);
    EXPECT_EQ(bands.indexOf(-3), 0) << "below 0: the first band";
    EXPECT_EQ(bands.indexOf(130), 9) << "above full: the last band";
    const BandLayout fine(7, 0.7);
    EXPECT_EQ(fine.indexOf(7 * static_cast<double>(0.7f)), 7)
        << "seven 0.7f fall 8e-8 short of 4.9";
}

TEST(Bands, TooManyBandsAreAnError) {
    EXPECT_THROW(BandLayout(1000, 0.000001), Error);
}

TEST(Ranking, GroupSize) {
    EXPECT_EQ(GroupSize(1, 27), 0);
    EXPECT_EQ(GroupSize(2, 27), 1);
    EXPECT_EQ(GroupSize(3, 27), 1);
    EXPECT_EQ(GroupSize(100, 27), 27);
    EXPECT_EQ(GroupSize(100, 27.5), 28);
    EXPECT_EQ(GroupSize(7, 50), 3) << "at most floor(N / 2)";
    EXPECT_EQ(GroupSize(0, 27), 0);
}

TEST(Ranking, CutAndWalkMatchASortedOrder) {
    // Totals in walk order; the groups of a full sort (T descending, walk
    // order ascending) are the reference.
    const std::vector<Fixed> walk = {3, 5, 3, 1, 5, 3, 1, 3, 1, 2, 3, 1};
    for (std::int64_t n = 1; n <= 6; ++n) {
        std::vector<std::size_t> order(walk.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return walk[a] > walk[b]; });
        std::vector<Fixed> totals = walk;
        GroupWalk groups(CutGroups(totals, n));
        for (std::size_t i = 0; i < walk.size(); ++i) {
            const auto place = groups.next(walk[i]);
            const auto rank =
                static_cast<std::int64_t>(std::find(order.begin(), order.end(), i) - order.begin());
            EXPECT_EQ(place.upper, rank < n) << "n " << n << " sheet " << i;
            EXPECT_EQ(place.lower, rank >= static_cast<std::int64_t>(walk.size()) - n)
                << "n " << n << " sheet " << i;
        }
    }
}

TEST(Ranking, Median) {
    std::vector<Fixed> odd = {ToFixed(3), ToFixed(1), ToFixed(2)};
    EXPECT_DOUBLE_EQ(MedianTotal(odd), 2);
    std::vector<Fixed> even = {ToFixed(4), ToFixed(1), ToFixed(2), ToFixed(7)};
    EXPECT_DOUBLE_EQ(MedianTotal(even), 3);
    std::vector<Fixed> one = {ToFixed(0.5)};
    EXPECT_DOUBLE_EQ(MedianTotal(one), 0.5);
}

TEST(Fixed, OrderOfAddingDoesNotMatter) {
    // In doubles 0.1f + 0.7f + 0.2f and 0.2f + 0.1f + 0.7f may differ; in
    // fixed point they do not.
    const Fixed a = ToFixed(0.1f) + ToFixed(0.7f) + ToFixed(0.2f);
    const Fixed b = ToFixed(0.2f) + ToFixed(0.1f) + ToFixed(0.7f);
    EXPECT_EQ(a, b);
    EXPECT_DOUBLE_EQ(FromFixed(ToFixed(6.9999999f)), static_cast<double>(6.9999999f));
    EXPECT_NE(ToFixed(6.9999995f), ToFixed(7.0f));
}

} // namespace
