// The mis-key alarm: a wrong answer key planted in otherwise sound data.
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"

#include <gtest/gtest.h>

namespace {

using namespace analysis;
using testsupport::AddChosen;
using testsupport::MemorySheets;

// Forty sheets of six questions. Sheet i answers the first i * 6 / 40 of
// questions 1-5 right (keys A B C D A) and the others with the next letter.
// Question 6 is truly C, chosen by the stronger half; the weaker half
// chooses B (even sheets) or A (odd sheets). The points are those of `key`
// for question 6.
MemorySheets PlantedSheets(char key) {
    MemorySheets sheets;
    const std::string truth = "ABCDA";
    for (int i = 0; i < 40; ++i) {
        std::string chosen;
        const int right = i * 6 / 40;
        for (int q = 0; q < 5; ++q)
            chosen += q < right ? truth[static_cast<std::size_t>(q)]
                                : static_cast<char>(truth[static_cast<std::size_t>(q)] + 1);
        chosen += i >= 20 ? 'C' : i % 2 ? 'A' : 'B';
        AddChosen(sheets, chosen, truth + key, std::vector<float>(6, 1.0f));
    }
    return sheets;
}

RunDescription PlantedRun(const std::string& key) {
    RunDescription run;
    run.table = "planted";
    run.segments = {{6, 1}};
    run.singleKey = key;
    return run;
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

// Options C and E each drawn by one sheet with the top total (equal r);
// the key A by a sheet at the mean total (r = 0).
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
        RunDescription run = PlantedRun("AB");
        run.segments = {{1, 1}, {1, 2}};
        const ExamAnalysis a = Analyze(run, sheets);
        const auto& o = a.items[0].single->options;
        EXPECT_DOUBLE_EQ(*o[2].r, *o[4].r);
        EXPECT_DOUBLE_EQ(*o[0].r, 0);
        EXPECT_EQ(a.items[0].suspect, 'C') << first;
    }
}

TEST(MisKey, OnlyForKeysAToF) {
    MemorySheets sheets = PlantedSheets('5');
    const ExamAnalysis a = Analyze(PlantedRun("ABCDA;5"), sheets);
    EXPECT_FALSE(a.items[5].suspect);
}

} // namespace
