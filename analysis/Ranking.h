#pragma once

#include "analysis/Fixed.h"

#include <cstdint>
#include <vector>

// The order of the sheets by total: the median, and the cut into the upper
// and the lower group, taken from the totals alone. The order is T
// descending, ties in walk order (the exam-number order), so a sheet's
// group follows from its total and how many equal totals came before it.
namespace analysis {

// n = floor(N * g / 100 + 0.5), at most floor(N / 2), at least 1 when N >= 2.
[[nodiscard]] std::int64_t GroupSize(std::int64_t sheets, double percent);

// Where the groups end: the upper group is every total above upperValue and
// the first upperTies sheets (in walk order) with exactly upperValue; the
// lower group every total below lowerValue and the sheets with exactly
// lowerValue from the (lowerSkip + 1)-th on.
struct GroupCut {
    std::int64_t size = 0;
    Fixed upperValue = 0;
    std::int64_t upperTies = 0;
    Fixed lowerValue = 0;
    std::int64_t lowerSkip = 0;
};

// Finds the cut from the totals of all sheets (reorders them).
[[nodiscard]] GroupCut CutGroups(std::vector<Fixed>& totals, std::int64_t size);

// The median total (the mean of the two middle ones for an even count);
// reorders the totals. Needs at least one.
[[nodiscard]] double MedianTotal(std::vector<Fixed>& totals);

// A sheet's groups, decided while the sheets are walked again in the same
// order.
class GroupWalk {
  public:
    explicit GroupWalk(const GroupCut& cut) : mCut(cut) {}

    struct Place {
        bool upper = false;
        bool lower = false;
    };
    [[nodiscard]] Place next(Fixed total);

  private:
    GroupCut mCut;
    std::int64_t mUpperSeen = 0;
    std::int64_t mLowerSeen = 0;
};

} // namespace analysis
