// A table from the literature: section 6 of the Law School Admission Test,
// five items answered by 1,000 examinees, as tabulated by Bock and
// Lieberman (1970) in 32 response patterns.
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using namespace analysis;

struct Pattern {
    std::array<int, 5> right;
    int count;
};

const std::array<Pattern, 32> Lsat6 = {{
    {{0, 0, 0, 0, 0}, 3},  {{0, 0, 0, 0, 1}, 6},  {{0, 0, 0, 1, 0}, 2},  {{0, 0, 0, 1, 1}, 11},
    {{0, 0, 1, 0, 0}, 1},  {{0, 0, 1, 0, 1}, 1},  {{0, 0, 1, 1, 0}, 3},  {{0, 0, 1, 1, 1}, 4},
    {{0, 1, 0, 0, 0}, 1},  {{0, 1, 0, 0, 1}, 8},  {{0, 1, 0, 1, 0}, 0},  {{0, 1, 0, 1, 1}, 16},
    {{0, 1, 1, 0, 0}, 0},  {{0, 1, 1, 0, 1}, 3},  {{0, 1, 1, 1, 0}, 2},  {{0, 1, 1, 1, 1}, 15},
    {{1, 0, 0, 0, 0}, 10}, {{1, 0, 0, 0, 1}, 29}, {{1, 0, 0, 1, 0}, 14}, {{1, 0, 0, 1, 1}, 81},
    {{1, 0, 1, 0, 0}, 3},  {{1, 0, 1, 0, 1}, 28}, {{1, 0, 1, 1, 0}, 15}, {{1, 0, 1, 1, 1}, 80},
    {{1, 1, 0, 0, 0}, 16}, {{1, 1, 0, 0, 1}, 56}, {{1, 1, 0, 1, 0}, 21}, {{1, 1, 0, 1, 1}, 173},
    {{1, 1, 1, 0, 0}, 11}, {{1, 1, 1, 0, 1}, 61}, {{1, 1, 1, 1, 0}, 28}, {{1, 1, 1, 1, 1}, 298},
}};

// The patterns as weighted data: the reference figures straight from the
// pattern counts, without the analysis.
struct Reference {
    std::array<double, 5> p{};
    double mean = 0, variance = 0, alpha = 0;
    std::array<double, 5> r{};
};

Reference FromPatterns() {
    Reference ref;
    double n = 0;
    for (const Pattern& pt : Lsat6) {
        n += pt.count;
        for (int i = 0; i < 5; ++i)
            ref.p[static_cast<std::size_t>(i)] += pt.right[static_cast<std::size_t>(i)] * pt.count;
    }
    for (double& p : ref.p)
        p /= n;
    for (double p : ref.p)
        ref.mean += p;
    std::array<double, 5> cov{};
    for (const Pattern& pt : Lsat6) {
        double t = 0;
        for (int x : pt.right)
            t += x;
        ref.variance += pt.count * (t - ref.mean) * (t - ref.mean) / n;
        for (std::size_t i = 0; i < 5; ++i)
            cov[i] += pt.count * (pt.right[i] - ref.p[i]) * (t - ref.mean) / n;
    }
    double itemVariances = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        const double v = ref.p[i] * (1 - ref.p[i]);
        itemVariances += v;
        ref.r[i] = cov[i] / std::sqrt(v * ref.variance);
    }
    ref.alpha = 5.0 / 4.0 * (1 - itemVariances / ref.variance);
    return ref;
}

TEST(Literature, LsatSection6) {
    testsupport::MemorySheets sheets;
    for (const Pattern& pt : Lsat6) {
        std::string chosen;
        for (int x : pt.right)
            chosen += x ? 'A' : 'B';
        for (int c = 0; c < pt.count; ++c)
            testsupport::AddChosen(sheets, chosen, "AAAAA", std::vector<float>(5, 1.0f));
    }
    scoring::ExamRun run;
    run.table = "LSAT6";
    run.settings.counts = {5};
    run.settings.points = {"1"};
    run.settings.singleKey = "AAAAA";
    const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets);

    EXPECT_EQ(a.sheets, 1000);
    // The proportions correct as published.
    const std::array<double, 5> published = {0.924, 0.709, 0.553, 0.763, 0.870};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(a.items[i].p, published[i], 1e-12) << "item " << i + 1;
    const Reference ref = FromPatterns();
    EXPECT_NEAR(a.mean, 3.819, 1e-12);
    EXPECT_NEAR(a.sd, std::sqrt(ref.variance), 1e-12);
    ASSERT_TRUE(a.alpha);
    EXPECT_NEAR(*a.alpha, ref.alpha, 1e-12);
    EXPECT_NEAR(*a.alpha, 0.295, 0.0005) << "KR-20 of the five items";
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(*a.items[i].r, ref.r[i], 1e-12) << "item " << i + 1;
    // 270 sheets a group; with totals 5 for 298 sheets the upper group is
    // all fives: P_upper = 1 for every item.
    EXPECT_EQ(a.groupSize, 270);
    for (const ItemFigures& item : a.items)
        EXPECT_DOUBLE_EQ(*item.pUpper, 1);
    EXPECT_DOUBLE_EQ(a.median, 4);
}

} // namespace
