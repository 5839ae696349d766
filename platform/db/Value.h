#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace db {

// One cell: null, an integer, a floating-point number or UTF-8 text.
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

[[nodiscard]] inline bool IsNull(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

} // namespace db
