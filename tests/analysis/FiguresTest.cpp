// The figures of the analysis on small tables worked out by hand.
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace analysis;
using testsupport::AddChosen;
using testsupport::Mark;
using testsupport::MemorySheets;

constexpr double Tight = 1e-12;

void ExpectFigure(const Figure& f, double expected, const char* what) {
    ASSERT_TRUE(f.has_value()) << what;
    EXPECT_NEAR(*f, expected, Tight) << what;
}

// The run of single-choice segments (questions, points as typed) and a key.
scoring::ExamRun SingleRun(const std::vector<std::pair<int, std::string>>& segments,
                           std::string key) {
    scoring::ExamRun run;
    run.table = "t";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        run.settings.counts[i] = segments[i].first;
        run.settings.points[i] = segments[i].second;
    }
    run.settings.singleKey = std::move(key);
    return scoring::AcceptedRun(run);
}

// Five sheets, questions 1-3 worth 1 point and question 4 worth 2 (key
// B C A D); totals 5 4 2 3 1.
class SmallTable : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::vector<float> worth = {1, 1, 1, 2};
        for (const char* chosen : {"BCAD", "BCBD", "BAAC", "ACCD", "CBAA"})
            AddChosen(sheets, chosen, "BCAD", worth);
        a = Analyze(SingleRun({{3, "1"}, {1, "2"}}, "BCAD"), sheets);
    }
    MemorySheets sheets;
    ExamAnalysis a;
};

TEST_F(SmallTable, TestFigures) {
    EXPECT_EQ(sheets.passes(), 2);
    EXPECT_EQ(a.sheets, 5);
    EXPECT_DOUBLE_EQ(a.full, 5);
    EXPECT_DOUBLE_EQ(a.mean, 3);
    // Deviations 2 1 -1 0 -2: variance 10 / 5 = 2.
    EXPECT_NEAR(a.sd, std::sqrt(2.0), Tight);
    EXPECT_DOUBLE_EQ(a.median, 3);
    EXPECT_DOUBLE_EQ(a.min, 1);
    EXPECT_DOUBLE_EQ(a.max, 5);
    // Item variances .24 .24 .24 .96: alpha = 4/3 (1 - 1.68 / 2) = 0.21333...
    ExpectFigure(a.alpha, 4.0 / 3.0 * 0.16, "alpha");
    ExpectFigure(a.sem, std::sqrt(2.0) * std::sqrt(1 - 4.0 / 3.0 * 0.16), "sem");
    // n = floor(5 * 0.27 + 0.5) = 1.
    EXPECT_EQ(a.groupSize, 1);
}

TEST_F(SmallTable, ItemFigures) {
    ASSERT_EQ(a.items.size(), 4u);
    for (const ItemFigures& item : a.items)
        EXPECT_NEAR(item.p, 0.6, Tight) << item.number;
    EXPECT_DOUBLE_EQ(a.items[3].max, 2);
    EXPECT_NEAR(a.items[3].mean, 1.2, Tight);
    // Upper group: the sheet with 5; lower group: the sheet with 1.
    ExpectFigure(a.items[0].d, 1, "D1");
    ExpectFigure(a.items[2].pUpper, 1, "P upper 3");
    ExpectFigure(a.items[2].pLower, 1, "P lower 3");
    ExpectFigure(a.items[2].d, 0, "D3");
    ExpectFigure(a.items[3].pUpper, 1, "P upper 4");
    // cov(x1, T) = 2.2 - 1.8 = 0.4; r = 0.4 / sqrt(.24 * 2) = 1 / sqrt(3).
    ExpectFigure(a.items[0].r, 1 / std::sqrt(3.0), "r1");
    ExpectFigure(a.items[1].r, std::sqrt(3.0) / 2, "r2");
    ExpectFigure(a.items[2].r, -1 / std::sqrt(12.0), "r3");
    ExpectFigure(a.items[3].r, std::sqrt(3.0) / 2, "r4");
    // T - x1 = 4 3 1 3 1: variance 1.44, cov(x1, T - x1) = 0.4 - 0.24.
    ExpectFigure(a.items[0].rRest, 0.16 / (std::sqrt(0.24) * 1.2), "r_rest 1");
    // Alpha without a question: 3/2 (1 - (sum of the other variances) / var(T - x)).
    ExpectFigure(a.items[0].alphaIfDeleted, 0, "alpha without 1");
    ExpectFigure(a.items[1].alphaIfDeleted, 1.5 * (1 - 1.44 / 1.04), "alpha without 2");
    ExpectFigure(a.items[2].alphaIfDeleted, 1.5 * (1 - 1.44 / 2.64), "alpha without 3");
    ExpectFigure(a.items[3].alphaIfDeleted, 1.5 * (1 - 0.72 / 0.56), "alpha without 4");
    EXPECT_EQ(a.items[0].rating, Rating::Excellent);
    EXPECT_EQ(a.items[2].rating, Rating::Poor);
}

