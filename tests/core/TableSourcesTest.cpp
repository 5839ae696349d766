#include "core/TableSources.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "core/Workspace.h"
#include "platform/db/Statement.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using testsupport::ScriptedUi;
using testsupport::Sheets;
using testsupport::TempHome;
using testsupport::WriteAnswers;

// Opening a file of a known table name compares it with the file the table
// was imported from.
class TableSourcesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ws.startUp();
        std::filesystem::create_directories(exam);
        WriteAnswers(file, Sheets(45, 6), 'N');
        (void)core::OpenAnswerTable(ws, ui, file);
    }

    core::OpenedTable Reopen(const std::filesystem::path& which) {
        return core::OpenAnswerTable(ws, ui, which);
    }

    std::int64_t Count(const std::string& sql) {
        auto rows = ws.connection.select(sql);
        return std::get<std::int64_t>(rows.rows.at(0).at(0));
    }

    // The file written again with `n` sheets, its modification time moved a
    // minute on so that it differs even on a coarse file system.
    void Rewrite(int n) {
        const auto before = std::filesystem::last_write_time(file);
        WriteAnswers(file, Sheets(n, 6), 'N');
        std::filesystem::last_write_time(file, before + std::chrono::minutes(1));
    }

    std::string Question(const std::string& oldPath, int n, const std::string& newPath, int m) {
        return "数据表 exam1 已导入过（来自 " + oldPath + "，" + std::to_string(n) +
               " 条记录）。现在打开的文件不同（" + newPath + "，" + std::to_string(m) +
               " 条记录）。是否重新导入？已有的评分会被清除。";
    }

    TempHome home;
    std::filesystem::path exam = home / "exam";
    std::filesystem::path file = exam / "exam1.dbf";
    core::Workspace ws{home.path()};
    ScriptedUi ui;
};

TEST_F(TableSourcesTest, TheFirstImportRecordsPathSizeTimeAndRecords) {
    auto stored = core::StoredSource(ws.connection, "exam1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->path, file.string());
    EXPECT_EQ(stored->size, std::filesystem::file_size(file));
    EXPECT_EQ(stored->records, 45);
    const auto written = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(file));
    EXPECT_EQ(
        stored->modified,
        std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count());
    EXPECT_TRUE(core::StoredSource(ws.connection, "EXAM1")) << "table names ignore case";
    EXPECT_FALSE(core::StoredSource(ws.connection, "exam2"));
}

TEST_F(TableSourcesTest, TheSameFileOpensWithoutAQuestion) {
    auto opened = Reopen(file);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(opened.status, "记录数:45  题目数:6");
}

TEST_F(TableSourcesTest, AChangedFileAsksAndNoShowsTheStoredTable) {
    Rewrite(50);
    auto opened = Reopen(file);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, Question(file.string(), 45, file.string(), 50));
    EXPECT_EQ(ui.questions[0].title, "Quillory - exam1");
    EXPECT_EQ(ui.questionKinds[0], core::GoOn::Replace);
    EXPECT_EQ(opened.status, "记录数:45  题目数:6");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->records, 45)
        << "the stored table still comes from the old file";
    (void)Reopen(file);
    EXPECT_EQ(ui.questions.size(), 2u) << "a No asks again at the next opening";
}

TEST_F(TableSourcesTest, ANewerFileOfTheSameSizeAsks) {
    const auto size = std::filesystem::file_size(file);
    std::string bytes = testsupport::ReadBytes(file);
    bytes[bytes.size() - 2] =
        bytes[bytes.size() - 2] == 'C' ? 'D' : 'C'; // a mark of the last sheet
    const auto before = std::filesystem::last_write_time(file);
    testsupport::WriteBytes(file, bytes);
    std::filesystem::last_write_time(file, before + std::chrono::minutes(1));
    ASSERT_EQ(std::filesystem::file_size(file), size);
    (void)Reopen(file);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, Question(file.string(), 45, file.string(), 45));
}

