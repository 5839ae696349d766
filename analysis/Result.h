#pragma once

#include "analysis/Run.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The figures of an exam analysis. A figure that is undefined for the data
// (a correlation with a constant side, a group share with empty groups,
// alpha of fewer than two questions) is std::nullopt, never NaN.
namespace analysis {

using Figure = std::optional<double>;

// One score band [from, to), the last one [from, to] with `to` the full marks.
struct Band {
    double from = 0;
    double to = 0;
    std::int64_t count = 0;
    double share = 0;            // count / N
    std::int64_t cumulative = 0; // this band and all higher ones
};

// The categories of a single-choice mark: one option, several, none, or a
// byte outside the mark codes.
enum class Category { A, B, C, D, E, F, Multi, Blank, Other };
inline constexpr std::size_t CategoryCount = 9;
[[nodiscard]] std::string_view CategoryName(Category c); // "A" .. "F", "multi", "blank", "other"

struct OptionFigures {
    std::int64_t count = 0;
    double share = 0;   // of N
    Figure upper;       // share of the upper group
    Figure lower;       // share of the lower group
    Figure meanTotal;   // mean T of the sheets in the category
    Figure r;           // Pearson(in the category, T)
    bool earns = false; // the run gave points to this option (the key, as marked in reports)
};

struct SingleFigures {
    std::array<OptionFigures, CategoryCount> options; // indexed by Category
};

struct LetterFigures {
    double share = 0; // sheets whose mark includes the letter, of N
    Figure upper;
    Figure lower;
};

struct MultiFigures {
    std::int64_t full = 0;                // sheets with the full points
    std::int64_t partial = 0;             // above 0, below full
    std::int64_t none = 0;                // 0 points
    std::array<LetterFigures, 6> letters; // A .. F
};

enum class Flag { MisKey, NegativeDiscrimination, LowDiscrimination, TooHard, TooEasy };
[[nodiscard]] std::string_view FlagName(Flag f); // "mis-key", "negative-discrimination", ...

// D as teachers rate it: >= 0.4, 0.3 to 0.4, 0.2 to 0.3, below 0.2.
enum class Rating { Excellent, Good, Fair, Poor };
[[nodiscard]] std::string_view RatingText(Rating r); // 优 良 中 差
[[nodiscard]] Rating RateDiscrimination(double d);

// The figures of one analysed question.
struct ItemFigures {
    QuestionType type = QuestionType::Single;
    int number = 0;
    int position = 0;
    std::string key;
    double max = 0;  // M
    double mean = 0; // mean points
    double p = 0;    // mean / M
    Figure pUpper, pLower, d, r, rRest, alphaIfDeleted;
    std::optional<Rating> rating;
    std::vector<Flag> flags;
    std::optional<char> suspect;         // the option mis-key names
    std::optional<SingleFigures> single; // single-choice questions only
    std::optional<MultiFigures> multi;   // multiple-choice questions only
};

// A question of the run that takes no part in the figures.
struct LeftOutQuestion {
    QuestionType type = QuestionType::Single;
    int number = 0;
    int position = 0;
    std::string key;
    LeftOut reason = LeftOut::KeyX;
};

// Everything one analysis found.
struct ExamAnalysis {
    std::string table;
    double groupPercent = 27;
    double bandWidth = 10;
    std::int64_t sheets = 0; // N
    double full = 0;         // sum of M over the analysed questions
    double mean = 0, sd = 0, median = 0, min = 0, max = 0;
    Figure alpha, sem;
    std::int64_t groupSize = 0;           // n, the size of the upper and of the lower group
    std::vector<Band> bands;              // lowest first
    std::vector<ItemFigures> items;       // analysed questions in content order
    std::vector<LeftOutQuestion> leftOut; // the others
};

// How many analysed questions carry at least one flag.
[[nodiscard]] std::size_t FlaggedCount(const ExamAnalysis& analysis);

} // namespace analysis
