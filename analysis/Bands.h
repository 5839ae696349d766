#pragma once

#include <cstdint>

// The score bands of width W: [0, W), [W, 2W), ..., the last one the first
// whose upper end reaches the full marks, full marks included.
namespace analysis {

class BandLayout {
  public:
    // Throws Error when the width makes more bands than a report can hold.
    BandLayout(double full, double width);

    [[nodiscard]] int count() const { return mCount; }
    [[nodiscard]] double from(int band) const { return band * mWidth; }
    // The next band's lower bound, the full marks for the last band.
    [[nodiscard]] double to(int band) const;

    // The band of a total. A total at most 0.000001 below a band's lower
    // bound belongs to that band (sums of float points such as 0.7 fall just
    // short of it). Totals below 0 count in the first band, totals above the
    // full marks in the last, so that every sheet is in one band.
    [[nodiscard]] int indexOf(double total) const;

  private:
    double mFull;
    double mWidth;
    int mCount = 1;
};

} // namespace analysis
