#pragma once

#include "tools/gen-answer-table/IrtModel.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// Generated answer tables, as an answer-sheet reader writes them: the exam
// number BH (prefix, class code, seat), the marks CONTENT, FLAG, SUBJECT and
// optionally a SCORE column. The same seed gives the same table. The marks
// are drawn evenly (model "uniform") or from an item-response model ("irt",
// see IrtModel.h).
namespace tools {

struct AnswerTableLayout {
    long long records = 45;
    int questions = 60;
    std::string prefix = "2026"; // exam numbers start with it
    int classes = 3;             // classes 1..classes, records spread evenly
    int classDigits = 2;
    int seatDigits = 3;
    std::string score = "none"; // none, int (N 3,0), float (N 5,1), text (C 5)
    std::uint64_t seed = 1;
    std::string model = "uniform"; // uniform or irt
    int multi = 0;                 // irt: the last `multi` questions are multiple choice
    int options = 4;               // irt: options A, B, ... of every question (2 to 6)
};

// The marks of one generated sheet's objective answers.
using SheetVisitor = std::function<void(const std::string& examNumber, const std::string& content)>;

// Writes the table; calls `visit` for every sheet (may be empty). Returns
// the key the irt model drew the sheets against (empty for uniform marks).
AnswerKey WriteAnswerTable(const std::filesystem::path& file, const AnswerTableLayout& layout,
                           const SheetVisitor& visit = {});

} // namespace tools
