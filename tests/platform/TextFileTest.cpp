#include "platform/text/TextFile.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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
        EXPECT_NE(std::string(e.what()).find((home / "dir.txt").string()), std::string::npos) << e.what();
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

TEST(WholeFiles, AppendsAddWholeEntries) {
    testsupport::TempHome home;
    const auto log = home / "标准答案历史.log";
    text::AppendLines(log, {"a", "b"});
    text::AppendLines(log, {"c"});
    EXPECT_EQ(Bytes(log), "a\r\nb\r\nc\r\n");
}

} // namespace
