#include "roster/Verify.h"
#include "roster/ClassRule.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using roster::Closeness;
using roster::Malformation;
using roster::Roster;
using roster::SheetList;
using roster::VerifyNumbers;

struct Sheet {
    std::string id;
    std::optional<double> score;
};

// Sheets numbered 1, 2, ... in the order given.
SheetList Sheets(const std::vector<Sheet>& list) {
    SheetList sheets;
    for (std::size_t i = 0; i < list.size(); ++i)
        sheets.add(list[i].id, list[i].score, static_cast<std::uint32_t>(i + 1));
    return sheets;
}

SheetList SheetsOf(const std::vector<std::string>& ids) {
    std::vector<Sheet> list;
    for (const auto& id : ids)
        list.push_back({id, 80.0});
    return Sheets(list);
}

Roster RosterOf(const std::vector<std::tuple<std::string, std::string, std::string>>& students) {
    Roster r;
    for (const auto& [id, cls, name] : students)
        r.add(id, cls, name);
    return r;
}

// A class of `count` students 3101CC0SS... : numbers prefix + two-digit seat.
void AddClass(Roster& r, const std::string& prefix, const std::string& cls, int count) {
    for (int seat = 1; seat <= count; ++seat) {
        const std::string s = (seat < 10 ? "0" : "") + std::to_string(seat);
        r.add(prefix + s, cls, "生" + cls + "-" + s);
    }
}

// Every roster number except those listed, as sheets.
std::vector<std::string> AllBut(const Roster& r, const std::vector<std::string>& absent) {
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < r.size(); ++i)
        if (std::find(absent.begin(), absent.end(), r.id(i)) == absent.end())
            ids.emplace_back(r.id(i));
    return ids;
}

std::vector<std::pair<std::string, Closeness>> Suggested(const Roster& r,
                                                         const std::vector<roster::Suggestion>& s) {
    std::vector<std::pair<std::string, Closeness>> out;
    for (const auto& x : s)
        out.emplace_back(std::string(r.id(x.student)), x.closeness);
    return out;
}

// The suggestions for the only unknown sheet with this number.
std::vector<std::pair<std::string, Closeness>> SuggestionsFor(const roster::VerifyResult& v,
                                                              const SheetList& sheets,
                                                              const Roster& r,
                                                              const std::string& id) {
    for (const auto& u : v.unknown)
        if (sheets.id(u.sheet) == id)
            return Suggested(r, u.suggestions);
    ADD_FAILURE() << id << " is not reported as unknown";
    return {};
}

// --- duplicates --------------------------------------------------------------

TEST(Duplicates, EverySheetOfTheGroupWithItsScore) {
    const SheetList sheets = Sheets({{"310101001", 85.0},
                                     {"310101002", 70.0},
                                     {"310101001", std::nullopt},
                                     {"310101003", 60.0},
                                     {"310101002", 71.0},
                                     {"310101001", 90.0}});
    for (const bool withRoster : {false, true}) {
        Roster r;
        AddClass(r, "3101010", "1", 3);
        const auto v = VerifyNumbers(sheets, withRoster ? &r : nullptr);
        ASSERT_EQ(v.duplicates.size(), 2u) << "roster " << withRoster;
        EXPECT_EQ(v.duplicates[0].sheets, (std::vector<std::uint32_t>{0, 2, 5}))
            << "all three, not only neighbours in the list";
        EXPECT_EQ(v.duplicates[1].sheets, (std::vector<std::uint32_t>{1, 4}));
        EXPECT_EQ(v.duplicateSheets(), 5u);
        EXPECT_TRUE(v.unknown.empty());
        EXPECT_TRUE(v.malformed.empty());
    }
}

TEST(Duplicates, EmptyNumbersAreNotADuplicate) {
    const auto v = VerifyNumbers(SheetsOf({"", "310101001", " ", "310101002"}), nullptr);
    EXPECT_TRUE(v.duplicates.empty());
    ASSERT_EQ(v.malformed.size(), 2u);
    EXPECT_EQ(v.malformed[0].why, Malformation::Empty);
    EXPECT_EQ(v.malformed[1].why, Malformation::Empty);
}

// --- suggestions ---------------------------------------------------------------

