#include "analysis/Passes.h"

#include "platform/text/Gbk.h"
#include "scoring/Global.h"

#include <cmath>
#include <limits>

namespace analysis {
namespace {

const std::array<Category, 256>& CategoryTable() {
    static const auto table = [] {
        std::array<Category, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char code = static_cast<char>(b);
            const char letter = scoring::SingleMarkLetter(code);
            if (letter)
                t[static_cast<std::size_t>(b)] = static_cast<Category>(letter - 'A');
            else if (code == '0' || code == ' ')
                t[static_cast<std::size_t>(b)] = Category::Blank;
            else if (b >= 48 && b <= 111)
                t[static_cast<std::size_t>(b)] = Category::Multi; // two or more options
            else
                t[static_cast<std::size_t>(b)] = Category::Other;
        }
        return t;
    }();
    return table;
}

// The option bitmask of a mark code, 0 for a blank or a byte outside the codes.
unsigned MarkMask(unsigned char code) { return code >= 48 && code <= 111 ? code - 48u : 0u; }

std::string NumberText(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

} // namespace

Category CategoryOf(unsigned char code) { return CategoryTable()[code]; }

SheetPoints::SheetPoints(const QuestionPlan& plan, const std::vector<ItemPlan>& items)
    : mItems(items), mSingle(static_cast<std::size_t>(plan.singleCount)),
      mColumns(static_cast<std::size_t>(plan.columnCount())), mX(items.size(), 0) {}

void SheetPoints::fail(const Sheet& sheet, const std::string& problem) const {
    std::string who = "第 " + std::to_string(sheet.record) + " 条记录";
    who += sheet.examNumber ? "（考号 " + text::Trim(*sheet.examNumber) + "）" : "（没有考号）";
    throw Error(who + problem + "。表已不符合上次评分的设置，分析没有进行。");
}

Fixed SheetPoints::read(const Sheet& sheet) {
    if (sheet.points.size() < mColumns)
        fail(sheet, "只有 " + std::to_string(sheet.points.size()) + " 个分数字段，上次评分写了 f1 到 f" +
                        std::to_string(mColumns));
    // A content that stops at the single-choice part earned nothing on the
    // multiple-choice questions, whatever their columns still hold.
    const bool hasMulti = sheet.content.size() > mSingle;
    const std::size_t needed = hasMulti ? mColumns : mSingle;
    if (sheet.content.size() < needed)
        fail(sheet, "的客观题只有 " + std::to_string(sheet.content.size()) +
                        " 个字符，上次评分的题目需要 " + std::to_string(needed) + " 个");
    Fixed total = 0;
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        const std::size_t column = mItems[i].column;
        Fixed x = 0;
        if (column < mSingle || hasMulti) {
            if (const std::optional<float>& stored = sheet.points[column]) {
                if (!(std::fabs(*stored) <= PointsLimit))
                    fail(sheet, "的 f" + std::to_string(column + 1) + " 存有 " + NumberText(*stored) +
                                    " 分，不是评分能写出的分数");
                x = ToFixed(*stored);
            }
        }
        mX[i] = x;
        total += x;
    }
    return total;
}

FirstWalk WalkFirst(SheetSource& source, SheetPoints& points, const BandLayout& bands,
                    std::size_t items) {
    FirstWalk w;
    w.itemSums.assign(items, 0);
    w.bandCounts.assign(static_cast<std::size_t>(bands.count()), 0);
    w.minTotal = std::numeric_limits<Fixed>::max();
    w.maxTotal = std::numeric_limits<Fixed>::min();
    if (source.sizeHint() > 0)
        w.totals.reserve(static_cast<std::size_t>(source.sizeHint()));
    source.forEach([&](const Sheet& sheet) {
        const Fixed total = points.read(sheet);
        const std::vector<Fixed>& x = points.x();
        for (std::size_t i = 0; i < items; ++i)
            w.itemSums[i] += x[i];
        w.totals.push_back(total);
        w.totalSum += total;
        w.minTotal = std::min(w.minTotal, total);
        w.maxTotal = std::max(w.maxTotal, total);
        ++w.bandCounts[static_cast<std::size_t>(bands.indexOf(FromFixed(total)))];
        ++w.sheets;
    });
    return w;
}

namespace {

// Adds one sheet's mark of a question to its counts.
void CountMark(const ItemPlan& item, const Sheet& sheet, Fixed x, Fixed total,
               GroupWalk::Place place, OptionCounts& options, MarkCounts& marks) {
    const bool present = item.column < sheet.content.size();
    const auto code = present ? static_cast<unsigned char>(sheet.content[item.column]) : '0';
    if (item.question->type == QuestionType::Single) {
        const auto c = static_cast<std::size_t>(CategoryOf(code));
        ++options.count[c];
        options.upper[c] += place.upper;
        options.lower[c] += place.lower;
        options.totalSum[c] += total;
        return;
    }
    const unsigned mask = MarkMask(code);
    ++marks.count[mask];
    marks.upper[mask] += place.upper;
    marks.lower[mask] += place.lower;
    if (x >= item.max)
        ++marks.full;
    else if (x > 0)
        ++marks.partial;
    else
        ++marks.none;
}

} // namespace

SecondWalk WalkSecond(SheetSource& source, SheetPoints& points, const std::vector<ItemPlan>& items,
                      const FirstWalk& first, const GroupCut& cut) {
    SecondWalk w;
    const std::size_t k = items.size();
    ItemSums fresh;
    fresh.xMin = fresh.restMin = std::numeric_limits<Fixed>::max();
    fresh.xMax = fresh.restMax = std::numeric_limits<Fixed>::min();
    w.items.assign(k, fresh);
    w.options.resize(k);
    w.marks.resize(k);
    const double meanTotal = Quotient(first.totalSum, first.sheets) / FixedOne;
    std::vector<double> meanX(k);
    for (std::size_t i = 0; i < k; ++i)
        meanX[i] = Quotient(first.itemSums[i], first.sheets) / FixedOne;
    GroupWalk groups(cut);
    source.forEach([&](const Sheet& sheet) {
        const Fixed total = points.read(sheet);
        const GroupWalk::Place place = groups.next(total);
        const double dt = FromFixed(total) - meanTotal;
        w.tt += dt * dt;
        w.totalSum += total;
        ++w.sheets;
        const std::vector<Fixed>& x = points.x();
        for (std::size_t i = 0; i < k; ++i) {
            ItemSums& s = w.items[i];
            const double dx = FromFixed(x[i]) - meanX[i];
            const double dr = dt - dx;
            s.xx += dx * dx;
            s.xt += dx * dt;
            s.rr += dr * dr;
            s.xr += dx * dr;
            const Fixed rest = total - x[i];
            s.xMin = std::min(s.xMin, x[i]);
            s.xMax = std::max(s.xMax, x[i]);
            s.restMin = std::min(s.restMin, rest);
            s.restMax = std::max(s.restMax, rest);
            if (place.upper)
                s.upperSum += x[i];
            if (place.lower)
                s.lowerSum += x[i];
            CountMark(items[i], sheet, x[i], total, place, w.options[i], w.marks[i]);
        }
    });
    if (w.sheets != first.sheets || w.totalSum != first.totalSum)
        throw Error("分析过程中表的内容发生了变化（第一遍 " + std::to_string(first.sheets) +
                    " 份答卷，第二遍 " + std::to_string(w.sheets) + " 份）。请重新分析。");
    return w;
}

} // namespace analysis
