#pragma once

#include "analysis/Bands.h"
#include "analysis/Fixed.h"
#include "analysis/Ranking.h"
#include "analysis/Result.h"
#include "analysis/Run.h"

#include <array>
#include <cstdint>
#include <vector>

// The two walks over the sheets and what each one sums. Internal to the
// analysis.
namespace analysis {

// An analysed question as the walks use it.
struct ItemPlan {
    const scoring::RunQuestion* question = nullptr;
    std::size_t column = 0; // index into Sheet::points and Sheet::content
    Fixed max = 0;          // M
};

// Turns a sheet into the points x of the analysed questions and its total,
// checking it against the run.
class SheetPoints {
  public:
    SheetPoints(const scoring::ExamRun& run, const std::vector<ItemPlan>& items);

    // Reads the sheet; returns T. Throws Error for a sheet that does not fit.
    Fixed read(const Sheet& sheet);
    [[nodiscard]] const std::vector<Fixed>& x() const { return mX; }

  private:
    [[noreturn]] void fail(const Sheet& sheet, const std::string& problem) const;
    void failOutOfRange(const Sheet& sheet, std::size_t reach) const;

    const std::vector<ItemPlan>& mItems;
    std::size_t mSingle;
    std::size_t mColumns;
    std::size_t mSingleItems = 0; // the analysed single-choice questions come first
    std::vector<Fixed> mX;
};

// What the first walk learns: the totals (8 bytes a sheet) and the sums
// that centre the second walk. None of it depends on the order of the
// sheets, so the first walk takes them in any order.
struct FirstWalk {
    std::int64_t sheets = 0;
    std::vector<Fixed> totals;
    Wide totalSum = 0;
    Fixed minTotal = 0;
    Fixed maxTotal = 0;
    std::vector<Wide> itemSums;
    std::vector<std::int64_t> bandCounts;
};

[[nodiscard]] FirstWalk WalkFirst(SheetSource& source, SheetPoints& points, const BandLayout& bands,
                                  std::size_t items);

// Centred sums of one question against the total and the rest (T - x).
struct ItemSums {
    double xx = 0, xt = 0, rr = 0, xr = 0;
    Fixed xMin = 0, xMax = 0, restMin = 0, restMax = 0;
    Wide upperSum = 0, lowerSum = 0;
};

// A single-choice question's categories, counted.
struct OptionCounts {
    std::array<std::int64_t, CategoryCount> count{}, upper{}, lower{};
    std::array<Wide, CategoryCount> totalSum{};
};

// A multiple-choice question's marks (by option bitmask) and credit, counted.
struct MarkCounts {
    std::array<std::int64_t, 64> count{}, upper{}, lower{};
    std::int64_t full = 0, partial = 0, none = 0;
};

struct SecondWalk {
    std::int64_t sheets = 0;
    Wide totalSum = 0;
    double tt = 0; // sum of (T - mean)^2
    std::vector<ItemSums> items;
    std::vector<OptionCounts> options; // per item; used for single choice
    std::vector<MarkCounts> marks;     // per item; used for multiple choice
};

// The second walk, centred on the first walk's means, with the groups of
// `cut`. Throws Error when the sheets are not those of the first walk.
[[nodiscard]] SecondWalk WalkSecond(SheetSource& source, SheetPoints& points,
                                    const std::vector<ItemPlan>& items, const FirstWalk& first,
                                    const GroupCut& cut);

// The category of a single-choice mark code.
[[nodiscard]] Category CategoryOf(unsigned char code);

} // namespace analysis
