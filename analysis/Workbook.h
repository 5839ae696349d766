#pragma once

#include "analysis/Result.h"

#include <filesystem>

// The analysis as a workbook: 试卷分析_<表名>.xlsx.
namespace analysis {

// The names of the workbook's sheets, in order.
inline constexpr const char* SummarySheetName = "概况";
inline constexpr const char* QuestionSheetName = "题目";
inline constexpr const char* OptionSheetName = "选项";

// Writes the workbook, whole or not at all: the summary sheet (test figures,
// score bands and a column chart of them), the question sheet (one row per
// question, flagged rows coloured, a scatter chart of P against D) and the
// options sheet (each single-choice question's options with the earning
// ones marked, each multiple-choice question's letters and credit). Points,
// means and SD show two decimals, shares as percentages, P, D, r and alpha
// three decimals; the question sheet keeps its header row and labels in
// view; a sheet with a chart prints landscape, one page wide, the chart
// whole on the first page.
void WriteWorkbook(const ExamAnalysis& analysis, const std::filesystem::path& file);

} // namespace analysis
