#include "analysis/Ranking.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace analysis {

std::int64_t GroupSize(std::int64_t sheets, double percent) {
    auto n =
        static_cast<std::int64_t>(std::floor(static_cast<double>(sheets) * percent / 100.0 + 0.5));
    n = std::min(n, sheets / 2);
    if (sheets >= 2)
        n = std::max<std::int64_t>(n, 1);
    return n;
}

GroupCut CutGroups(std::vector<Fixed>& totals, std::int64_t size) {
    GroupCut cut;
    cut.size = size;
    if (size <= 0)
        return cut;
    const auto n = static_cast<std::ptrdiff_t>(size);
    std::nth_element(totals.begin(), totals.begin() + (n - 1), totals.end(), std::greater<>());
    cut.upperValue = totals[static_cast<std::size_t>(n - 1)];
    std::nth_element(totals.begin(), totals.begin() + (n - 1), totals.end());
    cut.lowerValue = totals[static_cast<std::size_t>(n - 1)];
    std::int64_t above = 0, below = 0, atLower = 0;
    for (Fixed t : totals) {
        above += t > cut.upperValue;
        below += t < cut.lowerValue;
        atLower += t == cut.lowerValue;
    }
    cut.upperTies = size - above;
    // The lower group takes the last (size - below) of the sheets at lowerValue.
    cut.lowerSkip = atLower - (size - below);
    return cut;
}

double MedianTotal(std::vector<Fixed>& totals) {
    const std::size_t half = totals.size() / 2;
    std::nth_element(totals.begin(), totals.begin() + static_cast<std::ptrdiff_t>(half),
                     totals.end());
    const Fixed upperMiddle = totals[half];
    if (totals.size() % 2 == 1)
        return FromFixed(upperMiddle);
    const Fixed lowerMiddle =
        *std::max_element(totals.begin(), totals.begin() + static_cast<std::ptrdiff_t>(half));
    return static_cast<double>((static_cast<Wide>(lowerMiddle) + upperMiddle)) / (2 * FixedOne);
}

GroupWalk::Place GroupWalk::next(Fixed total) {
    Place p;
    if (mCut.size <= 0)
        return p;
    if (total > mCut.upperValue)
        p.upper = true;
    else if (total == mCut.upperValue)
        p.upper = mUpperSeen++ < mCut.upperTies;
    if (total < mCut.lowerValue)
        p.lower = true;
    else if (total == mCut.lowerValue)
        p.lower = mLowerSeen++ >= mCut.lowerSkip;
    return p;
}

} // namespace analysis
