#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/os/Shell.h"

#include <filesystem>

namespace stats {

// What the check did: stopped at the start-number prompt (cancelled, or
// closed with no number in it), or done, having
// found nothing to check, no gaps, or gaps written to the log.
struct CheckResult {
    enum class Found { NothingToCheck, NoGaps, Gaps };
    core::Outcome outcome = core::Outcome::Done;
    Found found = Found::NothingToCheck;
    std::filesystem::path log; // CheckLog.txt, when gaps were written
};

// "检查缺漏考号...": walks the table view from its second record and lists
// every place where a record's first field is not one more than the value
// before it (the first compared with the typed start number) in
// "CheckLog.txt". Numbers are compared as 64-bit integers, so exam numbers
// of any length a table holds compare correctly.
CheckResult CheckMissingNumbers(core::Workspace& ws, core::Ui& ui, os::Shell& shell);

} // namespace stats