TEST_F(TableSourcesTest, AFileOfTheSameNameElsewhereAsks) {
    std::filesystem::create_directories(home / "other");
    const auto copy = home / "other" / "exam1.dbf";
    std::filesystem::copy_file(file, copy);
    std::filesystem::last_write_time(copy, std::filesystem::last_write_time(file));
    (void)Reopen(copy);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, Question(file.string(), 45, copy.string(), 45));
}

TEST_F(TableSourcesTest, YesReimportsAndClearsScoresAndRuns) {
    ws.connection.execute("UPDATE exam1 SET score = 7, f1 = 1");
    ws.connection.execute("CREATE TABLE quillory_runs (id INTEGER PRIMARY KEY, table_name TEXT)");
    ws.connection.execute("INSERT INTO quillory_runs (table_name) VALUES ('exam1')");
    ws.connection.execute("INSERT INTO quillory_runs (table_name) VALUES ('EXAM1')");
    ws.connection.execute("INSERT INTO quillory_runs (table_name) VALUES ('exam2')");
    Rewrite(50);
    ui.answers = {true};
    auto opened = Reopen(file);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(opened.status, "记录数:50  题目数:6");
    EXPECT_EQ(Count("select count(*) from exam1"), 50);
    EXPECT_EQ(Count("select count(score) + count(f1) from exam1"), 0) << "scores are gone";
    EXPECT_EQ(Count("select count(*) from quillory_runs where table_name = 'exam2'"), 1);
    EXPECT_EQ(Count("select count(*) from quillory_runs"), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "数据表 exam1 已从 " + file.string() +
                  " 重新导入（50 条记录），已有的评分已清除（删除了 2 次评分的记录）。");
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->records, 50);
    (void)Reopen(file);
    EXPECT_EQ(ui.questions.size(), 1u) << "the new file is now the recorded one";
}

TEST_F(TableSourcesTest, AReimportWithoutRunsTableSaysTheScoresAreCleared) {
    Rewrite(3);
    ui.answers = {true};
    (void)Reopen(file);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "数据表 exam1 已从 " + file.string() + " 重新导入（3 条记录），已有的评分已清除。");
    EXPECT_EQ(Count("select count(*) from exam1"), 3);
}

TEST_F(TableSourcesTest, AFailedReimportKeepsTheStoredTableAndItsSource) {
    ws.connection.execute("UPDATE exam1 SET score = 7");
    const std::string damaged(600, 'x');
    testsupport::WriteBytes(file, damaged);
    ui.answers = {true};
    EXPECT_ANY_THROW((void)Reopen(file));
    EXPECT_EQ(Count("select count(*) from exam1"), 45);
    EXPECT_EQ(Count("select count(*) from exam1 where score = 7"), 45);
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->records, 45);
}

TEST_F(TableSourcesTest, AChineseNameIsReimportedThroughItsTempCopy) {
    const auto chinese = exam / "9班.dbf";
    WriteAnswers(chinese, Sheets(3, 6), 'N');
    (void)Reopen(chinese);
    const auto before = std::filesystem::last_write_time(chinese);
    WriteAnswers(chinese, Sheets(5, 6), 'N');
    std::filesystem::last_write_time(chinese, before + std::chrono::minutes(1));
    ui.answers = {true};
    auto opened = Reopen(chinese);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(opened.status, "记录数:5  题目数:6");
    EXPECT_EQ(core::StoredSource(ws.connection, "9班")->path, chinese.string());
    EXPECT_FALSE(std::filesystem::exists(exam / "temp.dbf"));
}

