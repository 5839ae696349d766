// The analysis against a plain reference computation on generated data:
// every sheet held in memory, a full sort for the groups, textbook formulas.
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

using namespace analysis;
using testsupport::Mark;
using testsupport::MemorySheets;

double Mean(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

double Variance(const std::vector<double>& v) {
    const double m = Mean(v);
    double s = 0;
    for (double x : v)
        s += (x - m) * (x - m);
    return s / static_cast<double>(v.size());
}

Figure Pearson(const std::vector<double>& a, const std::vector<double>& b) {
    if (std::adjacent_find(a.begin(), a.end(), std::not_equal_to<>()) == a.end() ||
        std::adjacent_find(b.begin(), b.end(), std::not_equal_to<>()) == b.end())
        return std::nullopt;
    const double ma = Mean(a), mb = Mean(b);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

void ExpectSame(const Figure& got, const Figure& want, const std::string& what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, 1e-9) << what;
    }
}

// 301 sheets, 12 single-choice questions (segments of 1 and 0.7 points),
// 3 multiple-choice questions worth 2.5 (partial 1); marks drawn at random
// with blanks, multi-marks and stray bytes; totals with many ties.
TEST(Reference, AgreesWithAPlainComputation) {
    std::mt19937 rng(13);
    const std::string key = "ABCDABCDABCD";
    const std::vector<std::string> multiKeys = {"AB", "ACD", "B"};
    MemorySheets sheets;
    std::vector<std::vector<double>> x(15);
    for (int s = 0; s < 301; ++s) {
        std::string content;
        std::vector<std::optional<float>> points;
        const int skill = static_cast<int>(rng() % 10);
        for (std::size_t k = 0; k < 12; ++k) {
            const float worth = k < 6 ? 1.0f : 0.7f;
            const unsigned roll = rng() % 12;
            const char chosen = roll < static_cast<unsigned>(skill) ? key[k] : "ABCD"[rng() % 4];
            char code = Mark(chosen);
            if (roll == 11)
                code = "03A* "[rng() % 5];
            content += code;
            points.push_back(code == Mark(key[k]) ? std::optional<float>(worth) : std::nullopt);
        }
        for (std::size_t j = 0; j < 3; ++j) {
            const unsigned mask = rng() % 16;
            content += static_cast<char>(48 + mask);
            unsigned keyMask = 0;
            for (char c : multiKeys[j])
                keyMask |= 1u << (c - 'A');
            points.push_back(mask == keyMask ? 2.5f : mask && !(mask & ~keyMask) ? 1.0f : 0.0f);
        }
        for (std::size_t k = 0; k < 15; ++k)
            x[k].push_back(points[k] ? static_cast<double>(*points[k]) : 0.0);
        sheets.add(content, points);
    }
    scoring::ExamRun run;
    run.table = "ref";
    run.settings.counts = {6, 6};
    run.settings.points = {"1", "0.7"};
    run.settings.singleKey = "ABCDA;BCDAB;CD";
    run.settings.multiCount = 3;
    run.settings.full = "2.5";
    run.settings.partial = "1";
    run.settings.multiKey = "AB;ACD;B";
    const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets);

    const std::size_t n = sheets.sheets().size();
    std::vector<double> total(n, 0.0);
    for (const auto& q : x)
        for (std::size_t s = 0; s < n; ++s)
            total[s] += q[s];
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t l, std::size_t r) { return total[l] > total[r]; });
    const std::size_t g = 81; // floor(301 * 0.27 + 0.5)
    EXPECT_EQ(a.groupSize, 81);
    std::vector<bool> upper(n), lower(n);
    for (std::size_t i = 0; i < g; ++i) {
        upper[order[i]] = true;
        lower[order[n - 1 - i]] = true;
    }
    EXPECT_NEAR(a.sd, std::sqrt(Variance(total)), 1e-9);
    std::vector<double> sorted = total;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(a.median, sorted[150], 1e-9);
    double itemVariances = 0;
    for (const auto& q : x)
        itemVariances += Variance(q);
    ExpectSame(a.alpha, 15.0 / 14.0 * (1 - itemVariances / Variance(total)), "alpha");

    for (std::size_t k = 0; k < 15; ++k) {
        const ItemFigures& item = a.items[k];
        const double m = k < 6 ? 1.0 : k < 12 ? static_cast<double>(0.7f) : 2.5;
        double up = 0, low = 0;
        std::vector<double> rest(n);
        for (std::size_t s = 0; s < n; ++s) {
            up += upper[s] ? x[k][s] : 0;
            low += lower[s] ? x[k][s] : 0;
            rest[s] = total[s] - x[k][s];
        }
        const std::string what = "question " + std::to_string(k + 1);
        EXPECT_NEAR(item.p, Mean(x[k]) / m, 1e-9) << what;
        ExpectSame(item.d, (up - low) / static_cast<double>(g) / m, what + " D");
        ExpectSame(item.r, Pearson(x[k], total), what + " r");
        ExpectSame(item.rRest, Pearson(x[k], rest), what + " r_rest");
        ExpectSame(item.alphaIfDeleted,
                   14.0 / 13.0 * (1 - (itemVariances - Variance(x[k])) / Variance(rest)),
                   what + " alpha without");
        if (k >= 12)
            continue;
        for (std::size_t c = 0; c < 4; ++c) {
            std::vector<double> in(n);
            double inUpper = 0;
            for (std::size_t s = 0; s < n; ++s) {
                in[s] = sheets.sheets()[s].content[k] == Mark(static_cast<char>('A' + c));
                inUpper += upper[s] ? in[s] : 0;
            }
            const OptionFigures& o = item.single->options[c];
            EXPECT_NEAR(o.share, Mean(in), 1e-12) << what;
            ExpectSame(o.upper, inUpper / static_cast<double>(g), what + " upper share");
            ExpectSame(o.r, Pearson(in, total), what + " option r");
        }
    }
}

} // namespace
