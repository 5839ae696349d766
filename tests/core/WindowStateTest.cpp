#include "core/WindowState.h"
#include "core/Config.h"
#include "platform/text/Gbk.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;
using testsupport::WriteBytes;

TEST(WindowStateTest, AMissingFileGivesNothing) {
    TempHome home;
    const core::WindowState s = core::LoadWindowState(home / "config.ini");
    EXPECT_FALSE(s.place);
    EXPECT_TRUE(s.columnWidths.empty());
    EXPECT_TRUE(s.recent.empty());
}

TEST(WindowStateTest, WhatIsSavedReadsBackAndOtherSectionsStay) {
    TempHome home;
    const std::string before =
        "; 评分设置\r\n[Fields]\r\nID=KH\r\n\r\n[General]\r\nFullMatch=0\r\n";
    WriteBytes(home / "config.ini", text::ToGbk(before));
    core::WindowState s;
    s.place = core::WindowPlace{-8, 30, 800, 600, true};
    s.setWidths("期中考试", {{"BH", 90}, {"content", 320}});
    s.setWidths("t1", {{"score", 55}});
    s.recent = {"/考试/期中考试.dbf", "/tmp/t1.dbf"};
    ASSERT_TRUE(core::SaveWindowState(home / "config.ini", s));

    const core::WindowState back = core::LoadWindowState(home / "config.ini");
    ASSERT_TRUE(back.place);
    EXPECT_EQ(back.place->x, -8);
    EXPECT_EQ(back.place->y, 30);
    EXPECT_EQ(back.place->width, 800);
    EXPECT_EQ(back.place->height, 600);
    EXPECT_TRUE(back.place->maximized);
    const auto* widths = back.widthsOf("期中考试");
    ASSERT_NE(widths, nullptr);
    ASSERT_EQ(widths->size(), 2u);
    EXPECT_EQ((*widths)[1].column, "content");
    EXPECT_EQ((*widths)[1].width, 320);
    ASSERT_NE(back.widthsOf("T1"), nullptr); // table names without regard to case
    EXPECT_EQ(back.widthsOf("T1")->at(0).width, 55);
    EXPECT_EQ(back.recent, s.recent);

    core::FieldSettings fields;
    core::LoadConfig(home / "config.ini", fields);
    EXPECT_EQ(fields.ID, "KH");
    EXPECT_FALSE(fields.FullMatch);
    const std::string bytes = text::FromGbk(ReadBytes(home / "config.ini"));
    EXPECT_NE(bytes.find("; 评分设置"), std::string::npos);
    EXPECT_NE(bytes.find("期中考试=BH:90,content:320"), std::string::npos);
}

TEST(WindowStateTest, SavingAgainReplacesTheSections) {
    TempHome home;
    core::WindowState s;
    s.setWidths("a", {{"x", 10}});
    s.recent = {"/1.dbf", "/2.dbf"};
    ASSERT_TRUE(core::SaveWindowState(home / "config.ini", s));
    s.columnWidths.clear();
    s.recent = {"/3.dbf"};
    ASSERT_TRUE(core::SaveWindowState(home / "config.ini", s));
    const core::WindowState back = core::LoadWindowState(home / "config.ini");
    EXPECT_EQ(back.widthsOf("a"), nullptr);
    EXPECT_EQ(back.recent, std::vector<std::string>{"/3.dbf"});
}

TEST(WindowStateTest, ValuesThatDoNotReadAreLeftOut) {
    TempHome home;
    WriteBytes(
        home / "config.ini",
        "[Window]\r\nX=10\r\nY=abc\r\nWidth=700\r\nHeight=500\r\n"
        "[ColumnWidths]\r\nt=BH:x,content:200,:5,score:-3,flag\r\nempty=nothing\r\n"
        "[Recent]\r\nFile1=/a.dbf\r\nFile2=\r\nFile3=/a.dbf\r\nFile4=/b.dbf\r\nFile9=/c.dbf\r\n");
    const core::WindowState s = core::LoadWindowState(home / "config.ini");
    EXPECT_FALSE(s.place); // Y is no number
    ASSERT_NE(s.widthsOf("t"), nullptr);
    ASSERT_EQ(s.widthsOf("t")->size(), 1u);
    EXPECT_EQ(s.widthsOf("t")->at(0).column, "content");
    EXPECT_EQ(s.widthsOf("empty"), nullptr);
    EXPECT_EQ(s.recent, (std::vector<std::string>{"/a.dbf", "/b.dbf"}));

    WriteBytes(home / "config.ini", "[Window]\r\nX=1\r\nY=2\r\nWidth=0\r\nHeight=500\r\n");
    EXPECT_FALSE(core::LoadWindowState(home / "config.ini").place);
}

TEST(WindowStateTest, RecentListIsNewestFirstOnceEachAndAtMostEight) {
    std::vector<std::string> recent;
    for (int i = 1; i <= 10; ++i)
        core::AddRecent(recent, "/t" + std::to_string(i) + ".dbf");
    ASSERT_EQ(recent.size(), core::kRecentCount);
    EXPECT_EQ(recent.front(), "/t10.dbf");
    EXPECT_EQ(recent.back(), "/t3.dbf");
    core::AddRecent(recent, "/t5.dbf");
    EXPECT_EQ(recent.size(), 8u);
    EXPECT_EQ(recent[0], "/t5.dbf");
    EXPECT_EQ(recent[1], "/t10.dbf");
    EXPECT_EQ(std::count(recent.begin(), recent.end(), "/t5.dbf"), 1);
    core::RemoveRecent(recent, "/t10.dbf");
    EXPECT_EQ(recent.size(), 7u);
    EXPECT_EQ(recent[1], "/t9.dbf");
}

TEST(WindowStateTest, ATableNameThatCannotBeAKeyIsNotWritten) {
    TempHome home;
    core::WindowState s;
    s.setWidths("a=b", {{"x", 10}});
    s.setWidths("[x]", {{"x", 10}});
    s.setWidths("ok", {{"x", 10}});
    ASSERT_TRUE(core::SaveWindowState(home / "config.ini", s));
    const core::WindowState back = core::LoadWindowState(home / "config.ini");
    EXPECT_EQ(back.columnWidths.size(), 1u);
    EXPECT_NE(back.widthsOf("ok"), nullptr);
}

} // namespace
