#pragma once

#include "analysis/Result.h"
#include "analysis/Run.h"

#include <optional>
#include <string>

// The exam analysis: item difficulty and discrimination, reliability, score
// bands, distractors and the mis-key alarm, from the points a scoring run
// stored and the marks of the sheets. It never re-scores.
namespace analysis {

struct AnalysisOptions {
    double groupPercent = 27; // the upper and the lower group, % of the sheets
    double bandWidth = 10;    // points per score band
};

// The message for options a user cannot mean (a group of 0 % or above 50 %,
// a band of 0 points or less), nullopt when they are fine.
[[nodiscard]] std::optional<std::string> CheckOptions(const AnalysisOptions& options);

// Analyses the sheets of `source` against the questions of `run` (made, as
// scoring::AcceptedRun makes them), in two
// passes over the source: the totals and the group cut first, every other
// figure second. Besides O(questions) it keeps 8 bytes per sheet, and those
// only between the passes. A source that walks chosen records
// (SheetSource::walksRecords) is walked in any order both times; the
// sheets whose totals equal a cut value are then read once more, in
// exam-number order, for their groups (8 bytes each meanwhile). Figures
// summed in doubles may then differ in their last bits with the order the
// sheets are stored in.
//
// A sheet's total T is the exact sum of its stored points (as 64-bit fixed
// point with 32 fraction bits), so that equal totals compare equal at the
// group cut whatever the order of the questions.
//
// Throws Error for data that do not fit the run (a content shorter than its
// questions, missing score columns, stored points beyond +-2^20, sheets
// that changed between the passes) and for a table without sheets;
// std::invalid_argument for options CheckOptions rejects.
[[nodiscard]] ExamAnalysis Analyze(const scoring::ExamRun& run, SheetSource& source,
                                   const AnalysisOptions& options = {});

} // namespace analysis
