#pragma once

#include "roster/Lists.h"
#include "roster/Verify.h"

#include <optional>
#include <string>
#include <vector>

// The report of the exam-number check, "考号核对_<表名>.txt": a heading
// with the counts, then one section per kind of problem with its count, and
// in each only the numbers that have that problem. The lines are UTF-8; the
// caller saves them as GBK with CR LF.
namespace roster {

[[nodiscard]] std::string VerifyReportName(const std::string& tableName);

[[nodiscard]] std::vector<std::string> VerifyReportLines(const std::string& tableName,
                                                         const SheetList& sheets,
                                                         const Roster* roster,
                                                         const VerifyResult& result);

// "85 分", or empty for an unscored sheet.
[[nodiscard]] std::string ScoreText(std::optional<double> score);

// "3班" for a numeric class, the class itself otherwise, "未分班" for none.
[[nodiscard]] std::string ClassLabel(std::string_view className);

// "310101019 张三（3班，两位颠倒）".
[[nodiscard]] std::string SuggestionText(const Roster& roster, const Suggestion& s);

} // namespace roster
