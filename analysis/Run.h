#pragma once

#include "scoring/ExamRun.h"

// The analysis reads the scoring run it analyses as every command does
// (scoring::ExamRun); these are the names its results use.
namespace analysis {

// A failure of the analysis that the user should read: settings that no
// longer fit the table, a sheet too short for the run, no sheets. The text
// is Chinese and names the problem.
using Error = scoring::RunError;

using QuestionType = scoring::QuestionKind;
using scoring::LeftOut;

} // namespace analysis
