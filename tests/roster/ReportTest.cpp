#include "roster/Correction.h"
#include "roster/Verify.h"
#include "roster/VerifyReport.h"

#include <gtest/gtest.h>

namespace {

using roster::Correction;
using roster::CorrectionKind;
using roster::Roster;
using roster::SheetList;

Roster SmallRoster() {
    Roster r;
    r.add("310101001", "3", "张三");
    r.add("310101002", "3", "李四");
    r.add("310101003", "3", "王五");
    r.add("310104001", "4", "赵六");
    r.add("310104002", "4", "钱七");
    return r;
}

SheetList SmallTable() {
    SheetList s;
    s.add("310101001", 85.0, 1);
    s.add("310101001", std::nullopt, 2);
    s.add("310101030", 72.0, 3);
    s.add("310104001", 90.0, 4);
    s.add("31010?002", 60.0, 5);
    s.add("", 55.5, 6);
    return s;
}

TEST(VerifyReport, WithARosterOnlyTheNumbersWithAProblem) {
    const Roster r = SmallRoster();
    const SheetList s = SmallTable();
    const auto v = roster::VerifyNumbers(s, &r);
    const std::vector<std::string> expected{
        "考号核对: 期中",
        "答卷 6 份",
        "学生名单 5 人，其中 2 人有答卷",
        "多数考号为 9 位数字",
        "",
        "一、重复的考号: 1 个考号，2 份答卷",
        "  310101001  第 1 条 85 分；第 2 条  可能是: 310101002 李四（3班，一位不同）、"
        "310101003 王五（3班，一位不同）",
        "",
        "二、不在名单上的考号: 1 份答卷",
        "  310101030  第 3 条  72 分  可能是: 310101003 王五（3班，两位颠倒）",
        "",
        "三、缺考学生（名单上没有答卷的）: 3 人，2 个班",
        "  3班（2 人）",
        "    310101002  李四",
        "    310101003  王五",
        "  4班（1 人）",
        "    310104002  钱七",
        "",
        "四、考号异常的答卷: 2 份",
        "  第 5 条  31010?002  含有异常字符  60 分  可能是: 310101002 李四（3班，一位不同）、"
        "310104002 钱七（4班，一位不同）",
        "  第 6 条  （空）  考号为空  55.5 分",
    };
    EXPECT_EQ(roster::VerifyReportLines("期中", s, &r, v), expected);
    EXPECT_EQ(roster::VerifyReportName("期中"), "考号核对_期中.txt");
}

TEST(VerifyReport, WithoutARosterGapsAndEmptySections) {
    SheetList s;
    s.add("1001", 80.0, 1);
    s.add("1004", 70.0, 2);
    s.add("1005", std::nullopt, 3);
    s.add("1007", 60.0, 4);
    s.add("2001", 50.0, 5);
    const roster::ClassOfNumber byFirstDigit = [](std::string_view id) {
        return std::optional<std::string>(std::string(id.substr(0, 1)));
    };
    const auto v = roster::VerifyNumbers(s, nullptr, byFirstDigit);
    const std::vector<std::string> expected{
        "考号核对: t",
        "答卷 5 份",
        "没有学生名单: 只查重复、异常的考号和各班内的缺号",
        "多数考号为 4 位数字",
        "",
        "一、重复的考号: 0 个考号，0 份答卷",
        "  无",
        "",
        "二、考号异常的答卷: 0 份",
        "  无",
        "",
        "三、班内缺号: 1 个班，共 3 个",
        "  1班: 1002 至 1003（2 个）、1006",
    };
    EXPECT_EQ(roster::VerifyReportLines("t", s, nullptr, v), expected);
}

// --- corrections -------------------------------------------------------------

TEST(Correction, Parsing) {
    const auto c = roster::ParseCorrection(" 310101030 = 310101003 ");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->oldId, "310101030");
    EXPECT_EQ(c->newId, "310101003");
    EXPECT_FALSE(c->record);
    EXPECT_EQ(roster::ParseCorrection("=310101003")->oldId, "");
    EXPECT_FALSE(roster::ParseCorrection("310101030"));
}

