#include "roster/Import.h"
#include "roster/Columns.h"
#include "roster/Error.h"
#include "tests/roster/XlsFixture.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/TempHome.h"

#include "platform/text/Gbk.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

namespace {

using roster::Field;
using roster::RecognizeColumns;
using roster::RowProblem;
using roster::TextRows;
using testsupport::TempHome;

// --- headings ----------------------------------------------------------------

TEST(Headings, UsualNamesAreRecognised) {
    const auto c = RecognizeColumns({"序号", "姓名", "班级", "考号", "科目"});
    EXPECT_EQ(c.id, 3);
    EXPECT_EQ(c.name, 1);
    EXPECT_EQ(c.cls, 2);
    EXPECT_EQ(c.subject, 4);
    const auto english = RecognizeColumns({"ID", "Name", "Class"});
    EXPECT_EQ(english.id, 0);
    EXPECT_EQ(english.name, 1);
    EXPECT_EQ(english.cls, 2);
    const auto ids = RecognizeColumns({"ID", "StudClass", "StudName", "StudSubject"});
    EXPECT_EQ(ids.cls, 1);
    EXPECT_EQ(ids.name, 2);
    EXPECT_EQ(ids.subject, 3);
    EXPECT_EQ(RecognizeColumns({"班", "学生姓名"}).cls, 0);
}

TEST(Headings, WrittenLooselyStillCount) {
    EXPECT_EQ(roster::HeadingKey(" 考　号 "), "考号");
    EXPECT_EQ(roster::HeadingKey("考号（9位）"), "考号");
    EXPECT_EQ(roster::HeadingKey("*姓名:"), "姓名");
    EXPECT_EQ(roster::HeadingKey("ＩＤ"), "id");
    const auto c = RecognizeColumns({"准考证号(必填)", "姓 名"});
    EXPECT_EQ(c.id, 0);
    EXPECT_EQ(c.name, 1);
    EXPECT_EQ(RecognizeColumns({"考号说明"}).id, -1) << "a heading that only contains the word";
}

TEST(Headings, ExamNumberPriority) {
    EXPECT_EQ(RecognizeColumns({"学号", "准考证号", "考号"}).id, 2) << "考号 wins";
    EXPECT_EQ(RecognizeColumns({"ID", "学号", "准考证号"}).id, 2) << "then 准考证号";
    EXPECT_EQ(RecognizeColumns({"ID", "学号"}).id, 1) << "then 学号";
    EXPECT_EQ(RecognizeColumns({"ID", "姓名"}).id, 0);
    EXPECT_EQ(RecognizeColumns({"考号", "考号"}).id, 0) << "of equals, the first";
}

TEST(Headings, MapsOverride) {
    using roster::ParseColumnMap;
    const std::vector<roster::ColumnMap> maps{ParseColumnMap("学号=考号"),
                                              ParseColumnMap("C=StudClass")};
    const auto c = RecognizeColumns({"考号", "学号", "年级班", "姓名"}, maps);
    EXPECT_EQ(c.id, 1) << "the map beats the heading 考号";
    EXPECT_EQ(c.cls, 2) << "a column letter";
    EXPECT_EQ(c.name, 3) << "fields without a map are still recognised";
    EXPECT_EQ(RecognizeColumns({"a", "b"}, {ParseColumnMap("2=id")}).id, 1) << "a column number";
    EXPECT_EQ(RecognizeColumns({"a", "b"}, {ParseColumnMap("zz=ID")}).id, 701)
        << "letters name a column even past the headings";
    EXPECT_EQ(ParseColumnMap(" 姓 名 = studname ").field, Field::Name);
    EXPECT_EQ(ParseColumnMap("X=科目").field, Field::Subject);
    EXPECT_THROW((void)ParseColumnMap("考号"), roster::Error);
    EXPECT_THROW((void)ParseColumnMap("考号=学校"), roster::Error);
}

// --- building the roster -----------------------------------------------------

TEST(BuildRoster, ValuesAsATeacherReadsThem) {
    const TextRows rows{{"考号", "姓名", "班级", "科目"},
                        {"310101001.0", "张　三", "高一(3)班", "物理"},
                        {"0310101002", "李四", "3班", ""},
                        {"3.10101003E8", "王五", "实验班", ""}};
    const auto r = roster::BuildRoster(rows, {}, "名单.csv");
    ASSERT_EQ(r.taken(), 3u);
    EXPECT_EQ(r.roster.id(0), "310101001");
    EXPECT_EQ(r.roster.name(0), "张三");
    EXPECT_EQ(r.roster.className(0), "3");
    EXPECT_EQ(r.roster.subject(0), "物理");
    EXPECT_EQ(r.roster.id(1), "0310101002");
    EXPECT_EQ(r.roster.className(1), "3");
    EXPECT_EQ(r.roster.id(2), "310101003");
    EXPECT_EQ(r.roster.className(2), "实验班");
    EXPECT_TRUE(r.problems.empty());
}

TEST(BuildRoster, ProblemsAreCollectedNotHidden) {
    const TextRows rows{{"考号", "姓名", "班级"},     {"310101001", "张三", "3"}, {"", "无号", "3"},
                        {"310101001", "重号", "4"},   {"310101004", "无班", ""},  {"", "", ""},
                        {"3.10101E+11", "丢位", "3"}, {"310101007", "赵六", "4"}};
    const auto r = roster::BuildRoster(rows, {}, "名单.csv");
    EXPECT_EQ(r.studentRows, 6u);
    EXPECT_EQ(r.blankRows, 1u);
    EXPECT_EQ(r.taken(), 3u);
    EXPECT_EQ(r.skipped(), 3u);
    EXPECT_EQ(r.count(RowProblem::EmptyId), 1u);
    EXPECT_EQ(r.count(RowProblem::DuplicateId), 1u);
    EXPECT_EQ(r.count(RowProblem::DigitsLost), 1u);
    EXPECT_EQ(r.count(RowProblem::NoClass), 1u);
    EXPECT_EQ(r.roster.name(0), "张三") << "the first row of a duplicate is kept";
    EXPECT_EQ(r.roster.id(1), "310101004");
    EXPECT_EQ(r.roster.className(1), "") << "kept with an empty class";
    for (const auto& p : r.problems)
        if (p.kind == RowProblem::DuplicateId) {
            EXPECT_EQ(p.row, 4u);
            EXPECT_EQ(p.firstRow, 2u);
            EXPECT_EQ(p.id, "310101001");
        }

    const auto lines = roster::ImportSummary(r, "名单.csv");
    auto has = [&](const std::string& text) {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("读到 6 行学生记录，导入 3 人，跳过 3 行"));
    EXPECT_TRUE(has("跳过考号为空的 1 行: 第 3 行"));
    EXPECT_TRUE(has("第 4 行（310101001，与第 2 行重复）"));
    EXPECT_TRUE(has("第 7 行（3.10101E+11）"));
    EXPECT_TRUE(has("保留没有班级的（班级为空） 1 行: 第 5 行"));
    EXPECT_TRUE(has("考号列“考号”（第 1 列）"));
    EXPECT_TRUE(has("没有科目列"));
}

TEST(BuildRoster, ATitleRowAboveTheHeadings) {
    const TextRows rows{{"高一年级学生名单"}, {}, {"学号", "姓名"}, {"1001", "张三"}};
    const auto r = roster::BuildRoster(rows, {}, "t");
    EXPECT_EQ(r.headingRow, 3u);
    ASSERT_EQ(r.taken(), 1u);
    EXPECT_EQ(r.roster.id(0), "1001");
    EXPECT_EQ(r.roster.className(0), "");
    EXPECT_EQ(r.count(RowProblem::NoClass), 0u) << "no class column: not a problem per row";
}

TEST(BuildRoster, NoExamNumberColumnIsAnError) {
    try {
        (void)roster::BuildRoster({{"姓名", "班级"}, {"张三", "3"}}, {}, "名单.csv");
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("名单.csv"), std::string::npos) << what;
        EXPECT_NE(what.find("找不到考号列"), std::string::npos) << what;
        EXPECT_NE(what.find("姓名、班级"), std::string::npos) << "names the headings: " << what;
    }
    try {
        (void)roster::BuildRoster({{"姓名", "编号"}}, {roster::ParseColumnMap("序号=考号")}, "l");
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("找不到列“序号”"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)roster::BuildRoster({}, {}, "l"), roster::Error);
    EXPECT_THROW((void)roster::BuildRoster({{"考号"}, {""}, {"  "}}, {}, "l"), roster::Error)
        << "nothing to import";
}

