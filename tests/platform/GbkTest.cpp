#include "platform/text/Gbk.h"
#include "platform/os/Folders.h"
#include "platform/text/TextFile.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;

TEST(Gbk, ConvertsBothWaysWithKnownBytes) {
    EXPECT_EQ(text::ToGbk("中文"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(text::FromGbk("\xD6\xD0\xCE\xC4"), "中文");
    EXPECT_EQ(text::ToGbk("统计_期中.txt"), "\xCD\xB3\xBC\xC6_\xC6\xDA\xD6\xD0.txt");
    EXPECT_EQ(text::FromGbk(text::ToGbk("分班统计“Index”")), "分班统计“Index”");
}

TEST(Gbk, WidthCountsChineseAsTwoBytes) {
    EXPECT_EQ(text::GbkWidth("9班"), 3u);
    EXPECT_EQ(text::GbkWidth("abc"), 3u);
    EXPECT_EQ(text::GbkWidth("初一班"), 6u);
    EXPECT_TRUE(text::HasDoubleByte("9班"));
    EXPECT_FALSE(text::HasDoubleByte("A1"));
}

TEST(Gbk, OnlyBrokenTextBecomesQuestionMarksOrReplacementCharacters) {
    EXPECT_EQ(text::ToGbk("a\xE4\xB8"
                          "b"),
              "a?b")
        << "a cut UTF-8 sequence";
    EXPECT_EQ(text::FromGbk("a\xFF"), "a\xEF\xBF\xBD");
}

TEST(TextFile, SavesGbkWithCrLfAndAppends) {
    TempHome home;
    auto file = home / "统计.txt";
    text::SaveLines(file, {"题目  选A", "", "x"});
    EXPECT_EQ(ReadBytes(file), "\xCC\xE2\xC4\xBF  \xD1\xA1"
                               "A\r\n\r\nx\r\n");
    text::AppendLines(file, {"尾"});
    EXPECT_EQ(ReadBytes(file), "\xCC\xE2\xC4\xBF  \xD1\xA1"
                               "A\r\n\r\nx\r\n\xCE\xB2\r\n");
    text::SaveLines(file, {"new"});
    EXPECT_EQ(ReadBytes(file), "new\r\n");
    EXPECT_EQ(text::LoadLines(file), std::vector<std::string>{"new"});
}

TEST(TextFile, SavingIntoAMissingFolderNamesTheFile) {
    TempHome home;
    try {
        text::SaveLines(home / "no/such/folder/a.txt", {"x"});
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("a.txt"), std::string::npos) << e.what();
    }
}

TEST(Folders, ProgramFolderFollowsTheOverride) {
    TempHome home;
    EXPECT_EQ(os::ProgramFolder(), home.path());
    auto temp = os::GetTempFolder();
    EXPECT_EQ(temp.back(), '/');
}

TEST(Folders, WithoutAnOverrideTheEnvironmentThenTheExecutableDecide) {
    TempHome home;
    os::SetProgramFolder({});
    ::setenv("QUILLORY_HOME", home.path().c_str(), 1);
    EXPECT_EQ(os::ProgramFolder(), home.path());
    ::unsetenv("QUILLORY_HOME");
    EXPECT_EQ(os::ProgramFolder(), os::ExecutableFolder());
    os::SetProgramFolder(home.path());
}

TEST(Folders, FindsFilesWithoutRegardToCase) {
    TempHome home;
    testsupport::WriteBytes(home / "A.DBF", "x");
    EXPECT_EQ(os::FindFileNoCase(home.path(), "a.dbf"), home / "A.DBF");
    EXPECT_EQ(os::FindFileNoCase(home.path(), "A.DBF"), home / "A.DBF");
    EXPECT_TRUE(os::FindFileNoCase(home.path(), "b.dbf").empty());
}

} // namespace
