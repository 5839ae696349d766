#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/os/Shell.h"

#include <filesystem>
#include <string>
#include <vector>

// The hidden batch statistics over the survey tables in the program folder:
// TEST counts and scores every "20111229德育*.dbf" with fixed points per
// option, TEST2 counts every "20111230科任*.dbf". Each table gets a
// statistics file in the layout of the scoring run's; TEST also writes
// "统计_合计.txt" with one summary line per table.
namespace scoring {

enum class BatchKind { Test, Test2 };

// The tables a batch scored and the ones that failed, each with its reason.
struct BatchFailure {
    std::filesystem::path file;
    std::string reason;
};
struct BatchResult {
    core::Outcome outcome = core::Outcome::Done;
    std::vector<std::filesystem::path> scored;
    std::vector<BatchFailure> failed;
    std::filesystem::path summary; // 统计_合计.txt (TEST only)
};

// Runs a batch; `multiCount` is the main window's multiple-choice count.
// A table that fails is listed with its reason and the batch goes on.
BatchResult RunBatch(core::Workspace& ws, core::Ui& ui, os::Shell& shell, BatchKind kind,
                     int multiCount);

// TEST's points for question k (1 to 30) answered with a single mark's letter.
[[nodiscard]] double SurveyPoints(int k, char letter);

} // namespace scoring
