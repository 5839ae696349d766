#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/os/Shell.h"

namespace stats {

enum class CheckOutcome { NothingToCheck, NoGaps, GapsWritten, Stopped };

// "检查缺漏考号...": walks the table view from its second record and lists
// every place where a record's first field is not one more than the value
// before it (the first compared with the typed start number) in
// "CheckLog.txt". Numbers are compared as 64-bit integers, so exam numbers
// of any length a table holds compare correctly.
CheckOutcome CheckMissingNumbers(core::Workspace& ws, core::Ui& ui, os::Shell& shell);

} // namespace stats
