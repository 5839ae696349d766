// Ranks, figures and score bands of the results workbook, computed by hand.
#include "results/ScoreTable.h"
#include "results/Results.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using results::Bands;
using results::FiguresOf;
using results::ScoreTable;

TEST(Ranks, EqualScoresShareARankAndTheNextSkips) {
    ScoreTable t(2);
    for (double s : {70.0, 90.0, 80.0, 80.0, 60.0})
        t.add(s, 0);
    t.finish();
    EXPECT_EQ(t.gradeRank(90), 1);
    EXPECT_EQ(t.gradeRank(80), 2);
    EXPECT_EQ(t.gradeRank(70), 4) << "1, 2, 2, 4";
    EXPECT_EQ(t.gradeRank(60), 5);
    EXPECT_EQ(t.classRank(70, 0), 4);
}

TEST(Ranks, ATieAcrossTheClassBoundaryIsOneGradeRankAndFirstInEachClass) {
    ScoreTable t(2);
    t.add(88, 0);
    t.add(95, 0);
    t.add(88, 1);
    t.add(70, 1);
    t.add(99, -1); // no class: ranked in the grade only
    t.finish();
    EXPECT_EQ(t.gradeRank(99), 1);
    EXPECT_EQ(t.gradeRank(95), 2);
    EXPECT_EQ(t.gradeRank(88), 3);
    EXPECT_EQ(t.gradeRank(70), 5);
    EXPECT_EQ(t.classRank(88, 0), 2);
    EXPECT_EQ(t.classRank(88, 1), 1) << "the other class's 95 and the grade's 99 do not count";
    EXPECT_EQ(t.classRank(70, 1), 2);
    EXPECT_EQ(t.group(-1), 2);
    EXPECT_EQ(t.group(7), 2) << "a class beyond the list counts as none";
    EXPECT_EQ(t.groupScores(2).size(), 1u);
}

TEST(Ranks, ScoresWithinTheToleranceTie) {
    ScoreTable t(1);
    t.add(60.0, 0);
    t.add(59.9999995, 0); // the same score summed in single precision
    t.add(59.99999, 0);   // a different one
    t.finish();
    EXPECT_EQ(t.gradeRank(60.0), 1);
    EXPECT_EQ(t.gradeRank(59.9999995), 1);
    EXPECT_EQ(t.gradeRank(59.99999), 3);
}

TEST(Figures, ThresholdsAreReachedExactlyAndWithinTheTolerance) {
    const results::Thresholds limits{60, 85, 40};
    // Sorted highest first, as the table keeps them.
    const std::vector<double> scores = {85,       84.9999995, 84.99999,   60,      59.9999991,
                                        59.99999, 40,         39.9999995, 39.99999};
    const auto f = FiguresOf(scores, limits);
    EXPECT_EQ(f.count, 9);
    EXPECT_DOUBLE_EQ(f.passRate, 5.0 / 9)
        << "60 and 0.0000009 below it pass, 0.00001 below does not";
    EXPECT_DOUBLE_EQ(f.excellentRate, 2.0 / 9);
    EXPECT_DOUBLE_EQ(f.lowRate, 1.0 / 9) << "40 and just below it are not low";
}

TEST(Figures, MeanStandardDeviationWithDivisorNAndMedian) {
    const std::vector<double> even = {9, 8.5, 8.5, 6};
    const auto f = FiguresOf(even, {6, 8.5, 4});
    EXPECT_DOUBLE_EQ(f.mean, 8);
    EXPECT_DOUBLE_EQ(f.sd, std::sqrt(5.5 / 4));
    EXPECT_DOUBLE_EQ(f.median, 8.5);
    EXPECT_EQ(f.max, 9);
    EXPECT_EQ(f.min, 6);
    EXPECT_DOUBLE_EQ(f.passRate, 1);
    EXPECT_DOUBLE_EQ(f.excellentRate, 0.75);
    const std::vector<double> odd = {10, 7, 1};
    EXPECT_DOUBLE_EQ(FiguresOf(odd, {}).median, 7);
    const std::vector<double> two = {10, 7};
    EXPECT_DOUBLE_EQ(FiguresOf(two, {}).median, 8.5);
    EXPECT_EQ(FiguresOf({}, {}).count, 0);
}

TEST(ScoreBands, TheLastBandHoldsTheFullMarks) {
    const Bands b(10, 100);
    ASSERT_EQ(b.count(), 10);
    EXPECT_EQ(b.label(0), "[0, 10)");
    EXPECT_EQ(b.label(9), "[90, 100]");
    EXPECT_EQ(b.indexOf(100), 9);
    EXPECT_EQ(b.indexOf(90), 9);
    EXPECT_EQ(b.indexOf(89.9999995), 9) << "within 0.000001 below a bound belongs to it";
    EXPECT_EQ(b.indexOf(89.99999), 8);
    EXPECT_EQ(b.indexOf(0), 0);
    EXPECT_EQ(b.indexOf(-3), 0);
    EXPECT_EQ(b.indexOf(104), 9);
}

TEST(ScoreBands, TheLastBandIsTheFirstWhoseUpperEndReachesTheFullMarks) {
    const Bands odd(10, 95);
    ASSERT_EQ(odd.count(), 10);
    EXPECT_EQ(odd.label(9), "[90, 95]");
    const Bands wide(30, 100);
    ASSERT_EQ(wide.count(), 4);
    EXPECT_EQ(wide.label(3), "[90, 100]");
    EXPECT_EQ(Bands(10, 100.0000004).count(), 10) << "full marks summed in single precision";
    EXPECT_EQ(Bands(10, 0.5).count(), 1);
    EXPECT_EQ(Bands(10, 0.5).label(0), "[0, 0.5]");
    EXPECT_EQ(Bands(2.5, 10).label(1), "[2.5, 5)");
}

TEST(ScoreBands, CountsPerBand) {
    const std::vector<double> scores = {3.9, 4, 6, 8.5, 9, 10, 1.9999995};
    EXPECT_EQ(results::BandCounts(scores, Bands(2, 10)), (std::vector<long long>{0, 2, 1, 1, 3}));
}

TEST(Options, BadSettingsAreNamed) {
    results::Options o;
    EXPECT_EQ(results::CheckOptions(o), "满分必须大于 0。");
    o.fullMarks = 100;
    EXPECT_EQ(results::CheckOptions(o), "");
    o.pass = 1.2;
    EXPECT_NE(results::CheckOptions(o), "");
    o.pass = 0.6;
    o.bandWidth = 0;
    EXPECT_NE(results::CheckOptions(o), "");
    o.bandWidth = 10;
    o.rowsPerSheet = 2;
    EXPECT_NE(results::CheckOptions(o), "");
    o.rowsPerSheet = results::kRowsPerSheet + 1;
    EXPECT_NE(results::CheckOptions(o), "") << "a worksheet holds 1,048,576 rows with its header";
    EXPECT_EQ(results::WorkbookName("期中"), "成绩分析_期中.xlsx");
}

} // namespace
