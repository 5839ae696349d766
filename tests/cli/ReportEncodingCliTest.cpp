// The TextEncoding setting of config.ini as quillory-cli honours it: every
// report written whole in the chosen encoding, the appended logs in GBK, a
// value it cannot use said and replaced by GBK; and the report's closing
// notice.
#include "platform/text/Encoding.h"
#include "platform/text/Gbk.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every line break is CR LF: no LF without its CR, and the file ends in one.
bool CrLfOnly(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    return bytes.ends_with("\r\n");
}

// The reports of one exam day, run in a home of their own whose config.ini
// holds `setting` (none when empty): scoring, class statistics, the
// missing-number check and the analysis.
class ExamDay {
  public:
    ExamDay(const TempHome& root, const std::string& name, const std::string& setting)
        : mHome(root / name), mTable(root / "exam.dbf") {
        std::filesystem::create_directories(mHome);
        if (!setting.empty())
            testsupport::WriteBytes(mHome / "config.ini",
                                    "[General]\r\nTextEncoding=" + setting + "\r\n");
    }

    // Runs the commands; the stderr of the first is kept.
    void run() {
        const std::string home = mHome.string(), table = mTable.string();
        auto r = testsupport::RunCli({"--home", home, "score", table, "--segment", "4:1", "--key",
                                      "ABCD", "--multi", "1", "--full", "4", "--multi-key", "AB"});
        ASSERT_EQ(r.status, 0) << r.err;
        firstErr = r.err;
        r = testsupport::RunCli({"--home", home, "classes", table, "--start", "5", "--code-length",
                                 "2", "--first", "1", "--last", "2"});
        ASSERT_EQ(r.status, 0) << r.err;
        r = testsupport::RunCli({"--home", home, "check", table});
        ASSERT_EQ(r.status, 0) << r.err;
        r = testsupport::RunCli({"--home", home, "analyze", table});
        ASSERT_EQ(r.status, 0) << r.err;
    }

    [[nodiscard]] std::string bytes(const std::string& file) const {
        return ReadBytes(mHome / file);
    }

    std::string firstErr;

  private:
    std::filesystem::path mHome;
    std::filesystem::path mTable;
};

const char* const kReports[] = {"统计_exam.txt", "分班统计_exam.txt", "CheckLog.txt",
                                "试卷分析_exam.txt"};

class ReportEncodingCli : public ::testing::Test {
  protected:
    void SetUp() override {
        // Classes 01 and 02 at positions 5 and 6; numbers 202601003 and
        // 202602002 are missing, so the check writes its log.
        testsupport::WriteAnswers(home / "exam.dbf",
                                  {{"202601001", "12483"},
                                   {"202601002", "12481"},
                                   {"202601004", "88880"},
                                   {"202602001", "12000"},
                                   {"202602003", "41283"}},
                                  'N');
    }

    TempHome home;
};

TEST_F(ReportEncodingCli, Utf8ReportsAreTheGbkReportsReEncodedWithCrLfAndNoByteOrderMark) {
    ExamDay gbk(home, "gbk", "");
    ExamDay utf8(home, "utf8", "UTF-8");
    gbk.run();
    utf8.run();
    for (const char* report : kReports) {
        const std::string g = gbk.bytes(report), u = utf8.bytes(report);
        ASSERT_FALSE(g.empty()) << report;
        EXPECT_FALSE(text::IsUtf8(g)) << report << " is GBK by default";
        EXPECT_TRUE(text::IsUtf8(u)) << report;
        EXPECT_EQ(u, text::FromGbk(g)) << report << ": the same text, byte for byte in UTF-8";
        EXPECT_FALSE(u.starts_with("\xEF\xBB\xBF")) << report;
        EXPECT_TRUE(CrLfOnly(u)) << report;
    }
    EXPECT_TRUE(Has(utf8.bytes("统计_exam.txt"), "题目")) << "Chinese text as UTF-8";
}

