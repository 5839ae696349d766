// The written reports: the JSON shape, the text report's bytes and layout,
// and the workbook.
#include "analysis/Analysis.h"
#include "analysis/JsonReport.h"
#include "analysis/OutputFile.h"
#include "analysis/TextReport.h"
#include "analysis/Workbook.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "tests/analysis/MemorySheets.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include "tests/support/Zip.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

using namespace analysis;
using testsupport::MemorySheets;
using testsupport::TempHome;

// Two sheets: a single-choice question (key A, 1 point) and a
// multiple-choice one (key AB, full 2, partial 1). Sheet 1 marks A and AB
// (total 3), sheet 2 marks B and A (total 1).
ExamAnalysis Tiny() {
    scoring::ExamRun run;
    run.table = "tiny";
    run.settings.counts = {1};
    run.settings.points = {"1"};
    run.settings.singleKey = "A";
    run.settings.multiCount = 1;
    run.settings.full = "2";
    run.settings.partial = "1";
    run.settings.multiKey = "AB";
    MemorySheets sheets;
    sheets.add("13", {1.0f, 2.0f});
    sheets.add("21", {0.0f, 1.0f});
    return Analyze(scoring::AcceptedRun(run), sheets);
}

std::string EmptyOption() {
    return R"({"count":0,"share":0,"upper":0,"lower":0,"mean_total":null,"r":null})";
}

TEST(Json, EveryFigureInItsPlace) {
    // Variances .25 and .25 against var(T) = 1: alpha = 2 (1 - .5) = 1.
    std::string expected =
        R"({"table":"tiny","sheets":2,"full":3,"mean":2,"sd":1,"median":2,"min":1,"max":3,)"
        R"("alpha":1,"sem":0,"group_size":1,)"
        R"("bands":[{"from":0,"to":3,"count":2,"share":1,"cumulative":2}],"items":[)"
        R"({"type":"single","number":1,"position":1,"key":"A","max":1,"mean":0.5,"p":0.5,)"
        R"("p_upper":1,"p_lower":0,"d":1,"r":1,"r_rest":1,"alpha_if_deleted":null,)"
        R"("rating":"优","flags":[],"suspect":null,"options":{)"
        R"("A":{"count":1,"share":0.5,"upper":1,"lower":0,"mean_total":3,"r":1},)"
        R"("B":{"count":1,"share":0.5,"upper":0,"lower":1,"mean_total":1,"r":-1},)";
    for (const char* name : {"C", "D", "E", "F", "multi", "blank", "other"})
        expected += std::string("\"") + name + "\":" + EmptyOption() + (name[0] == 'o' ? "" : ",");
    expected +=
        R"(}},{"type":"multi","number":1,"position":2,"key":"AB","max":2,"mean":1.5,"p":0.75,)"
        R"("p_upper":1,"p_lower":0.5,"d":0.5,"r":1,"r_rest":1,"alpha_if_deleted":null,)"
        R"("rating":"优","flags":[],"suspect":null,"credit":{"full":1,"partial":1,"none":0},)"
        R"("letters":{"A":{"share":1,"upper":1,"lower":1},"B":{"share":0.5,"upper":1,"lower":0},)"
        R"("C":{"share":0,"upper":0,"lower":0},"D":{"share":0,"upper":0,"lower":0},)"
        R"("E":{"share":0,"upper":0,"lower":0},"F":{"share":0,"upper":0,"lower":0}}}]})"
        "\n";
    EXPECT_EQ(JsonText(Tiny()), expected);
}

