#include "core/AppError.h"
#include "core/OpenTable.h"
#include "platform/automation/Automation.h"
#include "platform/automation/SheetServer.h"
#include "report/ExportExcel.h"
#include "report/ReportCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/AutomationCalls.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"
#include "tests/support/Zip.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::TempHome;

// A fresh temporary folder for the report files, the spreadsheet stand-in
// registered, and what it shows recorded.
class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TMPDIR", home.path().c_str(), 1);
        spreadsheet = asked.wrap(
            automation::SheetServer({&shell, [this](const std::string& t) { clipboard = t; }, {}}));
        ws.startUp();
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    void OpenTable(int sheets) {
        testsupport::WriteAnswers(home / "rep.dbf", testsupport::Sheets(sheets, 4), 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "rep.dbf");
    }

    TempHome home;
    std::filesystem::path temp = testsupport::ProcessTempIn(home.path()); // the report's own folder
    testsupport::AutomationCalls asked; // what the report asks of the spreadsheet
    automation::Factory spreadsheet;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
    std::string clipboard;
};

TEST_F(ReportTest, EveryCallInItsOrder) {
    OpenTable(3);
    ws.connection.execute("UPDATE rep SET score = 88.5 WHERE BH = '202601002'");
    report::ExportReport(ws, spreadsheet);
    const std::vector<std::string> expected = {"visible=true",
                                               "WorkBooks()",
                                               "Open(\"" + (temp / "test.xls").string() + "\")",
                                               "ActiveSheet()",
                                               "range(\"a2:c4\")",
                                               "select()",
                                               "Selection()",
                                               "NumberFormatLocal=\"@\"",
                                               "selection()",
                                               "Borders(5)",
                                               "LineStyle=-4142",
                                               "selection()",
                                               "Borders(6)",
                                               "LineStyle=-4142"};
    const auto& calls = asked.calls();
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(
        std::vector<std::string>(calls.begin(), calls.begin() + static_cast<long>(expected.size())),
        expected);
    // Six borders of three puts each, the footers, three autofits, select all and copy.
    std::vector<std::string> tail(calls.begin() + static_cast<long>(expected.size()), calls.end());
    // Each border put reaches Selection and Borders afresh: 6 x 3 x 3 entries.
    ASSERT_EQ(tail.size(), 6u * 9 + 4 + 3 * 3 + 4);
    EXPECT_EQ(tail[0], "Selection()");
    EXPECT_EQ(tail[1], "Borders(7)");
    EXPECT_EQ(tail[2], "LineStyle=1");
    EXPECT_EQ(tail[4], "Borders(7)");
    EXPECT_EQ(tail[5], "Weight=2");
    EXPECT_EQ(tail[8], "ColorIndex=-4105");
    EXPECT_EQ(tail[46], "Borders(12)");
    EXPECT_EQ(tail[54], "PageSetup()");
    EXPECT_EQ(tail[55], "CenterFooter=\"第 &P 页，共 &N 页\"");
    EXPECT_EQ(tail[57], "RightFooter=\"&D\"");
    EXPECT_EQ(tail[58], "Columns(\"a:a\")");
    EXPECT_EQ(tail[59], "EntireColumn()");
    EXPECT_EQ(tail[60], "AutoFit()");
    EXPECT_EQ(tail[64], "Columns(\"c:c\")");
    EXPECT_EQ(tail[67], "Cells()");
    EXPECT_EQ(tail[68], "Select()");
    EXPECT_EQ(tail.back(), "Copy()");

    EXPECT_EQ(clipboard, "BH\tCONTENT\tSCORE\r\n"
                         "202601001\t1248\t\r\n"
                         "202601002\t2481\t88.5\r\n"
                         "202601003\t4812\t\r\n");
    ASSERT_EQ(shell.opened().size(), 1u);
    EXPECT_EQ(shell.opened()[0], (temp / "test.xlsx").string());
    EXPECT_EQ(ws.view.sqlText(), "select * from [rep] ORDER BY [BH]\r\n");
    EXPECT_GT(ws.view.fieldCount(), 100) << "the view is back to all columns";
}

