#include "roster/CellText.h"

#include <gtest/gtest.h>

namespace {

using roster::ClassText;
using roster::ExamNumberText;
using roster::FormatNumber;

TEST(FormatNumber, AsASpreadsheetShowsANumberCell) {
    EXPECT_EQ(FormatNumber(310101001.0), "310101001");
    EXPECT_EQ(FormatNumber(3.10101001e8), "310101001");
    EXPECT_EQ(FormatNumber(3.10101e8), "310101000") << "the value of the cell, not its display";
    EXPECT_EQ(FormatNumber(31010100101.0), "31010100101") << "past the range of 32-bit integers";
    EXPECT_EQ(FormatNumber(85.5), "85.5");
    EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.3") << "15 significant digits, as a spreadsheet";
    EXPECT_EQ(FormatNumber(-0.0), "0");
    EXPECT_EQ(FormatNumber(-12.0), "-12");
}

TEST(ExamNumberText, TextCellsKeepTheirDigits) {
    EXPECT_EQ(ExamNumberText("0310101001").text, "0310101001") << "leading zeros stay";
    EXPECT_EQ(ExamNumberText("  310101001 ").text, "310101001");
    EXPECT_EQ(ExamNumberText("\xE3\x80\x80"
                             "310101001")
                  .text,
              "310101001")
        << "ideographic space";
    EXPECT_EQ(ExamNumberText("３１０１０１００１").text, "310101001") << "full-width digits";
    EXPECT_EQ(ExamNumberText("310101001.0").text, "310101001");
    EXPECT_EQ(ExamNumberText("310101001.00").text, "310101001");
    EXPECT_EQ(ExamNumberText("3101.5").text, "3101.5") << "a real fraction is not dropped";
    EXPECT_EQ(ExamNumberText("K0301").text, "K0301");
}

TEST(ExamNumberText, ScientificNotationIsWrittenOutOnlyWhenComplete) {
    EXPECT_EQ(ExamNumberText("3.10101001E8").text, "310101001");
    EXPECT_EQ(ExamNumberText("3.10101001e+08").text, "310101001");
    EXPECT_EQ(ExamNumberText("3.101010010E8").text, "310101001") << "a zero beyond the point";
    EXPECT_FALSE(ExamNumberText("3.10101001E8").digitsLost);

    const auto lost = ExamNumberText("3.10101E+11");
    EXPECT_TRUE(lost.digitsLost) << "the spreadsheet dropped six digits";
    EXPECT_EQ(lost.text, "");
    EXPECT_TRUE(ExamNumberText("3E2").digitsLost);
    EXPECT_EQ(ExamNumberText("3.1015E2").text, "3.1015E2") << "not an integer: left as written";
    EXPECT_EQ(ExamNumberText("E12").text, "E12") << "not a number at all";
}

TEST(ClassText, TheClassNumber) {
    EXPECT_EQ(ClassText("3班"), "3");
    EXPECT_EQ(ClassText("高一(3)班"), "3");
    EXPECT_EQ(ClassText("高一（12）班"), "12");
    EXPECT_EQ(ClassText("2024级3班"), "3") << "the last number is the class";
    EXPECT_EQ(ClassText("03"), "3");
    EXPECT_EQ(ClassText("3.0"), "3") << "a number cell written with a fraction";
    EXPECT_EQ(ClassText("３班"), "3");
    EXPECT_EQ(ClassText("0"), "0");
    EXPECT_EQ(ClassText(" 实验班 "), "实验班") << "no number: the text";
    EXPECT_EQ(ClassText(""), "");
}

TEST(NameText, BlanksInsideChineseNamesGo) {
    EXPECT_EQ(roster::NameText("张\xE3\x80\x80三"), "张三");
    EXPECT_EQ(roster::NameText(" 张 三 "), "张三");
    EXPECT_EQ(roster::NameText("Anna Li"), "Anna Li") << "Latin names keep their spaces";
}

TEST(IsUtf8, TellsUtf8FromGbk) {
    EXPECT_TRUE(roster::IsUtf8("考号,姓名"));
    EXPECT_TRUE(roster::IsUtf8("plain"));
    EXPECT_FALSE(roster::IsUtf8("\xBF\xBC\xBA\xC5")) << "考号 in GBK";
    EXPECT_FALSE(roster::IsUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(roster::IsUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(roster::IsUtf8("\xE8\x80")) << "cut short";
    EXPECT_FALSE(roster::IsUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_TRUE(roster::IsUtf8("\xF0\x9F\x98\x80"));
}

} // namespace