class Suggestions : public ::testing::Test {
  protected:
    Suggestions() {
        AddClass(roster, "3101030", "3", 40);
        AddClass(roster, "3101040", "4", 40);
    }
    roster::VerifyResult check(const std::vector<std::string>& absent,
                               const std::vector<std::string>& extra) {
        std::vector<std::string> ids = AllBut(roster, absent);
        ids.insert(ids.end(), extra.begin(), extra.end());
        sheets = SheetsOf(ids);
        return VerifyNumbers(sheets, &roster);
    }
    Roster roster;
    SheetList sheets;
};

TEST_F(Suggestions, EverySheetOfADuplicateGroupIsOfferedTheNumbersWithoutASheet) {
    // 310103012 is absent: its pupil wrote 310103021 (two neighbours
    // swapped), which the pupil of that number wrote too. 310103029, also
    // absent, is one place away; one-place numbers come first.
    const auto v = check({"310103012", "310103029"}, {"310103021"});
    ASSERT_EQ(v.duplicates.size(), 1u);
    EXPECT_EQ(v.duplicates[0].sheets.size(), 2u);
    EXPECT_EQ(Suggested(roster, v.duplicates[0].suggestions),
              (std::vector<std::pair<std::string, Closeness>>{{"310103029", Closeness::OneDigit},
                                                              {"310103012", Closeness::Swapped}}));
    const auto alone = VerifyNumbers(sheets, nullptr);
    ASSERT_EQ(alone.duplicates.size(), 1u);
    EXPECT_TRUE(alone.duplicates[0].suggestions.empty()) << "no roster, nothing to offer";
}

TEST_F(Suggestions, OneDigitWrong) {
    const auto v = check({"310103017"}, {"310103087"});
    ASSERT_EQ(v.unknown.size(), 1u);
    EXPECT_EQ(SuggestionsFor(v, sheets, roster, "310103087"),
              (std::vector<std::pair<std::string, Closeness>>{{"310103017", Closeness::OneDigit}}));
}

TEST_F(Suggestions, TwoNeighboursSwapped) {
    const auto v = check({"310103017"}, {"310103071"});
    EXPECT_EQ(SuggestionsFor(v, sheets, roster, "310103071"),
              (std::vector<std::pair<std::string, Closeness>>{{"310103017", Closeness::Swapped}}));
    const auto w = check({"310104012"}, {"310140012"});
    EXPECT_EQ(SuggestionsFor(w, sheets, roster, "310140012"),
              (std::vector<std::pair<std::string, Closeness>>{{"310104012", Closeness::Swapped}}))
        << "a swap in the class code";
}

TEST_F(Suggestions, CloseToSeveralBestFirst) {
    // 310103023 is on the roster; its sheet reads 310103043. Free and close:
    // 310103003 and 310103013 (one place), 310103034 (swap).
    const auto v = check({"310103003", "310103013", "310103034", "310103023"}, {"310103043"});
    EXPECT_EQ(SuggestionsFor(v, sheets, roster, "310103043"),
              (std::vector<std::pair<std::string, Closeness>>{
                  {"310103023", Closeness::OneDigit}, // |43 - 23| = 20
                  {"310103013", Closeness::OneDigit}, // 30
                  {"310103003", Closeness::OneDigit}, // 40
                  {"310103034", Closeness::Swapped}}))
        << "one place before a swap, then nearer in value";
}

TEST_F(Suggestions, OnePlaceComesBeforeANearerSwap) {
    // 310103051 (seat 51 of a class of 40): one place from 310103011 (40 apart),
    // a swap from 310103015 (36 apart).
    const auto v = check({"310103011", "310103015"}, {"310103051"});
    EXPECT_EQ(SuggestionsFor(v, sheets, roster, "310103051"),
              (std::vector<std::pair<std::string, Closeness>>{{"310103011", Closeness::OneDigit},
                                                              {"310103015", Closeness::Swapped}}));
}

TEST_F(Suggestions, NoneWhenNothingIsClose) {
    const auto v = check({"310103012", "310103031"}, {"310103121"});
    EXPECT_TRUE(SuggestionsFor(v, sheets, roster, "310103121").empty())
        << "two places from 310103012 and from 310103031";
    EXPECT_EQ(v.absentCount(), 2u);
}

