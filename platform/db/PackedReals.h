#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Statement.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

// Many numeric columns of a row read in one call instead of two per column.
// A walk over a million rows of a hundred score columns otherwise spends
// most of its time in the per-column calls of the SQLite API; the SQL
// function quillory_reals(c1, ..., cN) packs the row's values into one blob
// of 32-bit floats that the reader unpacks.
namespace db {

// The most columns one quillory_reals call takes.
inline constexpr int PackedRealsMost = 100;

// Registers quillory_reals on the connection (again is harmless).
void RegisterPackedReals(Connection& connection);

// The select-list text that packs the SQLite expressions `columns` (quoted
// names), one quillory_reals call per PackedRealsMost of them, separated by
// ", "; ReadPackedReals reads them back from the first of those result
// columns on.
[[nodiscard]] std::string PackedRealsList(const std::vector<std::string>& columns);

// The number of result columns PackedRealsList(columns) makes of `count` columns.
[[nodiscard]] int PackedRealsColumns(std::size_t count);

// Unpacks the current row of `statement` from result column `first` on into
// `out` (out.size() values): a number as its 32-bit float, NULL as nullopt,
// text or a blob as a quiet NaN (a value no score column should hold).
void ReadPackedReals(const Statement& statement, int first, std::span<std::optional<float>> out);

} // namespace db
