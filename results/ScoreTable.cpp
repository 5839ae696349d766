#include "results/ScoreTable.h"

#include "results/Results.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace results {

Bands::Bands(double width, double fullMarks) : mWidth(width), mFull(fullMarks) {
    const double bands = std::ceil((fullMarks - kTolerance) / width);
    mCount = std::max(1, static_cast<int>(bands));
}

int Bands::indexOf(double score) const {
    const double at = std::floor((score + kTolerance) / mWidth);
    if (at < 0)
        return 0;
    return at >= mCount ? mCount - 1 : static_cast<int>(at);
}

double Bands::to(int band) const {
    return band == mCount - 1 ? std::max(mFull, from(band)) : from(band + 1);
}

std::string Bands::label(int band) const {
    char buf[80];
    std::snprintf(buf, sizeof buf, band == mCount - 1 ? "[%g, %g]" : "[%g, %g)", from(band),
                  to(band));
    return buf;
}

ScoreTable::ScoreTable(int classes)
    : mClasses(classes), mGroups(static_cast<std::size_t>(classes) + 1) {}

int ScoreTable::group(int classIndex) const {
    return classIndex >= 0 && classIndex < mClasses ? classIndex : mClasses;
}

void ScoreTable::add(double score, int classIndex) {
    mGroups[static_cast<std::size_t>(group(classIndex))].push_back(score);
}

void ScoreTable::finish() {
    std::size_t total = 0;
    for (auto& g : mGroups) {
        g.shrink_to_fit();
        std::sort(g.begin(), g.end(), std::greater<>());
        total += g.size();
    }
    mGrade.clear();
    mGrade.reserve(total);
    for (const auto& g : mGroups)
        mGrade.insert(mGrade.end(), g.begin(), g.end());
    std::sort(mGrade.begin(), mGrade.end(), std::greater<>());
}

namespace {

long long RankIn(std::span<const double> sorted, double score) {
    const auto above = std::partition_point(sorted.begin(), sorted.end(),
                                            [&](double x) { return x > score + kTolerance; });
    return static_cast<long long>(above - sorted.begin()) + 1;
}

} // namespace

long long ScoreTable::gradeRank(double score) const {
    return RankIn(mGrade, score);
}

long long ScoreTable::classRank(double score, int classIndex) const {
    return RankIn(groupScores(group(classIndex)), score);
}

std::span<const double> ScoreTable::groupScores(int g) const {
    return mGroups[static_cast<std::size_t>(g)];
}

Figures FiguresOf(std::span<const double> sorted, const Thresholds& limits) {
    Figures f;
    f.count = static_cast<long long>(sorted.size());
    if (sorted.empty())
        return f;
    const auto n = static_cast<long double>(sorted.size());
    long double sum = 0;
    long long pass = 0, excellent = 0, low = 0;
    for (double s : sorted) {
        sum += s;
        pass += s >= limits.pass - kTolerance;
        excellent += s >= limits.excellent - kTolerance;
        low += s < limits.low - kTolerance;
    }
    const long double mean = sum / n;
    long double squares = 0;
    for (double s : sorted)
        squares += (s - mean) * (s - mean);
    f.mean = static_cast<double>(mean);
    f.sd = static_cast<double>(std::sqrt(squares / n));
    f.max = sorted.front();
    f.min = sorted.back();
    const std::size_t half = sorted.size() / 2;
    f.median = sorted.size() % 2 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2;
    f.passRate = static_cast<double>(pass / n);
    f.excellentRate = static_cast<double>(excellent / n);
    f.lowRate = static_cast<double>(low / n);
    return f;
}

std::vector<long long> BandCounts(std::span<const double> scores, const Bands& bands) {
    std::vector<long long> counts(static_cast<std::size_t>(bands.count()), 0);
    for (double s : scores)
        ++counts[static_cast<std::size_t>(bands.indexOf(s))];
    return counts;
}

} // namespace results
