#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace db {

// The name a new column gets among columns named `taken`, compared without
// regard to ASCII case as SQL compares names: the name itself when it is
// free, else NAME_2, NAME_3, ...: the first of these that is free.
[[nodiscard]] std::string FreeName(std::string_view name, const std::vector<std::string>& taken);

} // namespace db
