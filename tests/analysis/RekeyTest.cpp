// Correcting one single-choice key: the table, the statistics file, the key
// history and the recorded run after a correction are those of a full
// scoring run with the corrected key; the preview and every refusal change
// nothing.
#include "analysis/AnalyzeCommand.h"
#include "analysis/RekeyCommand.h"
#include "core/OpenTable.h"
#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "platform/os/Shell.h"
#include "scoring/ScoreCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/CliRun.h"
#include "tests/support/DatabaseDump.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <regex>

namespace {

using testsupport::DumpDatabase;
using testsupport::HomeFiles;
using testsupport::TempHome;
using testsupport::WithoutTimes;

// Twelve single-choice questions in three segments (5 worth 1, 4 worth 2.5,
// 3 worth 0.7, so that totals need rounding and truncating), question 7
// keyed "x" and question 10 keyed "z", separators of all three kinds; three
// multiple-choice questions worth 4, partial 1.5.
const std::string kKey = "ABCDE,FxBCz AB";
const std::string kEarlierKey = "ABCDE,FABCC AB"; // an earlier run that scored question 7
const std::vector<std::string> kSegments = {"5:1", "4:2.5", "3:0.7"};

// Contents from a fixed generator: single marks (mostly one option, some
// blanks, multi-marks, codes that look like letters and bytes outside the
// codes), then three multiple-choice marks; every seventh sheet stops at the
// single-choice part.
std::vector<std::pair<std::string, std::string>> Sheets(int n) {
    static const char singles[] = "1111222244448888@P0 3A#";
    std::uint32_t seed = 12345;
    auto next = [&seed]() { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<std::pair<std::string, std::string>> sheets;
    for (int i = 0; i < n; ++i) {
        std::string content;
        for (int k = 0; k < 12; ++k) {
            char c = singles[next() % (sizeof singles - 1)];
            content += (k == 11 && c == ' ') ? '0' : c; // a trailing blank would be trimmed away
        }
        if (i % 7 != 3)
            for (int j = 0; j < 3; ++j)
                content += static_cast<char>('0' + 1 + next() % 15);
        sheets.emplace_back(std::to_string(202601001 + (i * 37) % n), content);
    }
    return testsupport::Shuffled(sheets);
}

std::vector<std::string> ScoreArgs(const std::string& home, const std::string& table,
                                   const std::string& key) {
    std::vector<std::string> args = {"--home", home, "--go-on", "score", table};
    for (const std::string& s : kSegments) {
        args.push_back("--segment");
        args.push_back(s);
    }
    for (const char* a : {"--key", key.c_str(), "--multi", "3", "--full", "4", "--partial", "1.5",
                          "--multi-key", "AB;ACD;B"})
        args.push_back(a);
    return args;
}

std::string Tail(const std::string& bytes, std::size_t from) {
    return bytes.substr(from);
}

struct Case {
    char scoreType; // 'N' rounded to one decimal, 'I' truncated
    int question;
    char key;
    // The records in exam-number order, so that the table's storage order is
    // the order the open table shows (the correction then reads the table in
    // storage order, a batch of 4,096 rows at a time); otherwise shuffled.
    bool inExamOrder = false;
    int sheets = 60;
};

std::vector<std::pair<std::string, std::string>> SheetsOf(const Case& c) {
    auto sheets = Sheets(c.sheets);
    if (c.inExamOrder)
        std::sort(sheets.begin(), sheets.end());
    return sheets;
}

class RekeyMatchesFullRun : public ::testing::TestWithParam<Case> {
  protected:
    TempHome home;
    std::string table() const { return (home / "exam.dbf").string(); }
    std::string homeOf(const char* name) const { return (home / name).string(); }
};

TEST_P(RekeyMatchesFullRun, EveryRowFileAndRunSettingAreThoseOfAFullRun) {
    const Case c = GetParam();
    testsupport::WriteAnswers(home / "exam.dbf", SheetsOf(c), c.scoreType, 15);
    const std::string corrected = analysis::CorrectedKey(kKey, c.question, c.key);
    ASSERT_NE(corrected, kKey);

    const std::string a = homeOf("rekeyed"), b = homeOf("full");
    for (const std::string& h : {a, b})
        ASSERT_EQ(testsupport::RunCli(ScoreArgs(h, table(), kEarlierKey)).status, 0);
    ASSERT_EQ(testsupport::RunCli(ScoreArgs(a, table(), kKey)).status, 0);
    const std::string rekeyedBefore =
        DumpDatabase(home / "rekeyed" / "data.mdb", {.only = {}, .lastRun = true});
    const std::size_t historyA =
        testsupport::ReadBytes(home / "rekeyed" / "标准答案历史.log").size();
    const std::size_t historyB = testsupport::ReadBytes(home / "full" / "标准答案历史.log").size();

    const auto rekey =
        testsupport::RunCli({"--home", a, "rekey", table(), "--question",
                             std::to_string(c.question), "--key", std::string(1, c.key)});
    ASSERT_EQ(rekey.status, 0) << rekey.err;
    ASSERT_EQ(testsupport::RunCli(ScoreArgs(b, table(), corrected)).status, 0);

    const std::string rekeyed =
        DumpDatabase(home / "rekeyed" / "data.mdb", {.only = {}, .lastRun = true});
    EXPECT_NE(rekeyed, rekeyedBefore) << "the correction changed no score";
    EXPECT_EQ(rekeyed, DumpDatabase(home / "full" / "data.mdb", {.only = {}, .lastRun = true}));
    EXPECT_EQ(testsupport::ReadBytes(home / "rekeyed" / "统计_exam.txt"),
              testsupport::ReadBytes(home / "full" / "统计_exam.txt"));
    EXPECT_EQ(
        WithoutTimes(Tail(testsupport::ReadBytes(home / "rekeyed" / "标准答案历史.log"), historyA)),
        WithoutTimes(Tail(testsupport::ReadBytes(home / "full" / "标准答案历史.log"), historyB)));
    EXPECT_NE(rekey.out.find("wrote " + (home / "rekeyed" / "统计_exam.txt").string()),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, RekeyMatchesFullRun,
                         ::testing::Values(Case{'N', 12, 'A'}, Case{'I', 12, 'D'},
                                           Case{'N', 6, 'B'}, Case{'I', 3, 'A'}, Case{'N', 1, 'F'},
                                           Case{'N', 12, 'A', true}, Case{'I', 6, 'B', true},
                                           Case{'N', 2, 'C', true, 9001}));

// A scored table in a home of its own, with the state of the database and
// the files to compare against.
class RekeyCliTest : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::WriteAnswers(home / "exam.dbf", Sheets(30), 'N', 15); }

    std::string homeDir() const { return (home / "home").string(); }
    std::string table() const { return (home / "exam.dbf").string(); }
    testsupport::CliResult Rekey(const std::string& question, const std::string& key,
                                 bool preview = false) {
        std::vector<std::string> args = {"--home",     homeDir(), "rekey", table(),
                                         "--question", question,  "--key", key};
        if (preview)
            args.push_back("--preview");
        return testsupport::RunCli(args);
    }
    void Score() { ASSERT_EQ(testsupport::RunCli(ScoreArgs(homeDir(), table(), kKey)).status, 0); }
    std::string State() {
        std::string state = DumpDatabase(home / "home" / "data.mdb");
        for (const auto& [name, bytes] : HomeFiles(home / "home"))
            state += name + "\n" + bytes + "\n";
        return state;
    }

    TempHome home;
};

TEST_F(RekeyCliTest, EachRefusalExitsOneAndChangesNothing) {
    Score();
    const std::string before = State();
    for (const auto& [question, key] :
         std::vector<std::pair<std::string, std::string>>{{"0", "A"},
                                                          {"13", "A"},
                                                          {"-1", "B"},
                                                          {"2", "G"},
                                                          {"2", "a"},
                                                          {"2", "AB"},
                                                          {"2", "x"},
                                                          {"7", "A"},
                                                          {"10", "B"}}) {
        for (bool preview : {false, true}) {
            const auto r = Rekey(question, key, preview);
            EXPECT_EQ(r.status, 1) << question << " " << key << " " << r.err;
            EXPECT_EQ(r.out.find("wrote"), std::string::npos);
            EXPECT_EQ(State(), before) << question << " " << key;
        }
    }
}

TEST_F(RekeyCliTest, ATableNeverScoredIsRefused) {
    ASSERT_EQ(testsupport::RunCli({"--home", homeDir(), "open", table()}).status, 0);
    const std::string before = State();
    const auto r = Rekey("1", "B");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("还没有评过分"), std::string::npos) << r.err;
    EXPECT_EQ(State(), before);
}

