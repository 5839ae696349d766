#include "scoring/ExamRun.h"

#include "platform/text/Gbk.h"
#include "scoring/SheetScoring.h"

namespace scoring {
namespace {

LeftOut LeftOutOf(const std::string& key, float points) {
    if (key == "x")
        return LeftOut::KeyX;
    if (key == "z")
        return LeftOut::KeyZ;
    return points > 0 ? LeftOut::No : LeftOut::ZeroPoints;
}

// Stored points converted as the scoring run converts them.
double RequiredNumber(const std::string& typed, const std::string& what) {
    if (const auto v = ParsedNumber(typed))
        return *v;
    throw RunError("上次评分的" + what + " '" + typed + "' 不是数字，无法分析。");
}

} // namespace

Segments ReadSegments(const ScoringSettings& st) {
    static const char* const names[] = {"每题分数（第一段）", "每题分数（第二段）",
                                        "每题分数（第三段）", "每题分数（第四段）"};
    Segments s;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i == 0 || st.enabled[i]) {
            s.counts[i] = st.counts[i];
            const double points = ToFloat(st.points[i], names[i]);
            CheckPointsRange(points, names[i], st.points[i]);
            s.points[i] = static_cast<float>(points);
        }
    }
    return s;
}

std::vector<std::string> SplitKeys(const std::string& typed) {
    std::vector<std::string> keys;
    const std::string text = text::Trim(typed);
    if (text.empty())
        return keys;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = text.find(';', start);
        keys.push_back(
            text.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (semi == std::string::npos)
            return keys;
        start = semi + 1;
    }
}

std::vector<std::string> SplitMultiKeys(const ScoringSettings& st, int M) {
    if (M <= 0)
        return {};
    std::vector<std::string> keys = SplitKeys(st.multiKey);
    for (const std::string& key : keys)
        if (key.empty() || key.size() > 4)
            throw core::AppError("不定项标准答案输入错误");
    return keys;
}

void ListQuestions(ExamRun& run, const Segments& segments,
                   const std::vector<std::string>& multiKeys, double full) {
    run.questions.clear();
    int position = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        for (int q = 0; q < segments.counts[i]; ++q, ++position) {
            const std::string key(1, run.singleKeys[static_cast<std::size_t>(position)]);
            run.questions.push_back({QuestionKind::Single, position + 1, position + 1, key,
                                     segments.points[i], LeftOutOf(key, segments.points[i])});
        }
    }
    const auto worth = static_cast<float>(full);
    for (std::size_t j = 0; j < multiKeys.size(); ++j) {
        ++position;
        run.questions.push_back({QuestionKind::Multi, static_cast<int>(j) + 1, position,
                                 multiKeys[j], worth, LeftOutOf(multiKeys[j], worth)});
    }
    run.multiCount = static_cast<int>(multiKeys.size());
}

ExamRun AcceptedRun(ExamRun run) {
    const ScoringSettings& st = run.settings;
    Segments segments;
    for (std::size_t i = 0; i < 4; ++i) {
        segments.counts[i] = st.counts[i];
        const double points = st.counts[i] > 0 ? RequiredNumber(st.points[i], "分值")
                                               : ParsedNumber(st.points[i]).value_or(0);
        segments.points[i] = static_cast<float>(points);
    }
    const std::vector<std::string> multiKeys =
        st.multiCount > 0 ? SplitKeys(st.multiKey) : std::vector<std::string>{};
    const double full =
        multiKeys.empty() ? ParsedNumber(st.full).value_or(0) : RequiredNumber(st.full, "全对分数");
    run.singleCount = 0;
    for (int count : segments.counts) {
        if (count < 0)
            throw RunError("上次评分的分段题数有误：" + std::to_string(count));
        run.singleCount += count;
    }
    run.singleKeys = KeyCharacters(st.singleKey);
    if (run.singleKeys.size() != static_cast<std::size_t>(run.singleCount))
        throw RunError("上次评分的单选题答案有 " + std::to_string(run.singleKeys.size()) +
                       " 个，分段共 " + std::to_string(run.singleCount) + " 题，两者不一致。");
    if (!multiKeys.empty() && static_cast<int>(multiKeys.size()) != st.multiCount)
        throw RunError("上次评分的不定项选择题有 " + std::to_string(st.multiCount) +
                       " 题，答案却有 " + std::to_string(multiKeys.size()) + " 个。");
    run.multiSet = st.multiCount;
    ListQuestions(run, segments, multiKeys, full);
    return run;
}

} // namespace scoring
