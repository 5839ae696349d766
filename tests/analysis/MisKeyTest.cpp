// The mis-key alarm: a wrong answer key planted in otherwise sound data, and
// options that draw the weak students, which it never names.
#include "analysis/Analysis.h"
#include "analysis/TextReport.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace analysis;
using testsupport::AddChosen;
using testsupport::MemorySheets;

// Forty sheets of six questions. Sheet i answers the first i * 6 / 40 of
// questions 1-5 right (keys A B C D A) and the others with the next letter,
// so that the later sheets are the stronger ones; question 6 is answered
// `sixth(i)` (' ' for a blank) and earns the point of `key`.
MemorySheets RankedSheets(char (*sixth)(int), char key) {
    MemorySheets sheets;
    const std::string truth = "ABCDA";
    for (int i = 0; i < 40; ++i) {
        std::string chosen;
        const int right = i * 6 / 40;
        for (int q = 0; q < 5; ++q)
            chosen += q < right ? truth[static_cast<std::size_t>(q)]
                                : static_cast<char>(truth[static_cast<std::size_t>(q)] + 1);
        chosen += sixth(i);
        AddChosen(sheets, chosen, truth + key, std::vector<float>(6, 1.0f));
    }
    return sheets;
}

// Question 6 is truly C, chosen by the stronger half; the weaker half
// chooses B (even sheets) or A (odd sheets).
MemorySheets PlantedSheets(char key) {
    return RankedSheets([](int i) { return i >= 20 ? 'C' : i % 2 ? 'A' : 'B'; }, key);
}

scoring::ExamRun PlantedRun(const std::string& key) {
    scoring::ExamRun run;
    run.table = "planted";
    run.settings.counts = {6};
    run.settings.points = {"1"};
    run.settings.singleKey = key;
    return scoring::AcceptedRun(run);
}

TEST(MisKey, AWrongKeyNamesTheRightOption) {
    MemorySheets sheets = PlantedSheets('B');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;B"), sheets);
    const ItemFigures& planted = a.items[5];
    ASSERT_FALSE(planted.flags.empty());
    EXPECT_EQ(planted.flags[0], Flag::MisKey);
    EXPECT_EQ(planted.suspect, 'C');
    EXPECT_TRUE(planted.d && *planted.d < 0) << "the key B is chosen by the weaker sheets";
    const auto& o = planted.single->options;
    EXPECT_GT(*o[2].r, 0);
    EXPECT_LT(*o[1].r, 0);
    EXPECT_GT(*o[2].upper, *o[1].upper);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_FALSE(a.items[i].suspect) << "question " << i + 1;
    // The upper group (11 sheets) is all from the stronger half, the lower
    // group all from the weaker one.
    const std::string reason = FlagReason(planted, Flag::MisKey);
    EXPECT_EQ(reason.rfind("疑为 C（高分组 100.0%，低分组 0.0%）：选 C 的学生总分更高（r = ", 0),
              0u)
        << reason;
    const std::vector<std::string> lines = ReportLines(a);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "单选第 6 题     " + reason), lines.end());
}

TEST(MisKey, TheRightKeyRaisesNoAlarm) {
    MemorySheets sheets = PlantedSheets('C');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;C"), sheets);
    EXPECT_FALSE(a.items[5].suspect);
    EXPECT_TRUE(a.items[5].flags.empty());
    EXPECT_EQ(a.items[5].rating, Rating::Excellent);
}

TEST(MisKey, AKeyNobodyChoseNamesAnOptionWithPositiveR) {
    MemorySheets sheets = PlantedSheets('D');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;D"), sheets);
    const ItemFigures& planted = a.items[5];
    EXPECT_EQ(planted.single->options[3].count, 0);
    EXPECT_FALSE(planted.single->options[3].r);
    EXPECT_EQ(planted.suspect, 'C');
    EXPECT_DOUBLE_EQ(planted.p, 0);
}

