// The encodings of the reports: the bytes each writes, the reading of a file
// whose encoding is not known for certain, and the logs that stay GBK.
#include "platform/text/Encoding.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;
using text::Encoding;

// "题目" in GBK and in UTF-8, written out by hand.
const std::string kTimuGbk = "\xCC\xE2\xC4\xBF";
const std::string kTimuUtf8 = "\xE9\xA2\x98\xE7\x9B\xAE";

TEST(EncodingNamed, TakesTheNamesOfASettingWithoutRegardToCase) {
    EXPECT_EQ(text::EncodingNamed("GBK"), Encoding::Gbk);
    EXPECT_EQ(text::EncodingNamed("gbk"), Encoding::Gbk);
    EXPECT_EQ(text::EncodingNamed(" GB18030 "), Encoding::Gbk);
    EXPECT_EQ(text::EncodingNamed("936"), Encoding::Gbk);
    EXPECT_EQ(text::EncodingNamed("UTF-8"), Encoding::Utf8);
    EXPECT_EQ(text::EncodingNamed("utf8"), Encoding::Utf8);
    EXPECT_FALSE(text::EncodingNamed("Big5"));
    EXPECT_FALSE(text::EncodingNamed("UTF-16"));
    EXPECT_FALSE(text::EncodingNamed(""));
    EXPECT_STREQ(text::EncodingName(Encoding::Gbk), "GBK");
    EXPECT_STREQ(text::EncodingName(Encoding::Utf8), "UTF-8");
}

TEST(EncodeLines, GbkIsTheBytesOfGbkLines) {
    const std::vector<std::string> lines = {"题目  选A", "", "x 𠀀"};
    EXPECT_EQ(text::EncodeLines(lines, Encoding::Gbk), text::GbkLines(lines));
    EXPECT_EQ(text::EncodeLines({"题目"}, Encoding::Gbk), kTimuGbk + "\r\n");
}

TEST(EncodeLines, Utf8HasNoByteOrderMarkAndEndsEveryLineInCrLf) {
    EXPECT_EQ(text::EncodeLines({"题目", "", "A"}, Encoding::Utf8), kTimuUtf8 + "\r\n\r\nA\r\n");
    EXPECT_EQ(text::EncodeLines({}, Encoding::Utf8), "");
}

TEST(SaveLines, WritesTheChosenEncodingWholeAndAppendsGbk) {
    TempHome home;
    const auto report = home / "统计_a.txt";
    text::SaveLines(report, {"题目"}, Encoding::Utf8);
    EXPECT_EQ(ReadBytes(report), kTimuUtf8 + "\r\n");
    text::SaveLines(report, {"题目"}, Encoding::Gbk);
    EXPECT_EQ(ReadBytes(report), kTimuGbk + "\r\n");
    const auto log = home / "a.log";
    text::AppendLines(log, {"题目"});
    text::AppendLines(log, {"题目"});
    EXPECT_EQ(ReadBytes(log), kTimuGbk + "\r\n" + kTimuGbk + "\r\n");
}

TEST(IsUtf8, TellsWellFormedUtf8FromEverythingElse) {
    EXPECT_TRUE(text::IsUtf8(""));
    EXPECT_TRUE(text::IsUtf8("plain"));
    EXPECT_TRUE(text::IsUtf8(kTimuUtf8));
    EXPECT_TRUE(text::IsUtf8("\xF0\xA0\x80\x80")); // U+20000
    EXPECT_FALSE(text::IsUtf8(kTimuGbk));
    EXPECT_FALSE(text::IsUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(text::IsUtf8("\xE0\x80\xAF")) << "overlong";
    EXPECT_FALSE(text::IsUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(text::IsUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(text::IsUtf8("\xE9\xA2")) << "cut short";
    EXPECT_FALSE(text::IsUtf8("\xE9\xA2x")) << "a continuation missing";
}

TEST(DecodeText, ReadsGbkAndUtf8RightWhateverWasExpected) {
    for (Encoding expected : {Encoding::Gbk, Encoding::Utf8}) {
        const auto gbk = text::DecodeText(kTimuGbk + "\r\n", expected);
        EXPECT_EQ(gbk.utf8, "题目\r\n");
        EXPECT_EQ(gbk.encoding, Encoding::Gbk);
        const auto utf8 = text::DecodeText(kTimuUtf8 + "\r\n", expected);
        EXPECT_EQ(utf8.utf8, "题目\r\n");
        EXPECT_EQ(utf8.encoding, Encoding::Utf8);
    }
}

TEST(DecodeText, AsciiIsSaidToBeWhatWasExpected) {
    EXPECT_EQ(text::DecodeText("A 1\r\n", Encoding::Utf8).encoding, Encoding::Utf8);
    EXPECT_EQ(text::DecodeText("A 1\r\n", Encoding::Gbk).encoding, Encoding::Gbk);
    EXPECT_EQ(text::DecodeText("A 1\r\n", Encoding::Gbk).utf8, "A 1\r\n");
}

TEST(DecodeText, AByteOrderMarkIsDroppedAndGb18030FourByteCharactersAreRead) {
    EXPECT_EQ(text::DecodeText("\xEF\xBB\xBF" + kTimuUtf8, Encoding::Gbk).utf8, "题目");
    EXPECT_EQ(text::DecodeText(text::ToGbk("𠀀"), Encoding::Utf8).utf8, "𠀀");
}

} // namespace
