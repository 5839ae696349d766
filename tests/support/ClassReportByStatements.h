#pragma once

#include "core/Workspace.h"
#include "stats/ClassesCommand.h"

#include <string>
#include <vector>

namespace testsupport {

// The class report's lines as the per-class statements define them: one
// SQL read of the whole grade and two of every class. Slow; it is the
// definition the one-pass class statistics are held to in the tests and the
// benchmark.
[[nodiscard]] std::vector<std::string> ReportByStatements(core::Workspace& ws,
                                                          const stats::ClassSettings& settings);

} // namespace testsupport
