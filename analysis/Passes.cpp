#include "analysis/Passes.h"

#include "platform/text/Gbk.h"
#include "scoring/MarkCodes.h"
#include "scoring/NumberText.h"
#include "scoring/SheetScoring.h"

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
unsigned MarkMask(unsigned char code) {
    return code >= 48 && code <= 111 ? code - 48u : 0u;
}

std::string NumberText(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

} // namespace

Category CategoryOf(unsigned char code) {
    return CategoryTable()[code];
}

SheetPoints::SheetPoints(const scoring::ExamRun& run, const std::vector<ItemPlan>& items)
    : mItems(items), mSingle(static_cast<std::size_t>(run.singleCount)),
      mColumns(static_cast<std::size_t>(run.columnCount())), mX(items.size(), 0) {
    while (mSingleItems < items.size() && items[mSingleItems].column < mSingle)
        ++mSingleItems;
}

void SheetPoints::fail(const Sheet& sheet, const std::string& problem) const {
    std::string who = "第 " + std::to_string(sheet.record) + " 条记录";
    who += sheet.examNumber ? "（考号 " + text::Trim(*sheet.examNumber) + "）" : "（没有考号）";
    throw Error(who + problem + "。表已不符合上次评分的设置，分析没有进行。");
}

Fixed SheetPoints::read(const Sheet& sheet) {
    if (sheet.points.size() < mColumns)
        fail(sheet, "只有 " + std::to_string(sheet.points.size()) +
                        " 个分数字段，上次评分写了 f1 到 f" + std::to_string(mColumns));
    // A content that stops at the single-choice part earned nothing on the
    // multiple-choice questions, whatever their columns still hold.
    const bool hasMulti = sheet.content.size() > mSingle;
    const std::size_t needed = hasMulti ? mColumns : mSingle;
    if (sheet.content.size() < needed)
        fail(sheet, scoring::ShortContentText(sheet.content.size(), needed, "上次评分的"));
    const std::size_t reach = hasMulti ? mItems.size() : mSingleItems;
    const std::optional<float>* stored = sheet.points.data();
    Fixed total = 0;
    bool outOfRange = false;
    for (std::size_t i = 0; i < reach; ++i) {
        const std::optional<float>& v = stored[mItems[i].column];
        const float points = v ? *v : 0.0f;
        const bool fine = std::fabs(points) <= PointsLimit; // false for NaN too
        outOfRange |= !fine;
        const Fixed x = ToFixed(fine ? points : 0.0f);
        mX[i] = x;
        total += x;
    }
    for (std::size_t i = reach; i < mItems.size(); ++i)
        mX[i] = 0;
    if (outOfRange)
        failOutOfRange(sheet, reach);
    return total;
}

