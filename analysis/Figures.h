#pragma once

#include "analysis/Analysis.h"
#include "analysis/Bands.h"
#include "analysis/Passes.h"

// The figures of an analysis from what the two walks summed. Internal to
// the analysis.
namespace analysis {

// What the summary needs besides the walks.
struct WalkContext {
    const scoring::ExamRun* run = nullptr;
    const std::vector<ItemPlan>* items = nullptr;
    const BandLayout* bands = nullptr;
    AnalysisOptions options;
    Fixed full = 0;
    double median = 0;
    std::int64_t groupSize = 0;
};

[[nodiscard]] ExamAnalysis Summarize(const WalkContext& context, const FirstWalk& first,
                                     const SecondWalk& second);

} // namespace analysis
