// The report's closing words and the copy of its workbook the user keeps.
#include "report/ReportCopy.h"
#include "core/AppError.h"
#include "core/OpenTable.h"
#include "platform/automation/SheetServer.h"
#include "platform/os/Folders.h"
#include "report/ReportCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;
using testsupport::WriteBytes;

// A spreadsheet application that rejects every step, as one would that
// cannot format the sheet: the report then makes no .xlsx.
class RejectingApplication : public automation::Object {
  public:
    automation::ObjectPtr get(const std::string& member,
                              const std::vector<automation::Arg>&) override {
        throw std::runtime_error("rejected " + member);
    }
    void put(const std::string& member, const automation::Arg&) override {
        throw std::runtime_error("rejected " + member);
    }
    void call(const std::string& member, const std::vector<automation::Arg>&) override {
        throw std::runtime_error("rejected " + member);
    }
};

class ReportEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TMPDIR", home.path().c_str(), 1);
        ws.startUp();
        testsupport::WriteAnswers(home / "期中.dbf", testsupport::Sheets(3, 4), 'N');
        (void)core::OpenAnswerTable(ws, ui, home / "期中.dbf");
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    TempHome home;
    std::filesystem::path temp = testsupport::ProcessTempIn(home.path()); // the report's own folder
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(ReportEnd, TheWorkbookIsTheFormattedXlsxTheSpreadsheetMade) {
    const auto written = report::ExportReport(ws, automation::SheetServer({&shell, {}, {}}));
    EXPECT_EQ(written.file, temp / "test.xls");
    EXPECT_EQ(written.workbook, temp / "test.xlsx");
    EXPECT_EQ(report::CopyName(ws.TableName, written.workbook), "期中_成绩.xlsx");
    EXPECT_EQ(report::ClosingText(written),
              "报表已写入 " + (temp / "test.xlsx").string() + "（由 " +
                  (temp / "test.xls").string() +
                  " 排版而成）。这个文件在临时文件夹中，下一次生成报表时会被覆盖。");
}

TEST_F(ReportEnd, AnEarlierReportsXlsxNeverPassesForThisOne) {
    ASSERT_EQ(os::ProcessTempFolder(), temp);
    WriteBytes(temp / "test.xlsx", "PK an earlier workbook");
    std::filesystem::last_write_time(
        temp / "test.xlsx", std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    const auto written =
        report::ExportReport(ws, [] { return std::make_shared<RejectingApplication>(); });
    EXPECT_EQ(written.workbook, temp / "test.xls");
    EXPECT_EQ(report::CopyName(ws.TableName, written.workbook), "期中_成绩.xls")
        << "the copy's name says what it holds";
    EXPECT_EQ(report::ClosingText(written),
              "报表已写入 " + (temp / "test.xls").string() +
                  "。这个文件在临时文件夹中，下一次生成报表时会被覆盖。");
}

TEST_F(ReportEnd, TheNoticeOfAWorkbookWrittenStraightIsPartOfTheClosingWords) {
    report::ReportResult written{home / "test.xlsx", home / "test.xlsx", "太多行。"};
    EXPECT_EQ(report::ClosingText(written),
              "报表已写入 " + (home / "test.xlsx").string() +
                  "。\r太多行。\r这个文件在临时文件夹中，下一次生成报表时会被覆盖。");
    EXPECT_EQ(report::ClosingNotice(written, "期中", "/home/li"),
              report::ClosingText(written) +
                  "要保留它，请复制一份，例如复制为 /home/li/期中_成绩.xlsx。");
}

TEST(SaveCopy, CopiesTheBytesAndReplacesAnEarlierCopy) {
    TempHome home;
    WriteBytes(home / "test.xlsx", std::string("PK\x03\x04\0rest", 9));
    WriteBytes(home / "期中_成绩.xlsx", "older copy, longer than the new one");
    report::SaveCopy(home / "test.xlsx", home / "期中_成绩.xlsx");
    EXPECT_EQ(ReadBytes(home / "期中_成绩.xlsx"), std::string("PK\x03\x04\0rest", 9));
}

TEST(SaveCopy, AFailureNamesTheFileAndWritesNothing) {
    TempHome home;
    try {
        report::SaveCopy(home / "missing.xlsx", home / "copy.xlsx");
        FAIL() << "a missing workbook cannot be copied";
    } catch (const core::AppError& e) {
        EXPECT_NE(std::string(e.what()).find((home / "missing.xlsx").string()), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(home / "copy.xlsx"));
    WriteBytes(home / "test.xlsx", "PK");
    try {
        report::SaveCopy(home / "test.xlsx", home / "no" / "copy.xlsx");
        FAIL() << "a folder that is not there cannot take the copy";
    } catch (const core::AppError& e) {
        EXPECT_NE(std::string(e.what()).find((home / "no" / "copy.xlsx").string()),
                  std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("报表没有另存。"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(home / "no"));
}

} // namespace
