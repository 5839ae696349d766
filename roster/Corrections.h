#pragma once

#include "core/Workspace.h"
#include "roster/Correction.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Correcting exam numbers in an answer table of the scratch database: each
// correction changes one sheet's number in one transaction and appends its
// line to "考号更正.log" (GBK, CR LF), so that it can be traced and undone.
namespace roster {

// One change of one sheet's number, as made.
struct NumberChange {
    std::string table;
    std::int64_t rowid = 0;
    std::uint32_t record = 0; // the sheet's place in exam-number order before the change
    std::string oldId;
    std::string newId;
    std::optional<double> score;
    std::filesystem::path log;
};

// The name of the corrections log in the home folder.
[[nodiscard]] const char* CorrectionLogName();

// Changes the number OLD of a sheet of `table` to NEW (the column
// ws.Fields.ID), after reading the table's numbers once to check the
// correction (CheckCorrection). A refused correction throws core::AppError
// with the reason and changes nothing; so does any error before the log line
// is written.
[[nodiscard]] NumberChange CorrectNumber(core::Workspace& ws, const std::string& table,
                                         const Correction& correction);

// The corrections of one session (a window's check dialog), to be undone
// last first.
class CorrectionSession {
public:
    // CorrectNumber, remembered for undo.
    NumberChange correct(core::Workspace& ws, const std::string& table, const Correction& correction);

    // Gives the last correction's sheet its old number back and logs the
    // undo (撤销, the number it had, the number it gets back). Throws
    // core::AppError, changing nothing, when there is nothing to undo or the
    // sheet no longer has the number the correction gave it.
    NumberChange undoLast(core::Workspace& ws);

    [[nodiscard]] bool canUndo() const { return !mDone.empty(); }
    [[nodiscard]] const std::vector<NumberChange>& done() const { return mDone; }

private:
    std::vector<NumberChange> mDone;
};

} // namespace roster
