#include "core/Config.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using core::FieldSettings;
using testsupport::ReadBytes;
using testsupport::TempHome;
using testsupport::WriteBytes;

TEST(Config, BeforeLoadingTheSettingsHoldTheirInitialValues) {
    FieldSettings f;
    EXPECT_EQ(f.Content, "CONTENT");
    EXPECT_EQ(f.Score, "SCORE");
    EXPECT_EQ(f.ID, "ID");
    EXPECT_FALSE(f.FullMatch);
}

TEST(Config, AMissingFileGivesItsOwnDefaultsAndIsWrittenAtClose) {
    TempHome home;
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_EQ(f.Content, "content");
    EXPECT_EQ(f.Score, "score");
    EXPECT_EQ(f.ID, "BH");
    EXPECT_EQ(f.Flag, "flag");
    EXPECT_EQ(f.Subject, "subject");
    EXPECT_TRUE(f.FullMatch);
    EXPECT_FALSE(f.YuwenM);
    ASSERT_TRUE(core::SaveConfig(home / "config.ini", f));
    std::string ini = ReadBytes(home / "config.ini");
    for (const char* line :
         {"Content=content", "Score=score", "ID=BH", "Flag=flag", "Subject=subject", "FullMatch=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;
    EXPECT_EQ(ini.find("yuwen_m"), std::string::npos);
    EXPECT_LT(ini.find("[Fields]"), ini.find("[General]"));
}

TEST(Config, MissingKeysTakeTheKeyDefaults) {
    TempHome home;
    WriteBytes(home / "config.ini", "[General]\r\nFullMatch=0\r\n");
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_EQ(f.Content, "Content");
    EXPECT_EQ(f.Score, "Score");
    EXPECT_EQ(f.ID, "BH");
    EXPECT_EQ(f.Flag, "Flag");
    EXPECT_EQ(f.Subject, "Subject");
    EXPECT_FALSE(f.FullMatch);
}

TEST(Config, BooleansAreIntegersAndOtherTextCountsAsMissing) {
    TempHome home;
    WriteBytes(home / "config.ini", "[general]\nfullmatch=yes\nYUWEN_M=2\n[fields]\nid=KH\n");
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_TRUE(f.FullMatch) << "'yes' is no integer: the default true";
    EXPECT_TRUE(f.YuwenM);
    EXPECT_EQ(f.ID, "KH") << "sections and keys match without regard to case";
}

TEST(Config, SavingKeepsEverythingElseAndNeverTouchesYuwenM) {
    TempHome home;
    WriteBytes(home / "config.ini",
               "; the teacher's note\n[Fields]\nContent=DA\nExtra=keep me\n[General]\n"
               "yuwen_m=1\nFullMatch=1\n[Printer]\nName=HP\n");
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    EXPECT_TRUE(f.YuwenM);
    f.Content = "答案";
    f.FullMatch = false;
    ASSERT_TRUE(core::SaveConfig(home / "config.ini", f));
    std::string ini = ReadBytes(home / "config.ini");
    for (const char* kept : {"; the teacher's note", "Extra=keep me", "yuwen_m=1", "[Printer]",
                             "Name=HP", "FullMatch=0"})
        EXPECT_NE(ini.find(kept), std::string::npos) << kept << " in\n" << ini;
    EXPECT_NE(ini.find("Content=\xB4\xF0\xB0\xB8"), std::string::npos) << "GBK value";
    FieldSettings again;
    core::LoadConfig(home / "config.ini", again);
    EXPECT_EQ(again.Content, "答案");
    EXPECT_TRUE(again.YuwenM);
}

TEST(Config, AFailedSaveSaysSo) {
    TempHome home;
    testsupport::ScriptedUi ui;
    FieldSettings f;
    core::SaveConfig(home / "no-such-folder" / "config.ini", f, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "不能保存配置信息。");
    EXPECT_EQ(ui.messages[0].text, "");
    EXPECT_EQ(ui.messages[0].icon, core::Icon::Error);
}

TEST(Config, EmptyNamesAreStoredAsTyped) {
    TempHome home;
    FieldSettings f;
    core::LoadConfig(home / "config.ini", f);
    f.Flag = "";
    ASSERT_TRUE(core::SaveConfig(home / "config.ini", f));
    FieldSettings again;
    core::LoadConfig(home / "config.ini", again);
    EXPECT_EQ(again.Flag, "");
}

} // namespace
