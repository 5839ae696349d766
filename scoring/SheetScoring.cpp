#include "scoring/SheetScoring.h"

#include "core/AppError.h"
#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"
#include "scoring/MarkCodes.h"
#include "scoring/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace scoring {
namespace {

constexpr double kMostPoints = 1000;

std::string ColumnList(const std::string& content, const std::string& id,
                       const std::vector<std::string>& extra) {
    std::string list = db::jet::QuoteName(content) + ", " + db::jet::QuoteName(id);
    for (const std::string& column : extra)
        list += ", " + db::jet::QuoteName(column);
    return list;
}

} // namespace

std::optional<double> ParsedNumber(const std::string& text) {
    std::string t = text::Trim(text);
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return v;
}

double ToFloat(const std::string& text, const std::string& field) {
    if (auto v = ParsedNumber(text))
        return *v;
    throw core::AppError(field + "不是数字：'" + text + "'");
}

void CheckPointsRange(double value, const std::string& field, const std::string& text) {
    if (!(value >= 0 && value <= kMostPoints))
        throw core::AppError(field + "必须是 0 到 1000 之间的数：'" + text + "'");
}

void ReadSegments(const ScoringSettings& st, RunPlan& plan) {
    static const char* const names[] = {"每题分数（第一段）", "每题分数（第二段）",
                                        "每题分数（第三段）", "每题分数（第四段）"};
    for (std::size_t i = 0; i < 4; ++i) {
        if (i == 0 || st.enabled[i]) {
            plan.counts[i] = st.counts[i];
            const double points = ToFloat(st.points[i], names[i]);
            CheckPointsRange(points, names[i], st.points[i]);
            plan.points[i] = static_cast<float>(points);
        }
    }
    plan.S = plan.counts[0] + plan.counts[1] + plan.counts[2] + plan.counts[3];
    plan.M = st.multiCount;
}

std::vector<std::string> SplitMultiKeys(const ScoringSettings& st, int M) {
    std::vector<std::string> keys;
    const std::string multi = text::Trim(st.multiKey);
    if (M <= 0 || multi.empty())
        return keys;
    std::size_t start = 0;
    for (;;) {
        std::size_t semi = multi.find(';', start);
        std::string piece =
            multi.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        if (piece.empty() || piece.size() > 4)
            throw core::AppError("不定项标准答案输入错误");
        keys.push_back(piece);
        if (semi == std::string::npos)
            return keys;
        start = semi + 1;
    }
}

RunPlan PlanOfAccepted(const ScoringSettings& st) {
    RunPlan plan;
    ReadSegments(st, plan);
    plan.K = KeyCharacters(st.singleKey);
    if (plan.K.size() != static_cast<std::size_t>(plan.S))
        throw core::AppError("上次评分的单选题答案有 " + std::to_string(plan.K.size()) +
                             " 个，分段共 " + std::to_string(plan.S) + " 题，两者不一致。");
    plan.keys = SplitMultiKeys(st, plan.M);
    plan.N = static_cast<int>(plan.keys.size());
    return plan;
}

DecisionTables::DecisionTables(const RunPlan& plan, const core::FieldSettings& f)
    : singleEarns(static_cast<std::size_t>(plan.S + 1)),
      multiCredit(static_cast<std::size_t>(plan.N + 1)) {
    const auto& c = plan.counts;
    const auto& p = plan.points;
    for (int k = 1; k <= plan.S; ++k) {
        const float worth = k <= c[0]                 ? p[0]
                            : k <= c[0] + c[1]        ? p[1]
                            : k <= c[0] + c[1] + c[2] ? p[2]
                                                      : p[3];
        for (int b = 0; b < 256; ++b)
            singleEarns[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] =
                SingleRight(static_cast<char>(b), plan.K[static_cast<std::size_t>(k - 1)],
                            KeyMatchOf(f.FullMatch))
                    ? worth
                    : 0.0f;
    }
    for (int b = 0; b < 256; ++b) {
        singleLetter[static_cast<std::size_t>(b)] = SingleMarkLetter(static_cast<char>(b));
        optionBits[static_cast<std::size_t>(b)] =
            static_cast<unsigned char>(OptionBits(static_cast<char>(b)));
        const std::string letters = MarkToLetters(static_cast<char>(b));
        for (int j = 1; j <= plan.N; ++j)
            multiCredit[static_cast<std::size_t>(j)][static_cast<std::size_t>(b)] = MultiCredit(
                letters, plan.keys[static_cast<std::size_t>(j - 1)], TwoLetterKeysOf(f.YuwenM));
    }
}