TEST(Json, FullPrecisionNullsAndEscapes) {
    ExamAnalysis a;
    a.table = "a\"b\\c\n";
    a.sheets = 1;
    a.mean = 0.1 + 0.2;
    a.sd = 1.0 / 3.0;
    const std::string json = JsonText(a);
    EXPECT_NE(json.find(R"("table":"a\"b\\c\u000a")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("mean":0.30000000000000004)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("sd":0.3333333333333333)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("alpha":null,"sem":null)"), std::string::npos) << json;
}

TEST(Json, WrittenAsUtf8) {
    TempHome home;
    WriteJson(Tiny(), home / "a.json");
    EXPECT_EQ(testsupport::ReadBytes(home / "a.json"), JsonText(Tiny()));
}

// The table of FiguresTest, whose question 3 discriminates too little.
ExamAnalysis Small() {
    MemorySheets sheets;
    for (const char* chosen : {"BCAD", "BCBD", "BAAC", "ACCD", "CBAA"})
        testsupport::AddChosen(sheets, chosen, "BCAD", {1, 1, 1, 2});
    scoring::ExamRun run;
    run.table = "小测";
    run.settings.counts = {3, 1};
    run.settings.points = {"1", "2"};
    run.settings.singleKey = "BCAD";
    return Analyze(scoring::AcceptedRun(run), sheets);
}

TEST(TextReport, FlaggedQuestionsComeFirst) {
    const std::vector<std::string> lines = ReportLines(Small());
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "试卷分析  小测");
    EXPECT_EQ(lines[1], "答卷 5 份，参加分析的题 4 道（单选 4 道，不定项 0 道），满分 5 分。");
    EXPECT_EQ(lines[3], "一、需要复查的题目");
    EXPECT_EQ(lines[4], "单选第 3 题     区分度低（D = 0.000）：高分组和低分组的得分率相差不大。");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "二、整体情况");
}

TEST(TextReport, FiguresBandsItemsAndOptionTables) {
    const std::vector<std::string> lines = ReportLines(Small());
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    // Labels padded to 16 GBK bytes (α is two); figures to 3 decimals, points to 2.
    EXPECT_TRUE(has("信度 α" + std::string(9, ' ') + "0.213"));
    EXPECT_TRUE(has("测量标准误      1.25"));
    EXPECT_TRUE(has("0 - 5（含）         5       100.0%    5"));
    EXPECT_TRUE(has("单选3     3     A       1     0.6     0.600   1.000   1.000   0.000   差    "
                    "-0.289  -0.553  0.682     区分低"));
    EXPECT_TRUE(has("单选1     1     B       1     0.6     0.600   1.000   0.000   1.000   优    "
                    "0.577   0.272   0.000"))
        << "no trailing blanks";
    EXPECT_TRUE(has("单选第 3 题  答案 A"));
    // Question 3: A chosen by the sheets with 5, 2 and 1 (the upper and the
    // lower group), B by the sheet with 4.
    EXPECT_TRUE(has(" *A     3       60.0%   100.0%  100.0%  2.67      -0.289"));
    EXPECT_TRUE(has("  B     1       20.0%   0.0%    0.0%    4         0.354"));
    EXPECT_TRUE(has("  其他  0       0.0%    0.0%    0.0%    -         -"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "  选项  人数    比例    高分组  低分组  平均总分  r"),
              4);
}

