#pragma once

#include "scan/Layout.h"

#include <optional>
#include <string>

// The design of an answer sheet: from the settings a user chooses (how
// many questions of which kind, options, exam-number digits, paper, pages)
// to the layout of every page. Settings that cannot be printed are refused
// with a text naming the setting and its limit.
namespace scan {

enum class Paper { A4, A3 };

struct SheetSettings {
    int questions = 0;    // single-choice, first
    int options = 4;      // of each single-choice question
    int multi = 0;        // multiple-choice, after the single-choice ones
    int multiOptions = 4; // of each multiple-choice question
    int idDigits = 9;
    std::string title = "答题卡";
    std::string id = "sheet";
    Paper paper = Paper::A4;
    int perRow = 0; // blocks of five questions side by side; 0: as many as fit, at most 5
    int pages = 1;
    int revision = 1;
};

// The sizes every design shares, in millimetres.
inline constexpr double kBubbleW = 4.2, kBubbleH = 3.0, kBubbleGap = 2.6;
inline constexpr double kMarkSize = 7, kMarkCentre = 12.5; // from the paper's edges
inline constexpr double kQrSize = 15;

// The pattern printed as the mark of that name: an ArUco marker of the 4x4
// dictionary of 50 (a black border of one cell around 4 x 4 cells); each
// of the six marks has its own marker number, unlike any other mark turned.
[[nodiscard]] std::string MarkKind(int markerNumber);
inline constexpr const char* kMarkNames[6] = {"top-left",     "top-right",   "bottom-left",
                                              "bottom-right", "middle-left", "middle-right"};

// The first setting that cannot be printed, naming it and its limit
// (and how many would fit when too many questions are asked for).
[[nodiscard]] std::optional<std::string> SettingsProblem(const SheetSettings& settings);

// The layout of the sheet; throws LayoutError with SettingsProblem's text
// when the settings cannot be printed.
[[nodiscard]] Layout DesignSheet(const SheetSettings& settings);

[[nodiscard]] double PaperWidth(Paper paper);
[[nodiscard]] double PaperHeight(Paper paper);

} // namespace scan
