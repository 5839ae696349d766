#pragma once

#include <filesystem>
#include <string>

// The logs of the changes made by hand on a stored answer table: the
// exam-number corrections (考号更正.log) and the grid's edits (编辑记录.log),
// both in the home folder, one tab-separated line per change or undo: time,
// kind, table, then what changed.
namespace core {

inline constexpr const char* CorrectionLogName = "考号更正.log";

// The changes a re-import of the table would lose: the lines of the table
// logged at or after `since` ("2026-12-07 11:42:06"; empty for every line),
// less those undone.
struct LoggedChanges {
    long long corrections = 0;
    long long edits = 0;
};

[[nodiscard]] LoggedChanges ChangesSince(const std::filesystem::path& home,
                                         const std::string& table, const std::string& since);

// "考号更正（<k> 条）和表格编辑（<e> 条）也会丢失。" when there are any; else
// empty.
[[nodiscard]] std::string LostChangesText(const LoggedChanges& changes);

} // namespace core
