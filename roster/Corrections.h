#pragma once

#include "core/AppError.h"
#include "core/Workspace.h"
#include "roster/Correction.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Correcting exam numbers in an answer table of the scratch database: each
// correction is checked and made under the database's write lock, in one
// transaction, and once that is committed its line is appended to
// "考号更正.log" (GBK, CR LF), so that it can be traced and undone and the
// log never names a change the table does not hold.
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

// A change committed whose line could not be appended to the log after
// the commit (a full disk): the table holds the change; the text says so
// and names the log.
class LoggedLate : public core::AppError {
  public:
    LoggedLate(NumberChange made, const std::string& text)
        : core::AppError(text), change(std::move(made)) {}
    NumberChange change;
};

// Changes the number OLD of a sheet of `table` to NEW (the column
// ws.Fields.ID): takes the write lock (waiting for another program), reads
// the table's numbers to check the correction (CheckCorrection) and changes
// the sheet only while it still holds OLD, then commits and logs. A refused
// correction throws core::AppError with the reason and changes nothing; so
// does any error before the commit, a log that cannot be opened among them.
// A log line that cannot be written after the commit throws LoggedLate.
[[nodiscard]] NumberChange CorrectNumber(core::Workspace& ws, const std::string& table,
                                         const Correction& correction);

// The corrections of one session (a window's check dialog), to be undone
// last first.
class CorrectionSession {
  public:
    // CorrectNumber, remembered for undo.
    NumberChange correct(core::Workspace& ws, const std::string& table,
                         const Correction& correction);

    // Gives the last correction's sheet its old number back and logs the
    // undo (撤销, the number it had, the number it gets back), checked and
    // made under the write lock as a correction is. Throws core::AppError,
    // changing nothing, when there is nothing to undo or the sheet no longer
    // has the number the correction gave it; LoggedLate as CorrectNumber.
    NumberChange undoLast(core::Workspace& ws);

    [[nodiscard]] bool canUndo() const { return !mDone.empty(); }
    [[nodiscard]] const std::vector<NumberChange>& done() const { return mDone; }

  private:
    std::vector<NumberChange> mDone;
};

} // namespace roster