TEST_F(SmallTable, OptionTable) {
    const auto& q1 = a.items[0].single->options; // chosen B B B A C, key B
    EXPECT_EQ(q1[0].count, 1);
    EXPECT_EQ(q1[1].count, 3);
    EXPECT_EQ(q1[2].count, 1);
    EXPECT_EQ(q1[3].count, 0);
    EXPECT_NEAR(q1[1].share, 0.6, Tight);
    ExpectFigure(q1[1].meanTotal, 11.0 / 3.0, "mean total of B");
    ExpectFigure(q1[1].upper, 1, "B in the upper group");
    ExpectFigure(q1[2].lower, 1, "C in the lower group");
    ExpectFigure(q1[0].r, 0, "A: its one sheet has the mean total");
    ExpectFigure(q1[2].r, -1 / std::sqrt(2.0), "C");
    EXPECT_FALSE(q1[3].r) << "nobody chose D";
    EXPECT_FALSE(q1[3].meanTotal);
    EXPECT_TRUE(q1[1].earns);
    EXPECT_FALSE(q1[0].earns);
    EXPECT_FALSE(a.items[0].multi);
}

TEST_F(SmallTable, FlagsAndSuspect) {
    // Question 3: the key A goes with low totals (r = -0.289), B with a high
    // one (r = 0.354 > 0), but B's one sheet (total 4) is in neither group:
    // B does not separate the groups, so mis-key names nothing; D = 0 is low
    // discrimination.
    const ItemFigures& q3 = a.items[2];
    EXPECT_EQ(q3.flags, (std::vector<Flag>{Flag::LowDiscrimination}));
    EXPECT_FALSE(q3.suspect);
    ExpectFigure(q3.single->options[1].r, 1 / std::sqrt(8.0), "r of B");
    ExpectFigure(q3.single->options[0].r, -1 / std::sqrt(12.0), "r of A");
    ExpectFigure(q3.single->options[1].upper, 0, "B in the upper group");
    for (int i : {0, 1, 3}) {
        EXPECT_TRUE(a.items[static_cast<std::size_t>(i)].flags.empty()) << i;
        EXPECT_FALSE(a.items[static_cast<std::size_t>(i)].suspect) << i;
    }
}

// Ten sheets of two questions, totals 1 2 1 1 0 1 1 1 2 0: n = 3; the upper
// group is both 2s and the first 1 (sheet 0), the lower group both 0s and
// the last 1 (sheet 7).
TEST(Groups, TiesAtTheCutFollowTheExamNumberOrder) {
    MemorySheets sheets;
    for (const char* chosen : {"AC", "AB", "CB", "CB", "CC", "CB", "CB", "CB", "AB", "CC"})
        AddChosen(sheets, chosen, "AB", {1, 1});
    const ExamAnalysis a = Analyze(SingleRun({{2, "1"}}, "AB"), sheets);
    EXPECT_EQ(a.groupSize, 3);
    // Upper {1, 8, 0}: question 1 right on all three, question 2 on two.
    ExpectFigure(a.items[0].pUpper, 1, "P upper 1");
    ExpectFigure(a.items[1].pUpper, 2.0 / 3.0, "P upper 2");
    // Lower {4, 9, 7}: question 1 on none, question 2 on sheet 7 only.
    ExpectFigure(a.items[0].pLower, 0, "P lower 1");
    ExpectFigure(a.items[1].pLower, 1.0 / 3.0, "P lower 2");
    ExpectFigure(a.items[1].d, 1.0 / 3.0, "D2");
    EXPECT_EQ(a.items[1].rating, Rating::Good);
    EXPECT_DOUBLE_EQ(a.median, 1);
}

