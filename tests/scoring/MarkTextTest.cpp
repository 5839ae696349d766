#include "scoring/MarkText.h"

#include <gtest/gtest.h>

namespace {

TEST(MarkTextTest, SingleMarksSeveralMarksAndBlanks) {
    // "1" = A, "G" = 48 + 23 = A B C E, "0" blank, "?" = 48 + 15 = A B C D, "o" all six.
    EXPECT_EQ(scoring::MarksText("1G0?o"), "1:A  2:ABCE  3:  4:ABCD  5:ABCDEF");
}

TEST(MarkTextTest, TenToALineAndTrailingBlanksAreNoQuestions) {
    EXPECT_EQ(scoring::MarksText("12481248124   "),
              "1:A  2:B  3:C  4:D  5:A  6:B  7:C  8:D  9:A  10:B\n11:C");
    EXPECT_EQ(scoring::MarksText("1248", 2), "1:A  2:B\n3:C  4:D");
}

TEST(MarkTextTest, BytesThatAreNoMarkCodeShowAsTheyAre) {
    EXPECT_EQ(scoring::MarksText("*1 2"), "1:*  2:A  3:  4:B");
    EXPECT_EQ(scoring::MarksText(""), "");
    EXPECT_EQ(scoring::MarksText("   "), "");
}

} // namespace