TEST_F(Suggestions, ARosterNumberThatHasItsSheetIsNeverSuggested) {
    // Nobody is absent: 310103087 is one place from 310103017, which has its sheet.
    const auto v = check({}, {"310103087"});
    ASSERT_EQ(v.unknown.size(), 1u);
    EXPECT_TRUE(v.unknown[0].suggestions.empty());
    EXPECT_TRUE(v.absent.empty());
    // With 310103037 absent, only it is offered, although 310103017 is as close.
    const auto w = check({"310103037"}, {"310103087"});
    EXPECT_EQ(SuggestionsFor(w, sheets, roster, "310103087"),
              (std::vector<std::pair<std::string, Closeness>>{{"310103037", Closeness::OneDigit}}));
}

TEST_F(Suggestions, SheetsSharingANumberShareTheSuggestions) {
    const auto v = check({"310103017"}, {"310103087", "310103087"});
    ASSERT_EQ(v.unknown.size(), 2u);
    EXPECT_EQ(v.unknown[0].suggestions.size(), 1u);
    EXPECT_EQ(v.unknown[1].suggestions.size(), 1u);
    ASSERT_EQ(v.duplicates.size(), 1u) << "and they are a duplicate";
}

TEST_F(Suggestions, AMisreadPlaceIsOnePlace) {
    const auto v = check({"310103017", "310104017"}, {"31010?017"});
    ASSERT_EQ(v.malformed.size(), 1u);
    EXPECT_EQ(v.malformed[0].why, Malformation::Characters);
    EXPECT_EQ(Suggested(roster, v.malformed[0].suggestions),
              (std::vector<std::pair<std::string, Closeness>>{{"310103017", Closeness::OneDigit},
                                                              {"310104017", Closeness::OneDigit}}));
    EXPECT_TRUE(v.unknown.empty()) << "a malformed number is listed once";
}

// --- absent ---------------------------------------------------------------------

TEST(Absent, GroupedByClass) {
    Roster r = RosterOf({{"310104002", "4", "钱七"},
                         {"310101001", "3", "张三"},
                         {"310110001", "10", "孙八"},
                         {"310199001", "实验班", "周九"},
                         {"310101003", "3", "王五"},
                         {"310100009", "", "吴十"},
                         {"310101002", "3", "李四"},
                         {"310104001", "4", "赵六"},
                         {"310101001", "3", "张三重"}});
    const SheetList sheets = SheetsOf({"310101001", "310104001"});
    const auto v = VerifyNumbers(sheets, &r);
    EXPECT_EQ(v.studentCount, 8u) << "a number twice on the roster counts once";
    EXPECT_EQ(v.studentsMatched, 2u);
    ASSERT_EQ(v.absent.size(), 5u);
    std::vector<std::string> classes;
    for (const auto& a : v.absent)
        classes.push_back(a.className);
    EXPECT_EQ(classes, (std::vector<std::string>{"3", "4", "10", "实验班", ""}))
        << "numeric classes by value, then named ones, no class last";
    std::vector<std::string> third;
    for (auto s : v.absent[0].students)
        third.emplace_back(r.id(s));
    EXPECT_EQ(third, (std::vector<std::string>{"310101002", "310101003"}));
    EXPECT_EQ(r.name(v.absent[1].students[0]), "钱七");
    EXPECT_EQ(v.absentCount(), 6u);
}

// --- malformed ------------------------------------------------------------------

TEST(Malformed, EmptyOrUnlikeTheMajority) {
    const auto v = VerifyNumbers(SheetsOf({"310101001", "310101002", "3101001", "", "31010?003",
                                           "3101A1004", "310101005", "310101006", "3101010070"}),
                                 nullptr);
    EXPECT_EQ(v.majority.length, 9u);
    EXPECT_EQ(v.majority.kind, roster::CharKind::Digits);
    std::vector<std::pair<std::uint32_t, Malformation>> found;
    for (const auto& m : v.malformed)
        found.emplace_back(m.sheet, m.why);
    EXPECT_EQ(found,
              (std::vector<std::pair<std::uint32_t, Malformation>>{{2, Malformation::Length},
                                                                   {3, Malformation::Empty},
                                                                   {4, Malformation::Characters},
                                                                   {5, Malformation::Characters},
                                                                   {8, Malformation::Length}}));
}

TEST(Malformed, LettersAreFineWhereMostNumbersHaveThem) {
    const auto v = VerifyNumbers(SheetsOf({"K0301", "K0302", "K0303", "00304", "K03?5"}), nullptr);
    EXPECT_EQ(v.majority.kind, roster::CharKind::Alphanumeric);
    ASSERT_EQ(v.malformed.size(), 1u);
    EXPECT_EQ(v.malformed[0].sheet, 4u);
}