void SheetPoints::failOutOfRange(const Sheet& sheet, std::size_t reach) const {
    for (std::size_t i = 0; i < reach; ++i) {
        const std::size_t column = mItems[i].column;
        const std::optional<float>& v = sheet.points[column];
        if (v && !(std::fabs(*v) <= PointsLimit))
            fail(sheet, "的 f" + std::to_string(column + 1) + " 存有 " + NumberText(*v) +
                            " 分，不是评分能写出的分数");
    }
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
    source.forEachInAnyOrder([&](const Sheet& sheet) {
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

// The second walk's sums for one sheet at a time. The analysed questions
// come in content order, so the single-choice ones are the first mSingles.
class SecondWalker {
  public:
    SecondWalker(const std::vector<ItemPlan>& items, const FirstWalk& first, SecondWalk& w)
        : mItems(items), mWalk(w), mCategories(CategoryTable()) {
        ItemSums fresh;
        fresh.xMin = fresh.restMin = std::numeric_limits<Fixed>::max();
        fresh.xMax = fresh.restMax = std::numeric_limits<Fixed>::min();
        w.items.assign(items.size(), fresh);
        w.options.resize(items.size());
        w.marks.resize(items.size());
        mMeanTotal = Quotient(first.totalSum, first.sheets) / FixedOne;
        for (const Wide& sum : first.itemSums)
            mMeanX.push_back(Quotient(sum, first.sheets) / FixedOne);
        while (mSingles < items.size() && items[mSingles].question->kind == QuestionType::Single)
            ++mSingles;
    }

    // Everything of one sheet: what any walk can count, and what its groups add.
    void add(const Sheet& sheet, Fixed total, const Fixed* x, GroupWalk::Place place) {
        addUngrouped(sheet, total, x);
        addGroups(sheet, x, place);
    }

    void addUngrouped(const Sheet& sheet, Fixed total, const Fixed* x) {
        const double dt = FromFixed(total) - mMeanTotal;
        mWalk.tt += dt * dt;
        mWalk.totalSum += total;
        ++mWalk.sheets;
        addMoments(total, dt, x);
        addOptions(sheet, total);
        addMarks(sheet, x);
    }

    // What a sheet adds to the upper and the lower group it belongs to.
    void addGroups(const Sheet& sheet, const Fixed* x, GroupWalk::Place place) {
        if (!place.upper && !place.lower)
            return;
        for (std::size_t i = 0; i < mSingles; ++i) {
            OptionCounts& o = mWalk.options[i];
            const auto c = static_cast<std::size_t>(mCategories[codeAt(sheet, mItems[i].column)]);
            o.upper[c] += place.upper;
            o.lower[c] += place.lower;
        }
        for (std::size_t i = mSingles; i < mItems.size(); ++i) {
            MarkCounts& m = mWalk.marks[i];
            const unsigned mask = MarkMask(codeAt(sheet, mItems[i].column));
            m.upper[mask] += place.upper;
            m.lower[mask] += place.lower;
        }
        if (place.upper)
            for (std::size_t i = 0; i < mItems.size(); ++i)
                mWalk.items[i].upperSum += x[i];
        if (place.lower)
            for (std::size_t i = 0; i < mItems.size(); ++i)
                mWalk.items[i].lowerSum += x[i];
    }

  private:
    void addMoments(Fixed total, double dt, const Fixed* x) {
        for (std::size_t i = 0; i < mItems.size(); ++i) {
            ItemSums& s = mWalk.items[i];
            const double dx = FromFixed(x[i]) - mMeanX[i];
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
        }
    }

    // A content that stops at the single-choice part has no marks after it.
    [[nodiscard]] static unsigned char codeAt(const Sheet& sheet, std::size_t column) {
        return column < sheet.content.size() ? static_cast<unsigned char>(sheet.content[column])
                                             : '0';
    }

    void addOptions(const Sheet& sheet, Fixed total) {
        for (std::size_t i = 0; i < mSingles; ++i) {
            OptionCounts& o = mWalk.options[i];
            const auto c = static_cast<std::size_t>(mCategories[codeAt(sheet, mItems[i].column)]);
            ++o.count[c];
            o.totalSum[c] += total;
        }
    }

    void addMarks(const Sheet& sheet, const Fixed* x) {
        for (std::size_t i = mSingles; i < mItems.size(); ++i) {
            MarkCounts& m = mWalk.marks[i];
            const unsigned mask = MarkMask(codeAt(sheet, mItems[i].column));
            ++m.count[mask];
            if (x[i] >= mItems[i].max)
                ++m.full;
            else if (x[i] > 0)
                ++m.partial;
            else
                ++m.none;
        }
    }

    const std::vector<ItemPlan>& mItems;
    SecondWalk& mWalk;
    const std::array<Category, 256>& mCategories;
    double mMeanTotal = 0;
    std::vector<double> mMeanX;
    std::size_t mSingles = 0;
};

} // namespace

namespace {

[[noreturn]] void FailChanged(std::int64_t first, std::int64_t second) {
    throw Error("分析过程中表的内容发生了变化（第一遍 " + std::to_string(first) +
                " 份答卷，第二遍 " + std::to_string(second) + " 份）。请重新分析。");
}

// The second walk in exam-number order: each sheet's groups follow from its
// total and the equal totals before it.
void WalkInExamOrder(SheetSource& source, SheetPoints& points, SecondWalker& walker,
                     const GroupCut& cut) {
    GroupWalk groups(cut);
    source.forEach([&](const Sheet& sheet) {
        const Fixed total = points.read(sheet);
        walker.add(sheet, total, points.x().data(), groups.next(total));
    });
}

// The second walk in any order: a total above or below the cut values
// decides its groups at once; the sheets at a cut value add their groups
// afterwards, read again in exam-number order, where they take their turns.
void WalkInAnyOrder(SheetSource& source, SheetPoints& points, SecondWalker& walker,
                    const GroupCut& cut) {
    const bool groups = cut.size > 0;
    std::vector<std::int64_t> atCut;
    source.forEachInAnyOrder([&](const Sheet& sheet) {
        const Fixed total = points.read(sheet);
        GroupWalk::Place place;
        if (groups && (total == cut.upperValue || total == cut.lowerValue)) {
            atCut.push_back(sheet.record);
        } else if (groups) {
            place.upper = total > cut.upperValue;
            place.lower = total < cut.lowerValue;
        }
        walker.add(sheet, total, points.x().data(), place);
    });
    GroupWalk turns(cut);
    std::int64_t seen = 0;
    source.forEachRecord(atCut, [&](const Sheet& sheet) {
        const Fixed total = points.read(sheet);
        if (total != cut.upperValue && total != cut.lowerValue)
            FailChanged(static_cast<std::int64_t>(atCut.size()), seen);
        ++seen;
        walker.addGroups(sheet, points.x().data(), turns.next(total));
    });
    if (seen != static_cast<std::int64_t>(atCut.size()))
        FailChanged(static_cast<std::int64_t>(atCut.size()), seen);
}

} // namespace

SecondWalk WalkSecond(SheetSource& source, SheetPoints& points, const std::vector<ItemPlan>& items,
                      const FirstWalk& first, const GroupCut& cut) {
    SecondWalk w;
    SecondWalker walker(items, first, w);
    if (source.walksRecords())
        WalkInAnyOrder(source, points, walker, cut);
    else
        WalkInExamOrder(source, points, walker, cut);
    if (w.sheets != first.sheets || w.totalSum != first.totalSum)
        FailChanged(first.sheets, w.sheets);
    return w;
}

} // namespace analysis
