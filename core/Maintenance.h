#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

#include <filesystem>

namespace core {

// "添加分数字段": says whether the opened table has its score column.
void AddScoreFieldCheck(Workspace& ws, Ui& ui);

// Clears the table-flags byte (offset 28) of a .dbf file, which announces a
// production index that may be missing; touches nothing else. Throws
// AppError with the system's text when the file cannot be opened or written.
void RepairDbfIndex(const std::filesystem::path& file);

inline constexpr const char* RepairDoneText = "DBF表的“Index not Found”问题修补成功!\r";

} // namespace core
