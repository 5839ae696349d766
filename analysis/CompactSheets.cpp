#include "analysis/CompactSheets.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace analysis {
namespace {

// NULL points, as a bit pattern no stored float has (SQLite stores no NaN,
// and the NaN of a non-number has another payload).
constexpr std::uint32_t kNull = 0x7fa0ffffu;
constexpr std::uint16_t kNoMark = 256;
constexpr std::size_t kMostLength = 65535;

std::uint32_t BitsOf(const std::optional<float>& points) {
    if (!points)
        return kNull;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &*points, sizeof bits);
    return bits;
}

std::optional<float> PointsOf(std::uint32_t bits) {
    if (bits == kNull)
        return std::nullopt;
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

CompactSheets::CompactSheets(SheetSource& inner, std::size_t columns, std::int64_t mostSheets)
    : mInner(inner), mColumns(columns), mMostSheets(mostSheets), mPositions(columns) {
    for (Position& p : mPositions)
        p.lastByMark.fill(-1);
}

void CompactSheets::forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) {
    if (mState == State::Kept) {
        replay(visit);
        return;
    }
    if (mState == State::Keeping) // an earlier walk ended early: what it kept is not every sheet
        drop();
    if (mState == State::Dropped) {
        mInner.forEachInAnyOrder(visit);
        return;
    }
    const std::int64_t expected = mInner.sizeHint();
    if (expected > 0 && expected <= mMostSheets) {
        mRecords.reserve(static_cast<std::size_t>(expected));
        mLengths.reserve(static_cast<std::size_t>(expected));
        mCodes.reserve(static_cast<std::size_t>(expected) * mColumns);
    }
    mState = State::Keeping;
    mInner.forEachInAnyOrder([&](const Sheet& sheet) {
        if (mState == State::Keeping)
            keep(sheet);
        visit(sheet);
    });
    if (mState == State::Keeping)
        mState = State::Kept;
}

void CompactSheets::keep(const Sheet& sheet) {
    if (sheet.content.size() > kMostLength || sheet.points.size() < mColumns ||
        static_cast<std::int64_t>(mRecords.size()) >= mMostSheets) {
        drop();
        return;
    }
    const std::size_t at = mCodes.size();
    mCodes.resize(at + mColumns);
    std::uint8_t* codes = mCodes.data() + at;
    for (std::size_t k = 0; k < mColumns; ++k) {
        const Pair pair{BitsOf(sheet.points[k]),
                        k < sheet.content.size() ? static_cast<std::uint16_t>(
                                                       static_cast<unsigned char>(sheet.content[k]))
                                                 : kNoMark};
        // Most sheets repeat the pair last seen with their mark.
        const Position& p = mPositions[k];
        const std::int16_t last = p.lastByMark[pair.mark];
        if (last >= 0 && p.pairs[static_cast<std::size_t>(last)].points == pair.points)
            codes[k] = static_cast<std::uint8_t>(last);
        else if (!code(k, pair, codes[k])) {
            drop();
            return;
        }
    }
    mRecords.push_back(sheet.record);
    mLengths.push_back(static_cast<std::uint16_t>(sheet.content.size()));
}

bool CompactSheets::code(std::size_t column, Pair pair, std::uint8_t& out) {
    Position& p = mPositions[column];
    std::size_t found = 0;
    while (found < p.pairs.size() &&
           (p.pairs[found].points != pair.points || p.pairs[found].mark != pair.mark))
        ++found;
    if (found == p.pairs.size()) {
        if (found == 256)
            return false;
        p.pairs.push_back(pair);
    }
    p.lastByMark[pair.mark] = static_cast<std::int16_t>(found);
    out = static_cast<std::uint8_t>(found);
    return true;
}

void CompactSheets::drop() {
    mState = State::Dropped;
    std::vector<std::int64_t>().swap(mRecords);
    std::vector<std::uint16_t>().swap(mLengths);
    std::vector<std::uint8_t>().swap(mCodes);
}

void CompactSheets::replay(const std::function<void(const Sheet&)>& visit) {
    mReplayed = true;
    // Each position's pairs as the sheet hands them over.
    std::vector<std::vector<std::optional<float>>> pointsOf(mColumns);
    std::vector<std::vector<std::uint16_t>> marksOf(mColumns);
    for (std::size_t k = 0; k < mColumns; ++k)
        for (const Pair& pair : mPositions[k].pairs) {
            pointsOf[k].push_back(PointsOf(pair.points));
            marksOf[k].push_back(pair.mark);
        }
    std::vector<std::optional<float>> points(mColumns);
    std::string content;
    const std::uint8_t* codes = mCodes.data();
    for (std::size_t i = 0; i < mRecords.size(); ++i, codes += mColumns) {
        content.assign(mLengths[i], ' ');
        const std::size_t marked = std::min<std::size_t>(mLengths[i], mColumns);
        for (std::size_t k = 0; k < mColumns; ++k)
            points[k] = pointsOf[k][codes[k]];
        for (std::size_t k = 0; k < marked; ++k)
            content[k] = static_cast<char>(marksOf[k][codes[k]]);
        Sheet sheet;
        sheet.record = mRecords[i];
        sheet.content = content;
        sheet.points = points;
        visit(sheet);
    }
}

} // namespace analysis
