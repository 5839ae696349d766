#include "analysis/Analysis.h"

#include "analysis/Figures.h"

#include <cmath>
#include <stdexcept>

namespace analysis {
namespace {

// More questions than this could carry a fixed-point total past 64 bits.
constexpr std::size_t MostQuestions = 1024;

std::string Number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

std::vector<ItemPlan> AnalysedItems(const scoring::ExamRun& run) {
    std::vector<ItemPlan> items;
    for (const scoring::RunQuestion& q : run.questions)
        if (q.leftOut == LeftOut::No)
            items.push_back({&q, static_cast<std::size_t>(q.position - 1), ToFixed(q.points)});
    if (items.size() > MostQuestions)
        throw Error("上次评分有 " + std::to_string(items.size()) + " 道计分的题，分析最多支持 " +
                    std::to_string(MostQuestions) + " 道。");
    for (const ItemPlan& item : items)
        if (!(item.question->points <= PointsLimit))
            throw Error("上次评分的分值 " + Number(item.question->points) + " 超出范围。");
    return items;
}

} // namespace

std::optional<std::string> CheckOptions(const AnalysisOptions& options) {
    if (!(options.groupPercent > 0 && options.groupPercent <= 50))
        return "高分组、低分组的比例应大于 0 且不超过 50（%），现为 " +
               Number(options.groupPercent) + "。";
    if (!(options.bandWidth > 0) || !std::isfinite(options.bandWidth))
        return "分数段的宽度应大于 0 分，现为 " + Number(options.bandWidth) + "。";
    return std::nullopt;
}

ExamAnalysis Analyze(const scoring::ExamRun& run, SheetSource& source,
                     const AnalysisOptions& options) {
    if (const auto problem = CheckOptions(options))
        throw std::invalid_argument(*problem);
    const std::vector<ItemPlan> items = AnalysedItems(run);
    Fixed full = 0;
    for (const ItemPlan& item : items)
        full += item.max;
    const BandLayout bands(FromFixed(full), options.bandWidth);
    SheetPoints points(run, items);

    FirstWalk first = WalkFirst(source, points, bands, items.size());
    if (first.sheets == 0)
        throw Error("表中没有答卷，无法进行试卷分析。");
    WalkContext context{
        &run, &items, &bands, options, full, 0, GroupSize(first.sheets, options.groupPercent)};
    const GroupCut cut = CutGroups(first.totals, context.groupSize);
    context.median = MedianTotal(first.totals);
    std::vector<Fixed>().swap(first.totals); // the 8 bytes a sheet end here

    const SecondWalk second = WalkSecond(source, points, items, first, cut);
    return Summarize(context, first, second);
}

} // namespace analysis
