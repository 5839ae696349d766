#pragma once

#include "platform/automation/Automation.h"
#include "platform/os/Shell.h"

#include <cstdint>
#include <functional>
#include <string>

// The program's own spreadsheet server, which the report drives as it would
// drive "Excel.Application":
// it opens the minimal .xls files the report writes, applies the calls of the
// report (range selection, number format, borders, footers, autofit, select
// all, copy) to an in-memory sheet, and when the application is let go while
// visible it writes the formatted workbook as .xlsx beside the .xls, hands it
// to the shell and has put the sheet on the clipboard at the copy.
namespace automation {

// The spreadsheet's own constants that the report passes, by their names.
enum XlBordersIndex : std::int32_t {
    xlDiagonalDown = 5,
    xlDiagonalUp = 6,
    xlEdgeLeft = 7,
    xlEdgeTop = 8,
    xlEdgeBottom = 9,
    xlEdgeRight = 10,
    xlInsideVertical = 11,
    xlInsideHorizontal = 12,
};

enum XlLineStyle : std::int32_t {
    xlContinuous = 1,
    xlLineStyleNone = -4142,
};

enum XlBorderWeight : std::int32_t {
    xlHairline = 1,
    xlThin = 2,
    xlMedium = -4138,
    xlThick = 4,
};

enum XlColorIndex : std::int32_t {
    xlColorIndexAutomatic = -4105,
};

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

// The .xlsx the server writes for an .xls.
[[nodiscard]] std::string WorkbookPathFor(const std::string& xls);

} // namespace automation