TEST_F(RekeyCliTest, TheCurrentKeyIsANoticeAndWritesNothing) {
    Score();
    const std::string before = State();
    for (bool preview : {false, true}) {
        const auto r = Rekey("4", "D", preview);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find("已经是 D"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("wrote"), std::string::npos);
        EXPECT_EQ(State(), before);
    }
}

TEST_F(RekeyCliTest, ThePreviewWritesNothingAndCountsWhatTheCorrectionChanges) {
    Score();
    const std::string before = State();
    const auto preview = Rekey("12", "A", true);
    ASSERT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(State(), before);
    EXPECT_NE(preview.out.find("B -> A"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("ABCDE,FxBCz AA"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("+0.7 分"), std::string::npos) << preview.out;
    EXPECT_NE(preview.out.find("-0.7 分"), std::string::npos) << preview.out;

    const auto applied = Rekey("12", "A");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_NE(State(), before);
}

TEST_F(RekeyCliTest, OutOfDateReportsAreNamed) {
    Score();
    ASSERT_EQ(testsupport::RunCli({"--home", homeDir(), "analyze", table()}).status, 0);
    const auto r = Rekey("1", "B");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("试卷分析_exam.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("成绩分析_exam.xlsx"), std::string::npos) << r.err;
}

TEST(CorrectedKey, ReplacesTheNthKeyCharacterAndKeepsEverySeparator) {
    EXPECT_EQ(analysis::CorrectedKey("ABCDE;ABCDE;AB", 6, 'F'), "ABCDE;FBCDE;AB");
    EXPECT_EQ(analysis::CorrectedKey("  ABCDE ABCDE,AB ", 12, 'C'), "  ABCDE ABCDE,AC ");
    EXPECT_EQ(analysis::CorrectedKey("AB;C", 3, 'A'), "AB;A"); // a separator inside a group
    EXPECT_EQ(analysis::CorrectedKey("A", 1, 'B'), "B");
    EXPECT_THROW((void)analysis::CorrectedKey("ABC", 4, 'A'), analysis::RekeyRefused);
}

// The preview's figures are the analysis of the table after the correction.
TEST(RekeyPreview, ItsFiguresAreTheAnalysisAfterTheCorrection) {
    TempHome home;
    testsupport::WriteAnswers(home / "exam.dbf", Sheets(80), 'N', 15);
    core::Workspace ws{home.path()};
    ws.startUp();
    testsupport::ScriptedUi ui;
    ui.answers = {true}; // the lower-case key characters x and z are meant
    os::RecordingShell shell;
    (void)core::OpenAnswerTable(ws, ui, home / "exam.dbf");
    scoring::ScoringSettings st;
    st.segmentChoice = 3;
    st.counts = {5, 4, 3, 0};
    st.enabled = {true, true, true, false};
    st.points = {"1", "2.5", "0.7", "0"};
    st.singleKey = kKey;
    st.multiCount = 3;
    st.full = "4";
    st.partial = "1.5";
    st.multiKey = "AB;ACD;B";
    ASSERT_EQ(scoring::ScoreAll(ws, ui, shell, st, {}).outcome, core::Outcome::Done);

    const analysis::RekeyPreview preview = analysis::PreviewRekey(ws, ui, {8, 'D'});
    ASSERT_FALSE(preview.unchanged);
    ASSERT_TRUE(preview.item);
    std::int64_t counted = 0;
    for (const auto& [change, sheets] : preview.differences) {
        EXPECT_TRUE(change == 2.5 || change == -2.5) << change;
        counted += sheets;
    }
    EXPECT_EQ(counted, preview.changed);

    const analysis::RekeyResult applied = analysis::ApplyRekey(ws, ui, {8, 'D'});
    EXPECT_EQ(applied.rowsChanged, preview.changed);
    EXPECT_EQ(applied.run.settings.singleKey, "ABCDE,FxDCz AB");
    const auto after = analysis::AnalyzeTable(ws, ui, {});
    ASSERT_EQ(after.outcome, core::Outcome::Done);
    EXPECT_DOUBLE_EQ(preview.analysis.mean, after.analysis.mean);
    EXPECT_EQ(preview.analysis.alpha.has_value(), after.analysis.alpha.has_value());
    if (preview.analysis.alpha) {
        EXPECT_DOUBLE_EQ(*preview.analysis.alpha, *after.analysis.alpha);
    }
    const analysis::ItemFigures* item = nullptr;
    for (const auto& i : after.analysis.items)
        if (i.type == analysis::QuestionType::Single && i.number == 8)
            item = &i;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->key, "D");
    EXPECT_DOUBLE_EQ(preview.item->p, item->p);
    EXPECT_EQ(preview.item->d, item->d);
    EXPECT_EQ(preview.item->flags, item->flags);
}

// The panels of ScoreArgs with this single-choice key.
scoring::ScoringSettings SettingsWith(const std::string& key) {
    scoring::ScoringSettings st;
    st.segmentChoice = 3;
    st.counts = {5, 4, 3, 0};
    st.enabled = {true, true, true, false};
    st.points = {"1", "2.5", "0.7", "0"};
    st.singleKey = key;
    st.multiCount = 3;
    st.full = "4";
    st.partial = "1.5";
    st.multiKey = "AB;ACD;B";
    return st;
}

// The table's rows and its last run, and the statistics file, of a home.
std::string Scored(const std::filesystem::path& home) {
    return DumpDatabase(home / "data.mdb", {.only = "exam"}) +
           DumpDatabase(home / "data.mdb", {.only = "quillory_runs", .lastRun = true}) +
           testsupport::ReadBytes(home / "统计_exam.txt");
}

// Another program scores the table with another key while a correction
// waits for the write lock: the correction corrects the key of that run,
// and leaves what a full run with that key corrected leaves.
TEST(RekeyRace, ACorrectionWaitingForAnotherProgramsRunCorrectsThatRun) {
    TempHome home;
    const auto dbf = home / "exam.dbf";
    testsupport::WriteAnswers(dbf, Sheets(60), 'N', 15);
    const auto rekeyed = home / "rekeyed";
    ASSERT_EQ(testsupport::RunCli(ScoreArgs(rekeyed.string(), dbf.string(), kEarlierKey)).status,
              0);
    core::Workspace ws{rekeyed};
    ws.startUp();
    testsupport::ScriptedUi ui;
    (void)core::OpenAnswerTable(ws, ui, dbf);

    testsupport::OtherProgram other([&](const std::function<void()>& holding) {
        core::Workspace theirs{rekeyed};
        theirs.startUp();
        testsupport::ScriptedUi theirUi;
        theirUi.answers = {true}; // the lower-case key characters x and z are meant
        (void)core::OpenAnswerTable(theirs, theirUi, dbf);
        theirs.connection.beginImmediate();
        holding();
        os::RecordingShell shell;
        if (scoring::ScoreAll(theirs, theirUi, shell, SettingsWith(kKey), {}).outcome !=
            core::Outcome::Done)
            throw std::runtime_error("not scored");
        theirs.connection.commit();
    });
    ASSERT_TRUE(other.holding());
    ws.connection.setBusyNotice([&other] { other.goOn(); });
    const analysis::RekeyResult r = analysis::ApplyRekey(ws, ui, {12, 'A'});
    ASSERT_TRUE(other.finish());
    const std::string corrected = analysis::CorrectedKey(kKey, 12, 'A');
    EXPECT_EQ(r.run.settings.singleKey, corrected);

    const auto full = home / "full";
    for (const std::string& key : {kEarlierKey, corrected})
        ASSERT_EQ(testsupport::RunCli(ScoreArgs(full.string(), dbf.string(), key)).status, 0);
    EXPECT_TRUE(Scored(rekeyed) == Scored(full))
        << "the table, the last run or the statistics differ";
}

// A correction killed between its commit and its files: the next
// correction, or the next run, finds the files behind the table's last run
// and writes them as that run would have.
class RekeyKilledTest : public RekeyCliTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RekeyKilledTest, TheNextCommandWritesTheFilesTheKilledOneLeftBehind) {
    const bool nextIsRekey = GetParam();
    Score();
    const auto history = home / "home" / "标准答案历史.log";
    const std::size_t before = testsupport::ReadBytes(history).size();
    const std::string statistics = testsupport::ReadBytes(home / "home" / "统计_exam.txt");
    const int status = testsupport::InChild([&] {
        ::setenv("QUILLORY_KILL_AT", "rekey-after-commit", 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        (void)cli::Run({"--home", homeDir(), "rekey", table(), "--question", "12", "--key", "A"});
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(testsupport::ReadBytes(history).size(), before) << "killed before the files";
    EXPECT_EQ(testsupport::ReadBytes(home / "home" / "统计_exam.txt"), statistics);

    const std::string corrected = analysis::CorrectedKey(kKey, 12, 'A');
    const auto full = home / "full";
    ASSERT_EQ(testsupport::RunCli(ScoreArgs(full.string(), table(), corrected)).status, 0);
    const std::string entry = WithoutTimes(testsupport::ReadBytes(full / "标准答案历史.log"));
    if (nextIsRekey) {
        const auto r = Rekey("12", "A");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("已经是 A"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("已经补写"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("wrote " + homeDir() + "/统计_exam.txt"), std::string::npos) << r.out;
        EXPECT_TRUE(Scored(home / "home") == Scored(full))
            << "the table, the last run or the statistics differ";
        EXPECT_EQ(WithoutTimes(Tail(testsupport::ReadBytes(history), before)), entry);
        const std::string repaired = State();
        const auto again = Rekey("12", "A");
        EXPECT_EQ(again.err.find("补写"), std::string::npos) << again.err;
        EXPECT_EQ(State(), repaired) << "the files are up to date now";
    } else {
        Score();
        const std::string next = WithoutTimes(Tail(testsupport::ReadBytes(history), before));
        ASSERT_GE(next.size(), entry.size());
        EXPECT_EQ(next.substr(0, entry.size()), entry)
            << "the killed correction's entry comes first";
    }
}

INSTANTIATE_TEST_SUITE_P(NextCommand, RekeyKilledTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Rekey" : "Score");
                         });

} // namespace
