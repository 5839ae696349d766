#include "platform/text/TextFile.h"
#include "platform/text/TemporaryName.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

std::string Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(WholeFiles, AReplacedFileIsWholeAndNoTemporaryFileStays) {
    testsupport::TempHome home;
    const auto file = home / "统计_x.txt";
    text::WriteWhole(file, "old\r\n");
    text::SaveLines(file, {"新", "two"});
    EXPECT_EQ(Bytes(file), "\xD0\xC2\r\ntwo\r\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home.path()))
        ++entries;
    EXPECT_EQ(entries, 1) << "the temporary file is renamed, not left beside it";
}

TEST(WholeFiles, AFailedWriteNamesTheFileAndKeepsTheOldOne) {
    testsupport::TempHome home;
    const auto file = home / "keep.txt";
    text::WriteWhole(file, "kept");
    // A folder where the file should be: the rename fails after the bytes
    // were written to the temporary file.
    std::filesystem::create_directory(home / "dir.txt");
    std::filesystem::create_directory(home / "dir.txt" / "x");
    try {
        text::WriteWhole(home / "dir.txt", "new");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find((home / "dir.txt").string()), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Bytes(file), "kept");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home.path()))
        ++entries;
    EXPECT_EQ(entries, 2) << "no temporary file is left behind";
}

TEST(WholeFiles, AnAppendToAFullDiskFailsWithTheReason) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    try {
        text::AppendLines("/dev/full", {"a line"});
        FAIL();
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("/dev/full"), std::string::npos) << text;
        EXPECT_NE(text.find(std::strerror(ENOSPC)), std::string::npos) << text;
    }
}

std::vector<std::string> Entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// A name of `bytes` bytes, Chinese characters and then ASCII to make it up.
std::string NameOfBytes(std::size_t bytes) {
    std::string name;
    while (name.size() + 3 + 4 <= bytes)
        name += "卷";
    while (name.size() + 4 < bytes)
        name += "x";
    return name + ".txt";
}

// The temporary name does not grow with the file's: a name as long as the
// folder allows is written; one byte more is refused in words, naming the
// file, before anything is written.
TEST(WholeFiles, EveryNameTheFolderAllowsIsWrittenAndALongerOneIsSaid) {
    testsupport::TempHome home;
    const std::size_t limit = text::NameLimit(home / "x.txt");
    const auto longest = home / NameOfBytes(limit);
    ASSERT_EQ(longest.filename().string().size(), limit);
    text::SaveLines(longest, {"满"});
    EXPECT_EQ(Bytes(longest), "\xC2\xFA\r\n");
    text::WriteWhole(longest, "again");
    EXPECT_EQ(Bytes(longest), "again");

    const auto tooLong = home / NameOfBytes(limit + 1);
    try {
        text::WriteWhole(tooLong, "never");
        FAIL();
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("文件名太长"), std::string::npos) << text;
        EXPECT_NE(text.find(tooLong.string()), std::string::npos) << text;
    }
    EXPECT_EQ(Entries(home.path()), std::vector<std::string>{longest.filename().string()});
}

TEST(TemporaryNames, AreShortCarryTheProcessAndAreKnownAgain) {
    std::set<std::string> seen;
    for (const std::string& target : std::vector<std::string>{"a.txt", NameOfBytes(255)}) {
        const auto temp = text::TemporaryBeside(std::filesystem::path("/home/li") / target);
        EXPECT_EQ(temp.parent_path(), "/home/li");
        const std::string name = temp.filename().string();
        EXPECT_LE(name.size(), 25u) << name;
        EXPECT_EQ(text::TemporaryNameOwner(name), ::getpid()) << name;
        EXPECT_TRUE(seen.insert(name).second) << "each name is new: " << name;
    }
    for (const char* other : {".q123-0123abcd.tm", "q123-0123abcd.tmp", ".q-0123abcd.tmp",
                              ".q12x-0123abcd.tmp", ".q123-0123abc.tmp", ".q123-0123ABCD.tmp",
                              ".q0-0123abcd.tmp", ".q123.0123abcd.tmp", ".a.txt.123.tmp"})
        EXPECT_EQ(text::TemporaryNameOwner(other), 0) << other;
}

TEST(WholeFiles, LogFieldsKeepToTheirLine) {
    EXPECT_EQ(text::LogField("2026\t01\r\n091\x01"), "2026 01  091 ");
    EXPECT_EQ(text::LogField("期中 考试"), "期中 考试");
}

TEST(WholeFiles, AppendsAddWholeEntries) {
    testsupport::TempHome home;
    const auto log = home / "标准答案历史.log";
    text::AppendLines(log, {"a", "b"});
    text::AppendLines(log, {"c"});
    EXPECT_EQ(Bytes(log), "a\r\nb\r\nc\r\n");
}

} // namespace