// Options C and E each drawn by one sheet with the top total (equal r), the
// two upper sheets in groups of 40 %; the key A by a sheet at the mean total
// (r = 0), in neither group.
TEST(MisKey, EqualCorrelationsNameTheEarlierLetter) {
    for (const char* first : {"CB", "EB"}) {
        const std::string second = first[0] == 'C' ? "EB" : "CB";
        MemorySheets sheets;
        const std::vector<float> worth = {1, 2};
        AddChosen(sheets, first, "AB", worth);
        AddChosen(sheets, second, "AB", worth);
        AddChosen(sheets, "AC", "AB", worth);
        AddChosen(sheets, "BC", "AB", worth);
        AddChosen(sheets, "BC", "AB", worth);
        scoring::ExamRun run;
        run.table = "planted";
        run.settings.singleKey = "AB";
        run.settings.counts = {1, 1};
        run.settings.points = {"1", "2"};
        const ExamAnalysis a = Analyze(scoring::AcceptedRun(run), sheets, {40, 10});
        ASSERT_EQ(a.groupSize, 2);
        const auto& o = a.items[0].single->options;
        EXPECT_DOUBLE_EQ(*o[2].r, *o[4].r);
        EXPECT_DOUBLE_EQ(*o[2].upper, *o[4].upper);
        EXPECT_DOUBLE_EQ(*o[0].r, 0);
        EXPECT_EQ(a.items[0].suspect, 'C') << first;
    }
}

// Question 6 keyed A where option C is chosen more often than the key and
// would beat it (a higher correlation or more of the upper group), but does
// not separate the strong sheets from the weak ones itself.
struct WeakOption {
    const char* name;
    char (*sixth)(int);
};

class MisKeyWeakOption : public ::testing::TestWithParam<WeakOption> {};

TEST_P(MisKeyWeakOption, IsNeverNamed) {
    MemorySheets sheets = RankedSheets(GetParam().sixth, 'A');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;A"), sheets);
    ASSERT_EQ(a.groupSize, 11);
    const ItemFigures& item = a.items[5];
    const OptionFigures& c = item.single->options[2];
    const OptionFigures& key = item.single->options[0];
    ASSERT_TRUE(c.r && key.r && c.upper && c.lower && key.upper);
    ASSERT_GT(c.count, key.count);
    ASSERT_TRUE((*c.r > 0 && *c.r > *key.r) || *c.upper > *key.upper)
        << "C looks better than the key";
    ASSERT_FALSE(*c.r > 0 && *c.upper > *c.lower) << "C draws the weak sheets";
    EXPECT_FALSE(item.suspect) << "named " << *item.suspect;
    EXPECT_EQ(std::count(item.flags.begin(), item.flags.end(), Flag::MisKey), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MisKeyWeakOption,
    ::testing::Values(
        // The weaker sheets choose C more than the stronger ones (r < 0),
        // yet it draws more of the upper group than the key, which only
        // three of the strongest sheets found.
        WeakOption{"ChosenMoreByTheWeak",
                   [](int i) {
                       if (i == 35 || i == 37 || i == 39)
                           return 'A';
                       if (i < 20)
                           return i % 5 ? 'C' : 'B';
                       return i % 2 ? 'B' : 'C';
                   }},
        // C goes with totals above the mean (r > 0, above the key's), but
        // from the middle: two sheets of the lower group chose it, none of
        // the upper.
        WeakOption{"ChosenByTheMiddle",
                   [](int i) {
                       if (i == 1 || i == 3 || i == 5 || i == 38)
                           return 'A';
                       if (i == 0 || i == 2 || (i >= 20 && i <= 26) || i == 32 || i == 33)
                           return 'C';
                       return ' ';
                   }},
        // The strongest sheet chose C, no sheet of the lower group did, the
        // key none of the upper group; but C's other choosers are weak (r < 0).
        WeakOption{"ChosenByTheTopAndTheWeakMiddle",
                   [](int i) {
                       if (i == 14 || i == 15)
                           return 'A';
                       if (i == 39 || (i >= 7 && i <= 9) || (i >= 16 && i <= 19))
                           return 'C';
                       return ' ';
                   }}),
    [](const ::testing::TestParamInfo<WeakOption>& info) { return info.param.name; });

TEST(MisKey, OnlyForKeysAToF) {
    MemorySheets sheets = PlantedSheets('5');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;5"), sheets);
    EXPECT_FALSE(a.items[5].suspect);
}

} // namespace
