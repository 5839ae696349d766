#pragma once

#include "platform/automation/Automation.h"
#include "platform/os/Shell.h"

#include <functional>
#include <string>
#include <vector>

// The program's own spreadsheet server, which the report drives as it would
// drive "Excel.Application":
// it opens the minimal .xls files the report writes, applies the calls of the
// report (range selection, number format, borders, footers, autofit, select
// all, copy) to an in-memory sheet, and when the application is let go while
// visible it writes the formatted workbook as .xlsx beside the .xls, hands it
// to the shell and has put the sheet on the clipboard at the copy.
namespace automation {

// Where the server shows its results.
struct Desktop {
    os::Shell* shell = nullptr;
    std::function<void(const std::string&)> clipboard; // tab-separated text
    // A workbook that could not be written, with the reason: the front end
    // makes it an error (the application is let go where no caller can catch).
    std::function<void(const std::string&)> failed;
};

// Creates applications of the stand-in that show their results on
// `desktop`. The front end makes one and hands it to the commands that
// produce spreadsheets, as it hands them its Shell.
[[nodiscard]] Factory SheetServer(Desktop desktop);

// Every call the applications of this process received, as "member(args)"
// or "member=value", in order (for tests and troubleshooting).
[[nodiscard]] const std::vector<std::string>& SheetServerCalls();
void ClearSheetServerCalls();

// The .xlsx the server writes for an .xls.
[[nodiscard]] std::string WorkbookPathFor(const std::string& xls);

} // namespace automation
