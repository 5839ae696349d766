#pragma once

#include "analysis/Result.h"

#include <filesystem>
#include <string>

// The analysis as JSON (UTF-8) for other programs: every figure at full
// precision (the shortest text that reads back to the same double),
// undefined figures as null.
namespace analysis {

// {"table", "sheets", "full", "mean", "sd", "median", "min", "max", "alpha",
//  "sem", "group_size", "bands": [{"from", "to", "count", "share",
//  "cumulative"}], "items": [{"type", "number", "position", "key", "max",
//  "mean", "p", "p_upper", "p_lower", "d", "r", "r_rest",
//  "alpha_if_deleted", "rating", "flags", "suspect", and "options" (single
//  choice: "A".."F", "multi", "blank", "other", each {"count", "share",
//  "upper", "lower", "mean_total", "r"}) or "credit" {"full", "partial",
//  "none"} and "letters" ("A".."F", each {"share", "upper", "lower"})}]}
[[nodiscard]] std::string JsonText(const ExamAnalysis& analysis);

// Writes JsonText, whole or not at all.
void WriteJson(const ExamAnalysis& analysis, const std::filesystem::path& file);

} // namespace analysis
