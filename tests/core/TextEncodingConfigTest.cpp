// config.ini's [General] TextEncoding: how it is read, what a value the
// program cannot use gives, and that start-up says so.
#include "core/Config.h"
#include "core/Session.h"
#include "core/Workspace.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using core::FieldSettings;
using testsupport::ReadBytes;
using testsupport::TempHome;
using testsupport::WriteBytes;
using text::Encoding;

void WriteSetting(const TempHome& home, const std::string& value) {
    WriteBytes(home / "config.ini",
               "[Fields]\r\nID=BH\r\n[General]\r\nTextEncoding=" + value + "\r\n");
}

struct Case {
    const char* value;
    Encoding read;
    bool problem;
};

class TextEncodingSetting : public ::testing::TestWithParam<Case> {};

TEST_P(TextEncodingSetting, IsReadOrSaidAndReplacedByGbk) {
    TempHome home;
    WriteSetting(home, GetParam().value);
    FieldSettings f;
    f.TextEncoding =
        GetParam().read == Encoding::Gbk ? Encoding::Utf8 : Encoding::Gbk; // must be replaced
    core::LoadConfig(home / "config.ini", f);
    EXPECT_EQ(f.TextEncoding, GetParam().read);
    EXPECT_EQ(core::ConfigProblems(home / "config.ini").size(), GetParam().problem ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TextEncodingSetting,
    ::testing::Values(Case{"GBK", Encoding::Gbk, false}, Case{"gbk", Encoding::Gbk, false},
                      Case{"UTF-8", Encoding::Utf8, false}, Case{"utf8", Encoding::Utf8, false},
                      Case{" Utf-8 ", Encoding::Utf8, false}, Case{"GB18030", Encoding::Gbk, false},
                      Case{"", Encoding::Gbk, false}, Case{"Big5", Encoding::Gbk, true},
                      Case{"UTF-16", Encoding::Gbk, true}, Case{"1", Encoding::Gbk, true}));

TEST(TextEncodingConfig, AMissingFileOrKeyIsGbkWithoutAWord) {
    TempHome home;
    FieldSettings f;
    f.TextEncoding = Encoding::Utf8;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_EQ(f.TextEncoding, Encoding::Gbk);
    EXPECT_TRUE(core::ConfigProblems(home / "config.ini").empty());
    WriteBytes(home / "config.ini", "[General]\r\nFullMatch=0\r\n");
    f.TextEncoding = Encoding::Utf8;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_EQ(f.TextEncoding, Encoding::Gbk);
    EXPECT_TRUE(core::ConfigProblems(home / "config.ini").empty());
}

TEST(TextEncodingConfig, TheProblemNamesTheValueAndWhatIsUsedInstead) {
    TempHome home;
    WriteSetting(home, "Big5");
    const auto problems = core::ConfigProblems(home / "config.ini");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0],
              "config.ini 中 [General] 的 TextEncoding=Big5 不是可用的编码（只能是 GBK 或 UTF-8），"
              "报告按 GBK 写出。");
}

TEST(TextEncodingConfig, SavingTheNamesKeepsTheSetting) {
    TempHome home;
    WriteSetting(home, "UTF-8");
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    f.Content = "DA";
    ASSERT_TRUE(core::SaveConfig(home / "config.ini", f));
    const std::string ini = ReadBytes(home / "config.ini");
    EXPECT_NE(ini.find("TextEncoding=UTF-8"), std::string::npos) << ini;
    FieldSettings again;
    core::LoadConfig(home / "config.ini", again);
    EXPECT_EQ(again.TextEncoding, Encoding::Utf8);
    EXPECT_EQ(again.Content, "DA");
}

TEST(TextEncodingConfig, StartUpSaysAValueItCannotUseAsAWarning) {
    TempHome home;
    WriteSetting(home, "Big5");
    core::Workspace ws(home.path());
    testsupport::ScriptedUi ui;
    core::StartUp(ws, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, core::Icon::Warning);
    EXPECT_NE(ui.messages[0].text.find("TextEncoding=Big5"), std::string::npos);
    EXPECT_EQ(ws.Fields.TextEncoding, Encoding::Gbk);
    EXPECT_EQ(ws.Fields.ID, "BH") << "the rest of the file is read as before";
}

TEST(TextEncodingConfig, StartUpSaysNothingForAUsableValue) {
    TempHome home;
    WriteSetting(home, "UTF-8");
    core::Workspace ws(home.path());
    testsupport::ScriptedUi ui;
    core::StartUp(ws, ui);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ws.Fields.TextEncoding, Encoding::Utf8);
}

} // namespace