TEST(Groups, GroupSizeRounding) {
    MemorySheets sheets;
    for (int i = 0; i < 50; ++i)
        AddChosen(sheets, i % 2 ? "A" : "B", "A", {1});
    // 50 * 0.27 + 0.5 = 14; 50 * 0.5 = 25 at 50 %.
    EXPECT_EQ(Analyze(SingleRun({{1, "1"}}, "A"), sheets).groupSize, 14);
    EXPECT_EQ(Analyze(SingleRun({{1, "1"}}, "A"), sheets, {50, 10}).groupSize, 25);
    EXPECT_EQ(Analyze(SingleRun({{1, "1"}}, "A"), sheets, {0.1, 10}).groupSize, 1);
}

TEST(SmallCounts, OneSheetLeavesTheGroupFiguresUndefined) {
    MemorySheets sheets;
    AddChosen(sheets, "AB", "AB", {1, 1});
    const ExamAnalysis a = Analyze(SingleRun({{2, "1"}}, "AB"), sheets);
    EXPECT_EQ(a.sheets, 1);
    EXPECT_EQ(a.groupSize, 0);
    EXPECT_DOUBLE_EQ(a.sd, 0);
    EXPECT_DOUBLE_EQ(a.median, 2);
    EXPECT_FALSE(a.alpha);
    EXPECT_FALSE(a.sem);
    for (const ItemFigures& item : a.items) {
        EXPECT_DOUBLE_EQ(item.p, 1);
        EXPECT_FALSE(item.pUpper || item.pLower || item.d || item.rating || item.r || item.rRest ||
                     item.alphaIfDeleted);
        EXPECT_EQ(item.flags, std::vector<Flag>{Flag::TooEasy});
        EXPECT_FALSE(item.single->options[0].upper);
    }
}

TEST(SmallCounts, TwoSheetsWithEqualTotals) {
    MemorySheets sheets;
    AddChosen(sheets, "AC", "AB", {1, 1});
    AddChosen(sheets, "CB", "AB", {1, 1});
    const ExamAnalysis a = Analyze(SingleRun({{2, "1"}}, "AB"), sheets);
    EXPECT_EQ(a.groupSize, 1); // floor(0.54 + 0.5)
    // Equal totals: the first sheet is the upper group.
    ExpectFigure(a.items[0].d, 1, "D1");
    ExpectFigure(a.items[1].d, -1, "D2");
    // The upper group (the first sheet) chose C, the key's B none of it; but
    // with equal totals C has no correlation with them: nothing is named.
    EXPECT_EQ(a.items[1].flags, (std::vector<Flag>{Flag::NegativeDiscrimination}));
    EXPECT_FALSE(a.items[1].suspect);
    ExpectFigure(a.items[1].single->options[2].upper, 1, "C in the upper group");
    EXPECT_FALSE(a.items[1].single->options[2].r);
    EXPECT_FALSE(a.alpha) << "all totals equal";
    EXPECT_FALSE(a.items[0].r) << "all totals equal";
    ExpectFigure(a.items[0].rRest, -1, "T - x = 0 1");
    EXPECT_FALSE(a.items[0].alphaIfDeleted) << "one question left";
    EXPECT_DOUBLE_EQ(a.median, 1);
}

