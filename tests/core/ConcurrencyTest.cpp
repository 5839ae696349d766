// Two programs on one home folder: the second waits for the first, says so,
// and neither sees the other's sheets. Programs that have ended leave their
// folders in the temporary folder, which a later start-up clears away.
#include "core/OpenTable.h"
#include "core/Session.h"
#include "core/Workspace.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::TempHome;

// Records the progress texts the opening shows.
class WatchingUi : public testsupport::ScriptedUi {
  public:
    void progress(const std::string& what, long long, long long) override { seen.push_back(what); }
    void waiting(const std::string& text) override { seen.push_back(text); }
    std::vector<std::string> seen;
};

TEST(Concurrency, AnOpeningWaitsForAnotherProgramAndSaysSo) {
    TempHome home;
    core::Workspace ws(home.path());
    ws.startUp();
    testsupport::WriteAnswers(home / "九班.dbf", testsupport::Sheets(5, 4), 'N');
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        // Another program holds the write lock for a second.
        db::Connection other;
        other.open(home / "data.mdb");
        other.beginImmediate();
        (void)!::write(ready[1], "x", 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other.commit();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    WatchingUi ui;
    auto opened = core::OpenAnswerTable(ws, ui, home / "九班.dbf");
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(opened.status, "记录数:5  题目数:4");
    bool told = false;
    for (const auto& what : ui.seen)
        told = told || what.find("另一个程序正在使用数据库") != std::string::npos;
    EXPECT_TRUE(told) << "the wait is shown";
}

TEST(Concurrency, TwoOpeningsFromOneFolderKeepTheirOwnSheets) {
    TempHome home;
    {
        core::Workspace ws(home.path());
        ws.startUp();
    }
    std::vector<std::pair<std::string, std::string>> one, two;
    for (int i = 0; i < 2000; ++i) {
        one.emplace_back(std::to_string(202601000 + i), "1111");
        two.emplace_back(std::to_string(202602000 + i), "2222");
    }
    testsupport::WriteAnswers(home / "一班.dbf", one, 'N');
    testsupport::WriteAnswers(home / "二班.dbf", two, 'N');
    pid_t children[2];
    const char* names[2] = {"一班.dbf", "二班.dbf"};
    for (int k = 0; k < 2; ++k) {
        children[k] = ::fork();
        if (children[k] == 0) {
            core::Workspace ws(home.path());
            ws.startUp();
            testsupport::ScriptedUi ui;
            try {
                (void)core::OpenAnswerTable(ws, ui, home / names[k]);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    core::Workspace ws(home.path());
    ws.startUp();
    ws.connect();
    auto a = ws.connection.select("select count(*), min(BH), max(content) from 一班").rows[0];
    auto b = ws.connection.select("select count(*), min(BH), max(content) from 二班").rows[0];
    EXPECT_EQ(db::Query::ToText(a[0]), "2000");
    EXPECT_EQ(db::Query::ToText(a[1]), "202601000");
    EXPECT_EQ(db::Query::ToText(a[2]), "1111");
    EXPECT_EQ(db::Query::ToText(b[0]), "2000");
    EXPECT_EQ(db::Query::ToText(b[1]), "202602000");
    EXPECT_EQ(db::Query::ToText(b[2]), "2222");
}

// A process that has ended, by its id.
pid_t EndedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(Concurrency, StartUpRemovesOnlyTheDayOldFoldersOfThisUsersEndedRuns) {
    TempHome home;
    TempHome temp;
    const std::string uid = std::to_string(::getuid());
    auto folder = [&](const std::string& user, pid_t pid) {
        return temp / ("quillory-" + user + "-" + std::to_string(pid));
    };
    const auto ended = folder(uid, EndedProcess());
    const auto running = folder(uid, ::getppid());
    const auto fresh = folder(uid, EndedProcess());
    const auto anotherUsers = folder(uid + "0", EndedProcess());
    const std::vector<std::pair<std::filesystem::path, int>> hoursOld = {
        {ended, 25}, {running, 25}, {fresh, 23}, {anotherUsers, 25}};
    for (const auto& [dir, age] : hoursOld) {
        std::filesystem::create_directory(dir);
        testsupport::WriteBytes(dir / "test.xlsx", "PK");
        std::filesystem::last_write_time(dir, std::filesystem::file_time_type::clock::now() -
                                                  std::chrono::hours(age));
    }
    ::setenv("TMPDIR", temp.path().c_str(), 1);
    core::Workspace ws(home.path());
    testsupport::ScriptedUi ui;
    core::StartUp(ws, ui);
    ::unsetenv("TMPDIR");
    EXPECT_FALSE(std::filesystem::exists(ended));
    EXPECT_TRUE(std::filesystem::exists(running / "test.xlsx")) << "its program still runs";
    EXPECT_TRUE(std::filesystem::exists(fresh / "test.xlsx")) << "less than a day old";
    EXPECT_TRUE(std::filesystem::exists(anotherUsers / "test.xlsx")) << "named for another user";
}

// Kills its own process the first time the opening shows that it works,
// that is in the middle of the import.
class KillingUi : public testsupport::ScriptedUi {
  public:
    void progress(const std::string& what, long long, long long) override {
        if (!what.empty())
            ::raise(SIGKILL);
    }
};

TEST(Concurrency, AKilledImportLeavesNothingHalfMadeAndTheNextOpeningIsWhole) {
    TempHome home;
    {
        core::Workspace ws(home.path());
        ws.startUp();
    }
    testsupport::WriteAnswers(home / "大表.dbf", testsupport::Sheets(60000, 20), 'N');
    pid_t pid = ::fork();
    if (pid == 0) {
        core::Workspace child(home.path());
        child.startUp();
        KillingUi killing;
        try {
            (void)core::OpenAnswerTable(child, killing, home / "大表.dbf");
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child was killed during the import";
    core::Workspace ws(home.path());
    ws.startUp();
    ws.connect();
    EXPECT_FALSE(ws.connection.hasTable("大表")) << "no half-made table";
    testsupport::ScriptedUi ui;
    EXPECT_EQ(core::OpenAnswerTable(ws, ui, home / "大表.dbf").status, "记录数:60000  题目数:20");
}

} // namespace
