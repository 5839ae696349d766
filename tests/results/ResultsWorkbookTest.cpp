// The results workbook read back from its zip: every worksheet's cells
// against figures worked out by hand for a small grade.
#include "results/Results.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include "tests/support/Zip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using testsupport::CellMap;
using testsupport::SheetXml;
using testsupport::TempHome;

struct Sheet {
    std::string examNumber;
    int classIndex;
    std::string name;
    std::optional<double> score;
    std::vector<double> points;
};

// Sheets from a list, in its order whichever order is asked for; remembers
// the walks asked for ("any", "exam") and tells each sheet's class.
class ListSource : public scoring::SheetSource {
  public:
    explicit ListSource(std::vector<Sheet> sheets) : mSheets(std::move(sheets)) {}
    void forEach(const scoring::SheetVisit& visit) override { walk("exam", visit); }
    void forEachInAnyOrder(const scoring::SheetVisit& visit) override { walk("any", visit); }
    [[nodiscard]] int classOf(const scoring::Sheet& s) const {
        return mSheets[static_cast<std::size_t>(s.record - 1)].classIndex;
    }
    std::vector<std::string> passes;

  private:
    void walk(const char* order, const scoring::SheetVisit& visit) {
        passes.push_back(order);
        for (std::size_t i = 0; i < mSheets.size(); ++i) {
            const Sheet& s = mSheets[i];
            db::Value score;
            if (s.score)
                score = *s.score;
            std::vector<db::Value> points(s.points.size());
            for (std::size_t q = 0; q < points.size(); ++q)
                if (!std::isnan(s.points[q]))
                    points[q] = s.points[q];
            scoring::Sheet sheet;
            sheet.record = static_cast<std::int64_t>(i) + 1;
            sheet.examNumber = s.examNumber;
            sheet.score = &score;
            sheet.values = points;
            sheet.rosterName = s.name;
            visit(sheet);
        }
    }
    std::vector<Sheet> mSheets;
};

const double kNone = std::numeric_limits<double>::quiet_NaN();

// Two questions of 6 and 4 points; classes 01 and 02 with sheets, 03 without;
// one sheet without a score (its points must count nowhere), one without a
// class.
std::vector<Sheet> Grade() {
    return {
        {"2026010001", 0, "张三", 9, {5, 4}},
        {"2026010002", 0, "", 6, {4, 2}},
        {"2026010003", 0, "李四", 8.5, {5, 3.5}},
        {"2026010004", 0, "", 8.5, {4.5, 4}},
        {"2026020001", 1, "", 9, {6, 3}},
        {"2026020002", 1, "", 4, {2, 2}},
        {"2026020003", 1, "", std::nullopt, {6, 4}},
        {"2026020004", 1, "王五", 8.5, {4.5, kNone}},
        {"2026990001", -1, "", 3.9, {2, 1.9}},
    };
}

results::ClassOf ClassesOf(const ListSource& source) {
    return [&source](const scoring::Sheet& s) { return source.classOf(s); };
}

class ResultsWorkbookTest : public ::testing::Test {
  protected:
    results::Written Write(std::vector<Sheet> sheets,
                           long long rowsPerSheet = results::kRowsPerSheet) {
        ListSource source(std::move(sheets));
        results::Options o;
        o.fullMarks = 10;
        o.bandWidth = 2;
        o.rowsPerSheet = rowsPerSheet;
        o.progress = [this](const std::string&, long long, long long total) { lastTotal = total; };
        auto written = results::WriteResultsWorkbook(file(), source, ClassesOf(source),
                                                     {"01", "02", "03"}, questions, o);
        passes = source.passes;
        return written;
    }
    [[nodiscard]] std::filesystem::path file() const { return home / "成绩分析_期中.xlsx"; }
    [[nodiscard]] std::string Sheet(int n) const { return SheetXml(file(), n); }

    TempHome home;
    std::vector<results::Question> questions = {{"f1", 6}, {"f2", 4}};
    std::vector<std::string> passes;
    long long lastTotal = -1;
};

double Num(std::map<std::string, testsupport::XlsxCell>& cells, const std::string& ref) {
    EXPECT_TRUE(cells.count(ref)) << ref;
    EXPECT_EQ(cells[ref].type, "") << ref << " is a number cell";
    return cells.count(ref) ? std::stod(cells[ref].value) : kNone;
}

