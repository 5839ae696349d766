#pragma once

#include "core/Workspace.h"
#include "scoring/RunLog.h"

#include <filesystem>
#include <string>
#include <vector>

// The files a run writes once its scores are committed: the statistics file
// "统计_<表名>.txt" and the run's entry in "标准答案历史.log". A program
// ended between the commit and the writes leaves them behind the table's
// last run; the next run or key correction finds that out and writes them.
namespace scoring {

// "统计_<表名>.txt" of the open table, in the home folder.
[[nodiscard]] std::filesystem::path StatisticsFile(const core::Workspace& ws);

// "标准答案历史.log" in the home folder.
[[nodiscard]] std::filesystem::path HistoryFile(const core::Workspace& ws);

// Which of the files are behind the run.
struct RunFilesBehind {
    // The statistics file is missing, older than the run, or its history
    // entry is missing (the statistics file is written first, so it may be
    // from an earlier run of the same second).
    bool statistics = false;
    // The history's last entry of the table is older than the run or names
    // other keys.
    bool history = false;
    [[nodiscard]] bool any() const { return statistics || history; }
};

// Compares the files with the run (its table, time and keys).
[[nodiscard]] RunFilesBehind FilesBehind(const core::Workspace& ws, const ExamRun& run);

// The history entry of a recorded run as the run writes it, dated with the
// run's time in the history's form.
[[nodiscard]] std::vector<std::string> HistoryLinesOf(const ExamRun& run);

} // namespace scoring
