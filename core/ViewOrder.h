#pragma once

#include "core/Workspace.h"

#include <string>

// The order of the table view's rows as its SQL text states it: what the
// sort menu and the grid's column headers set, and what the header shows.
namespace core {

enum class SortOrder { Ascending, Descending };

// The single column the view's text ends ordering by; an empty column when
// it orders by nothing or by more than one column.
struct ViewOrder {
    std::string column;
    SortOrder order = SortOrder::Ascending;
};

// Cuts the text at its first "order by " (found in a lower-case copy) and
// appends " order by " + column, with " DESC" for descending; reopens. Does
// nothing when the view is closed.
void SortView(Workspace& ws, const std::string& column, SortOrder order);

// The order the view's SQL text ends with: "order by [X]", "order by X",
// either followed by ASC or DESC.
[[nodiscard]] ViewOrder CurrentOrder(const db::Query& view);

} // namespace core
