#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace db {

// The name a new column gets among columns named `taken`, compared without
// regard to ASCII case as SQL compares names: the name itself when it is
// free, else NAME_2, NAME_3, ...: the first of these that is free.
[[nodiscard]] std::string FreeName(std::string_view name, const std::vector<std::string>& taken);

// ROWID, OID or _ROWID_ in any case: the names SQLite gives a table's hidden
// row id, which a column of that name would hide.
[[nodiscard]] bool IsRowidName(std::string_view name);

} // namespace db
