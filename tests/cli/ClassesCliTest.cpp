// Where the results workbook, the class statistics and the exam-number check
// take their classes from when no class options are given: the roster, the
// class settings last used for the table, or the suggestion found in the
// exam numbers; and the notice when everything still falls into one class.
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using testsupport::TempHome;

testsupport::CliResult Cli(std::vector<std::string> args) {
    return testsupport::RunCli(std::move(args));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Eight classes of five: "2026" + class + seat, as a reader numbers a grade.
// The first guesses of the class dialog (the common prefix "20260" of two
// sample numbers, the class code at position 1) put every sheet in class 20.
class ClassesCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (int cls = 1; cls <= 8; ++cls)
            for (int seat = 1; seat <= 5; ++seat)
                sheets.emplace_back("20260" + std::to_string(cls) + "00" + std::to_string(seat),
                                    seat % 2 ? "12" : "21");
        testsupport::WriteAnswers(table, sheets, 'N');
        ASSERT_EQ(
            Cli({"--home", homeDir, "score", table.string(), "--segment", "2:1", "--key", "AB"})
                .status,
            0);
    }

    // The classes of the rows of 学生成绩 (column B), by exam number.
    [[nodiscard]] std::map<std::string, std::string> ClassesInWorkbook() const {
        auto cells =
            testsupport::CellMap(testsupport::SheetXml(home / "home" / "成绩分析_期中.xlsx", 1));
        std::map<std::string, std::string> classes;
        for (int row = 2; cells.count("A" + std::to_string(row)); ++row)
            classes[cells["A" + std::to_string(row)].value] =
                cells["B" + std::to_string(row)].value;
        return classes;
    }

    [[nodiscard]] static std::set<std::string>
    Distinct(const std::map<std::string, std::string>& classes) {
        std::set<std::string> names;
        for (const auto& [id, cls] : classes)
            names.insert(cls);
        return names;
    }

    testsupport::CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", homeDir});
        args.insert(args.begin() + 3, table.string());
        return Cli(std::move(args));
    }

    TempHome home;
    std::string homeDir = (home / "home").string();
    std::filesystem::path table = home / "期中.dbf";
};

TEST_F(ClassesCliTest, WithoutSettingsTheSuggestionSplitsTheGradeIntoItsClasses) {
    auto r = Run({"results"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Has(r.err, "所有答卷都分在同一个班")) << r.err;
    const auto classes = ClassesInWorkbook();
    ASSERT_EQ(classes.size(), 40u);
    EXPECT_EQ(Distinct(classes),
              (std::set<std::string>{"01", "02", "03", "04", "05", "06", "07", "08"}));
    EXPECT_EQ(classes.at("202603004"), "03");

    r = Run({"sql", "--statement",
             "SELECT predefined, prefix_mode, prefix, total_length, first_class, last_class "
             "FROM quillory_class_settings"});
    EXPECT_EQ(r.out,
              "记录数:40  "
              "题目数:2\npredefined\tprefix_mode\tprefix\ttotal_length\tfirst_class\tlast_class\n"
              "0\t1\t2026\t9\t1\t8\n")
        << "what the workbook used is kept for the table";
}

TEST_F(ClassesCliTest, TheRosterGivesTheClassesWhenItHoldsHalfTheGrade) {
    // The roster puts the first 20 students in classes 1 and 2 by seat,
    // across the classes of the exam numbers: half the grade is enough.
    std::string csv = "ID,StudClass,StudName\n";
    for (int cls = 1; cls <= 4; ++cls)
        for (int seat = 1; seat <= 5; ++seat)
            csv += "20260" + std::to_string(cls) + "00" + std::to_string(seat) + "," +
                   (seat <= 2 ? "1" : "2") + ",s\n";
    testsupport::WriteBytes(home / "ids.csv", csv);
    ASSERT_EQ(Cli({"--home", homeDir, "roster", "import", (home / "ids.csv").string()}).status, 0);
    auto r = Run({"results"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto classes = ClassesInWorkbook();
    EXPECT_EQ(classes.at("202603001"), "1");
    EXPECT_EQ(classes.at("202603005"), "2");
    EXPECT_EQ(classes.at("202607001"), "") << "not on the roster: no class";

    // The class options given win over the roster.
    r = Run({"results", "--prefix", "2026", "--first", "1", "--last", "8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ClassesInWorkbook().at("202607001"), "07");
}

TEST_F(ClassesCliTest, TheLastUsedSettingsAreTakenByEveryCommandWithoutClassOptions) {
    auto r = Run({"classes", "--prefix", "2026", "--first", "1", "--last", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"results"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto classes = ClassesInWorkbook();
    EXPECT_EQ(Distinct(classes), (std::set<std::string>{"", "01", "02", "03", "04"}))
        << "classes 5 to 8 are outside the remembered range";
    EXPECT_TRUE(Has(r.err, "未分班 20 份")) << r.err;

    r = Run({"classes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "有 20 份答卷不属于任何班级"))
        << "the remembered range again: " << r.err;
    ASSERT_EQ(Run({"verify"}).status, 0);
    ASSERT_EQ(r.status, 0) << r.err;
}

TEST_F(ClassesCliTest, ACheckWithoutClassSettingsKeepsNothingThatStopsTheNextRun) {
    ASSERT_EQ(Run({"verify"}).status, 0);
    auto r = Run({"results"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Distinct(ClassesInWorkbook()).size(), 8u) << "the suggestion, as on a fresh home";
    ASSERT_EQ(Run({"verify"}).status, 0);
    r = Run({"classes"});
    EXPECT_EQ(r.status, 0) << "the settings the workbook used, not the check's empty ones: "
                           << r.err;
}

TEST_F(ClassesCliTest, OneClassWhileTheNumbersShowSeveralIsSaid) {
    auto r = Run({"results", "--start", "1", "--first", "1", "--last", "24"});
    ASSERT_EQ(r.status, 0) << "a notice, not an error: " << r.err;
    EXPECT_TRUE(
        Has(r.err,
            "所有答卷都分在同一个班（20），考号显示可能有 8 个班；请设置考号特征或导入学生名单。"))
        << r.err;
    EXPECT_EQ(Distinct(ClassesInWorkbook()), (std::set<std::string>{"20"}));
}

} // namespace