TEST(Correction, AcceptedNamesTheSheet) {
    const SheetList s = SmallTable();
    const auto ok = roster::CheckCorrection(s, {"310101030", "310101003", std::nullopt});
    EXPECT_EQ(ok.sheet, 2u);
    EXPECT_EQ(ok.refusal, "");
    const auto blank = roster::CheckCorrection(s, {"", "310101002", std::nullopt});
    EXPECT_EQ(blank.sheet, 5u) << "the one sheet without a number";
    const auto named = roster::CheckCorrection(s, {"310101001", "310101002", 2u});
    EXPECT_EQ(named.sheet, 1u) << "the second of two, named by its place";
}

TEST(Correction, Refusals) {
    const SheetList s = SmallTable();
    auto refusal = [&](const Correction& c) {
        const auto check = roster::CheckCorrection(s, c);
        EXPECT_FALSE(check.sheet);
        return check.refusal;
    };
    EXPECT_EQ(refusal({"310101030", "310104001", std::nullopt}),
              "考号 310104001 已经有答卷，不能改成这个考号");
    EXPECT_EQ(refusal({"310109999", "310101003", std::nullopt}), "没有考号为 310109999 的答卷");
    EXPECT_EQ(refusal({"310101001", "310101002", std::nullopt}),
              "考号 310101001 有 2 份答卷（第 1、2 条），请指明改哪一条");
    EXPECT_EQ(refusal({"310101001", "310101002", 3u}), "第 3 条答卷的考号不是 310101001");
    EXPECT_EQ(refusal({"310101030", "", std::nullopt}), "新考号为空");
    EXPECT_EQ(refusal({"310101030", "310101030", std::nullopt}), "新考号与原考号相同: 310101030");
    for (const char* controlled : {"3101\t01003", "310101003\n2026", "3101\r01003", "31\x01"})
        EXPECT_NE(refusal({"310101030", controlled, std::nullopt})
                      .find("新考号中有制表符、换行等控制字符"),
                  std::string::npos)
            << controlled;
}

TEST(CorrectionLog, OneTabSeparatedLineThatReadsBack) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 5;
    when.tm_mday = 14;
    when.tm_hour = 9;
    when.tm_min = 30;
    when.tm_sec = 5;
    const std::string line = roster::CorrectionLogLine(when, CorrectionKind::Correct, "期中",
                                                       "310101030", "310101003", 72.5);
    EXPECT_EQ(line, "2026-06-14 09:30:05\t更正\t期中\t310101030\t310101003\t72.5");
    const auto e = roster::ParseCorrectionLogLine(line);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->time, "2026-06-14 09:30:05");
    EXPECT_EQ(e->kind, CorrectionKind::Correct);
    EXPECT_EQ(e->table, "期中");
    EXPECT_EQ(e->oldId, "310101030");
    EXPECT_EQ(e->newId, "310101003");
    EXPECT_EQ(e->score, 72.5);

    const std::string undo =
        roster::CorrectionLogLine(when, CorrectionKind::Undo, "期中", "310101003", "310101030", {});
    EXPECT_EQ(undo, "2026-06-14 09:30:05\t撤销\t期中\t310101003\t310101030\t");
    const auto u = roster::ParseCorrectionLogLine(undo);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->kind, CorrectionKind::Undo);
    EXPECT_FALSE(u->score);
    EXPECT_FALSE(roster::ParseCorrectionLogLine("2026-06-14\t更正\t期中\t1\t2"));

    // Tabs and line breaks inside a field cannot split the line or forge
    // another one.
    const std::string forged =
        roster::CorrectionLogLine(when, CorrectionKind::Correct, "期\t中", "3101\n01030",
                                  "310101003\r\n2026-06-14 09:30:05\t更正\t期中\t1\t2\t", {});
    EXPECT_EQ(forged.find_first_of("\r\n"), std::string::npos) << forged;
    const auto f = roster::ParseCorrectionLogLine(forged);
    ASSERT_TRUE(f) << forged;
    EXPECT_EQ(f->table, "期 中");
    EXPECT_EQ(f->oldId, "3101 01030");
    EXPECT_EQ(f->newId, "310101003  2026-06-14 09:30:05 更正 期中 1 2 ");
    EXPECT_FALSE(roster::ParseCorrectionLogLine("2026-06-14\t改\t期中\t1\t2\t"));
}

} // namespace
