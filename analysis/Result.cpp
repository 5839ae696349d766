#include "analysis/Result.h"

namespace analysis {

std::string_view CategoryName(Category c) {
    switch (c) {
    case Category::A:
        return "A";
    case Category::B:
        return "B";
    case Category::C:
        return "C";
    case Category::D:
        return "D";
    case Category::E:
        return "E";
    case Category::F:
        return "F";
    case Category::Multi:
        return "multi";
    case Category::Blank:
        return "blank";
    case Category::Other:
        return "other";
    }
    return "";
}

std::string_view FlagName(Flag f) {
    switch (f) {
    case Flag::MisKey:
        return "mis-key";
    case Flag::NegativeDiscrimination:
        return "negative-discrimination";
    case Flag::LowDiscrimination:
        return "low-discrimination";
    case Flag::TooHard:
        return "too-hard";
    case Flag::TooEasy:
        return "too-easy";
    }
    return "";
}

std::string_view RatingText(Rating r) {
    switch (r) {
    case Rating::Excellent:
        return "优";
    case Rating::Good:
        return "良";
    case Rating::Fair:
        return "中";
    case Rating::Poor:
        return "差";
    }
    return "";
}

Rating RateDiscrimination(double d) {
    if (d >= 0.4)
        return Rating::Excellent;
    if (d >= 0.3)
        return Rating::Good;
    if (d >= 0.2)
        return Rating::Fair;
    return Rating::Poor;
}

std::size_t FlaggedCount(const ExamAnalysis& analysis) {
    std::size_t count = 0;
    for (const ItemFigures& item : analysis.items)
        count += !item.flags.empty();
    return count;
}

} // namespace analysis