TEST(TextReport, WrittenAsGbkWithCrLf) {
    TempHome home;
    const ExamAnalysis a = Small();
    const auto file = home / ReportFileName(a.table);
    WriteTextReport(a, file, text::Encoding::Gbk);
    const std::string bytes = testsupport::ReadBytes(file);
    EXPECT_EQ(bytes, text::GbkLines(ReportLines(a)));
    EXPECT_EQ(bytes.substr(0, 16), text::ToGbk("试卷分析  小测") + "\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left";
}

TEST(OutputFile, NothingIsWrittenWhenTheFolderIsMissing) {
    TempHome home;
    EXPECT_THROW(WriteTextReport(Small(), home / "missing" / "r.txt", text::Encoding::Gbk), Error);
    EXPECT_THROW(WriteWorkbook(Small(), home / "missing" / "r.xlsx"), Error);
    EXPECT_FALSE(std::filesystem::exists(home / "missing"));
}

TEST(OutputFile, AnUncommittedFileLeavesTheTargetAsItWas) {
    TempHome home;
    testsupport::WriteBytes(home / "r.txt", "old");
    {
        PendingFile pending(home / "r.txt");
        testsupport::WriteBytes(pending.temporary(), "new");
    }
    EXPECT_EQ(testsupport::ReadBytes(home / "r.txt"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(Workbook, SheetsChartsAndColouredRows) {
    TempHome home;
    const ExamAnalysis a = Small();
    const auto file = home / WorkbookFileName(a.table);
    WriteWorkbook(a, file);
    const auto workbook = testsupport::ReadZipEntry(file, "xl/workbook.xml");
    ASSERT_TRUE(workbook);
    const auto summary = workbook->find(R"(name="概况")");
    const auto questions = workbook->find(R"(name="题目")");
    const auto options = workbook->find(R"(name="选项")");
    ASSERT_NE(summary, std::string::npos);
    ASSERT_NE(questions, std::string::npos);
    ASSERT_NE(options, std::string::npos);
    EXPECT_LT(summary, questions);
    EXPECT_LT(questions, options);
    const auto bands = testsupport::ReadZipEntry(file, "xl/charts/chart1.xml");
    const auto scatter = testsupport::ReadZipEntry(file, "xl/charts/chart2.xml");
    ASSERT_TRUE(bands && scatter);
    EXPECT_NE(bands->find("<c:barChart>"), std::string::npos);
    EXPECT_NE(scatter->find("<c:scatterChart>"), std::string::npos);
    EXPECT_NE(scatter->find("$F$2:$F$5"), std::string::npos) << "P of the four questions";
    EXPECT_NE(scatter->find("$I$2:$I$5"), std::string::npos) << "D of the four questions";
    const auto styles = testsupport::ReadZipEntry(file, "xl/styles.xml");
    ASSERT_TRUE(styles);
    EXPECT_NE(styles->find("FFFFC7CE"), std::string::npos) << "the flagged rows' fill";
    const auto sheet = testsupport::ReadZipEntry(file, "xl/worksheets/sheet2.xml");
    ASSERT_TRUE(sheet);
    // Question 3 (row 4) is flagged: its cells carry another style than
    // question 2's (row 3).
    const auto styleOf = [&](const std::string& cell) {
        const auto at = sheet->find("r=\"" + cell + "\"");
        const auto s = sheet->find(" s=\"", at);
        return sheet->substr(s, sheet->find('"', s + 4) - s);
    };
    EXPECT_NE(styleOf("A4"), styleOf("A3"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// The value of the attribute `name` of the first element from `at` on.
std::string Attribute(const std::string& xml, std::size_t at, const std::string& name) {
    const std::size_t from = xml.find(name + "=\"", at) + name.size() + 2;
    return xml.substr(from, xml.find('"', from) - from);
}

// The number format of a cell style (its index in cellXfs), built-in ones
// by their codes.
std::string NumberFormat(const std::string& styles, int style) {
    std::size_t at = styles.find("<cellXfs");
    for (int i = 0; i <= style; ++i)
        at = styles.find("<xf ", at + 1);
    const std::string id = Attribute(styles, at, "numFmtId");
    static const std::map<std::string, std::string> builtIn = {
        {"0", "General"}, {"1", "0"}, {"2", "0.00"}, {"9", "0%"}, {"10", "0.00%"}};
    if (builtIn.count(id))
        return builtIn.at(id);
    const std::size_t custom = styles.find("<numFmt numFmtId=\"" + id + "\"");
    return custom == std::string::npos ? "?" + id : Attribute(styles, custom, "formatCode");
}

// The 0-based row and column of a cell reference such as "P17".
std::pair<long long, int> RowColumn(const std::string& ref) {
    int column = 0;
    std::size_t i = 0;
    for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z'; ++i)
        column = column * 26 + (ref[i] - 'A' + 1);
    return {std::stoll(ref.substr(i)) - 1, column - 1};
}

TEST(Workbook, NumberFormatsFrozenHeaderAndChartsPrintedWhole) {
    TempHome home;
    const ExamAnalysis a = Small();
    const auto file = home / WorkbookFileName(a.table);
    WriteWorkbook(a, file);
    const auto styles = testsupport::ReadZipEntry(file, "xl/styles.xml");
    ASSERT_TRUE(styles);
    // Summary: figures from row 3 (答卷数), the bands' shares in column E
    // from row 16; questions from row 2; question 1's option A in row 3.
    const std::vector<std::tuple<int, std::string, std::string>> expected = {
        {1, "B3", "General"}, {1, "B4", "0.00"},   {1, "B5", "0.00"},  {1, "B6", "0.00"},
        {1, "B7", "0.00"},    {1, "B10", "0.000"}, {1, "B11", "0.00"}, {1, "B13", "0.0%"},
        {1, "E16", "0.0%"},   {2, "D2", "0.00"},   {2, "E2", "0.00"},  {2, "F2", "0.000"},
        {2, "I2", "0.000"},   {2, "K2", "0.000"},  {2, "M2", "0.000"}, {3, "C3", "0.0%"},
        {3, "D3", "0.0%"},    {3, "F3", "0.00"},   {3, "G3", "0.000"}};
    std::map<int, std::map<std::string, testsupport::XlsxCell>> sheets;
    for (int n = 1; n <= 3; ++n)
        sheets[n] = testsupport::CellMap(testsupport::SheetXml(file, n));
    for (const auto& [sheet, ref, format] : expected) {
        ASSERT_TRUE(sheets[sheet].count(ref)) << sheet << " " << ref;
        EXPECT_EQ(NumberFormat(*styles, sheets[sheet].at(ref).style), format)
            << "sheet " << sheet << " " << ref;
    }
    EXPECT_EQ(sheets[1].at("B13").value, "0.27");

    const std::string questions = testsupport::SheetXml(file, 2);
    EXPECT_NE(questions.find(R"(xSplit="1" ySplit="1" topLeftCell="B2")"), std::string::npos);
    EXPECT_NE(questions.find(R"(state="frozen")"), std::string::npos);

    // Each chart lies inside its sheet's print area, which prints landscape
    // one page wide.
    const auto workbook = testsupport::ReadZipEntry(file, "xl/workbook.xml");
    ASSERT_TRUE(workbook);
    for (int n = 1; n <= 2; ++n) {
        const std::string sheet = testsupport::SheetXml(file, n);
        EXPECT_NE(sheet.find(R"(orientation="landscape")"), std::string::npos) << n;
        EXPECT_NE(sheet.find(R"(<pageSetUpPr fitToPage="1"/>)"), std::string::npos) << n;
        EXPECT_NE(sheet.find(R"(fitToHeight="0")"), std::string::npos) << n;
        const std::size_t name = workbook->find(R"(name="_xlnm.Print_Area" localSheetId=")" +
                                                std::to_string(n - 1) + "\"");
        ASSERT_NE(name, std::string::npos) << n;
        const std::size_t colon = workbook->find(':', workbook->find('!', name));
        const std::string corner =
            workbook->substr(colon + 1, workbook->find('<', colon) - colon - 1);
        std::string plain;
        for (char c : corner)
            if (c != '$')
                plain += c;
        const auto [lastRow, lastColumn] = RowColumn(plain);
        const auto drawing =
            testsupport::ReadZipEntry(file, "xl/drawings/drawing" + std::to_string(n) + ".xml");
        ASSERT_TRUE(drawing) << n;
        const std::size_t to = drawing->find("<xdr:to>");
        ASSERT_NE(to, std::string::npos);
        const auto number = [&](const char* tag) {
            const std::size_t at = drawing->find(tag, to) + std::string(tag).size();
            return std::stoll(drawing->substr(at, drawing->find('<', at) - at));
        };
        EXPECT_LE(number("<xdr:col>"), lastColumn) << n;
        EXPECT_LE(number("<xdr:row>"), lastRow) << n;
    }
}

} // namespace
