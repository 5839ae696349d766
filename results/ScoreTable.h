#pragma once

#include <span>
#include <string>
#include <vector>

namespace results {

// Score bands of a fixed width from 0: [0, W), [W, 2W), ...; the last band is
// the first whose upper end reaches the full marks, and it holds the full
// marks. A score within kTolerance below a lower bound belongs to that band;
// scores below 0 count in the first band, above the full marks in the last.
class Bands {
  public:
    Bands(double width, double fullMarks);
    [[nodiscard]] int count() const { return mCount; }
    [[nodiscard]] int indexOf(double score) const;
    [[nodiscard]] double from(int band) const { return band * mWidth; }
    // The next band's lower bound; the full marks for the last band.
    [[nodiscard]] double to(int band) const;
    // "[80, 90)", the last "[90, 100]".
    [[nodiscard]] std::string label(int band) const;

  private:
    double mWidth;
    double mFull;
    int mCount;
};

// Score limits in points, from the fractions of the full marks.
struct Thresholds {
    double pass = 0;
    double excellent = 0;
    double low = 0;
};

// What the comparison shows of a group of sheets.
struct Figures {
    long long count = 0;
    double mean = 0;
    double sd = 0; // divisor n
    double max = 0;
    double min = 0;
    double median = 0;
    double passRate = 0;      // score >= pass (within kTolerance)
    double excellentRate = 0; // score >= excellent (within kTolerance)
    double lowRate = 0;       // score < low (by more than kTolerance)
};

// The scores of every sheet, kept sorted for ranks and medians: once by
// group (class by class, then the sheets without a class) and once for the
// whole grade, 16 bytes a sheet. Filled by add(), then finish() sorts.
class ScoreTable {
  public:
    explicit ScoreTable(int classes);

    // `classIndex` -1 (or outside the classes) for a sheet without a class.
    void add(double score, int classIndex);
    void finish();

    // Competition ranks: 1 + the number of scores above this one by more
    // than kTolerance; equal scores share a rank and the next one skips.
    [[nodiscard]] long long gradeRank(double score) const;
    [[nodiscard]] long long classRank(double score, int classIndex) const;

    // Groups: 0 .. classes-1 the classes, classes() the sheets without one.
    [[nodiscard]] int classes() const { return mClasses; }
    [[nodiscard]] int group(int classIndex) const;
    [[nodiscard]] std::span<const double> groupScores(int group) const; // highest first
    [[nodiscard]] std::span<const double> gradeScores() const { return mGrade; }

  private:
    int mClasses;
    std::vector<std::vector<double>> mGroups;
    std::vector<double> mGrade;
};

// The figures of scores sorted highest first.
[[nodiscard]] Figures FiguresOf(std::span<const double> sorted, const Thresholds& limits);

// Sheets per band, lowest band first, of scores in any order.
[[nodiscard]] std::vector<long long> BandCounts(std::span<const double> scores, const Bands& bands);

} // namespace results
