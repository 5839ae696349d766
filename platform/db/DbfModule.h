#pragma once

struct sqlite3;

namespace db {

class DbfReads;

// Registers the virtual-table module "dbf" on a connection:
//   CREATE VIRTUAL TABLE temp.x USING dbf('/folder/file.dbf')
// reads the dBase file row by row (deleted records skipped), so that any
// SELECT over an external dBase table streams instead of loading it whole.
// With `reads`, which must outlive the connection's tables, the tables take
// its code page and leave their reports in it when they are dropped.
void RegisterDbfModule(sqlite3* db, DbfReads* reads = nullptr);

} // namespace db
