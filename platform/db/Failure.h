#pragma once

#include <string>

struct sqlite3;

namespace db {

// The text of the connection's last failure for the user: a locked database
// and a full disk are said in words naming the database file; any other
// failure is SQLite's own text. Inside the database layer only.
[[nodiscard]] std::string FailureText(sqlite3* db);

} // namespace db
