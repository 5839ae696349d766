// Every seed of the fuzz targets and every input that once made one crash,
// run through the targets' entry functions: a fault the fuzzer found and
// that was mended fails the tests when it comes back, without libFuzzer.
#include "fuzz/Entries.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::ReadBytes;
using testsupport::TempHome;

const std::filesystem::path kFuzzFolder = std::filesystem::path(QUILLORY_SOURCE_DIR) / "fuzz";

// The input files of a folder in name order; notes for people left out.
std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("README", 0) != 0 && name.front() != '.')
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What escaped the entry function for one input, or empty.
std::string RunInput(fuzzing::Entry entry, const std::filesystem::path& file) {
    const std::string bytes = ReadBytes(file);
    try {
        entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

class Replay : public ::testing::TestWithParam<std::string> {
  protected:
    TempHome home;
    fuzzing::Entry entry = fuzzing::EntryNamed(GetParam().c_str());
};

TEST_P(Replay, EverySeedRunsThrough) {
    ASSERT_NE(entry, nullptr);
    const auto seeds = InputsIn(kFuzzFolder / "seeds" / GetParam());
    EXPECT_GE(seeds.size(), 5u) << "the target's seed corpus is missing";
    for (const auto& file : seeds)
        EXPECT_EQ(RunInput(entry, file), "") << file;
}

TEST_P(Replay, EveryCrashFoundSoFarRunsThrough) {
    ASSERT_NE(entry, nullptr);
    for (const auto& file : InputsIn(kFuzzFolder / "crashes" / GetParam()))
        EXPECT_EQ(RunInput(entry, file), "") << file;
}

INSTANTIATE_TEST_SUITE_P(Targets, Replay,
                         ::testing::Values("dbf", "dbf-import", "jet", "config", "csv-list",
                                           "xlsx-list", "xls-list", "scan-input"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ReplayEntries, AnUnknownTargetHasNoEntry) {
    EXPECT_EQ(fuzzing::EntryNamed("dbase"), nullptr);
    EXPECT_EQ(fuzzing::EntryNamed("jet"), &fuzzing::TranslateJet);
}

} // namespace
