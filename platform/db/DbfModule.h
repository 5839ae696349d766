#pragma once

struct sqlite3;

namespace db {

// Registers the virtual-table module "dbf" on a connection:
//   CREATE VIRTUAL TABLE temp.x USING dbf('/folder/file.dbf')
// reads the dBase file row by row (deleted records skipped), so that any
// SELECT over an external dBase table streams instead of loading it whole.
void RegisterDbfModule(sqlite3* db);

} // namespace db
