#pragma once

#include "scoring/ScoredSheets.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The results workbook "成绩分析_<table>.xlsx": every sheet with its grade
// and class rank (学生成绩), the classes side by side (班级对比), the score
// bands by class (分数段) and every class's rate on every question
// (题目得分率). The engine knows nothing of the database: the caller hands
// it the sheets and names their classes and the questions.
namespace results {

// Data rows of one 学生成绩 worksheet: a worksheet holds 1,048,576 rows, one
// of them the header.
inline constexpr long long kRowsPerSheet = 1048575;

// A score this little below a threshold or a band's lower bound reaches it;
// scores this close share a rank (sums of single-precision points fall just
// short of the number they stand for).
inline constexpr double kTolerance = 0.000001;

// A scored question: its score column's name ("f1") and its full points.
struct Question {
    std::string name;
    double full = 0;
};

struct Options {
    double fullMarks = 0; // of the whole paper, as the caller counts it
    double pass = 0.60;   // fractions of the full marks
    double excellent = 0.85;
    double low = 0.40;
    double bandWidth = 10; // points
    long long rowsPerSheet = kRowsPerSheet;
    // Long work: `done` of `total` steps of `what`; a negative total when the
    // amount is not known yet; total 0 ends it (as core::Ui::progress).
    std::function<void(const std::string& what, long long done, long long total)> progress;
};

// One answer sheet as the workbook writes it. The views need to live only
// for the call that receives the row.
struct SheetRow {
    std::string_view examNumber;
    int classIndex = -1;            // into the class list; -1 when the class cannot be told
    std::string_view name;          // empty when the roster has none
    std::optional<double> score;    // nullopt: the score is empty (NULL)
    std::span<const double> points; // one per question, in the questions' order; NaN when empty
};

// The class of a sheet: its index into the class list, -1 when it cannot be
// told.
using ClassOf = std::function<int(const scoring::Sheet&)>;

// What was written.
struct Written {
    std::filesystem::path file;
    long long listed = 0;      // sheets with a score: the rows of 学生成绩
    long long emptyScores = 0; // sheets left out for an empty score
    long long unclassed = 0;   // listed sheets under 未分班
    int studentSheets = 0;     // 学生成绩, 学生成绩2, ...
};

// "成绩分析_" + table + ".xlsx".
[[nodiscard]] std::string WorkbookName(std::string_view table);

// What is wrong with the options, in words for the user; empty when nothing.
[[nodiscard]] std::string CheckOptions(const Options& options);

// Writes the workbook to `file`, whole or not at all (under a temporary name
// in the same folder, renamed when complete; the rows' temporary files go to
// that folder too). `classes` are the class codes in class order
// ("01", "02", ...); classes without sheets get no row or column. Memory: 16
// bytes per sheet for the ranks and medians, beside a table of classes by
// questions. Throws std::invalid_argument with CheckOptions' text for bad
// options, std::runtime_error naming the file when it cannot be written.
//
// The sheets are walked twice, first in any order for the scores (ranks need
// them all), then in exam-number order for the rows. A sheet's score is
// Sheet::score (NULL: empty), its points are Sheet::values, one per question
// in the questions' order (NULL: empty), its name is Sheet::rosterName.
Written WriteResultsWorkbook(const std::filesystem::path& file, scoring::SheetSource& source,
                             const ClassOf& classOf, const std::vector<std::string>& classes,
                             const std::vector<Question>& questions, const Options& options);

} // namespace results
