#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/automation/Automation.h"
#include "platform/os/Shell.h"
#include "stats/Comprehensive.h"

#include <array>
#include <cstdint>
#include <filesystem>

#include <optional>
#include <string>
#include <vector>

// The class statistics: counts, totals and averages of the whole grade and
// of every class, and every class's option counts per question, written to
// "分班统计_<table>.txt". A sheet's class comes from its exam number (a code
// at a fixed place) or from the predefined list `ids`.
namespace stats {

// What the class-statistics dialog holds when "开始统计" is pressed.
struct ClassSettings {
    bool predefined = false;    // classes from the table ids
    bool prefixMode = false;    // the class code follows a prefix (else: at a start position)
    std::string prefix;         // the exam numbers' common prefix
    int startPosition = 1;      // where the class code starts (1-based)
    int codeLength = 2;         // characters of the class code
    int firstClass = 1;         // the first class
    int lastClass = 24;         // the last class
    int totalLength = 0;        // the exam number's length
    int questions = 0;          // N, the objective questions counted
    bool comprehensive = false; // the comprehensive-subject statistics too
    SubjectSettings subjects;   // their subjects
};

// What a run did: stopped by a check, or done, with the report it wrote,
// with predefined classes the rows whose class it filled from `ids`, and the
// sheets that fell into no class (counted in the grade line only).
struct ClassRunResult {
    core::Outcome outcome = core::Outcome::Stopped;
    std::filesystem::path report;
    std::optional<int> rowsUpdated;
    long long withoutClass = 0;
};

// The run behind "开始统计". `title` is the dialog's caption, which its
// messages carry; after the report, a message says how many sheets fell into
// no class, when any did; the comprehensive workbook goes to the spreadsheet
// application `spreadsheet` creates. Reads the table once, whatever the
// number of classes.
ClassRunResult RunClassStatistics(core::Workspace& ws, core::Ui& ui, os::Shell& shell,
                                  const automation::Factory& spreadsheet,
                                  const ClassSettings& settings, const std::string& title);

// The lines of the class report. Option counts are per question 1..N
// (index 0 unused): how many sheets marked A, B, C and D.
using OptionCounts = std::vector<std::array<std::int32_t, 4>>;
void CountOptions(const std::string& content, int N, OptionCounts& counts);
[[nodiscard]] std::string GradeLine(long long count, double total);
[[nodiscard]] std::string ClassLine(const std::string& code, long long count, double total);
[[nodiscard]] std::vector<std::string> DetailLines(const std::string& code, long long count,
                                                   const OptionCounts& counts, int N);

// The class pattern ("%s" where the class code goes) and the class code of a
// class number, for classes read from exam numbers.
[[nodiscard]] std::string ClassPattern(const ClassSettings& settings);
[[nodiscard]] std::string ClassCode(const ClassSettings& settings, long long classNumber);

// What opening the dialog guesses from the open table (F10): the prefix, the
// exam-number length and the number of objective questions.
struct DialogGuess {
    std::string prefix;
    int totalLength = 0;
    int questions = 0;
};

// `panelQuestions` is the sum of the main window's five question counts.
// Nullopt when the dialog is not to be shown (a message was shown when the
// table is closed or empty; none when a column is missing).
[[nodiscard]] std::optional<DialogGuess> GuessDialog(core::Workspace& ws, core::Ui& ui,
                                                     int panelQuestions);

} // namespace stats
