// The design of a sheet from its settings: what must fit fits with bubbles
// of the promised size and spacing, and what cannot be printed is refused
// naming the setting and its limit.
#include "scan/SheetDesign.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

scan::SheetSettings Settings(int single, int multi = 0) {
    scan::SheetSettings s;
    s.questions = single;
    s.multi = multi;
    return s;
}

std::vector<const scan::Area*> Bubbles(const scan::Page& page) {
    std::vector<const scan::Area*> all;
    for (const auto& d : page.examNumber)
        for (const auto& b : d.bubbles)
            all.push_back(&b.area);
    for (const auto& q : page.questions)
        for (const auto& b : q.bubbles)
            all.push_back(&b.area);
    return all;
}

// The promise of the sheet: bubbles at least 4 mm wide and 2.5 mm apart
// edge to edge, every question on the pages in order.
void ExpectPrintable(const scan::Layout& layout, int questions) {
    int count = 0;
    for (const auto& page : layout.pages) {
        const auto bubbles = Bubbles(page);
        for (std::size_t i = 0; i < bubbles.size(); ++i) {
            EXPECT_GE(bubbles[i]->w, 4.0);
            for (std::size_t j = i + 1; j < bubbles.size(); ++j) {
                const double apartX = std::max(bubbles[i]->left() - bubbles[j]->right(),
                                               bubbles[j]->left() - bubbles[i]->right());
                const double apartY = std::max(bubbles[i]->top() - bubbles[j]->bottom(),
                                               bubbles[j]->top() - bubbles[i]->bottom());
                ASSERT_GE(std::max(apartX, apartY), 2.5 - 1e-9)
                    << "page " << page.number << " bubbles " << i << ", " << j;
            }
        }
        count += static_cast<int>(page.questions.size());
        EXPECT_EQ(page.marks.size(), 6u);
        EXPECT_FALSE(page.examNumber.empty());
    }
    EXPECT_EQ(count, questions);
}

TEST(SheetDesign, SixtyQuestionsAndNineDigitsFitOneA4Page) {
    const scan::Layout layout = scan::DesignSheet(Settings(60));
    ASSERT_EQ(layout.pages.size(), 1u);
    EXPECT_EQ(layout.width, 210);
    EXPECT_EQ(layout.pages[0].examNumber.size(), 9u);
    ExpectPrintable(layout, 60);
}

TEST(SheetDesign, HundredAndFiveFitA3OrTwoA4Pages) {
    scan::SheetSettings a3 = Settings(90, 15);
    a3.paper = scan::Paper::A3;
    ExpectPrintable(scan::DesignSheet(a3), 105);
    scan::SheetSettings a4 = Settings(90, 15);
    a4.pages = 2;
    const scan::Layout two = scan::DesignSheet(a4);
    ASSERT_EQ(two.pages.size(), 2u);
    ExpectPrintable(two, 105);
    // Multiple-choice questions come last, in blocks of their own.
    EXPECT_EQ(two.pages[1].questions.back().kind, scan::QuestionKind::Multiple);
    EXPECT_EQ(two.pages[1].questions.back().number, 105);
}

TEST(SheetDesign, SixOptionsAndTwentyDigitsStillPrint) {
    scan::SheetSettings s = Settings(30, 10);
    s.options = 6;
    s.multiOptions = 5;
    s.idDigits = 20;
    ExpectPrintable(scan::DesignSheet(s), 40);
}

TEST(SheetDesign, MarksAreSixDistinctPatternsInsideTheMargin) {
    const scan::Layout layout = scan::DesignSheet(Settings(20));
    std::set<std::string> kinds, names;
    for (const auto& m : layout.pages[0].marks) {
        kinds.insert(m.kind);
        names.insert(m.name);
        EXPECT_GE(std::min(m.x, m.y) - m.size / 2, scan::kMarkEdgeMm);
        EXPECT_GE(std::min(layout.width - m.x, layout.height - m.y) - m.size / 2,
                  scan::kMarkEdgeMm);
    }
    EXPECT_EQ(kinds.size(), 6u);
    EXPECT_EQ(names, (std::set<std::string>{"top-left", "top-right", "bottom-left", "bottom-right",
                                            "middle-left", "middle-right"}));
}

struct Impossible {
    const char* name;
    scan::SheetSettings settings;
    const char* text; // the setting and its limit
};

scan::SheetSettings With(scan::SheetSettings s, int scan::SheetSettings::*member, int value) {
    s.*member = value;
    return s;
}

scan::SheetSettings OnA4(int single, int pages, int options = 4) {
    scan::SheetSettings s = Settings(single);
    s.pages = pages;
    s.options = options;
    return s;
}

class SheetRefusal : public testing::TestWithParam<Impossible> {};

TEST_P(SheetRefusal, NamesTheSettingAndTheLimit) {
    const auto problem = scan::SettingsProblem(GetParam().settings);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find(GetParam().text), std::string::npos) << *problem;
    EXPECT_THROW((void)scan::DesignSheet(GetParam().settings), scan::LayoutError);
}

const Impossible kImpossible[] = {
    {"NoQuestions", Settings(0),
     "--questions: 0 single-choice and 0 multiple-choice questions; a sheet has 1 to 105"},
    {"TooManyQuestions", Settings(100, 6), "a sheet has 1 to 105 in all"},
    {"SevenOptions", With(Settings(10), &scan::SheetSettings::options, 7),
     "--options: 7; a question has 2 to 6"},
    {"OneMultiOption", With(Settings(10, 5), &scan::SheetSettings::multiOptions, 1),
     "--multi-options: 1"},
    {"NoDigits", With(Settings(10), &scan::SheetSettings::idDigits, 0),
     "--id-digits: 0; an exam number has 1 to 20"},
    {"TwentyOneDigits", With(Settings(10), &scan::SheetSettings::idDigits, 21), "1 to 20 digits"},
    {"TooManyAcross", With(Settings(10), &scan::SheetSettings::perRow, 6),
     "--per-row: 6 blocks side by side; at most 5"},
    {"SixOptionsAcross",
     With(With(Settings(10), &scan::SheetSettings::options, 6), &scan::SheetSettings::perRow, 4),
     "at most 3 blocks of 6 options fit across A4"},
    {"MoreThanFitOnA4", OnA4(105, 1, 6),
     "105 questions need 21 blocks of five; 1 page(s) of A4 hold 15 blocks, at most 75"},
    {"MorePagesThanBlocks", OnA4(10, 3), "--pages: 3 pages, but the questions fill only 2 blocks"},
    {"NoPages", OnA4(10, 0), "--pages: 0"},
};

INSTANTIATE_TEST_SUITE_P(SheetDesign, SheetRefusal, testing::ValuesIn(kImpossible),
                         [](const testing::TestParamInfo<Impossible>& info) {
                             return info.param.name;
                         });

} // namespace