// --- whole files in each format ----------------------------------------------

void ExpectTheClassList(const roster::ImportResult& r) {
    ASSERT_EQ(r.taken(), 3u);
    EXPECT_EQ(r.roster.id(0), "310101001");
    EXPECT_EQ(r.roster.name(0), "张三");
    EXPECT_EQ(r.roster.className(0), "3");
    EXPECT_EQ(r.roster.id(1), "0310101002");
    EXPECT_EQ(r.roster.className(1), "3");
    EXPECT_EQ(r.roster.id(2), "310104003");
    EXPECT_EQ(r.roster.className(2), "4");
}

TEST(ImportClassList, CsvInGbk) {
    TempHome home;
    testsupport::WriteBytes(home / "名单.csv",
                            text::ToGbk("学号,考号,姓名,班级\n1,310101001,张三,3班\n"
                                        "2,0310101002,李四,高一(3)班\n3,310104003,王五,4\n"));
    ExpectTheClassList(roster::ImportClassList(home / "名单.csv"));
}

TEST(ImportClassList, Xlsx) {
    TempHome home;
    lxw_workbook* wb = workbook_new((home / "名单.xlsx").c_str());
    workbook_add_worksheet(wb, "封面");
    lxw_worksheet* ws = workbook_add_worksheet(wb, "高一");
    const char* head[] = {"班级", "姓名", "准考证号"};
    for (int c = 0; c < 3; ++c)
        worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), head[c], nullptr);
    worksheet_write_string(ws, 1, 0, "3班", nullptr);
    worksheet_write_string(ws, 1, 1, "张三", nullptr);
    worksheet_write_number(ws, 1, 2, 310101001, nullptr);
    worksheet_write_number(ws, 2, 0, 3, nullptr);
    worksheet_write_string(ws, 2, 1, "李四", nullptr);
    worksheet_write_string(ws, 2, 2, "0310101002", nullptr);
    worksheet_write_string(ws, 3, 0, "高一(4)班", nullptr);
    worksheet_write_string(ws, 3, 1, "王五", nullptr);
    worksheet_write_number(ws, 3, 2, 3.10104003e8, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    roster::ImportOptions options;
    options.sheet = "高一";
    ExpectTheClassList(roster::ImportClassList(home / "名单.xlsx", options));
}

