#pragma once

#include "analysis/Result.h"

#include <QPointF>
#include <QString>
#include <QStringList>

class QChart;

// The charts of the analysis window, built from the figures of an analysis
// and nothing else: the score bands with the mean, the options of one
// question in the upper and the lower group, and P against D of every
// question. Each function returns a new chart that the caller owns (a
// QChartView takes it over).
namespace analysis::forms {

// The names of the series, which the window's tests look for.
inline constexpr const char* BandSeriesName = "人数";
inline constexpr const char* UpperSeriesName = "高分组";
inline constexpr const char* LowerSeriesName = "低分组";
inline constexpr const char* PlainPointsName = "题目";
inline constexpr const char* FlaggedPointsName = "有标记的题";
inline constexpr const char* SelectedPointName = "选中的题";

// A number as the reports show points: at most two decimals, no trailing zeros.
[[nodiscard]] QString PointsText(double value);
// A figure with three decimals, "-" when it is undefined.
[[nodiscard]] QString FigureText(const Figure& value);

// The band labels, lowest first: "0-2", "2-4", "4-6" for up to six bands,
// only the lower bounds "0", "10", ..., "90" for more, which would not fit.
[[nodiscard]] QStringList BandLabels(const ExamAnalysis& analysis);

// Where a total falls on the band chart's category scale, on which band i
// spans [i - 0.5, i + 0.5]: the band's centre for its midpoint.
[[nodiscard]] double BandPosition(const ExamAnalysis& analysis, double total);

// The histogram of the bands (one bar set of counts) with the mean drawn as
// a vertical line series named "平均分 ...".
[[nodiscard]] QChart* BandChart(const ExamAnalysis& analysis);

// The categories of a question's option chart: A to F, 多选, 未答, 其他 for a
// single-choice question, the letters A to F for a multiple-choice one; the
// options that earn points (the key) marked with "*".
[[nodiscard]] QStringList OptionLabels(const ItemFigures& item);

// The chart's title: the question, its key, the option mis-key names, and for
// a multiple-choice question the full, partial and no-credit counts.
[[nodiscard]] QString OptionTitle(const ItemFigures& item);

// The share (in %) of the upper and of the lower group in each category of
// OptionLabels as two bar sets, the key's bars selected (drawn darker).
[[nodiscard]] QChart* OptionChart(const ItemFigures& item);

// P (x) against D (y) of every question whose D is defined, the flagged ones
// in a series of their own, `selected` (an index into the items, -1 for
// none) in a third. The axes span 0 to 1 (D from -0.2 up) and every point,
// with room beyond the outermost points for their markers.
[[nodiscard]] QChart* ScatterChart(const ExamAnalysis& analysis, int selected);

// The question whose point lies nearest to `point`, -1 when no question has
// a point.
[[nodiscard]] int NearestItem(const ExamAnalysis& analysis, QPointF point);

} // namespace analysis::forms