TEST_F(ResultsWorkbookTest, StudentRowsWithCompetitionRanks) {
    const auto written = Write(Grade());
    EXPECT_EQ(written.listed, 8);
    EXPECT_EQ(written.emptyScores, 1);
    EXPECT_EQ(written.unclassed, 1);
    EXPECT_EQ(written.studentSheets, 1);
    EXPECT_EQ(passes, (std::vector<std::string>{"any", "exam"}));
    EXPECT_EQ(lastTotal, 0) << "the progress is ended";
    EXPECT_EQ(testsupport::SheetNames(file()),
              (std::vector<std::string>{"学生成绩", "班级对比", "分数段", "题目得分率"}));
    EXPECT_FALSE(std::filesystem::exists(file().string() + ".part"));

    const std::string xml = Sheet(1);
    auto c = CellMap(xml);
    const std::vector<std::string> header = {"考号",     "班级",     "姓名", "总分",
                                             "年级名次", "班级名次", "f1",   "f2"};
    for (std::size_t i = 0; i < header.size(); ++i)
        EXPECT_EQ(c[testsupport::CellRef(0, static_cast<int>(i))].value, header[i]);
    // Exam order; the sheet without a score left out.
    const std::vector<std::string> exam = {"2026010001", "2026010002", "2026010003", "2026010004",
                                           "2026020001", "2026020002", "2026020004", "2026990001"};
    const std::vector<double> gradeRank = {1, 6, 3, 3, 1, 7, 3, 8};
    const std::vector<double> classRank = {1, 4, 2, 2, 1, 3, 2, 0};
    for (std::size_t r = 0; r < exam.size(); ++r) {
        const std::string row = std::to_string(r + 2);
        EXPECT_EQ(c["A" + row].value, exam[r]);
        EXPECT_EQ(c["A" + row].type, "inlineStr") << "exam numbers are text";
        EXPECT_EQ(Num(c, "E" + row), gradeRank[r]) << exam[r];
        if (classRank[r] > 0)
            EXPECT_EQ(Num(c, "F" + row), classRank[r]) << exam[r];
        else
            EXPECT_EQ(c.count("F" + row), 0u) << "no class, no class rank";
    }
    EXPECT_EQ(c["B2"].value, "01");
    EXPECT_EQ(c["B8"].value, "02");
    EXPECT_EQ(c.count("B9"), 0u);
    EXPECT_EQ(c["C2"].value, "张三");
    EXPECT_EQ(c.count("C3"), 0u) << "no name, no cell";
    EXPECT_EQ(Num(c, "D4"), 8.5);
    EXPECT_EQ(Num(c, "G9"), 2);
    EXPECT_EQ(Num(c, "H9"), 1.9);
    EXPECT_EQ(c.count("H8"), 0u) << "empty points stay empty";
    EXPECT_NE(c["A11"].value.find("另有 1 份答卷总分为空"), std::string::npos) << "below the table";
    EXPECT_NE(
        xml.find(
            "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"),
        std::string::npos);
    EXPECT_NE(xml.find("<autoFilter ref=\"A1:H9\"/>"), std::string::npos);
}

