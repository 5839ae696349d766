#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/os/Shell.h"

#include <string>

// The hidden batch statistics over the survey tables in the program folder:
// TEST counts and scores every "20111229德育*.dbf" with fixed points per
// option, TEST2 counts every "20111230科任*.dbf". Each table gets a
// statistics file in the layout of the scoring run's; TEST also writes
// "统计_合计.txt" with one summary line per table.
namespace scoring {

enum class BatchKind { Test, Test2 };

// Runs a batch; `multiCount` is the main window's multiple-choice count.
// A table that fails puts its path in the workspace's caption and the batch
// goes on. Returns the number of tables tried.
int RunBatch(core::Workspace& ws, core::Ui& ui, os::Shell& shell, BatchKind kind, int multiCount);

// TEST's points for question k (1 to 30) answered with a single mark's letter.
[[nodiscard]] double SurveyPoints(int k, char letter);

} // namespace scoring
