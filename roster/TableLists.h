#pragma once

#include "core/Config.h"
#include "core/Ui.h"
#include "platform/db/Connection.h"
#include "roster/Lists.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The two lists of the exam-number check as the scratch database holds them:
// the sheets of an answer table and the roster in the table `ids`, each read
// in one pass, and the roster written into `ids`.
namespace roster {

// The sheets of an answer table in the order the table view shows them (by
// exam number, ties by rowid), with each sheet's rowid beside it so that a
// correction can name its row.
struct SheetsInOrder {
    SheetList sheets;
    std::vector<std::int64_t> rowids; // by position in `sheets`
};

// One read, through the scored-sheet reader in storage order, of the table's
// exam-number column (fields.ID), of its score column (fields.Score) when it
// has one, and of the rowids. The sheets are put in
// the order SQLite's ORDER BY gives (empty numbers first, then numbers by
// value, then texts byte by byte); a sheet's record is its 1-based place in
// that order. Numbers read as text as a teacher reads them (310101001.0 gives
// "310101001"). Progress goes to `ui`; the caller ends it.
[[nodiscard]] SheetsInOrder ReadSheets(db::Connection& c, const std::string& table,
                                       const core::FieldSettings& fields, core::Ui& ui);

// The roster held in `ids` (ID, StudClass, and StudName and StudSubject when
// the table has them), in one read; nullopt when there is no such table or it
// has no rows. Classes read as ClassText gives them ("03" gives "3").
[[nodiscard]] std::optional<Roster> ReadIds(db::Connection& c);

// Replaces the table `ids` with the roster: ID, StudClass (a number when the
// class is one, NULL when it is empty), StudName, and StudSubject when
// `withSubject`. One transaction: on any error `ids` is left as it was.
// Progress goes to `ui`; the caller ends it.
void WriteIds(db::Connection& c, const Roster& roster, bool withSubject, core::Ui& ui);

} // namespace roster