TEST_F(ResultsWorkbookTest, ClassComparisonRowsAndFigures) {
    Write(Grade());
    auto c = CellMap(Sheet(2));
    EXPECT_EQ(c["A1"].value, "班级");
    EXPECT_EQ(c["L1"].value, "与年级均分差");
    // The grade, the classes with sheets in class order, then 未分班; 03 has no sheets.
    EXPECT_EQ(c["A2"].value, "年级");
    EXPECT_EQ(c["A3"].value, "01");
    EXPECT_EQ(c["A4"].value, "02");
    EXPECT_EQ(c["A5"].value, "未分班");
    EXPECT_EQ(c.count("A6"), 0u);
    EXPECT_EQ(Num(c, "B2"), 8);
    EXPECT_EQ(Num(c, "B3") + Num(c, "B4") + Num(c, "B5"), 8) << "every listed sheet in one row";
    // Grade: 9 9 8.5 8.5 8.5 6 4 3.9.
    EXPECT_NEAR(Num(c, "C2"), 7.175, 1e-12);
    EXPECT_NEAR(Num(c, "D2"), std::sqrt(34.115 / 8), 1e-12);
    EXPECT_EQ(Num(c, "E2"), 9);
    EXPECT_EQ(Num(c, "F2"), 3.9);
    EXPECT_EQ(Num(c, "G2"), 8.5);
    EXPECT_EQ(Num(c, "H2"), 0.75) << "6 of 10 is exactly the pass mark";
    EXPECT_EQ(Num(c, "I2"), 0.625);
    EXPECT_EQ(Num(c, "J2"), 0.125) << "4 is not below 40 %, 3.9 is";
    EXPECT_EQ(c.count("K2"), 0u) << "the grade has no rank";
    EXPECT_EQ(Num(c, "L2"), 0);
    // Class 01 scores 9, 8.5, 8.5 and 6; every sheet passes, the 6 by exactly 60 %.
    EXPECT_EQ(Num(c, "C3"), 8);
    EXPECT_NEAR(Num(c, "D3"), std::sqrt(5.5 / 4), 1e-12);
    EXPECT_EQ(Num(c, "H3"), 1);
    EXPECT_EQ(Num(c, "I3"), 0.75);
    EXPECT_EQ(Num(c, "K3"), 1);
    EXPECT_NEAR(Num(c, "L3"), 0.825, 1e-12);
    // Class 02 scores 9, 8.5 and 4.
    EXPECT_NEAR(Num(c, "C4"), 21.5 / 3, 1e-12);
    EXPECT_EQ(Num(c, "G4"), 8.5);
    EXPECT_NEAR(Num(c, "H4"), 2.0 / 3, 1e-12);
    EXPECT_EQ(Num(c, "J4"), 0);
    EXPECT_EQ(Num(c, "K4"), 2);
    // 未分班: no rank.
    EXPECT_EQ(Num(c, "J5"), 1);
    EXPECT_EQ(c.count("K5"), 0u);
    EXPECT_NEAR(Num(c, "L5"), 3.9 - 7.175, 1e-12);
    EXPECT_EQ(c["H2"].style, c["I3"].style) << "rates share the percentage format";
    const auto styles = testsupport::ReadZipEntry(file(), "xl/styles.xml");
    EXPECT_NE(styles->find("formatCode=\"0.00%\""), std::string::npos);
    // The chart: class means as columns, the grade mean (column N) as a line.
    const auto chart = testsupport::ReadZipEntry(file(), "xl/charts/chart1.xml");
    ASSERT_TRUE(chart);
    EXPECT_NE(chart->find("<c:f>'班级对比'!$C$3:$C$4</c:f>"), std::string::npos) << *chart;
    EXPECT_NE(chart->find("<c:f>'班级对比'!$N$3:$N$4</c:f>"), std::string::npos);
    EXPECT_NE(chart->find("<c:trendlineType val=\"linear\"/>"), std::string::npos);
    EXPECT_NEAR(Num(c, "N3"), 7.175, 1e-12);
}

// Every sheet prints one page wide with its header on every page, and each
// chart starts a page of its own right where it stands, so it is never cut.
TEST_F(ResultsWorkbookTest, SheetsPrintOnePageWideAndChartsOnAPageOfTheirOwn) {
    Write(Grade());
    for (int n = 1; n <= 4; ++n) {
        const std::string xml = Sheet(n);
        EXPECT_NE(xml.find("<pageSetup fitToHeight=\"0\" orientation=\"landscape\"/>"),
                  std::string::npos)
            << "sheet " << n;
        EXPECT_NE(xml.find("<pane "), std::string::npos) << "sheet " << n << " freezes its header";
    }
    // The comparison's chart sits at row 7 (0-based 6), the bands' below their table.
    EXPECT_NE(Sheet(2).find("<brk id=\"6\""), std::string::npos) << Sheet(2);
    EXPECT_NE(Sheet(3).find("<rowBreaks count=\"1\""), std::string::npos);
}

