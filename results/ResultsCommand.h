#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "results/Results.h"
#include "stats/ClassesCommand.h"

#include <optional>
#include <vector>

// "成绩分析": the results workbook of the open, scored table, its classes
// told as the class statistics tell them.
namespace results {

// What the command takes beside the class settings.
struct ResultsSettings {
    double pass = 0.60; // fractions of the full marks
    double excellent = 0.85;
    double low = 0.40;
    double bandWidth = 10;           // points
    std::optional<double> fullMarks; // given by the user; else counted from the score columns
    long long rowsPerSheet = kRowsPerSheet;
};

// Where the full marks came from.
// Where the full marks came from: --full, the last scoring run of the
// table, or (a table scored before runs were recorded) the most any sheet
// earned on each question.
enum class FullMarksFrom { Given, LastRun, ScoreColumns };

// The classes of the workbook when the user gave none: each student's
// StudClass from `ids` when `ids` holds at least half of the table's
// distinct exam numbers; else the class settings last used for this table;
// else the settings of the class dialog's suggestion; else `opening` (what
// opening the class dialog gives). The question count of `opening` is kept.
[[nodiscard]] stats::ClassSettings ClassesForResults(core::Workspace& ws,
                                                     const stats::ClassSettings& opening);

// What the command did: stopped by a check's message, or done with the
// workbook it wrote.
struct ResultsRun {
    core::Outcome outcome = core::Outcome::Stopped;
    Written written;
    std::vector<Question> questions; // f1 .. fN with the full points each was counted with
    double fullMarks = 0;
    FullMarksFrom fullMarksFrom = FullMarksFrom::ScoreColumns;
    // Said when every sheet fell into one class while the exam numbers
    // suggest several; empty otherwise.
    std::string oneClassNotice;
};

// The caption of the command's messages.
inline constexpr const char* kResultsTitle = "成绩分析";

// Writes 成绩分析_<table>.xlsx in the home folder from the open table: the
// first `classes.questions` score columns f1..fN (as many as the table has,
// up to the last one that holds points on any sheet),
// the score column and the exam number the field settings name; classes
// from the exam number or, predefined, from `ids`; names from ids.StudName
// when `ids` has that column. A question's full points are the most any
// sheet scored on it; a question no sheet scored on is left out of the full
// marks (as keys "x" and "z" are), unless the settings give the full marks.
// Bad settings, no open table, no `ids` for predefined classes and a table
// without scores end it with a message (Stopped); database and file errors
// are thrown. Progress goes to ui.progress. The class settings are kept as
// the table's last used ones.
ResultsRun WriteResults(core::Workspace& ws, core::Ui& ui, const stats::ClassSettings& classes,
                        const ResultsSettings& settings);

} // namespace results