db::Value ScoreValue(const db::Field& score, double total) {
    if (score.kind == db::FieldKind::Integer)
        return static_cast<std::int64_t>(std::trunc(total));
    if (score.kind == db::FieldKind::Float)
        return score.single ? static_cast<double>(static_cast<float>(RoundTo(total, 1)))
                            : RoundTo(total, 1);
    throw core::AppError("分数字段数据类型错误，不能写入分数。");
}

RunStatistics EmptyStatistics(const RunPlan& plan, int records) {
    RunStatistics stats;
    stats.S = plan.S;
    stats.M = plan.M;
    stats.key = plan.K;
    const int multi = std::max(plan.M, plan.N);
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(static_cast<std::size_t>(plan.S + multi + 1), 0);
    stats.fullCount.assign(static_cast<std::size_t>(multi + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(multi + 1), 0.0);
    stats.records = records;
    return stats;
}

SheetScorer::SheetScorer(const RunPlan& plan, const core::FieldSettings& f,
                         const ScoringSettings& st, RunStatistics& stats)
    : mPlan(plan), mTables(plan, f), mFull(st.full, "全对分数"), mPartial(st.partial, "少选分数"),
      mStats(stats), mPoints(static_cast<std::size_t>(plan.S + plan.N + 1), 0.0) {}

double SheetScorer::score(std::string_view content, bool hasMulti) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    double total = 0;
    for (int k = 1; k <= mPlan.S; ++k)
        total += single(k, bytes[k - 1]);
    if (hasMulti)
        for (int j = 1; j <= mPlan.N; ++j)
            total += multi(j, bytes[mPlan.S + j - 1]);
    mStats.runTotal += total;
    return total;
}

double SheetScorer::single(int k, unsigned char code) {
    const auto i = static_cast<std::size_t>(k);
    const float earned = mTables.singleEarns[i][code];
    mPoints[i] = static_cast<double>(earned);
    switch (mTables.singleLetter[code]) {
    case 'A':
        ++mStats.countA[i];
        break;
    case 'B':
        ++mStats.countB[i];
        break;
    case 'C':
        ++mStats.countC[i];
        break;
    case 'D':
        ++mStats.countD[i];
        break;
    default:
        break;
    }
    return static_cast<double>(earned);
}

double SheetScorer::multi(int j, unsigned char code) {
    double earned = 0;
    switch (mTables.multiCredit[static_cast<std::size_t>(j)][code]) {
    case Credit::Full:
        earned = mFull.get();
        ++mStats.fullCount[static_cast<std::size_t>(j)];
        break;
    case Credit::Partial:
        earned = mPartial.get();
        break;
    case Credit::None:
        break;
    }
    mStats.pointSum[static_cast<std::size_t>(j)] += earned;
    const auto i = static_cast<std::size_t>(mPlan.S + j);
    mPoints[i] = earned;
    const unsigned options = mTables.optionBits[code];
    mStats.countA[i] += options & 1;
    mStats.countB[i] += (options >> 1) & 1;
    mStats.countC[i] += (options >> 2) & 1;
    mStats.countD[i] += (options >> 3) & 1;
    return earned;
}

SheetReader::SheetReader(const db::Query& view, db::Connection& c, const std::string& content,
                         const std::string& id, const std::vector<std::string>& extra)
    : mView(view), mRead(c, ColumnList(content, id, extra), db::jet::QuoteName(view.baseTable()),
                         "rowid", kBatch) {}

void SheetReader::fetch(int row) {
    const int count = std::min(kBatch, mView.recordCount() - row);
    mRowids.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        mRowids[static_cast<std::size_t>(i)] = mView.rowidAt(row + i);
    mFirst = -1;
    mRead.read(mRowids.data(), count, mRows);
    mTexts.resize(mRows.size());
    for (std::size_t i = 0; i < mRows.size(); ++i)
        mTexts[i] = {db::Query::ToText(mRows[i][0]), db::Query::ToText(mRows[i][1])};
    mFirst = row;
}

} // namespace scoring
