#pragma once

#include "analysis/Result.h"
#include "platform/text/Encoding.h"

#include <filesystem>
#include <string>
#include <vector>

// The analysis as a teacher reads it: 试卷分析_<表名>.txt.
namespace analysis {

// "单选第 3 题", "不定项第 2 题".
[[nodiscard]] std::string QuestionLabel(QuestionType type, int number);

// The flag in a word or two of Chinese: 答案存疑, 负区分, 区分低, 偏难, 偏易.
[[nodiscard]] std::string FlagShortText(Flag flag);

// One line of plain Chinese saying why the question carries the flag.
[[nodiscard]] std::string FlagReason(const ItemFigures& item, Flag flag);

// The report's lines (UTF-8): the questions to look at again, the test
// figures and score bands, one line per question, then the option table of
// every single-choice question with the options that earn marked.
[[nodiscard]] std::vector<std::string> ReportLines(const ExamAnalysis& analysis);

// Writes ReportLines in the encoding (GBK or UTF-8) with CR LF, whole or not at all.
void WriteTextReport(const ExamAnalysis& analysis, const std::filesystem::path& file,
                     text::Encoding encoding);

} // namespace analysis
