#pragma once

#include "analysis/RekeyCommand.h"

#include <filesystem>
#include <string>
#include <vector>

// The checks shared by the preview and the correction of one key. Internal
// to the analysis.
namespace analysis {

// A correction that passed the checks: the last run, the run with the
// corrected key (as stored; its questions not made), and where the question
// sits.
struct CheckedRekey {
    scoring::ExamRun run;
    scoring::ExamRun corrected; // the last run with the corrected key
    int position = 0;           // in the content, 1-based
    char oldKey = 0;
    bool unchanged = false; // the key asked for is the current one
    std::string notice;     // says so when unchanged
};

// Throws RekeyRefused for a correction that cannot be made.
[[nodiscard]] CheckedRekey CheckRekey(core::Workspace& ws, const RekeyRequest& request);

// The reports of the table in the home folder that a correction makes out of
// date, those that exist.
[[nodiscard]] std::vector<std::filesystem::path> ReportsOutOfDate(const core::Workspace& ws);

} // namespace analysis