TEST_F(ReportTest, TheWorkbookCarriesFormatsBordersFootersAndWidths) {
    OpenTable(100);
    report::ExportReport(ws, spreadsheet);
    auto sheet = testsupport::ReadZipEntry(temp / "test.xlsx", "xl/worksheets/sheet1.xml");
    auto styles = testsupport::ReadZipEntry(temp / "test.xlsx", "xl/styles.xml");
    ASSERT_TRUE(sheet && styles);
    EXPECT_NE(sheet->find("<oddFooter>&amp;C第 &amp;P 页，共 &amp;N 页&amp;R&amp;D</oddFooter>"),
              std::string::npos);
    // Widths: exam numbers 9, contents 7 ("content"), scores 5 ("score").
    EXPECT_NE(sheet->find("<col min=\"1\" max=\"1\" width=\"9.7109375\" customWidth=\"1\"/>"),
              std::string::npos)
        << *sheet;
    EXPECT_NE(sheet->find("<col min=\"2\" max=\"2\" width=\"7.7109375\" customWidth=\"1\"/>"),
              std::string::npos);
    EXPECT_NE(sheet->find("<col min=\"3\" max=\"3\" width=\"5.7109375\" customWidth=\"1\"/>"),
              std::string::npos);
    EXPECT_NE(sheet->find("<dimension ref=\"A1:C101\"/>"), std::string::npos);
    // One cell format besides the default: text, thin lines on every side
    // (the range's edges and its inside lines), no diagonals.
    EXPECT_NE(styles->find("<numFmt numFmtId=\"164\" formatCode=\"@\"/>"), std::string::npos);
    EXPECT_NE(styles->find("<border><left style=\"thin\"><color auto=\"1\"/></left><right "
                           "style=\"thin\"><color auto=\"1\"/></right><top style=\"thin\"><color "
                           "auto=\"1\"/></top><bottom style=\"thin\"><color auto=\"1\"/></bottom>"
                           "<diagonal/></border>"),
              std::string::npos)
        << *styles;
    EXPECT_NE(styles->find("<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"1\""),
              std::string::npos);
    // The header row is left plain; the data cells carry the bordered text format.
    EXPECT_NE(sheet->find("<c r=\"A1\" t=\"inlineStr\">"), std::string::npos);
    EXPECT_NE(sheet->find("<c r=\"A2\" s=\"1\" t=\"inlineStr\">"), std::string::npos);
    EXPECT_NE(sheet->find("<c r=\"C101\" s=\"1\"/>"), std::string::npos) << "a blank score";
}

TEST_F(ReportTest, RefusalsBeforeAnyAutomation) {
    try {
        report::ExportReport(ws, spreadsheet);
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "生成报表时错误，数据表不在打开状态。");
    }
    OpenTable(0);
    try {
        report::ExportReport(ws, spreadsheet);
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(e.what(), "生成报表失败。当前零条记录。");
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "test.xls"));
    try {
        (void)report::OpenExcelReport(spreadsheet, (home / "none.xls").string(), 1, 1);
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_EQ(std::string(e.what()), "文件不存在: " + (home / "none.xls").string());
    }
    testsupport::WriteBytes(home / "x.xls", "x");
    try {
        (void)report::OpenExcelReport(automation::Factory{}, (home / "x.xls").string(), 1, 1);
        FAIL();
    } catch (const core::AppError& e) {
        EXPECT_STREQ(
            e.what(),
            "打开Excel时错误。报表功能需要安装Excel2000，如果已安装Excel2000则可能需要重新安装。");
    }
    EXPECT_TRUE(asked.calls().empty());
}

TEST_F(ReportTest, MoreThanTwentySixColumnsAreRejectedQuietly) {
    OpenTable(2);
    db::Query& v = ws.view;
    v.close();
    v.setSql(
        "select BH, content, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15, "
        "f16, f17, f18, f19, f20, f21, f22, f23, f24, f25 from rep");
    v.open();
    const auto xls = home / "wide.xls";
    report::TDS2Excel(v).SaveToFile(xls, true);
    EXPECT_FALSE(
        report::OpenExcelReport(spreadsheet, xls.string(), v.recordCount(), v.fieldCount()));
    EXPECT_EQ(asked.calls().back(), "quit()");
    EXPECT_FALSE(std::filesystem::exists(home / "wide.xlsx"));
    EXPECT_TRUE(shell.opened().empty());
    EXPECT_TRUE(ui.messages.empty());
}

// The .xls must open in a real spreadsheet program.
TEST_F(ReportTest, LibreOfficeReadsTheXls) {
    if (std::system("command -v soffice > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "soffice is not installed (Debian package libreoffice-calc)";
    OpenTable(3);
    ws.connection.execute("UPDATE rep SET score = 77.5 WHERE BH = '202601003'");
    report::ExportReport(ws, spreadsheet);
    const std::string cmd = "cd '" + temp.string() + "' && HOME='" + home.path().string() +
                            "' soffice --headless --convert-to csv test.xls > /dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string csv = testsupport::ReadBytes(temp / "test.csv");
    EXPECT_EQ(csv, "BH,CONTENT,SCORE\n202601001,1248,\n202601002,2481,\n202601003,4812,77.5\n");
}

// Without a spreadsheet program the message stays the application's own;
// what the user can do instead goes to standard error.
TEST_F(ReportTest, WithoutASpreadsheetTheAdviceGoesToStandardError) {
    testsupport::WriteBytes(home / "x.xls", "x");
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(
        (void)report::OpenExcelReport(automation::Factory{}, (home / "x.xls").string(), 1, 1),
        report::NoSpreadsheet);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("LibreOffice Calc"), std::string::npos) << err;
    EXPECT_NE(err.find(".xlsx"), std::string::npos) << err;
}

} // namespace