TEST_F(ResultsWorkbookTest, ScoreBandsHighestFirstWithCumulativeCounts) {
    Write(Grade());
    auto c = CellMap(Sheet(3));
    // Columns: A band; B..E counts (年级 01 02 未分班); G..J shares; L..O cumulative.
    EXPECT_EQ(c["B1"].value, "人数");
    EXPECT_EQ(c["G1"].value, "比例");
    EXPECT_EQ(c["B2"].value, "年级");
    EXPECT_EQ(c["E2"].value, "未分班");
    EXPECT_EQ(c["L2"].value, "年级");
    const std::vector<std::string> labels = {"[8, 10]", "[6, 8)", "[4, 6)", "[2, 4)", "[0, 2)"};
    const std::vector<std::vector<double>> counts = {
        {5, 3, 2, 0}, {1, 1, 0, 0}, {1, 0, 1, 0}, {1, 0, 0, 1}, {0, 0, 0, 0}};
    const std::vector<std::vector<double>> cumulative = {
        {5, 3, 2, 0}, {6, 4, 2, 0}, {7, 4, 3, 0}, {8, 4, 3, 1}, {8, 4, 3, 1}};
    const std::vector<double> sizes = {8, 4, 3, 1};
    for (int band = 0; band < 5; ++band) {
        const std::string row = std::to_string(band + 3);
        EXPECT_EQ(c["A" + row].value, labels[static_cast<std::size_t>(band)]);
        for (int g = 0; g < 4; ++g) {
            const double n = counts[static_cast<std::size_t>(band)][static_cast<std::size_t>(g)];
            EXPECT_EQ(Num(c, testsupport::CellRef(band + 2, 1 + g)), n)
                << labels[band] << " group " << g;
            EXPECT_NEAR(Num(c, testsupport::CellRef(band + 2, 6 + g)),
                        n / sizes[static_cast<std::size_t>(g)], 1e-12);
            EXPECT_EQ(Num(c, testsupport::CellRef(band + 2, 11 + g)),
                      cumulative[static_cast<std::size_t>(band)][static_cast<std::size_t>(g)]);
        }
    }
    EXPECT_TRUE(testsupport::ReadZipEntry(file(), "xl/charts/chart2.xml"));
}

TEST_F(ResultsWorkbookTest, QuestionRatesByClass) {
    Write(Grade());
    const std::string xml = Sheet(4);
    auto c = CellMap(xml);
    EXPECT_EQ(c["A1"].value, "题目");
    EXPECT_EQ(c["B1"].value, "年级");
    EXPECT_EQ(c["C1"].value, "01");
    EXPECT_EQ(c["E1"].value, "未分班");
    EXPECT_EQ(c["A2"].value, "f1");
    // f1 of 6 points: the grade 33 of 8 sheets; 01 18.5 of 4; 02 12.5 of 3; 未分班 2 of 1.
    EXPECT_NEAR(Num(c, "B2"), 33.0 / 48, 1e-12);
    EXPECT_NEAR(Num(c, "C2"), 18.5 / 24, 1e-12);
    EXPECT_NEAR(Num(c, "D2"), 12.5 / 18, 1e-12);
    EXPECT_NEAR(Num(c, "E2"), 2.0 / 6, 1e-12);
    // f2 of 4 points; 王五's empty points count as none.
    EXPECT_NEAR(Num(c, "B3"), 20.4 / 32, 1e-12);
    EXPECT_NEAR(Num(c, "D3"), 5.0 / 12, 1e-12);
    EXPECT_NE(xml.find("<cfRule type=\"colorScale\""), std::string::npos);
    EXPECT_NE(xml.find("<conditionalFormatting sqref=\"C2:E2\">"), std::string::npos)
        << "along each question";
    EXPECT_NE(xml.find("<conditionalFormatting sqref=\"C3:E3\">"), std::string::npos);
}

