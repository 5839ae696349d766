#pragma once

#include "core/Workspace.h"

#include <string>
#include <vector>

// What the scoring run and the answer-key field tell the user beyond a
// check's own message: how many answers a key holds against how many the
// settings need, which key characters are no option at all, which mark codes
// stand for several options, and how to get back a column the view hides.
namespace scoring {

// A key character the run can use: an option letter "A" to "F", "x", "z" or
// a mark code, the bytes "0" to "o".
[[nodiscard]] bool IsKeyCharacter(char c);

// "需要 60 个，已输入 61 个": the answers the settings need against the answers
// typed (separators left out). When the counts agree and only the separators
// are wrong, the separators are counted too.
[[nodiscard]] std::string KeyLengthDetail(const std::string& typedKey, int questions);

// The multiple-choice key count: "需要 3 个，已输入 4 个".
[[nodiscard]] std::string CountDetail(long long needed, long long typed);

// "第 60 题的答案 # 不是选项" for every key character that is no key character,
// in question order.
[[nodiscard]] std::vector<std::string> NonOptionNotes(const std::string& typedKey);

// "G = ABCE（第 3、7 题）" for every mark code of several options in the key,
// in the order first met.
[[nodiscard]] std::vector<std::string> MarkCodeNotes(const std::string& typedKey);

// The text of the run's question about characters that are no option: the
// notes (at most a few shown), then whether to stop.
[[nodiscard]] std::string NonOptionQuestion(const std::vector<std::string>& notes);

// A column the opened table has but the view does not show, because a custom
// SQL statement chose the view's columns: refused (core::AppError) with the
// way back to the whole table. A column the table lacks too passes, for the
// run's own checks; `what` names the column's role ("客观题字段").
void RequireShownColumn(core::Workspace& ws, const std::string& column, const std::string& what);

} // namespace scoring
