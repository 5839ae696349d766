#pragma once

#include "scoring/ExamRun.h"
#include "scoring/ScoredSheets.h"

// The analysis reads the scoring run it analyses as every command does
// (scoring::ExamRun); these are the names its results use.
namespace analysis {

// A failure of the analysis that the user should read: settings that no
// longer fit the table, a sheet too short for the run, no sheets. The text
// is Chinese and names the problem.
using Error = scoring::RunError;

using QuestionType = scoring::QuestionKind;
using scoring::LeftOut;

// The sheets it reads, as every command reads them. The analysis takes a
// sheet's place in SheetSource::forEach as its tie order at the group cut;
// it does not sort. Its first pass, which only sums and collects totals,
// walks in any order; the second walks with forEach (or, when the source
// walks chosen records, in any order as well, reading again in exam-number
// order only the sheets whose totals sit at a group cut).
using scoring::Sheet;
using scoring::SheetSource;

} // namespace analysis
