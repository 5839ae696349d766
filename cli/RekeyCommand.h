#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

#include <string>

// quillory-cli rekey: the correction of one single-choice key of the open
// table's last scoring run, or its preview.
namespace cli {

// Previews (writes nothing) or applies the correction of single-choice
// question `question` to the key `key` (one letter A to F), printing what
// it shows or did: the preview's figures and the written files on stdout,
// notices and the reports now out of date on stderr. Returns the exit
// status, 0; a refusal is thrown (analysis::RekeyRefused) and ends in 1.
int RunRekey(core::Workspace& ws, core::Ui& ui, int question, const std::string& key, bool preview);

} // namespace cli
