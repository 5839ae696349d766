#include "platform/os/Folders.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using os::FolderCandidates;
using testsupport::TempHome;

bool ReadOnly(const std::filesystem::path&) {
    return false;
}
bool Writable(const std::filesystem::path&) {
    return true;
}

FolderCandidates Installed(const TempHome& home) {
    FolderCandidates c;
    c.executable = home / "usr" / "bin";
    c.userHome = (home / "user").string();
    return c;
}

TEST(ProgramFolder, AWritableExecutableFolderIsTheHome) {
    TempHome home;
    EXPECT_EQ(os::ChooseProgramFolder(Installed(home), Writable), home / "usr" / "bin");
}

TEST(ProgramFolder, AReadOnlyExecutableFolderGivesThePerUserDataFolder) {
    TempHome home;
    FolderCandidates c = Installed(home);
    EXPECT_EQ(os::ChooseProgramFolder(c, ReadOnly),
              home / "user" / ".local" / "share" / "quillory");
    c.dataHome = (home / "data").string() + "/";
    EXPECT_EQ(os::ChooseProgramFolder(c, ReadOnly), home / "data" / "quillory");
}

TEST(ProgramFolder, ARelativeOrEmptyDataHomeIsIgnored) {
    EXPECT_EQ(os::UserDataFolder("", "/home/li"), "/home/li/.local/share/quillory");
    EXPECT_EQ(os::UserDataFolder("data", "/home/li"), "/home/li/.local/share/quillory");
    EXPECT_EQ(os::UserDataFolder("/srv/xdg", "/home/li"), "/srv/xdg/quillory");
}

TEST(ProgramFolder, HomeOptionAndEnvironmentStillWin) {
    TempHome home;
    FolderCandidates c = Installed(home);
    c.environment = (home / "env").string() + "//";
    EXPECT_EQ(os::ChooseProgramFolder(c, ReadOnly), home / "env");
    c.given = home / "given";
    EXPECT_EQ(os::ChooseProgramFolder(c, ReadOnly), home / "given");
}

TEST(ProgramFolder, ThePerUserFolderIsCreatedWhenChosenAndOnlyThen) {
    TempHome home;
    FolderCandidates c = Installed(home);
    c.dataHome = (home / "data").string();
    EXPECT_EQ(os::UseProgramFolder(c, Writable), home / "usr" / "bin");
    EXPECT_FALSE(std::filesystem::exists(home / "data"));
    EXPECT_EQ(os::UseProgramFolder(c, ReadOnly), home / "data" / "quillory");
    EXPECT_TRUE(std::filesystem::is_directory(home / "data" / "quillory"));
    c.environment = (home / "env").string();
    EXPECT_EQ(os::UseProgramFolder(c, ReadOnly), home / "env");
    EXPECT_FALSE(std::filesystem::exists(home / "env")) << "QUILLORY_HOME is taken as it is";
}

TEST(ProgramFolder, AFolderThatIsThereCanBeWrittenToAndAMissingOneCannot) {
    TempHome home;
    EXPECT_TRUE(os::CanWriteTo(home.path()));
    EXPECT_FALSE(os::CanWriteTo(home / "missing"));
}

TEST(ProgramFolder, AFolderWithoutWritePermissionCannotBeWrittenTo) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write to a folder without write permission";
    TempHome home;
    std::filesystem::create_directories(home / "ro");
    std::filesystem::permissions(home / "ro", std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_exec);
    EXPECT_FALSE(os::CanWriteTo(home / "ro"));
    std::filesystem::permissions(home / "ro", std::filesystem::perms::owner_all);
}

// The folder of this process in the temporary folder: made for the user
// alone, and refused, by its name, when something else stands in its place,
// never followed when that is a link.
TEST(ProcessTempFolder, MadeForTheUserAloneAndNothingElseTakenForIt) {
    TempHome temp;
    TempHome elsewhere;
    ::setenv("TMPDIR", temp.path().c_str(), 1);
    const auto own =
        temp / ("quillory-" + std::to_string(::getuid()) + "-" + std::to_string(::getpid()));
    EXPECT_EQ(os::ProcessTempFolder(), own);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(own)));
    EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(os::ProcessTempFolder(), own) << "made once, then used";

    using Plant = std::function<void(const std::filesystem::path&)>;
    const std::vector<std::pair<const char*, Plant>> planted = {
        {"a link to another folder",
         [&](const auto& p) { std::filesystem::create_directory_symlink(elsewhere.path(), p); }},
        {"a file", [](const auto& p) { testsupport::WriteBytes(p, "x"); }},
        {"a folder others may enter",
         [](const auto& p) {
             std::filesystem::create_directory(p);
             std::filesystem::permissions(p, std::filesystem::perms::owner_all |
                                                 std::filesystem::perms::others_all);
         }},
    };
    for (const auto& [what, plant] : planted) {
        std::filesystem::remove_all(own);
        plant(own);
        try {
            (void)os::ProcessTempFolder();
            ADD_FAILURE() << what << " is taken for the folder";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(own.string()), std::string::npos)
                << what << ": " << e.what();
        }
    }
    ::unsetenv("TMPDIR");
}

// The id of a process that has ended.
long EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// What killed writers leave in the program folder goes at start-up when its
// process is gone; the files of running writers, anything that only looks
// alike and the user's own files stay.
TEST(StaleTemporaryFiles, TheFilesOfEndedWritersGoAndNothingElse) {
    TempHome home;
    const std::string ended = std::to_string(EndedProcess());
    const std::string running = std::to_string(::getppid());
    const std::vector<std::string> gone = {
        ".q" + ended + "-0123abcd.tmp",
        ".试卷分析_期中.txt." + ended + ".tmp",
        "成绩分析_期中.xlsx.part",
    };
    const std::vector<std::string> kept = {
        ".q" + running + "-0123abcd.tmp",
        ".q" + std::to_string(::getpid()) + "-0123abcd.tmp",
        ".试卷分析_期中.txt." + running + ".tmp",
        "成绩分析_新.xlsx.part",
        ".q" + ended + "-notours.tmp",
        "期中.txt." + ended + ".tmp",
        ".q" + ended + "-0123abcd.tmp.txt",
        "统计_期中.txt",
        "data.mdb",
    };
    for (const auto& name : gone)
        testsupport::WriteBytes(home / name, "x");
    for (const auto& name : kept)
        testsupport::WriteBytes(home / name, "x");
    std::filesystem::create_directory(home / (".q" + ended + "-89abcdef.tmp"));
    // A workbook's temporary file of an earlier version, unchanged for two
    // days; the one just written may still be growing.
    std::filesystem::last_write_time(home / "成绩分析_期中.xlsx.part",
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::hours(48));

    os::RemoveStaleTemporaryFiles(home.path());

    for (const auto& name : gone)
        EXPECT_FALSE(std::filesystem::exists(home / name)) << name;
    for (const auto& name : kept)
        EXPECT_TRUE(std::filesystem::exists(home / name)) << name;
    EXPECT_TRUE(std::filesystem::exists(home / (".q" + ended + "-89abcdef.tmp")))
        << "a folder is never taken for a file";
}

TEST(ProgramFolder, TheHomeOptionOverridesTheProcessCandidates) {
    TempHome home; // sets the program folder as --home does
    EXPECT_EQ(os::CurrentCandidates().given, home.path());
    EXPECT_EQ(os::ProgramFolder(), home.path());
}

} // namespace
