#pragma once

#include "analysis/Run.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace analysis {

// A sheet source that reads another once and answers the later walks in
// any order from memory. The first walk in any order passes the inner
// source's sheets through and keeps of each what the analysis reads: its
// record, the content's length, and for each of the first `columns`
// positions the pair of its mark and its stored points, as a one-byte code
// into a table of the pairs seen at that position. A later walk in any
// order hands the sheets over again from those codes, with the same
// records, marks and points in the same order; a content longer than
// `columns` comes back with blanks beyond them, and no exam number (the
// analysis reads neither: the marks beyond the questions and the exam
// numbers only name a sheet that did not fit, which the first walk has
// already refused). Walks in exam-number order and walks of chosen records
// go to the inner source.
//
// About `columns` + 10 bytes a sheet. When a position sees more than 256
// pairs, a content longer than 65,535 bytes or more than `mostSheets`
// sheets, the copy is dropped and every walk goes to the inner source.
class CompactSheets : public SheetSource {
  public:
    CompactSheets(SheetSource& inner, std::size_t columns, std::int64_t mostSheets);

    void forEach(const std::function<void(const Sheet&)>& visit) override { mInner.forEach(visit); }
    void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) override;
    [[nodiscard]] bool walksRecords() const override { return mInner.walksRecords(); }
    void forEachRecord(const std::vector<std::int64_t>& records,
                       const std::function<void(const Sheet&)>& visit) override {
        mInner.forEachRecord(records, visit);
    }
    [[nodiscard]] std::int64_t sizeHint() const override { return mInner.sizeHint(); }

    // True once a walk has been answered from memory.
    [[nodiscard]] bool replayed() const { return mReplayed; }

  private:
    // A position's mark and stored points; the mark 256 when the content
    // stops before the position, the points' bits kNull for NULL.
    struct Pair {
        std::uint32_t points = 0;
        std::uint16_t mark = 0;
    };
    struct Position {
        std::vector<Pair> pairs; // by code
        std::array<std::int16_t, 257>
            lastByMark{}; // the code last seen with each mark, -1 for none
    };

    void keep(const Sheet& sheet);
    [[nodiscard]] bool code(std::size_t column, Pair pair, std::uint8_t& out);
    void drop();
    void replay(const std::function<void(const Sheet&)>& visit);

    SheetSource& mInner;
    std::size_t mColumns;
    std::int64_t mMostSheets;
    enum class State { Empty, Keeping, Kept, Dropped } mState = State::Empty;
    bool mReplayed = false;
    std::vector<Position> mPositions;
    std::vector<std::int64_t> mRecords;
    std::vector<std::uint16_t> mLengths;
    std::vector<std::uint8_t> mCodes; // mColumns a sheet
};

} // namespace analysis
