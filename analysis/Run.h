#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What the exam analysis needs to know of the scoring run it analyses: the
// settings the run used, and the questions those settings make.
namespace analysis {

// A failure of the analysis that the user should read: settings that no
// longer fit the table, a sheet too short for the run, no sheets. The text
// is Chinese and names the problem.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One segment of single-choice questions: how many, and what each is worth
// (as the run converted the typed points, a 32-bit float).
struct Segment {
    int count = 0;
    float points = 0;
};

// The settings of one scoring run, as the run stored them.
struct RunDescription {
    std::string table;             // the table name, for the reports
    std::vector<Segment> segments; // the segments the run used, in order
    std::string singleKey;         // as typed, separators included ("BBDAC;BBADC")
    int multiCount = 0;            // multiple-choice questions
    double full = 0;               // points of a fully right multiple-choice answer
    double partial = 0;            // points of a partly right one
    std::string multiKey;          // as typed ("A;BC;ABD")
    bool fullMatch = false;        // the FullMatch switch of the run
    bool yuwenM = false;           // the yuwen_m switch of the run
};

enum class QuestionType { Single, Multi };

// Why a question takes no part in the figures.
enum class LeftOut { No, KeyX, KeyZ, ZeroPoints };

// One question of the run.
struct Question {
    QuestionType type = QuestionType::Single;
    int number = 0;   // within its type, 1-based
    int position = 0; // in the content and among the score columns f1, f2, ..., 1-based
    std::string key;  // the key character of a single-choice question, the key of a
                      // multiple-choice question
    float points = 0; // M: what a fully right answer earns, as the score columns hold it
    LeftOut leftOut = LeftOut::No;
};

// The questions of a run in content order: the single-choice questions,
// then the multiple-choice ones.
struct QuestionPlan {
    int singleCount = 0;             // S
    int multiCount = 0;              // the multiple-choice questions the run scored
    std::vector<Question> questions; // S + multiCount entries

    // The score columns f1 .. f(columnCount()) a sheet must supply.
    [[nodiscard]] int columnCount() const { return singleCount + multiCount; }
};

// The questions the run's settings make, split as the scoring run splits
// them: the single-choice key without its blanks, commas and semicolons, one
// character per question; the multiple-choice key cut at every ";". Throws
// Error when the settings do not hold together (a key of the wrong length).
[[nodiscard]] QuestionPlan PlanQuestions(const RunDescription& run);

} // namespace analysis
