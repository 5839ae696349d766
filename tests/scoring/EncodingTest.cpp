#include "scoring/MarkCodes.h"
#include "scoring/NumberText.h"
#include "scoring/TextColumns.h"

#include <gtest/gtest.h>

namespace {

using namespace scoring;

TEST(Marks, SingleChoiceConversion) {
    EXPECT_EQ(MarkToLetter('0'), " ");
    EXPECT_EQ(MarkToLetter('1'), "A");
    EXPECT_EQ(MarkToLetter('2'), "B");
    EXPECT_EQ(MarkToLetter('4'), "C");
    EXPECT_EQ(MarkToLetter('8'), "D");
    EXPECT_EQ(MarkToLetter('@'), "E");
    EXPECT_EQ(MarkToLetter('P'), "F");
    EXPECT_EQ(MarkToLetter('3'), "3") << "a double mark keeps its raw code";
    EXPECT_EQ(MarkToLetter(' '), " ");
    EXPECT_EQ(MarkToLetter('/'), "/");
    EXPECT_EQ(MarkToLetter('p'), "p");
}

TEST(Marks, MultipleChoiceConversionListsLettersInOrder) {
    struct Row {
        char code;
        const char* letters;
    };
    for (Row r : {Row{'0', " "}, Row{'1', "A"}, Row{'3', "AB"}, Row{'7', "ABC"}, Row{'?', "ABCD"},
                  Row{'O', "ABCDE"}, Row{'k', "ABDEF"}, Row{'o', "ABCDEF"}, Row{'=', "ACD"},
                  Row{'P', "F"}, Row{' ', " "}, Row{'/', "/"}, Row{'p', "p"}})
        EXPECT_EQ(MarkToLetters(r.code), r.letters) << r.code;
    // Every code of the range gives one letter per set bit.
    for (int mask = 1; mask < 64; ++mask)
        EXPECT_EQ(MarkToLetters(static_cast<char>(48 + mask)).size(),
                  static_cast<std::size_t>(__builtin_popcount(mask)));
}

TEST(Columns, PadNumberNameValue) {
    EXPECT_EQ(PadNumber(5), "5     ");
    EXPECT_EQ(PadNumber(12345), "12345 ");
    EXPECT_EQ(PadNumber(123456), "123456 ");
    EXPECT_EQ(PadNumber(-5), "-5    ");
    EXPECT_EQ(PadName(""), "      ");
    EXPECT_EQ(PadName("初一班"), "初一班 ") << "6 GBK bytes and one space";
    EXPECT_EQ(PadName("一班"), "一班  ");
    EXPECT_EQ(PadValue("12.75"), "12.75  ");
    EXPECT_EQ(PadValue("1234567"), "1234567 ");
}

TEST(Columns, PadZero) {
    EXPECT_EQ(PadZero("7", scoring::ZerosInFront, 3), "007");
    EXPECT_EQ(PadZero("7", scoring::ZerosBehind, 3), "700");
    EXPECT_EQ(PadZero("1234", scoring::ZerosInFront, 3), "1234");
    EXPECT_EQ(PadZero("3", scoring::ZerosInFront, 2), "03");
    EXPECT_EQ(PadZero("123", scoring::ZerosInFront, 2), "123");
    EXPECT_EQ(PadZero("", scoring::ZerosInFront, 0), "");
}

TEST(Rounding, ExtendedPrecisionRule) {
    // The product is stored as a double, one step off the literal; the
    // reports show it with 15 digits.
    EXPECT_NEAR(RoundTo(12.75, 1), 12.7, 1e-14);
    EXPECT_EQ(NumberText(RoundTo(12.75, 1)), "12.7");
    EXPECT_EQ(NumberText(RoundTo(12.25, 1)), "12.2");
    EXPECT_EQ(NumberText(RoundTo(12.35, 1)), "12.3");
    EXPECT_EQ(NumberText(RoundTo(100.0 * 2 / 3, 2)), "66.67");
    EXPECT_EQ(NumberText(RoundTo(2.675, 2)), "2.67");
    EXPECT_EQ(RoundTo(89.5, 0), 90.0);
    EXPECT_EQ(RoundTo(88.5, 0), 88.0) << "ties go to even";
    EXPECT_EQ(RoundTo(static_cast<double>(0.7f) * 10, 1), 7.0);
    EXPECT_EQ(RoundTo(0.0, 2), 0.0);
}

TEST(FixedText, TwoDecimalsHalvesAwayFromZero) {
    EXPECT_EQ(FixedText(1234.5, 2), "1234.50");
    EXPECT_EQ(FixedText(0, 2), "0.00");
    EXPECT_EQ(FixedText(0.125, 2), "0.13") << "an exact half rounds up";
    EXPECT_EQ(FixedText(2.675, 2), "2.67") << "2.675 is held below the half";
    EXPECT_EQ(FixedText(-1.005, 2), "-1.00");
    EXPECT_EQ(FixedText(-0.004, 2), "0.00");
    EXPECT_EQ(FixedText(99.995, 2), "100.00");
    EXPECT_EQ(FixedText(0.0049, 2), "0.00");
    EXPECT_EQ(FixedText(0.005, 2), "0.01");
    EXPECT_EQ(FixedText(123456789.125, 2), "123456789.13");
    EXPECT_EQ(FixedText(66.666666666666671, 2), "66.67");
    EXPECT_EQ(FixedText(7, 0), "7");
}

TEST(NumberText, ShortestGeneralForm) {
    EXPECT_EQ(NumberText(50), "50");
    EXPECT_EQ(NumberText(RoundTo(200.0 / 3, 2)), "66.67");
    EXPECT_EQ(NumberText(12.5), "12.5");
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(static_cast<double>(0.7f)), "0.699999988079071");
    EXPECT_EQ(NumberText(RoundTo(12.75, 1)), "12.7");
}

} // namespace
