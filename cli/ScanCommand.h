#pragma once

#include "cli/Arguments.h"
#include "core/Ui.h"
#include "core/Workspace.h"

// quillory-cli scan INPUT... --layout FILE|DIR --out TABLE.dbf: scanned
// answer sheets read into an answer table.
namespace cli {

// Runs the scan; prints a `wrote` line per file written and a line on
// stderr per page not read. kDone when every page was read, kError when
// any failed (the rest is still written), kStopped when it was refused.
int RunScanCommand(const Args& args, core::Workspace& ws, core::Ui& ui);

// quillory-cli scan review TABLE.dbf: the review of a scan without the
// window, in this order: --sensitivity, each --set, --write, --list. Every
// --set is checked before anything changes: an unknown page or item, or a
// value that is no reading of the item, is refused (kError) with nothing
// changed. The table is neither opened nor imported.
int RunScanReviewCommand(const Args& args, core::Workspace& ws, core::Ui& ui);

} // namespace cli
