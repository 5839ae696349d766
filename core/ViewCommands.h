#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

#include <string>

// Commands that change what the table view shows by rewriting its SQL text.
namespace core {

// True when the table view is open; otherwise shows
// "请先打开卷面数据表DBF文件。" and returns false.
bool RequireOpenView(Workspace& ws, Ui& ui);

// Cuts the text at its first "order by " (found in a lower-case copy) and
// appends " order by " + column; reopens. Does nothing when the view is closed.
void SortByColumn(Workspace& ws, const std::string& column);

// Back to the order in which the sheets were read. Nothing when closed.
void ReadingOrder(Workspace& ws);

// A statement the user typed: with rows, the view shows them; without, it
// is executed and the previous view reopened. Returns the rows changed
// (without rows) or 0; -1 when no table is open (RequireOpenView).
int CustomSql(Workspace& ws, Ui& ui, const std::string& statement, bool returnsRows);

} // namespace core
