// The workbook writer: what a caller writes is what a reader of .xlsx finds,
// kept in memory or streamed; the file appears whole at commit() or not at all.
#include "platform/xlsx/Workbook.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include "tests/support/Zip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::CellMap;
using testsupport::ReadZipEntry;
using testsupport::SheetXml;

// The names in a folder.
std::vector<std::string> Listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// The text of a cell: inline, or from the shared strings of the workbook
// where it was kept in memory.
std::string TextOf(const std::filesystem::path& xlsx, const testsupport::XlsxCell& cell) {
    if (cell.type != "s")
        return cell.value;
    const auto strings = ReadZipEntry(xlsx, "xl/sharedStrings.xml");
    std::size_t at = 0;
    for (int i = std::stoi(cell.value); i >= 0; --i)
        at = strings->find("<t>", at) + 3;
    return strings->substr(at, strings->find("</t>", at) - at);
}

bool Has(const std::optional<std::string>& xml, const std::string& part) {
    return xml && xml->find(part) != std::string::npos;
}

class XlsxWorkbookTest : public ::testing::TestWithParam<bool> {
  protected:
    [[nodiscard]] xlsx::Options options() const {
        return {.constantMemory = GetParam(), .zip64 = false};
    }

    // A table with a header, a chart of its numbers and a plain second sheet.
    void Write(xlsx::Workbook& book) {
        const xlsx::Format header = book.addFormat(
            xlsx::Style().bold().align(xlsx::Align::Center).bottom(xlsx::Line::Thin));
        const xlsx::Format percent = book.addFormat(xlsx::Style().numberFormat("0.00%"));
        const xlsx::Format boxed =
            book.addFormat(xlsx::Style().numberFormat("@").box(xlsx::Line::Thin));
        const xlsx::Format flagged = book.addFormat(xlsx::Style().background(0xFFC7CE));

        xlsx::Sheet s = book.addSheet("成绩");
        EXPECT_EQ(s.name(), "成绩");
        s.columnWidth(0, 0, 14);
        s.columnWidth(1, 2, 9);
        s.freeze(1, 1);
        s.landscape();
        s.paper(xlsx::Paper::A4);
        s.fitToPages(1, 0);
        s.repeatRows(0, 0);
        s.footer("&C第 &P 页&R&D");
        s.autofilter(0, 0, 3, 2);
        s.text(0, 0, "班级", header);
        s.text(0, 1, "平均分", header);
        s.text(0, 2, "及格率", header);
        for (xlsx::Row r = 1; r <= 3; ++r) {
            s.text(r, 0, "0" + std::to_string(r), r == 2 ? flagged : xlsx::Format{});
            s.number(r, 1, 70.5 + r);
            s.number(r, 2, 0.25 * r, percent);
        }
        s.blank(4, 0, boxed);
        s.colourScale(1, 2, 3, 2);
        xlsx::Chart chart = book.addChart(xlsx::ChartKind::Column);
        chart.title("各班平均分");
        xlsx::Series series = chart.addSeries();
        series.categories({"成绩", 1, 0, 3, 0});
        series.values({"成绩", 1, 1, 3, 1});
        series.nameFrom("成绩", 0, 1);
        chart.axisName(xlsx::Axis::X, "班级");
        chart.noLegend();
        s.pageBreakBefore(6);
        s.insertChart(6, 0, chart);

        xlsx::Sheet plain = book.addSheet();
        EXPECT_EQ(plain.name(), "Sheet2");
        plain.text(0, 0, "另有 2 份答卷总分为空。");
    }

    testsupport::TempHome home;
};

