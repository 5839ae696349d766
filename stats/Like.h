#pragma once

#include <string_view>

namespace stats {

// SQL LIKE as the scratch database evaluates it: "%" any run of characters,
// "_" exactly one character (UTF-8), ASCII letters without regard to case,
// no escape character.
[[nodiscard]] bool Like(std::string_view pattern, std::string_view text);

} // namespace stats
