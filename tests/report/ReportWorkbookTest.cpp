// The spreadsheet report of more rows than an .xls holds: written straight to
// the formatted workbook, every row, the header repeated on further sheets.
#include "core/OpenTable.h"
#include "platform/automation/SheetServer.h"
#include "report/ReportCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/AutomationCalls.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include "tests/support/Zip.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::CellMap;
using testsupport::SheetXml;
using testsupport::TempHome;

class ReportWorkbookTest : public ::testing::Test {
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
    core::Workspace ws{home.path()};
    testsupport::AutomationCalls asked; // what the report asks of the spreadsheet
    automation::Factory spreadsheet;
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
    std::string clipboard;
};

TEST_F(ReportWorkbookTest, UpToTheLimitTheXlsGoesThroughTheSpreadsheet) {
    OpenTable(5);
    const auto written = report::ExportReport(ws, spreadsheet, {6, 3});
    EXPECT_EQ(written.file, temp / "test.xls");
    EXPECT_TRUE(written.notice.empty());
    EXPECT_TRUE(std::filesystem::exists(temp / "test.xls"));
    EXPECT_FALSE(asked.calls().empty());
    EXPECT_EQ(testsupport::SheetNames(temp / "test.xlsx"), std::vector<std::string>{"Sheet1"})
        << "the sheet limit concerns only the workbook written without the .xls";
}

TEST_F(ReportWorkbookTest, BeyondTheLimitTheWorkbookIsTheOneTheSpreadsheetWouldMake) {
    OpenTable(5);
    ws.connection.execute("UPDATE rep SET score = 88.5 WHERE BH = '202601002'");
    ws.connection.execute("UPDATE rep SET score = 100 WHERE BH = '202601005'");
    (void)report::ExportReport(ws, spreadsheet);
    const auto formattedSheet = SheetXml(temp / "test.xlsx", 1);
    const auto formattedStyles = testsupport::ReadZipEntry(temp / "test.xlsx", "xl/styles.xml");
    std::filesystem::remove(temp / "test.xls");
    std::filesystem::remove(temp / "test.xlsx");
    asked.clear();
    const std::string view = ws.view.sqlText();

    const auto written = report::ExportReport(ws, spreadsheet, {5, report::kWorkbookSheetRows});
    EXPECT_EQ(written.file, temp / "test.xlsx");
    EXPECT_NE(written.notice.find("5 行数据"), std::string::npos) << written.notice;
    EXPECT_NE(written.notice.find("最多 5 行"), std::string::npos) << written.notice;
    EXPECT_NE(written.notice.find(written.file.string()), std::string::npos) << written.notice;
    EXPECT_TRUE(asked.calls().empty()) << "the spreadsheet is not asked";
    EXPECT_FALSE(std::filesystem::exists(temp / "test.xls"));
    EXPECT_FALSE(std::filesystem::exists(temp / "test.xlsx.part"));
    EXPECT_EQ(SheetXml(temp / "test.xlsx", 1), formattedSheet);
    EXPECT_EQ(testsupport::ReadZipEntry(temp / "test.xlsx", "xl/styles.xml"), formattedStyles);
    EXPECT_EQ(shell.opened().size(), 1u) << "the front end, not the command, shows the workbook";
    EXPECT_EQ(ws.view.sqlText(), view) << "the view is put back";
}

TEST_F(ReportWorkbookTest, RowsContinueOnTheNextSheetUnderTheHeader) {
    OpenTable(7);
    const auto written = report::ExportReport(ws, spreadsheet, {5, 3});
    EXPECT_NE(written.notice.find("4 个工作表"), std::string::npos) << written.notice;
    EXPECT_EQ(testsupport::SheetNames(temp / "test.xlsx"),
              (std::vector<std::string>{"Sheet1", "Sheet2", "Sheet3", "Sheet4"}));
    std::vector<std::string> examNumbers;
    for (int n = 1; n <= 4; ++n) {
        const std::string xml = SheetXml(temp / "test.xlsx", n);
        auto cells = CellMap(xml);
        EXPECT_EQ(cells["A1"].value, "BH") << "sheet " << n;
        EXPECT_EQ(cells["C1"].value, "SCORE") << "sheet " << n;
        EXPECT_EQ(cells["A1"].style, 0) << "the header is plain";
        for (const char* ref : {"A2", "A3"}) {
            if (!cells.count(ref))
                continue;
            EXPECT_EQ(cells[ref].style, 1) << "data cells carry the bordered text format";
            examNumbers.push_back(cells[ref].value);
        }
        EXPECT_EQ(cells.count("A4"), 0u) << "three rows at most on sheet " << n;
        EXPECT_NE(xml.find("<oddFooter>"), std::string::npos);
        EXPECT_NE(xml.find("<col min=\"1\" max=\"1\" width=\"9.7109375\""), std::string::npos);
    }
    const std::vector<std::string> expected = {"202601001", "202601002", "202601003", "202601004",
                                               "202601005", "202601006", "202601007"};
    EXPECT_EQ(examNumbers, expected) << "no row lost or repeated at a sheet boundary";
}

// The real limits: 65,536 sheets and the field-name row are one row too many
// for an .xls; every sheet reaches the workbook, in order.
TEST_F(ReportWorkbookTest, SixtyFiveThousandFiveHundredThirtySixSheetsAreAllThere) {
    OpenTable(65536);
    const auto written = report::ExportReport(ws, spreadsheet);
    EXPECT_EQ(written.file, temp / "test.xlsx");
    EXPECT_NE(written.notice.find("65536 行数据"), std::string::npos) << written.notice;
    EXPECT_FALSE(std::filesystem::exists(temp / "test.xls"));
    const auto cells = testsupport::SheetCells(SheetXml(temp / "test.xlsx", 1));
    ASSERT_EQ(cells.size(), 3u * 65537);
    EXPECT_EQ(cells[3].value, "202601001");
    for (std::size_t row = 1; row < 65537; ++row)
        ASSERT_EQ(cells[3 * row].value, std::to_string(202601000 + row)) << "row " << row;
    EXPECT_EQ(cells.back().ref, "C65537");
}

} // namespace
