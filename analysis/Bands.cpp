#include "analysis/Bands.h"

#include "analysis/Run.h"

#include <algorithm>
#include <cmath>

namespace analysis {
namespace {

constexpr double Slack = 0.000001;
constexpr int MostBands = 100000;

} // namespace

BandLayout::BandLayout(double full, double width) : mFull(full), mWidth(width) {
    while (static_cast<double>(mCount) * mWidth < mFull) {
        if (++mCount > MostBands)
            throw Error("分数段宽度 " + std::to_string(width) + " 分太小，分数段超过 " +
                        std::to_string(MostBands) + " 个。");
    }
}

double BandLayout::to(int band) const {
    return band + 1 >= mCount ? mFull : (band + 1) * mWidth;
}

int BandLayout::indexOf(double total) const {
    const double guess = std::floor((total + Slack) / mWidth);
    int b = guess < 0 ? 0 : guess >= mCount ? mCount - 1 : static_cast<int>(guess);
    // The division may round either way at a bound: settle it by comparing
    // the total with the bounds themselves.
    while (b + 1 < mCount && from(b + 1) - total <= Slack)
        ++b;
    while (b > 0 && from(b) - total > Slack)
        --b;
    return b;
}

} // namespace analysis
