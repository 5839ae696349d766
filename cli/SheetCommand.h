#pragma once

#include "cli/Arguments.h"

// quillory-cli sheet design: an answer sheet to print on plain paper,
// NAME.pdf, and its layout file NAME.layout.json.
namespace cli {

// Designs and writes the sheet; prints a `wrote` line per file. A setting
// that cannot be printed is bad usage (thrown as UsageError, nothing
// written); a folder that cannot be written to is an error (thrown).
int RunSheetDesign(const Args& args);

} // namespace cli
