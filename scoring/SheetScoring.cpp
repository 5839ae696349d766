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

std::size_t MarksNeeded(const ExamRun& run, std::size_t length) {
    const auto single = static_cast<std::size_t>(run.singleCount);
    return length > single ? static_cast<std::size_t>(run.columnCount()) : single;
}

std::string ShortContentText(std::size_t length, std::size_t needed, const std::string& whose) {
    return "的客观题只有 " + std::to_string(length) + " 个字符，" + whose + "题目需要 " +
           std::to_string(needed) + " 个";
}

DecisionTables::DecisionTables(const ExamRun& run, const core::FieldSettings& f)
    : singleEarns(static_cast<std::size_t>(run.singleCount + 1)),
      multiCredit(static_cast<std::size_t>(run.multiCount + 1)) {
    for (const RunQuestion& q : run.questions) {
        if (q.kind != QuestionKind::Single)
            continue;
        for (int b = 0; b < 256; ++b)
            singleEarns[static_cast<std::size_t>(q.number)][static_cast<std::size_t>(b)] =
                SingleRight(static_cast<char>(b), q.key[0], KeyMatchOf(f.FullMatch)) ? q.points
                                                                                     : 0.0f;
    }
    for (int b = 0; b < 256; ++b) {
        singleLetter[static_cast<std::size_t>(b)] = SingleMarkLetter(static_cast<char>(b));
        optionBits[static_cast<std::size_t>(b)] =
            static_cast<unsigned char>(OptionBits(static_cast<char>(b)));
        const std::string letters = MarkToLetters(static_cast<char>(b));
        for (const RunQuestion& q : run.questions)
            if (q.kind == QuestionKind::Multi)
                multiCredit[static_cast<std::size_t>(q.number)][static_cast<std::size_t>(b)] =
                    MultiCredit(letters, q.key, TwoLetterKeysOf(f.YuwenM));
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

RunStatistics EmptyStatistics(const ExamRun& run, int records) {
    RunStatistics stats;
    stats.S = run.singleCount;
    stats.M = run.multiSet;
    stats.key = run.singleKeys;
    const int multi = std::max(run.multiSet, run.multiCount);
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(static_cast<std::size_t>(run.singleCount + multi + 1), 0);
    stats.fullCount.assign(static_cast<std::size_t>(multi + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(multi + 1), 0.0);
    stats.records = records;
    return stats;
}

SheetScorer::SheetScorer(const ExamRun& run, const core::FieldSettings& f, RunStatistics& stats)
    : mRun(run), mTables(run, f), mFull(run.settings.full, "全对分数"),
      mPartial(run.settings.partial, "少选分数"), mStats(stats),
      mPoints(static_cast<std::size_t>(run.columnCount() + 1), 0.0) {}

double SheetScorer::score(std::string_view content, bool hasMulti) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    double total = 0;
    const int S = mRun.singleCount;
    for (int k = 1; k <= S; ++k)
        total += single(k, bytes[k - 1]);
    if (hasMulti)
        for (int j = 1; j <= mRun.multiCount; ++j)
            total += multi(j, bytes[S + j - 1]);
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
    const auto i = static_cast<std::size_t>(mRun.singleCount + j);
    mPoints[i] = earned;
    const unsigned options = mTables.optionBits[code];
    mStats.countA[i] += options & 1;
    mStats.countB[i] += (options >> 1) & 1;
    mStats.countC[i] += (options >> 2) & 1;
    mStats.countD[i] += (options >> 3) & 1;
    return earned;
}

TableSheets::RowidFeed WalkedRowids(db::Query& view) {
    return [&view, started = false](std::span<std::int64_t> rowids) mutable {
        if (!started)
            view.first();
        started = true;
        std::size_t count = 0;
        for (; count < rowids.size() && !view.eof(); view.next())
            rowids[count++] = view.rowid();
        return count;
    };
}

} // namespace scoring
