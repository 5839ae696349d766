#include "analysis/Figures.h"

#include "scoring/ScoreCommand.h"

#include <algorithm>
#include <cmath>

namespace analysis {
namespace {

// The test-level figures every question's figures refer to.
struct TestBasis {
    std::int64_t sheets = 0;
    std::int64_t groupSize = 0;
    Wide totalSum = 0;
    double tt = 0; // centred sum of squares of T
    double sd = 0;
    bool constantTotal = false;
};

Figure Correlation(double xy, double xx, double yy) {
    return std::clamp(xy / std::sqrt(xx * yy), -1.0, 1.0);
}

Figure Share(std::int64_t count, std::int64_t of) {
    if (of <= 0)
        return std::nullopt;
    return static_cast<double>(count) / static_cast<double>(of);
}

// Pearson(1 if in the category else 0, T) from the category's exact total.
Figure CategoryCorrelation(const TestBasis& t, std::int64_t count, Wide categorySum) {
    if (count == 0 || count == t.sheets || t.constantTotal)
        return std::nullopt;
    const Wide covariance = static_cast<Wide>(t.sheets) * categorySum - count * t.totalSum;
    const double spread =
        std::sqrt(static_cast<double>(count)) * std::sqrt(static_cast<double>(t.sheets - count));
    const double r = static_cast<double>(static_cast<long double>(covariance) / FixedOne) /
                     static_cast<double>(t.sheets) / spread / t.sd;
    return std::clamp(r, -1.0, 1.0);
}

SingleFigures OptionFiguresOf(const TestBasis& t, const OptionCounts& c,
                              const scoring::RunQuestion& q, bool fullMatch) {
    static constexpr char LetterCodes[] = {'1', '2', '4', '8', '@', 'P'};
    SingleFigures f;
    for (std::size_t i = 0; i < CategoryCount; ++i) {
        OptionFigures& o = f.options[i];
        o.count = c.count[i];
        o.share = static_cast<double>(c.count[i]) / static_cast<double>(t.sheets);
        o.upper = Share(c.upper[i], t.groupSize);
        o.lower = Share(c.lower[i], t.groupSize);
        if (c.count[i] > 0)
            o.meanTotal = Quotient(c.totalSum[i], c.count[i]) / FixedOne;
        o.r = CategoryCorrelation(t, c.count[i], c.totalSum[i]);
        o.earns =
            i < 6 && scoring::SingleRight(LetterCodes[i], q.key[0], scoring::KeyMatchOf(fullMatch));
    }
    return f;
}

MultiFigures LetterFiguresOf(const TestBasis& t, const MarkCounts& c) {
    MultiFigures f;
    f.full = c.full;
    f.partial = c.partial;
    f.none = c.none;
    for (unsigned letter = 0; letter < 6; ++letter) {
        std::int64_t all = 0, upper = 0, lower = 0;
        for (unsigned mask = 0; mask < 64; ++mask) {
            if (mask & (1u << letter)) {
                all += c.count[mask];
                upper += c.upper[mask];
                lower += c.lower[mask];
            }
        }
        LetterFigures& l = f.letters[letter];
        l.share = static_cast<double>(all) / static_cast<double>(t.sheets);
        l.upper = Share(upper, t.groupSize);
        l.lower = Share(lower, t.groupSize);
    }
    return f;
}

// mis-key: an option other than the key that separates the strong sheets
// from the weak ones itself (a positive correlation with the total, chosen
// by more of the upper group than of the lower) and does so better than the
// key: a higher correlation, or more of the upper group. When nobody chose
// the key, separating is enough. Names the one with the highest correlation
// (ties to the earlier letter).
std::optional<char> SuspectOption(const scoring::RunQuestion& q, const SingleFigures& f,
                                  const OptionCounts& c) {
    const char key = q.key[0];
    if (key < 'A' || key > 'F')
        return std::nullopt;
    const auto k = static_cast<std::size_t>(key - 'A');
    const Figure& keyR = f.options[k].r;
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i == k)
            continue;
        const Figure& r = f.options[i].r;
        const bool separates = r && *r > 0 && c.upper[i] > c.lower[i];
        if (!separates)
            continue;
        const bool beatsKey = c.count[k] == 0 || (keyR && *r > *keyR) || c.upper[i] > c.upper[k];
        if (!beatsKey)
            continue;
        if (!best || *r > *f.options[*best].r)
            best = i;
    }
    if (!best)
        return std::nullopt;
    return static_cast<char>('A' + *best);
}

std::vector<Flag> FlagsOf(const ItemFigures& item) {
    std::vector<Flag> flags;
    if (item.suspect)
        flags.push_back(Flag::MisKey);
    if (item.d && *item.d < 0)
        flags.push_back(Flag::NegativeDiscrimination);
    if (item.d && *item.d >= 0 && *item.d < 0.2)
        flags.push_back(Flag::LowDiscrimination);
    if (item.p < 0.2)
        flags.push_back(Flag::TooHard);
    if (item.p > 0.9)
        flags.push_back(Flag::TooEasy);
    return flags;
}

