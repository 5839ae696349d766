#include "scoring/RunFiles.h"

#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/ScoreCommand.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>
#include <system_error>

namespace scoring {
namespace {

// A local date and time as year, month, day, hour, minute, second, which
// compare as the times do.
using Stamp = std::array<int, 6>;

// "2026-12-07 11:42:06" (a recorded run) or "2026/12/7 7:42:06" (the
// history); nullopt for any other text.
std::optional<Stamp> ParseStamp(std::string_view text) {
    Stamp s{};
    char d1 = 0, d2 = 0;
    int used = 0;
    const std::string t(text);
    if (std::sscanf(t.c_str(), "%d%c%d%c%d %d:%d:%d%n", &s[0], &d1, &s[1], &d2, &s[2], &s[3], &s[4],
                    &s[5], &used) != 8 ||
        used != static_cast<int>(t.size()) || d1 != d2 || (d1 != '-' && d1 != '/'))
        return std::nullopt;
    return s;
}

Stamp StampOf(const std::tm& local) {
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

// The file's time of last change, to the second, as local time.
std::optional<Stamp> ModifiedAt(const std::filesystem::path& file) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    const std::time_t t =
        std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
    std::tm local{};
    localtime_r(&t, &local);
    return StampOf(local);
}

// The key lines of the table's last entry in the history and its time;
// nullopt when the history has none.
struct HistoryEntry {
    Stamp time{};
    std::vector<std::string> keys;
};

std::optional<HistoryEntry> LastEntryOf(const std::filesystem::path& history,
                                        const std::string& table) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(history, ec))
        return std::nullopt;
    std::optional<HistoryEntry> last;
    bool inEntry = false;
    for (const std::string& line : text::LoadLines(history)) {
        const std::size_t gap = line.rfind("  ");
        const auto time =
            gap == std::string::npos ? std::nullopt : ParseStamp(line.substr(gap + 2));
        if (time) { // an entry's first line: the table, two spaces, the time
            inEntry = text::EqualNoCase(std::string_view(line).substr(0, gap), table);
            if (inEntry)
                last = HistoryEntry{*time, {}};
        } else if (line.empty()) {
            inEntry = false;
        } else if (inEntry) {
            last->keys.push_back(line);
        }
    }
    return last;
}

} // namespace

std::filesystem::path StatisticsFile(const core::Workspace& ws) {
    return ws.file("统计_" + ws.TableName + ".txt");
}

std::filesystem::path HistoryFile(const core::Workspace& ws) {
    return ws.file("标准答案历史.log");
}

RunFilesBehind FilesBehind(const core::Workspace& ws, const ExamRun& run) {
    RunFilesBehind behind;
    const auto ran = ParseStamp(run.time);
    if (!ran)
        return behind; // a run recorded by hand: nothing to compare with
    const auto entry = LastEntryOf(HistoryFile(ws), run.table);
    std::vector<std::string> keys =
        HistoryLines(run.table, run.settings.singleKey, run.settings.multiKey, "");
    keys.erase(keys.begin()); // the first line and the empty last one are no keys
    keys.pop_back();
    behind.history = !entry || entry->time < *ran || entry->keys != keys;
    const auto written = ModifiedAt(StatisticsFile(ws));
    behind.statistics = behind.history || !written || *written < *ran;
    return behind;
}

std::vector<std::string> HistoryLinesOf(const ExamRun& run) {
    std::string time = run.time;
    if (const auto s = ParseStamp(run.time)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d", (*s)[0], (*s)[1], (*s)[2], (*s)[3],
                      (*s)[4], (*s)[5]);
        time = buf;
    }
    return HistoryLines(run.table, run.settings.singleKey, run.settings.multiKey, time);
}

} // namespace scoring
