// The runs table: what a scoring run stores of its settings, that it is
// written with the scores or not at all, and which run is a table's last.
#include "scoring/RunLog.h"
#include "core/AppError.h"
#include "core/OpenTable.h"
#include "scoring/ExamRun.h"
#include "scoring/ScoreCommand.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using core::Outcome;
using scoring::ScoringSettings;

// Five single-choice questions in two segments (3 worth 1, 2 worth 2), two
// multiple-choice questions worth 4 (partial 2).
ScoringSettings TwoSegments() {
    ScoringSettings st;
    st.segmentChoice = 2;
    st.counts = {3, 2, 9, 9};
    st.enabled = {true, true, false, false};
    st.points = {"1", "2", "5", "5"};
    st.singleKey = "ABCDA";
    st.multiCount = 2;
    st.full = "4";
    st.partial = "2";
    st.multiKey = "A;BC";
    return st;
}

class RunLogTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    void Open(const std::vector<std::string>& contents, const std::string& name = "exam") {
        std::vector<std::pair<std::string, std::string>> sheets;
        for (std::size_t i = 0; i < contents.size(); ++i)
            sheets.emplace_back(std::to_string(202601001 + i), contents[i]);
        testsupport::WriteAnswers(home / (name + ".dbf"), sheets, 'N');
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
    }

    Outcome Score(const ScoringSettings& st) {
        return scoring::ScoreAll(ws, ui, shell, st, {}).outcome;
    }

    std::int64_t RunRows() {
        if (!ws.connection.hasTable(scoring::RunsTableName))
            return 0;
        auto r = ws.connection.select("select count(*) from [quillory_runs]");
        return db::Query::ToInteger(r.rows[0][0]);
    }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(RunLogTest, AScoredRunStoresItsSettingsAsTyped) {
    Open({"1248133", "2222222"});
    ws.Fields.FullMatch = true;
    ws.Fields.YuwenM = true;
    ASSERT_EQ(Score(TwoSegments()), Outcome::Done);
    const auto run = scoring::LastRun(ws.connection, "exam");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->table, "exam");
    EXPECT_TRUE(std::regex_match(run->time, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
        << run->time;
    const ScoringSettings& st = run->settings;
    EXPECT_EQ(st.segmentChoice, 2);
    EXPECT_EQ(st.counts, (std::array<int, 4>{3, 2, 0, 0}))
        << "segments the run did not read hold nothing";
    EXPECT_EQ(st.points, (std::array<std::string, 4>{"1", "2", "0", "0"}));
    EXPECT_EQ(st.enabled, (std::array<bool, 4>{true, true, false, false}));
    EXPECT_EQ(st.singleKey, "ABCDA");
    EXPECT_EQ(st.multiCount, 2);
    EXPECT_EQ(st.full, "4");
    EXPECT_EQ(st.partial, "2");
    EXPECT_EQ(st.multiKey, "A;BC");
    EXPECT_TRUE(run->fullMatch);
    EXPECT_TRUE(run->yuwenM);
    EXPECT_EQ(RunRows(), 1);
}

TEST_F(RunLogTest, TheKeysAreKeptWithTheirSeparatorsAndBlanks) {
    Open({"12481248124", "12481248124"});
    ws.Fields.FullMatch = false;
    ScoringSettings st;
    st.segmentChoice = 1;
    st.counts = {11, 0, 0, 0};
    st.points = {"1.5", "0", "0", "0"};
    st.singleKey = " ABCDA;BCDAB C";
    // The run trims the key before it checks the length: 11 + 2 separators.
    ASSERT_EQ(Score(st), Outcome::Done);
    const auto run = scoring::LastRun(ws.connection, "exam");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->settings.singleKey, " ABCDA;BCDAB C");
    EXPECT_EQ(run->settings.points[0], "1.5");
    EXPECT_FALSE(run->fullMatch);
}

TEST_F(RunLogTest, ARunRefusedForShortContentLeavesNoRow) {
    Open({"1248133", "12"});
    EXPECT_THROW(Score(TwoSegments()), core::AppError);
    EXPECT_EQ(RunRows(), 0);
    EXPECT_FALSE(scoring::LastRun(ws.connection, "exam"));
}

