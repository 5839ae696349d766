#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/os/Shell.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The scoring run: checks the answer-key settings against the open table,
// scores every sheet of the table view, writes the per-question fields and
// the score field, then the statistics file and the answer-key history.
namespace scoring {

// What the answer-key panels hold when the run starts, as typed.
struct ScoringSettings {
    int segmentChoice = 0;       // the segment number chosen, -1 when none is
    std::array<int, 4> counts{}; // questions in each segment
    std::array<bool, 4> enabled{true, false, false, false};
    std::array<std::string, 4> points{"0", "0", "0", "0"}; // points per question of each segment
    std::string singleKey;                                 // the single-choice key
    int multiCount = 0;                                    // multiple-choice questions
    std::string full = "0";    // full points of a multiple-choice question
    std::string partial = "0"; // partial points
    std::string multiKey;      // the multiple-choice keys, ";" between them
};

// What the run leads on to: the class statistics (as F10 does) and the
// report (as "生成报表" does), run by the front end's own commands.
struct ScoringFollowUps {
    std::function<void()> classStatistics;
    std::function<void()> report;
};

// What a run counted, for the statistics file.
struct RunStatistics {
    int S = 0;
    int M = 0;
    std::string key; // K, the S single-choice key characters
    std::vector<std::int32_t> countA, countB, countC,
        countD;                          // per position 1..S+M (index 0 unused)
    std::vector<std::int32_t> fullCount; // per multiple-choice question 1..M
    std::vector<double> pointSum;
    double runTotal = 0;
    int records = 0; // R
};

// What a run did: stopped by a check, or done with the sheets it scored and
// the files it wrote.
struct ScoringResult {
    core::Outcome outcome = core::Outcome::Stopped;
    int sheets = 0;
    std::filesystem::path statistics; // 统计_<table>.txt
    std::filesystem::path history;    // 标准答案历史.log
};

// The run behind "开始评分" (F9). Checks that fail end it with their message
// and a stopped outcome before anything is written; database and runtime
// errors are thrown. The sheet loop runs in one transaction committed also
// when an error ends it, so scored sheets keep their values.
ScoringResult ScoreAll(core::Workspace& ws, core::Ui& ui, os::Shell& shell,
                       const ScoringSettings& settings, const ScoringFollowUps& followUps);

// The single-choice key characters of a typed key: trimmed, without the
// blanks, commas and semicolons a teacher puts between groups of five.
[[nodiscard]] std::string KeyCharacters(const std::string& typed);

// How a mark code key (several options in one key character) is matched
// (the FullMatch switch): the sheet's mark must be the key's whole code, or
// any one of the key's options is right.
enum class KeyMatch { AnyOption, WholeCode };
[[nodiscard]] inline KeyMatch KeyMatchOf(bool fullMatch) {
    return fullMatch ? KeyMatch::WholeCode : KeyMatch::AnyOption;
}

// The single-choice decision for one question: the sheet's mark code
// against the key character. "x" and "z" never earn, nor do the codes "A"
// to "F", which are marks of several options.
[[nodiscard]] bool SingleRight(char code, char key, KeyMatch match);

// Two-letter multiple-choice keys (the yuwen_m switch): one right and one
// wrong letter earns nothing, or the partial points.
enum class TwoLetterKeys { Strict, OneRightEarnsPartial };
[[nodiscard]] inline TwoLetterKeys TwoLetterKeysOf(bool yuwenM) {
    return yuwenM ? TwoLetterKeys::OneRightEarnsPartial : TwoLetterKeys::Strict;
}

// The multiple-choice decision: the sheet's letters text against one key.
enum class Credit { None, Partial, Full };
[[nodiscard]] Credit MultiCredit(const std::string& answer, const std::string& key,
                                 TwoLetterKeys twoLetters);

// "统计_<table>.txt" lines and the history entry.
[[nodiscard]] std::vector<std::string> StatisticsLines(const RunStatistics& s);
[[nodiscard]] std::vector<std::string> HistoryLines(const std::string& table,
                                                    const std::string& singleKey,
                                                    const std::string& multiKey,
                                                    const std::string& now);
// The date and time as a Chinese desktop shows them: 2026/12/7 7:42:06.
[[nodiscard]] std::string HistoryTime();

} // namespace scoring
