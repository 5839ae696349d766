#include "analysis/Run.h"

#include "platform/text/Gbk.h"
#include "scoring/ScoreCommand.h"

namespace analysis {
namespace {

std::vector<std::string> MultiKeys(const RunDescription& run) {
    std::vector<std::string> keys;
    const std::string typed = text::Trim(run.multiKey);
    if (run.multiCount <= 0 || typed.empty())
        return keys;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = typed.find(';', start);
        keys.push_back(
            typed.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    return keys;
}

LeftOut SingleLeftOut(char key, float points) {
    if (key == 'x')
        return LeftOut::KeyX;
    if (key == 'z')
        return LeftOut::KeyZ;
    return points > 0 ? LeftOut::No : LeftOut::ZeroPoints;
}

LeftOut MultiLeftOut(const std::string& key, float points) {
    if (key == "x")
        return LeftOut::KeyX;
    if (key == "z")
        return LeftOut::KeyZ;
    return points > 0 ? LeftOut::No : LeftOut::ZeroPoints;
}

} // namespace

QuestionPlan PlanQuestions(const RunDescription& run) {
    QuestionPlan plan;
    for (const Segment& s : run.segments) {
        if (s.count < 0)
            throw Error("上次评分的分段题数有误：" + std::to_string(s.count));
        plan.singleCount += s.count;
    }
    const std::string key = scoring::KeyCharacters(run.singleKey);
    if (key.size() != static_cast<std::size_t>(plan.singleCount))
        throw Error("上次评分的单选题答案有 " + std::to_string(key.size()) + " 个，分段共 " +
                    std::to_string(plan.singleCount) + " 题，两者不一致。");
    int position = 0;
    for (const Segment& s : run.segments) {
        for (int i = 0; i < s.count; ++i, ++position) {
            const char k = key[static_cast<std::size_t>(position)];
            plan.questions.push_back({QuestionType::Single, position + 1, position + 1,
                                      std::string(1, k), s.points, SingleLeftOut(k, s.points)});
        }
    }
    const std::vector<std::string> keys = MultiKeys(run);
    if (!keys.empty() && static_cast<int>(keys.size()) != run.multiCount)
        throw Error("上次评分的不定项选择题有 " + std::to_string(run.multiCount) +
                    " 题，答案却有 " + std::to_string(keys.size()) + " 个。");
    const auto full = static_cast<float>(run.full);
    for (std::size_t j = 0; j < keys.size(); ++j) {
        ++position;
        plan.questions.push_back({QuestionType::Multi, static_cast<int>(j) + 1, position, keys[j],
                                  full, MultiLeftOut(keys[j], full)});
    }
    plan.multiCount = static_cast<int>(keys.size());
    return plan;
}

} // namespace analysis
