#pragma once

#include "roster/Lists.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// Correcting a sheet's exam number: which sheet a correction OLD=NEW
// changes, or why it is refused, and the line that "考号更正.log" gets for
// it, so that every correction can be traced and undone. Pure functions: the
// caller changes the table and writes the log.
namespace roster {

struct Correction {
    std::string oldId;
    std::string newId;
    // The sheet's place in exam-number order, needed when OLD is on more
    // than one sheet.
    std::optional<std::uint32_t> record;
};

// "OLD=NEW" (blanks around either side ignored; OLD may be empty for a sheet
// without a number). Nullopt when the text has no "=".
[[nodiscard]] std::optional<Correction> ParseCorrection(std::string_view text);

// The sheet to change, or the reason the correction is refused.
struct CorrectionCheck {
    std::optional<std::uint32_t> sheet; // position in the SheetList
    std::string refusal;                // Chinese, empty when accepted
};

// Refused: an empty NEW, a NEW with control characters (a tab or a line
// break would split the log's line), NEW equal to OLD, a NEW that a sheet already has,
// an OLD that no sheet has, an OLD that several sheets have unless `record`
// names one of them, a `record` that is not a sheet with OLD.
[[nodiscard]] CorrectionCheck CheckCorrection(const SheetList& sheets, const Correction& c);

enum class CorrectionKind { Correct, Undo };

// One line of "考号更正.log": time, kind (更正 or 撤销), table, old number,
// new number, score (blank when unscored), separated by tabs (a tab or line
// break inside a field becomes a blank, text::LogField):
// "2026-06-14 09:30:05\t更正\texam\t310101091\t310101019\t85".
[[nodiscard]] std::string CorrectionLogLine(const std::tm& when, CorrectionKind kind,
                                            std::string_view table, std::string_view oldId,
                                            std::string_view newId, std::optional<double> score);

struct CorrectionLogEntry {
    std::string time;
    CorrectionKind kind = CorrectionKind::Correct;
    std::string table;
    std::string oldId;
    std::string newId;
    std::optional<double> score;
};

// A line written by CorrectionLogLine, read back; nullopt for any other line.
[[nodiscard]] std::optional<CorrectionLogEntry> ParseCorrectionLogLine(std::string_view line);

// The local time now, for CorrectionLogLine.
[[nodiscard]] std::tm LocalNow();

} // namespace roster
