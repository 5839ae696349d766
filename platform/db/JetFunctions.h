#pragma once

struct sqlite3;

namespace db {

// Jet's common functions, so that statements a teacher types work: LEN, MID,
// LEFT and RIGHT (as jet_left/jet_right, since SQLite reserves the words),
// UCASE, LCASE, VAL, NZ, INSTR with a start position. IIF, TRIM and the
// two-argument INSTR are SQLite's own and behave alike.
void RegisterJetFunctions(sqlite3* db);

} // namespace db
