#include "scoring/RunChecks.h"

#include "core/AppError.h"

#include "platform/text/Gbk.h"
#include "scoring/MarkCodes.h"
#include "scoring/ScoreCommand.h"

#include <algorithm>
#include <cstddef>

namespace scoring {
namespace {

bool IsOptionLetter(char c) {
    return c >= 'A' && c <= 'F';
}

// The character as the message shows it: a byte of a multi-byte character
// is no option either, and is shown by its value.
std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
        return std::string(1, c);
    static const char* const hex = "0123456789ABCDEF";
    return std::string("0x") + hex[byte >> 4] + hex[byte & 15];
}

std::string QuestionList(const std::vector<std::size_t>& questions) {
    std::string list;
    for (std::size_t q : questions)
        list += (list.empty() ? "" : "、") + std::to_string(q);
    return list;
}

} // namespace

bool IsKeyCharacter(char c) {
    return IsOptionLetter(c) || c == 'x' || c == 'z' || (c >= '0' && c <= 'o');
}

std::string CountDetail(long long needed, long long typed) {
    return "需要 " + std::to_string(needed) + " 个，已输入 " + std::to_string(typed) + " 个";
}

std::string KeyLengthDetail(const std::string& typedKey, int questions) {
    const std::string trimmed = text::Trim(typedKey);
    const auto answers = static_cast<long long>(KeyCharacters(typedKey).size());
    std::string detail = CountDetail(questions, answers);
    if (answers == questions) {
        const long long separators = static_cast<long long>(trimmed.size()) - answers;
        const long long needed = questions > 0 ? (questions - 1) / 5 : 0;
        detail += "；分隔符号需要 " + std::to_string(needed) + " 个，已输入 " +
                  std::to_string(separators) + " 个";
    }
    return detail;
}

std::vector<std::string> NonOptionNotes(const std::string& typedKey) {
    const std::string k = KeyCharacters(typedKey);
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < k.size(); ++i)
        if (!IsKeyCharacter(k[i]))
            notes.push_back("第 " + std::to_string(i + 1) + " 题的答案 " + Shown(k[i]) +
                            " 不是选项");
    return notes;
}

std::vector<std::string> MarkCodeNotes(const std::string& typedKey) {
    const std::string k = KeyCharacters(typedKey);
    std::vector<char> codes;
    std::vector<std::vector<std::size_t>> questions;
    for (std::size_t i = 0; i < k.size(); ++i) {
        const char c = k[i];
        if (IsOptionLetter(c) || !IsKeyCharacter(c) || c == 'x' || c == 'z' ||
            MarkToLetters(c).size() < 2)
            continue;
        auto at = std::find(codes.begin(), codes.end(), c);
        if (at == codes.end()) {
            codes.push_back(c);
            questions.emplace_back();
            at = codes.end() - 1;
        }
        questions[static_cast<std::size_t>(at - codes.begin())].push_back(i + 1);
    }
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        notes.push_back(std::string(1, codes[i]) + " = " + MarkToLetters(codes[i]) + "（第 " +
                        QuestionList(questions[i]) + " 题）");
    return notes;
}

std::string NonOptionQuestion(const std::vector<std::string>& notes) {
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t i = 0; i < notes.size() && i < kShown; ++i)
        text += notes[i] + "。\r";
    if (notes.size() > kShown)
        text += "另有 " + std::to_string(notes.size() - kShown) + " 题的答案不是选项。\r";
    text += "有效的答案是字母 A 到 F、x、z 或选项组合的代码（0 到 o）。是否现在退出评分？";
    return text;
}

void RequireShownColumn(core::Workspace& ws, const std::string& column, const std::string& what) {
    if (ws.view.hasField(column) || ws.TableName.empty() || !ws.connection.hasTable(ws.TableName))
        return;
    for (const db::ColumnInfo& c : ws.connection.columns(ws.TableName))
        if (text::EqualNoCase(c.name, column))
            throw core::AppError("表 " + ws.TableName + " 中有" + what + " " + column +
                                 "，但当前显示的数据是自定义SQL语句的结果，其中没有这个字段。请选择"
                                 "\"取消排序(读卡顺序)\"或重新打开数据表，显示整个表后再评分。");
}

} // namespace scoring