TEST_P(XlsxWorkbookTest, ACommittedWorkbookHoldsCellsFormatsAndChart) {
    const auto file = home / "成绩分析.xlsx";
    {
        xlsx::Workbook book(file, options());
        Write(book);
        EXPECT_FALSE(std::filesystem::exists(file)) << "nothing under the final name before commit";
        book.commit();
    }
    EXPECT_EQ(Listing(home.path()), std::vector<std::string>{"成绩分析.xlsx"})
        << "no temporary file left beside it";
    EXPECT_EQ(testsupport::SheetNames(file), (std::vector<std::string>{"成绩", "Sheet2"}));

    const std::string sheet = SheetXml(file, 1);
    auto cells = CellMap(sheet);
    EXPECT_EQ(TextOf(file, cells["A1"]), "班级");
    EXPECT_EQ(cells["A1"].style, 1) << "the header format, the first added";
    EXPECT_EQ(cells["B2"].value, "71.5");
    EXPECT_EQ(cells["B2"].style, 0);
    EXPECT_EQ(cells["C3"].value, "0.5");
    EXPECT_EQ(cells["C3"].style, 2);
    // Formats are numbered as the cells first use them.
    EXPECT_EQ(cells["A3"].style, 3) << "the fill";
    EXPECT_EQ(TextOf(file, cells["A3"]), "02");
    EXPECT_EQ(cells["A5"].style, 4) << "a blank cell keeps its format";
    EXPECT_EQ(cells["A5"].value, "");
    EXPECT_EQ(TextOf(file, CellMap(SheetXml(file, 2))["A1"]), "另有 2 份答卷总分为空。");

    EXPECT_NE(sheet.find("<col min=\"1\" max=\"1\" width=\"14.7109375\" customWidth=\"1\"/>"),
              std::string::npos)
        << sheet;
    EXPECT_NE(sheet.find("<col min=\"2\" max=\"3\" width=\"9.7109375\" customWidth=\"1\"/>"),
              std::string::npos);
    EXPECT_NE(
        sheet.find("<pane xSplit=\"1\" ySplit=\"1\" topLeftCell=\"B2\" activePane=\"bottomRight\""
                   " state=\"frozen\"/>"),
        std::string::npos);
    EXPECT_NE(sheet.find("<autoFilter ref=\"A1:C4\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<colorScale>"), std::string::npos);
    EXPECT_NE(sheet.find("orientation=\"landscape\""), std::string::npos);
    EXPECT_NE(sheet.find("paperSize=\"9\""), std::string::npos);
    EXPECT_NE(sheet.find("<pageSetUpPr fitToPage=\"1\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<oddFooter>&amp;C第 &amp;P 页&amp;R&amp;D</oddFooter>"),
              std::string::npos);
    EXPECT_NE(sheet.find("<brk id=\"6\""), std::string::npos);
    EXPECT_NE(sheet.find("<drawing r:id=\"rId"), std::string::npos);

    const auto styles = ReadZipEntry(file, "xl/styles.xml");
    EXPECT_TRUE(Has(styles, "<numFmt numFmtId=\"164\" formatCode=\"0.00%\"/>")) << *styles;
    EXPECT_TRUE(Has(styles, "<numFmt numFmtId=\"165\" formatCode=\"@\"/>"));
    EXPECT_TRUE(Has(styles, "<b/>"));
    EXPECT_TRUE(Has(styles, "<alignment horizontal=\"center\"/>"));
    EXPECT_TRUE(Has(styles, "<fgColor rgb=\"FFFFC7CE\"/>"));
    EXPECT_TRUE(Has(styles, "<left style=\"thin\">"));

    const auto chart = ReadZipEntry(file, "xl/charts/chart1.xml");
    ASSERT_TRUE(chart) << "the chart is in the workbook";
    EXPECT_TRUE(Has(chart, "<c:barChart>"));
    EXPECT_TRUE(Has(chart, "<c:f>'成绩'!$A$2:$A$4</c:f>"));
    EXPECT_TRUE(Has(chart, "<c:f>'成绩'!$B$2:$B$4</c:f>"));
    EXPECT_TRUE(Has(chart, "<c:f>'成绩'!$B$1</c:f>"));
    EXPECT_FALSE(Has(chart, "<c:legend>"));
    const auto repeated = ReadZipEntry(file, "xl/workbook.xml");
    EXPECT_TRUE(Has(repeated, "_xlnm.Print_Titles")) << "the header row repeats on every page";
}

TEST_P(XlsxWorkbookTest, WithoutCommitNothingIsLeft) {
    const auto file = home / "试卷分析.xlsx";
    testsupport::WriteBytes(home / "other.txt", "kept");
    {
        xlsx::Workbook book(file, options());
        Write(book);
    }
    EXPECT_EQ(Listing(home.path()), std::vector<std::string>{"other.txt"});

    testsupport::WriteBytes(file, "the earlier workbook");
    {
        xlsx::Workbook book(file, options());
        Write(book);
    }
    EXPECT_EQ(testsupport::ReadBytes(file), "the earlier workbook")
        << "an old file stays as it was";
}

TEST_P(XlsxWorkbookTest, FailuresNameTheFile) {
    const std::string longName(300, 'a');
    try {
        xlsx::Workbook book(home / (longName + ".xlsx"), options());
        FAIL() << "a name longer than the folder allows";
    } catch (const xlsx::Error& e) {
        EXPECT_NE(std::string(e.what()).find("文件名太长"), std::string::npos) << e.what();
    }

    // A folder stands where the workbook should go: the rename fails.
    const auto file = home / "busy.xlsx";
    std::filesystem::create_directories(file / "x");
    try {
        xlsx::Workbook book(file, options());
        Write(book);
        book.commit();
        FAIL() << "the workbook cannot replace a folder";
    } catch (const xlsx::Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("不能写入 " + file.string() + ": ", 0), 0u)
            << e.what();
        EXPECT_FALSE(e.reason().empty());
    }
    EXPECT_EQ(Listing(home.path()), std::vector<std::string>{"busy.xlsx"});

    // A cell the streamed worksheet has already left.
    if (GetParam()) {
        xlsx::Workbook book(home / "rows.xlsx", options());
        xlsx::Sheet s = book.addSheet("s");
        s.number(5, 0, 1);
        EXPECT_THROW(s.number(2, 0, 1), xlsx::Error);
    }
}

INSTANTIATE_TEST_SUITE_P(MemoryKinds, XlsxWorkbookTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Streamed" : "InMemory"; });

} // namespace