TEST_F(RunLogTest, AFailedRunKeepsTheRunBeforeItAsTheLast) {
    Open({"1248133", "12"});
    ScoringSettings two;
    two.segmentChoice = 1;
    two.counts = {2, 0, 0, 0};
    two.points = {"1", "0", "0", "0"};
    two.singleKey = "AB";
    ASSERT_EQ(Score(two), Outcome::Done);
    EXPECT_THROW(Score(TwoSegments()), core::AppError);
    EXPECT_EQ(RunRows(), 1);
    ASSERT_TRUE(scoring::LastRun(ws.connection, "exam"));
    EXPECT_EQ(scoring::LastRun(ws.connection, "exam")->settings.singleKey, "AB");
}

TEST_F(RunLogTest, ARunStoppedByACheckLeavesNoRow) {
    Open({"1248133"});
    ScoringSettings st = TwoSegments();
    st.singleKey = "ABCD"; // one key short of five questions
    EXPECT_EQ(Score(st), Outcome::Stopped);
    EXPECT_EQ(RunRows(), 0);
}

TEST_F(RunLogTest, TheNewestRowOfATableIsItsLastRun) {
    Open({"1248133"}, "first");
    ASSERT_EQ(Score(TwoSegments()), Outcome::Done);
    Open({"1248133"}, "second");
    ScoringSettings st = TwoSegments();
    st.singleKey = "BBBBB";
    ASSERT_EQ(Score(st), Outcome::Done);
    Open({"1248133"}, "first");
    st.singleKey = "CCCCC";
    ASSERT_EQ(Score(st), Outcome::Done);
    EXPECT_EQ(RunRows(), 3);
    const auto first = scoring::LastRun(ws.connection, "first");
    const auto second = scoring::LastRun(ws.connection, "second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->settings.singleKey, "CCCCC");
    EXPECT_EQ(second->settings.singleKey, "BBBBB");
    EXPECT_GT(first->id, second->id);
    ASSERT_TRUE(scoring::LastRun(ws.connection, "FIRST"))
        << "table names are matched without regard to case";
    EXPECT_EQ(scoring::LastRun(ws.connection, "FIRST")->id, first->id);
    EXPECT_FALSE(scoring::LastRun(ws.connection, "third"));
}

TEST_F(RunLogTest, AStoredRunReadBackMakesTheQuestionsOfTheRunAsTyped) {
    Open({"1248133"});
    ws.Fields.FullMatch = true;
    ScoringSettings st = TwoSegments();
    st.singleKey = " AB,x;DA ";
    st.multiKey = "A;x";
    const scoring::ExamRun typed = scoring::RunRecordOf("exam", st, ws.Fields);
    scoring::RecordRun(ws.connection, typed);
    const auto stored = scoring::LastRun(ws.connection, "exam");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->time, typed.time);
    EXPECT_TRUE(stored->fullMatch);
    EXPECT_FALSE(stored->yuwenM);
    EXPECT_TRUE(stored->questions.empty()) << "the questions are made by AcceptedRun";
    const scoring::ExamRun run = scoring::AcceptedRun(*stored);
    EXPECT_EQ(run.questions, scoring::AcceptedRun(typed).questions);
    EXPECT_EQ(run.singleKeys, "ABxDA");
    EXPECT_EQ(run.singleCount, 5);
    EXPECT_EQ(run.multiSet, 2);
    EXPECT_EQ(run.columnCount(), 7);
    const std::vector<scoring::RunQuestion> expected = {
        {scoring::QuestionKind::Single, 1, 1, "A", 1, scoring::LeftOut::No},
        {scoring::QuestionKind::Single, 2, 2, "B", 1, scoring::LeftOut::No},
        {scoring::QuestionKind::Single, 3, 3, "x", 1, scoring::LeftOut::KeyX},
        {scoring::QuestionKind::Single, 4, 4, "D", 2, scoring::LeftOut::No},
        {scoring::QuestionKind::Single, 5, 5, "A", 2, scoring::LeftOut::No},
        {scoring::QuestionKind::Multi, 1, 6, "A", 4, scoring::LeftOut::No},
        {scoring::QuestionKind::Multi, 2, 7, "x", 4, scoring::LeftOut::KeyX}};
    EXPECT_EQ(run.questions, expected);
}

TEST_F(RunLogTest, NoTableBeforeTheFirstRun) {
    Open({"1248133"});
    EXPECT_FALSE(ws.connection.hasTable(scoring::RunsTableName));
    EXPECT_FALSE(scoring::LastRun(ws.connection, "exam"));
}

} // namespace
