#pragma once

#include <string>
#include <string_view>

namespace db {

// What a field holds, from its declared column type (as a Jet field type).
enum class FieldKind {
    Integer,
    SmallInt,
    Float,
    Currency,
    Bcd,
    String,
    Memo,
    Boolean,
    DateTime,
    Other
};

struct Field {
    std::string name;
    std::string declaredType; // as declared; empty for expressions
    FieldKind kind = FieldKind::Other;
    std::string baseColumn; // the table column it reads; empty when not updatable
    bool single = false;    // REAL or SINGLE: holds 32-bit floats
};

// The kind a declared type names, or nullopt-like Other for an unknown or
// empty type (the caller then looks at the value).
[[nodiscard]] FieldKind KindFromDeclared(std::string_view declared, bool* known = nullptr);

// Jet's REAL and SINGLE hold 32-bit floats.
[[nodiscard]] bool IsSinglePrecision(std::string_view declared);

} // namespace db