TEST(Malformed, ANumberOnTheRosterIsNotMalformed) {
    Roster r = RosterOf({{"310101001", "3", "a"},
                         {"310101002", "3", "b"},
                         {"3101003", "3", "c"},
                         {"310101005", "3", "d"}});
    const auto v =
        VerifyNumbers(SheetsOf({"310101001", "310101002", "3101003", "3101004", "310101005"}), &r);
    EXPECT_EQ(v.majority.length, 9u);
    ASSERT_EQ(v.malformed.size(), 1u);
    EXPECT_EQ(v.malformed[0].sheet, 3u);
    EXPECT_EQ(v.malformed[0].why, Malformation::Length);
    EXPECT_TRUE(v.unknown.empty());
}

// --- gaps without a roster ------------------------------------------------------

TEST(Gaps, WithinEachClassNotAcrossClasses) {
    roster::ClassCodeRule rule;
    rule.prefixMode = true;
    rule.prefix = "2026";
    rule.codeLength = 2;
    rule.firstClass = 1;
    rule.lastClass = 24;
    // Class 1: seats 01 02 04 05 09; class 2: 01 03; class 3: 01 02; 99 is no class.
    const auto v = VerifyNumbers(
        SheetsOf({"20260209", "20260101", "20260102", "20260104", "20260105", "20260109",
                  "20260201", "20260301", "20260302", "20269901", "20260101"}),
        nullptr, rule);
    ASSERT_EQ(v.gaps.size(), 2u);
    EXPECT_EQ(v.gaps[0].className, "1");
    ASSERT_EQ(v.gaps[0].gaps.size(), 2u);
    EXPECT_EQ(v.gaps[0].gaps[0].first, "20260103");
    EXPECT_EQ(v.gaps[0].gaps[0].count, 1u);
    EXPECT_EQ(v.gaps[0].gaps[1].first, "20260106");
    EXPECT_EQ(v.gaps[0].gaps[1].last, "20260108");
    EXPECT_EQ(v.gaps[0].gaps[1].count, 3u);
    EXPECT_EQ(v.gaps[1].className, "2");
    ASSERT_EQ(v.gaps[1].gaps.size(), 1u);
    EXPECT_EQ(v.gaps[1].gaps[0].first, "20260202");
    EXPECT_EQ(v.gaps[1].gaps[0].last, "20260208");
    EXPECT_EQ(v.missingInGaps(), 11u);
    EXPECT_EQ(v.unclassified, 1u);
    EXPECT_EQ(v.duplicates.size(), 1u);
}

TEST(Gaps, LeadingZerosAndOneGroupWithoutClassSettings) {
    const auto v = VerifyNumbers(SheetsOf({"0098", "0101", "0099"}), nullptr);
    ASSERT_EQ(v.gaps.size(), 1u);
    EXPECT_EQ(v.gaps[0].className, "");
    EXPECT_EQ(v.gaps[0].gaps[0].first, "0100");
    EXPECT_EQ(v.gaps[0].gaps[0].count, 1u);
}

TEST(Gaps, NoneWithARoster) {
    Roster r = RosterOf({{"1001", "1", "a"}, {"1003", "1", "b"}});
    EXPECT_TRUE(VerifyNumbers(SheetsOf({"1001", "1003"}), &r).gaps.empty());
}

TEST(ClassCodeRule, AsTheClassStatisticsReadIt) {
    roster::ClassCodeRule byPlace;
    byPlace.startPosition = 4;
    byPlace.codeLength = 2;
    EXPECT_EQ(byPlace("310031001"), "3");
    EXPECT_EQ(byPlace("310241001"), "24");
    EXPECT_EQ(byPlace("310251001"), std::nullopt) << "past the last class";
    EXPECT_EQ(byPlace("310001001"), std::nullopt) << "before the first";
    EXPECT_EQ(byPlace("310A31001"), std::nullopt);
    EXPECT_EQ(byPlace("3100"), std::nullopt) << "too short";
    roster::ClassCodeRule byPrefix;
    byPrefix.prefixMode = true;
    byPrefix.prefix = "K";
    byPrefix.codeLength = 3;
    byPrefix.lastClass = 200;
    EXPECT_EQ(byPrefix("K1050001"), "105");
    EXPECT_EQ(byPrefix("J1050001"), std::nullopt);
}

} // namespace