TEST_F(ReportEncodingCli, GbkNamedOrLeftOutGivesTheSameBytes) {
    ExamDay unset(home, "unset", "");
    ExamDay named(home, "named", "gbk");
    unset.run();
    named.run();
    for (const char* report : kReports)
        EXPECT_EQ(named.bytes(report), unset.bytes(report)) << report;
}

TEST_F(ReportEncodingCli, TheAppendedKeyHistoryStaysGbkUnderUtf8) {
    // A table of a Chinese name, so that the history line holds Chinese text.
    const auto table = home / "期中.dbf";
    testsupport::WriteAnswers(table, {{"202601001", "1248"}, {"202601002", "1241"}}, 'N');
    const auto dir = home / "utf8";
    std::filesystem::create_directories(dir);
    testsupport::WriteBytes(dir / "config.ini", "[General]\r\nTextEncoding=UTF-8\r\n");
    for (int run = 0; run < 2; ++run) {
        auto r = testsupport::RunCli(
            {"--home", dir.string(), "score", table.string(), "--segment", "4:1", "--key", "ABCD"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(text::IsUtf8(ReadBytes(dir / "统计_期中.txt")));
    const std::string history = ReadBytes(dir / "标准答案历史.log");
    EXPECT_FALSE(text::IsUtf8(history)) << "a log appended to never mixes encodings";
    const std::string read = text::FromGbk(history);
    std::size_t entries = 0;
    for (std::size_t at = read.find("期中  "); at != std::string::npos;
         at = read.find("期中  ", at + 1))
        ++entries;
    EXPECT_EQ(entries, 2u) << "both runs appended, in GBK:\n" << read;
    EXPECT_TRUE(CrLfOnly(history));
}

TEST_F(ReportEncodingCli, AnUnknownValueIsSaidAndTheReportsAreGbk) {
    ExamDay big5(home, "big5", "Big5");
    ExamDay gbk(home, "gbk", "");
    big5.run();
    gbk.run();
    EXPECT_TRUE(Has(big5.firstErr,
                    "config.ini 中 [General] 的 TextEncoding=Big5 不是可用的编码（只能是 GBK 或 "
                    "UTF-8），报告按 GBK 写出。"))
        << big5.firstErr;
    EXPECT_FALSE(Has(gbk.firstErr, "TextEncoding")) << gbk.firstErr;
    EXPECT_EQ(big5.bytes("统计_exam.txt"), gbk.bytes("统计_exam.txt"));
}

TEST_F(ReportEncodingCli, TheReportEndsWithANoticeNamingTheWorkbookAndTheCopyToKeep) {
    const std::string homeDir = (home / "h").string();
    ::setenv("TMPDIR", homeDir.c_str(), 1); // the report goes to the temporary folder
    const char* user = std::getenv("HOME");
    const std::string userHome = user ? user : "";
    ::setenv("HOME", (home / "user").c_str(), 1);
    auto r = testsupport::RunCli({"--home", homeDir, "report", (home / "exam.dbf").string()});
    ::unsetenv("TMPDIR");
    ::setenv("HOME", userHome.c_str(), 1);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string temp = testsupport::ProcessTempIn(homeDir).string(); // the run's own folder
    EXPECT_TRUE(
        Has(r.err, "[提示] 生成报表: 报表已写入 " + temp + "/test.xlsx（由 " + temp +
                       "/test.xls 排版而成）。这个文件在临时文件夹中，下一次生成报表时会被覆盖。"
                       "要保留它，请复制一份，例如复制为 " +
                       (home / "user" / "exam_成绩.xlsx").string() + "。\n"))
        << r.err;
    EXPECT_FALSE(Has(r.err, "[问题]")) << "a notice, never a question";
    EXPECT_TRUE(Has(r.out, "wrote " + temp + "/test.xlsx\n")) << r.out;
}

} // namespace
