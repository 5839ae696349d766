#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

#include <filesystem>
#include <string>

namespace core {

// The opened file's name up to the first ".dbf", found without regard to
// case (A.DBF gives A, x.dbf.bak gives x).
[[nodiscard]] std::string TableNameOf(const std::string& fileName);

// Opens a .dbf answer table: imports it on first sight, shows it ordered by
// exam number in the table view, counts records and questions. Sets the
// workspace's TableName, Caption, Status, QuestionCount, ScoringEnabled and
// SortItems. When it returns, the window resets the answer-key panels and
// the sort submenu. A score field of the wrong type ends it with an
// AppError after the table is shown; database errors propagate as db::Error.
void OpenAnswerTable(Workspace& ws, Ui& ui, const std::filesystem::path& file);

// The length in bytes of the longest answers text among the first records:
// stops at the first non-empty one once ten records have been visited. The
// dataset's current record stays where the scan stopped.
[[nodiscard]] int CountQuestions(db::Query& ds, const std::string& contentName);

// "记录数:45  题目数:60", or "请设置字段名" without a Content column.
[[nodiscard]] std::string StatusText(Workspace& ws);

} // namespace core