// P, the group figures, D and the correlations of one question.
void ItemStatistics(const TestBasis& t, const ItemPlan& plan, Wide itemSum, const ItemSums& s,
                    ItemFigures& item) {
    const Wide n = t.groupSize;
    item.max = static_cast<double>(plan.question->points);
    item.mean = Quotient(itemSum, t.sheets) / FixedOne;
    item.p = Quotient(itemSum, static_cast<Wide>(t.sheets) * plan.max);
    if (n > 0) {
        item.pUpper = Quotient(s.upperSum, n * plan.max);
        item.pLower = Quotient(s.lowerSum, n * plan.max);
        item.d = Quotient(s.upperSum - s.lowerSum, n * plan.max);
        item.rating = RateDiscrimination(*item.d);
    }
    const bool constantX = s.xMin == s.xMax;
    if (!constantX && !t.constantTotal)
        item.r = Correlation(s.xt, s.xx, t.tt);
    if (!constantX && s.restMin != s.restMax)
        item.rRest = Correlation(s.xr, s.xx, s.rr);
}

// Cronbach's alpha of k questions from their centred sums of squares and
// that of their total.
Figure Alpha(std::size_t k, double itemSquares, double totalSquares, bool constantTotal) {
    if (k < 2 || constantTotal)
        return std::nullopt;
    const double kk = static_cast<double>(k);
    return kk / (kk - 1) * (1 - itemSquares / totalSquares);
}

void Reliability(const TestBasis& t, const SecondWalk& second, ExamAnalysis& a) {
    const std::size_t k = second.items.size();
    double squares = 0;
    for (const ItemSums& s : second.items)
        squares += s.xx;
    a.alpha = Alpha(k, squares, t.tt, t.constantTotal);
    if (a.alpha)
        a.sem = a.sd * std::sqrt(std::max(0.0, 1 - *a.alpha));
    for (std::size_t i = 0; i < k; ++i) {
        double others = 0;
        for (std::size_t j = 0; j < k; ++j)
            if (j != i)
                others += second.items[j].xx;
        const ItemSums& s = second.items[i];
        a.items[i].alphaIfDeleted = Alpha(k - 1, others, s.rr, s.restMin == s.restMax);
    }
}

void TestFigures(const WalkContext& c, const FirstWalk& first, const TestBasis& t,
                 ExamAnalysis& a) {
    a.table = c.run->table;
    a.groupPercent = c.options.groupPercent;
    a.bandWidth = c.options.bandWidth;
    a.sheets = t.sheets;
    a.full = FromFixed(c.full);
    a.mean = Quotient(first.totalSum, t.sheets) / FixedOne;
    a.sd = t.sd;
    a.median = c.median;
    a.min = FromFixed(first.minTotal);
    a.max = FromFixed(first.maxTotal);
    a.groupSize = t.groupSize;
    std::int64_t above = 0;
    a.bands.resize(first.bandCounts.size());
    for (std::size_t b = first.bandCounts.size(); b-- > 0;) {
        above += first.bandCounts[b];
        const int i = static_cast<int>(b);
        a.bands[b] = {c.bands->from(i), c.bands->to(i), first.bandCounts[b],
                      static_cast<double>(first.bandCounts[b]) / static_cast<double>(t.sheets),
                      above};
    }
}

} // namespace

ExamAnalysis Summarize(const WalkContext& c, const FirstWalk& first, const SecondWalk& second) {
    TestBasis t;
    t.sheets = first.sheets;
    t.groupSize = c.groupSize;
    t.totalSum = first.totalSum;
    t.tt = second.tt;
    t.constantTotal = first.minTotal == first.maxTotal;
    t.sd = t.constantTotal ? 0 : std::sqrt(second.tt / static_cast<double>(t.sheets));

    ExamAnalysis a;
    TestFigures(c, first, t, a);
    for (const scoring::RunQuestion& q : c.run->questions)
        if (q.leftOut != LeftOut::No)
            a.leftOut.push_back({q.kind, q.number, q.position, q.key, q.leftOut});
    const std::vector<ItemPlan>& items = *c.items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const scoring::RunQuestion& q = *items[i].question;
        ItemFigures item;
        item.type = q.kind;
        item.number = q.number;
        item.position = q.position;
        item.key = q.key;
        ItemStatistics(t, items[i], first.itemSums[i], second.items[i], item);
        if (q.kind == QuestionType::Single) {
            item.single = OptionFiguresOf(t, second.options[i], q, c.run->fullMatch);
            item.suspect = SuspectOption(q, *item.single, second.options[i]);
        } else {
            item.multi = LetterFiguresOf(t, second.marks[i]);
        }
        item.flags = FlagsOf(item);
        a.items.push_back(std::move(item));
    }
    Reliability(t, second, a);
    return a;
}

} // namespace analysis