// Question 1 right on every sheet, question 2 answered by nobody, question 3
// right on sheets 0 and 2: totals 2 1 2 1.
TEST(Degenerate, ConstantAndUnansweredQuestions) {
    MemorySheets sheets;
    for (const char* chosen : {"A C", "A B", "A C", "A B"})
        AddChosen(sheets, chosen, "ACC", {1, 1, 1});
    const ExamAnalysis a = Analyze(SingleRun({{3, "1"}}, "ACC"), sheets);
    const ItemFigures &all = a.items[0], &none = a.items[1], &some = a.items[2];
    EXPECT_FALSE(all.r);
    EXPECT_FALSE(all.rRest);
    EXPECT_FALSE(none.r);
    EXPECT_DOUBLE_EQ(none.p, 0);
    EXPECT_EQ(none.flags, (std::vector<Flag>{Flag::LowDiscrimination, Flag::TooHard}));
    EXPECT_EQ(all.flags, (std::vector<Flag>{Flag::LowDiscrimination, Flag::TooEasy}));
    EXPECT_EQ(none.single->options[static_cast<std::size_t>(Category::Blank)].count, 4);
    EXPECT_FALSE(none.single->options[static_cast<std::size_t>(Category::Blank)].r);
    EXPECT_FALSE(none.suspect) << "nobody chose any option";
    ExpectFigure(some.r, 1, "x3 = T - 1");
    EXPECT_FALSE(some.rRest) << "T - x3 is 1 on every sheet";
    // Item variances 0 0 .25, var(T) = .25: alpha = 3/2 (1 - 1) = 0.
    ExpectFigure(a.alpha, 0, "alpha");
    ExpectFigure(a.sem, 0.5, "sem");
    ExpectFigure(all.alphaIfDeleted, 0, "without the constant question");
    EXPECT_FALSE(some.alphaIfDeleted) << "the others' total is constant";
}

TEST(Options, MultiMarksBlanksAndUnreadableBytes) {
    MemorySheets sheets;
    // '3' = A+B, 'A' (65) = A+E: marks of several options; '0' and ' ' are
    // blanks; '*' and 'p' (112) are no mark codes.
    for (const char* content : {"1", "3", "A", "0", " ", "*", "p", "2"})
        sheets.add(content, {content[0] == '1' ? 1.0f : 0.0f});
    const ExamAnalysis a = Analyze(SingleRun({{1, "1"}}, "A"), sheets);
    const auto& o = a.items[0].single->options;
    auto count = [&](Category c) { return o[static_cast<std::size_t>(c)].count; };
    EXPECT_EQ(count(Category::A), 1);
    EXPECT_EQ(count(Category::B), 1);
    EXPECT_EQ(count(Category::Multi), 2);
    EXPECT_EQ(count(Category::Blank), 2);
    EXPECT_EQ(count(Category::Other), 2);
    EXPECT_EQ(count(Category::E), 0);
    EXPECT_NEAR(o[static_cast<std::size_t>(Category::Other)].share, 0.25, Tight);
    // Only the A sheet has a total of 1 (mean 1/8): its category mean is 1,
    // the others' 0.
    ExpectFigure(o[static_cast<std::size_t>(Category::Multi)].meanTotal, 0, "multi");
    // Pearson(in multi, T): cov = -2/8 * 1/8, sd(I) = sqrt(2/8 * 6/8), sd(T) = sqrt(7)/8.
    ExpectFigure(o[static_cast<std::size_t>(Category::Multi)].r,
                 (-2.0 / 64) / (std::sqrt(12.0 / 64) * std::sqrt(7.0) / 8), "r of multi");
}

TEST(Options, TheLetterLookingMultiMarkNeverEarnsUnderFullMatch) {
    MemorySheets sheets;
    sheets.add("5", {1.0f});
    sheets.add("1", {0.0f});
    scoring::ExamRun run = SingleRun({{1, "1"}}, "5"); // A or C accepted
    const ExamAnalysis loose = Analyze(scoring::AcceptedRun(run), sheets);
    EXPECT_TRUE(loose.items[0].single->options[0].earns);
    EXPECT_TRUE(loose.items[0].single->options[2].earns);
    EXPECT_FALSE(loose.items[0].single->options[1].earns);
    EXPECT_FALSE(loose.items[0].suspect) << "mis-key looks only at the keys A to F";
    run.fullMatch = true; // only the mark "5" itself
    const ExamAnalysis strict = Analyze(scoring::AcceptedRun(run), sheets);
    EXPECT_FALSE(strict.items[0].single->options[0].earns);
}

} // namespace
