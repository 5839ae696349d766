#pragma once

#include "core/AppError.h"
#include "scoring/ScoreCommand.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One scoring run of an answer table as every command reads it: the
// answer-key panels as the teacher typed them and the run's two switches
// (what quillory_runs keeps of it), and the questions those settings make,
// each with its kind, key and points. The scoring run makes it of the
// panels, the commands that follow a run (the correction of one key, the
// exam analysis, the results workbook) of the table's stored last run.
namespace scoring {

// A failure of a command over a stored run that the user should read:
// settings that do not hold together (a key of the wrong length, points that
// are no number), a table that no longer fits the run. The text is Chinese
// and names the problem.
class RunError : public core::AppError {
  public:
    using core::AppError::AppError;
};

enum class QuestionKind { Single, Multi };

// Why a question takes no part in the figures of a run.
enum class LeftOut { No, KeyX, KeyZ, ZeroPoints };

// One question of a run.
struct RunQuestion {
    QuestionKind kind = QuestionKind::Single;
    int number = 0;   // within its kind, 1-based
    int position = 0; // in the content and among the score columns f1, f2, ..., 1-based
    std::string key;  // the key character of a single-choice question, the key of a
                      // multiple-choice question
    float points = 0; // what a right (a fully right) answer earns, as the score columns hold it
    LeftOut leftOut = LeftOut::No;

    bool operator==(const RunQuestion&) const = default;
};

struct ExamRun {
    // What the run keeps in quillory_runs. Segments the run did not read
    // (beyond the chosen number) are kept as 0 questions worth "0".
    std::int64_t id = 0;
    std::string table;
    std::string time; // local time of the run, "2026-12-07 11:42:06"
    ScoringSettings settings;
    bool fullMatch = false;
    bool yuwenM = false;

    // What the settings make: the single-choice questions in segment order,
    // then the multiple-choice questions that have a key.
    int singleCount = 0;    // the single-choice questions
    int multiSet = 0;       // the multiple-choice questions as set
    int multiCount = 0;     // the multiple-choice keys typed, the questions scored
    std::string singleKeys; // one key character per single-choice question
    std::vector<RunQuestion> questions;

    // The score columns f1 .. f(columnCount()) a sheet must supply.
    [[nodiscard]] int columnCount() const { return singleCount + multiCount; }
    [[nodiscard]] const RunQuestion& at(int position) const {
        return questions[static_cast<std::size_t>(position - 1)];
    }
};

// The questions and points of each segment, as read from the panels.
struct Segments {
    std::array<int, 4> counts{};
    std::array<float, 4> points{}; // converted as the run converts them, a 32-bit float
};

// The segments of typed settings: segment 1 always, the others while
// enabled. Points that are no number, or not from 0 to 1000, are refused
// with core::AppError naming the segment.
[[nodiscard]] Segments ReadSegments(const ScoringSettings& st);

// The multiple-choice keys of a typed text: trimmed, cut at every ";".
// Empty for an empty text.
[[nodiscard]] std::vector<std::string> SplitKeys(const std::string& typed);

// The multiple-choice keys the scoring run accepts: none when no question is
// set, else each 1 to 4 letters (core::AppError otherwise).
[[nodiscard]] std::vector<std::string> SplitMultiKeys(const ScoringSettings& st, int M);

// Fills the questions of `run` from its segments, its single-choice key
// characters (already in run.singleKeys), its multiple-choice keys and the
// points of a fully right multiple-choice answer.
void ListQuestions(ExamRun& run, const Segments& segments,
                   const std::vector<std::string>& multiKeys, double full);

// The run of stored settings: the segments, keys and points the stored run
// scored with, split as the scoring run splits them (a segment without
// questions needs no points; the full points are read only when a
// multiple-choice key is there). Throws RunError for settings that do not
// hold together.
[[nodiscard]] ExamRun AcceptedRun(ExamRun stored);

} // namespace scoring