TEST(ImportClassList, XlsWithAMap) {
    using testsupport::RkInt;
    TempHome home;
    testsupport::WriteXls(home / "名单.xls",
                          {{"Sheet1",
                            {{std::string("编号"), std::string("名字"), std::string("班别")},
                             {310101001.0, std::string("张三"), RkInt{3}},
                             {std::string("0310101002"), std::string("李四"), 3.0},
                             {3.10104003e8, std::string("王五"), std::string("4班")}}}});
    roster::ImportOptions options;
    options.maps = {roster::ParseColumnMap("编号=ID")};
    ExpectTheClassList(roster::ImportClassList(home / "名单.xls", options));
    EXPECT_THROW((void)roster::ImportClassList(home / "名单.xls"), roster::Error)
        << "without the map there is no exam-number column";
}

TEST(ImportClassList, DbfAsTeachersLoadIt) {
    TempHome home;
    testsupport::WriteDbf(home / "ids.dbf",
                          {{"ID", 'C', 10}, {"StudClass", 'C', 6}, {"StudName", 'C', 8}},
                          {{std::string("310101001"), std::string("3"), std::string("张三")},
                           {std::string("0310101002"), std::string("03"), std::string("李四")},
                           {std::string("310104003"), std::string("4"), std::string("王五")}});
    ExpectTheClassList(roster::ImportClassList(home / "ids.dbf"));
}

} // namespace
