#include "platform/os/Folders.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <functional>
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

TEST(ProgramFolder, TheHomeOptionOverridesTheProcessCandidates) {
    TempHome home; // sets the program folder as --home does
    EXPECT_EQ(os::CurrentCandidates().given, home.path());
    EXPECT_EQ(os::ProgramFolder(), home.path());
}

} // namespace