TEST_F(TableSourcesTest, AReimportThatCannotReadTheFileChangesNothing) {
    ws.view.close();
    ws.connection.execute("UPDATE exam1 SET score = 7");
    const auto recorded = *core::StoredSource(ws.connection, "exam1");
    testsupport::WriteBytes(file, std::string(600, 'x'));
    EXPECT_ANY_THROW(core::ReimportAnswerTable(ws.connection, exam.string(), "exam1", "score",
                                               core::SourceOf(file)));
    EXPECT_EQ(Count("select count(*) from exam1 where score = 7"), 45);
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->size, recorded.size);
    EXPECT_FALSE(ws.connection.inTransaction());
}

TEST_F(TableSourcesTest, ATableWithoutARecordGetsOneSilently) {
    ws.connection.execute("DROP TABLE quillory_sources");
    Rewrite(50);
    auto opened = Reopen(file);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(opened.status, "记录数:45  题目数:6") << "the stored table is shown";
    auto stored = core::StoredSource(ws.connection, "exam1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->records, 50);
    EXPECT_EQ(stored->size, std::filesystem::file_size(file));
}

TEST_F(TableSourcesTest, AFileOnlyTouchedIsTheSameAndOneRewrittenToTheSameSizeIsNot) {
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) +
                                               std::chrono::hours(1));
    auto opened = Reopen(file);
    EXPECT_TRUE(ui.questions.empty()) << "the same bytes saved again are the same table";
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->modified, core::SourceOf(file).modified)
        << "the new time is recorded, so the digest is not read again next time";

    std::string bytes = testsupport::ReadBytes(file);
    bytes[bytes.size() - 3] =
        bytes[bytes.size() - 3] == 'A' ? 'B' : 'A'; // one mark of the last sheet
    const auto before = std::filesystem::last_write_time(file);
    testsupport::WriteBytes(file, bytes);
    std::filesystem::last_write_time(file, before + std::chrono::minutes(1));
    opened = Reopen(file);
    EXPECT_EQ(ui.questions.size(), 1u) << "same path, size and count, other contents";
}

TEST_F(TableSourcesTest, ASourceRecordedWithoutADigestAsksWhenTouched) {
    ws.connection.execute("UPDATE quillory_sources SET digest = NULL");
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) +
                                               std::chrono::hours(1));
    Reopen(file);
    EXPECT_EQ(ui.questions.size(), 1u)
        << "without a digest the contents cannot be known to be the same";
}

TEST_F(TableSourcesTest, ASourcesTableOfAnEarlierVersionGetsTheDigestColumn) {
    ws.connection.execute("DROP TABLE quillory_sources");
    ws.connection.execute(
        "CREATE TABLE quillory_sources (table_name TEXT PRIMARY KEY COLLATE NOCASE, path TEXT "
        "NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL, records INTEGER NOT NULL)");
    core::RecordSource(ws.connection, "exam1", core::SourceOf(file));
    EXPECT_EQ(core::StoredSource(ws.connection, "exam1")->digest, core::ContentDigest(file));
}

TEST_F(TableSourcesTest, AKnownTableWhoseFileIsGoneOpensAsBefore) {
    std::filesystem::remove(file);
    auto opened = Reopen(file);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(opened.status, "记录数:45  题目数:6");
}

TEST(TableSources, TheRecordCountIsTheHeadersAndTheSameSourceNeedsPathSizeAndTime) {
    TempHome home;
    WriteAnswers(home / "a.dbf", Sheets(300, 4), 'N');
    const auto a = core::SourceOf(home / "a.dbf");
    EXPECT_EQ(a.records, 300) << "two bytes of the count in use";
    core::TableSource b = a;
    EXPECT_TRUE(core::SameSource(a, b));
    b.records = 1;
    EXPECT_TRUE(core::SameSource(a, b)) << "the count follows from the contents";
    b = a;
    b.size += 1;
    EXPECT_FALSE(core::SameSource(a, b));
    b = a;
    b.modified += 1;
    EXPECT_FALSE(core::SameSource(a, b));
    b = a;
    b.path += "x";
    EXPECT_FALSE(core::SameSource(a, b));
    EXPECT_FALSE(core::SourceIfThere(home / "none.dbf"));
}

} // namespace