TEST_F(ResultsWorkbookTest, NoRowLostAtTheSheetBoundaries) {
    const auto written = Write(Grade(), 3);
    // The first worksheet leaves two of its three rows for the note.
    EXPECT_EQ(written.studentSheets, 4);
    EXPECT_EQ(testsupport::SheetNames(file()),
              (std::vector<std::string>{"学生成绩", "学生成绩2", "学生成绩3", "学生成绩4",
                                        "班级对比", "分数段", "题目得分率"}));
    std::vector<std::string> exam;
    std::vector<double> ranks;
    for (int n = 1; n <= 4; ++n) {
        auto c = CellMap(Sheet(n));
        EXPECT_EQ(c["A1"].value, "考号") << "header on sheet " << n;
        for (int row = 2; row <= 4; ++row) {
            const std::string ref = "A" + std::to_string(row);
            if (c.count(ref) && c[ref].value.rfind("2026", 0) == 0) {
                exam.push_back(c[ref].value);
                ranks.push_back(Num(c, "E" + std::to_string(row)));
            }
        }
        if (n == 1) {
            EXPECT_NE(c["A4"].value.find("另有 1 份"), std::string::npos);
        }
    }
    EXPECT_EQ(exam,
              (std::vector<std::string>{"2026010001", "2026010002", "2026010003", "2026010004",
                                        "2026020001", "2026020002", "2026020004", "2026990001"}));
    EXPECT_EQ(ranks, (std::vector<double>{1, 6, 3, 3, 1, 7, 3, 8}));
    auto comparison = CellMap(Sheet(5));
    EXPECT_EQ(Num(comparison, "B2"), 8);
}

TEST_F(ResultsWorkbookTest, FullSheetsWithoutANote) {
    auto sheets = Grade();
    sheets.erase(sheets.begin() + 6); // the sheet without a score
    const auto written = Write(sheets, 4);
    EXPECT_EQ(written.studentSheets, 2);
    auto first = CellMap(Sheet(1));
    auto second = CellMap(Sheet(2));
    EXPECT_EQ(first["A5"].value, "2026010004");
    EXPECT_EQ(first.count("A6"), 0u);
    EXPECT_EQ(second["A2"].value, "2026020001");
    EXPECT_EQ(second["A5"].value, "2026990001");
    EXPECT_NE(Sheet(2).find("<autoFilter ref=\"A1:H5\"/>"), std::string::npos);
}

TEST_F(ResultsWorkbookTest, ClassesFollowTheClassListNotTheExamOrder) {
    // 03's sheets come first in exam order; 02 has none.
    const std::vector<::Sheet> sheets = {
        {"1001", 2, "", 7, {4, 3}}, {"1002", 2, "", 5, {3, 2}}, {"2001", 0, "", 10, {6, 4}}};
    Write(sheets);
    auto c = CellMap(Sheet(2));
    EXPECT_EQ(c["A3"].value, "01");
    EXPECT_EQ(c["A4"].value, "03");
    EXPECT_EQ(c.count("A5"), 0u) << "no 未分班 row when every sheet has a class";
    EXPECT_EQ(Num(c, "K3"), 1);
    EXPECT_EQ(Num(c, "K4"), 2);
    auto rates = CellMap(Sheet(4));
    EXPECT_EQ(rates["C1"].value, "01");
    EXPECT_EQ(rates["D1"].value, "03");
    EXPECT_EQ(rates.count("E1"), 0u);
}

TEST_F(ResultsWorkbookTest, EqualClassMeansShareARank) {
    const std::vector<::Sheet> sheets = {{"1", 0, "", 8, {4, 4}},
                                         {"2", 1, "", 6, {3, 3}},
                                         {"3", 1, "", 10, {6, 4}},
                                         {"4", 2, "", 9, {5, 4}}};
    Write(sheets);
    auto c = CellMap(Sheet(2));
    EXPECT_EQ(Num(c, "K3"), 2) << "01 and 02 both average 8";
    EXPECT_EQ(Num(c, "K4"), 2);
    EXPECT_EQ(Num(c, "K5"), 1);
}

TEST_F(ResultsWorkbookTest, AFailedWriteLeavesNoFile) {
    results::Options o;
    o.fullMarks = 10;
    ListSource source(Grade());
    const auto missing = home / "no such folder" / "成绩分析_x.xlsx";
    EXPECT_THROW((void)results::WriteResultsWorkbook(missing, source, ClassesOf(source), {"01"},
                                                     questions, o),
                 std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(missing));
    o.fullMarks = 0;
    EXPECT_THROW((void)results::WriteResultsWorkbook(file(), source, ClassesOf(source), {"01"},
                                                     questions, o),
                 std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_TRUE(std::filesystem::is_empty(home.path())) << "no temporary file left";
}

} // namespace
