#pragma once

#include "core/Config.h"
#include "core/Ui.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "scoring/ExamRun.h"
#include "scoring/ScoreCommand.h"
#include "scoring/ScoredSheets.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The parts of the scoring run that score sheets, shared by the full run and
// by the correction of one key, so that both reach the same points and
// totals by the same code: the per-byte decisions, the sheet scorer, the
// score field's value, the rowids of the view's walk.
namespace scoring {

// The number a text holds, or nullopt when it holds none: the whole text,
// blanks around it aside, must be a number.
[[nodiscard]] std::optional<double> ParsedNumber(const std::string& text);

// A points field's number; a text that is none is refused with
// core::AppError naming the field ("每题分数（第一段）不是数字：''").
[[nodiscard]] double ToFloat(const std::string& text, const std::string& field);

// Points must be a finite number from 0 to 1000: anything else would give
// scores no field can hold. Throws core::AppError naming the field.
void CheckPointsRange(double value, const std::string& field, const std::string& text);

// The marks a content of `length` bytes must hold: the single-choice part,
// and the multiple-choice part too when the content goes on past it.
[[nodiscard]] std::size_t MarksNeeded(const ExamRun& run, std::size_t length);

// The words of a content too short for the run: "的客观题只有 3 个字符，
// <whose>题目需要 5 个".
[[nodiscard]] std::string ShortContentText(std::size_t length, std::size_t needed,
                                           const std::string& whose);

// Every decision depends only on the byte at a position: each is worked out
// once for all 256 bytes.
struct DecisionTables {
    std::vector<std::array<float, 256>> singleEarns;  // by question 1..S
    std::vector<std::array<Credit, 256>> multiCredit; // by question 1..N
    std::array<char, 256> singleLetter{};             // SingleMarkLetter of each byte
    std::array<unsigned char, 256> optionBits{};      // OptionBits of each byte

    DecisionTables(const ExamRun& run, const core::FieldSettings& f);
};

// The partial-credit and full-credit texts, converted when first used.
class LazyNumber {
  public:
    LazyNumber(const std::string& text, const char* field) : mText(text), mField(field) {}
    double get() {
        if (!mValue)
            mValue = ToFloat(mText, mField);
        return *mValue;
    }

  private:
    std::string mText;
    const char* mField;
    std::optional<double> mValue;
};

// The score field's value of a total: truncated for a whole-number field,
// rounded to one decimal for a real one (held as a float when the field is
// single precision). Throws core::AppError for any other kind of field.
[[nodiscard]] db::Value ScoreValue(const db::Field& score, double total);

// The statistics of a run before its first sheet.
[[nodiscard]] RunStatistics EmptyStatistics(const ExamRun& run, int records);

// Scores one sheet's content: the points of every question and the total,
// counted into the run's statistics. Holds references to the run and the
// statistics, which must outlive it; the partial and full points are the
// run's typed ones.
class SheetScorer {
  public:
    SheetScorer(const ExamRun& run, const core::FieldSettings& f, RunStatistics& stats);

    // The points of the last sheet scored, by position 1..columnCount()
    // (index 0 unused).
    [[nodiscard]] const std::vector<double>& points() const { return mPoints; }

    // The sheet's total; `content` holds at least MarksNeeded() bytes, and
    // goes on past the single-choice part when `hasMulti`.
    double score(std::string_view content, bool hasMulti);

  private:
    double single(int k, unsigned char code);
    double multi(int j, unsigned char code);

    const ExamRun& mRun;
    DecisionTables mTables;
    LazyNumber mFull, mPartial;
    RunStatistics& mStats;
    std::vector<double> mPoints;
};

// The rowids of the view's rows for TableSheets::forEachOfBeforeWriting,
// the view walked from the first row to the last as the grid walks it (a
// pending edit is posted first), a batch ahead of the sheets visited.
[[nodiscard]] TableSheets::RowidFeed WalkedRowids(db::Query& view);

// The grid stops following the view while a run walks it, and shows the
// stored rows again when the run ends, however it ends.
class ViewPause {
  public:
    ViewPause(db::Query& view, core::Ui& ui) : mView(view), mUi(ui) { mView.disableControls(); }
    ~ViewPause() {
        try {
            mView.refresh();
        } catch (...) {
        }
        mView.enableControls();
        mUi.progress("", 0, 0);
    }
    ViewPause(const ViewPause&) = delete;
    ViewPause& operator=(const ViewPause&) = delete;

  private:
    db::Query& mView;
    core::Ui& mUi;
};

} // namespace scoring
