#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Query.h"
#include "platform/db/Value.h"
#include "scoring/ExamRun.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The sheets of a scored answer table as every command reads them: one
// sheet type, one interface to walk them, and the one reader of them from
// the scratch database.
namespace scoring {

// One answer sheet as a source hands it over. The views and pointers need to
// live only for the call that receives the sheet; what the source was not
// asked to read is left empty.
struct Sheet {
    std::int64_t record = 0;                     // the record number: the table's rowid
    std::optional<std::string_view> examNumber;  // as text; nullopt for a NULL exam number
    const db::Value* storedExamNumber = nullptr; // the exam number as stored
    std::string_view content;                    // the marks, one byte per question (NULL: empty)
    const db::Value* score = nullptr;            // the score column as stored
    // The stored points of the score columns f1, f2, ...: points[k - 1] is
    // f_k as its 32-bit float, nullopt for NULL, NaN for a value that is no
    // number.
    std::span<const std::optional<float>> points;
    std::span<const db::Value> values;      // further columns as stored, in the order asked for
    const db::Value* rosterClass = nullptr; // StudClass of the roster's entry, NULL without one
    std::string_view rosterName;            // StudName of the roster's entry, empty without one
};

using SheetVisit = std::function<void(const Sheet&)>;

// A table's sheets, walked once per pass.
//
// Contract: every call of forEach visits the same sheets with the same
// values in the same order, and that order is the exam-number order of the
// table (as an ORDER BY on the exam-number column sorts it), ties in record
// order. forEachInAnyOrder visits the same sheets with the same values in
// any order.
class SheetSource {
  public:
    virtual ~SheetSource() = default;
    virtual void forEach(const SheetVisit& visit) = 0;
    // The sheets in the order the source reads fastest; forEach unless the
    // source has a cheaper walk.
    virtual void forEachInAnyOrder(const SheetVisit& visit) { forEach(visit); }

    // True when the source can walk chosen sheets (forEachRecord).
    [[nodiscard]] virtual bool walksRecords() const { return false; }
    // The sheets whose Sheet::record is among `records` (each record once),
    // in the order forEach visits them. Only called when walksRecords().
    virtual void forEachRecord(const std::vector<std::int64_t>& records, const SheetVisit& visit) {
        (void)records;
        (void)visit;
        throw std::logic_error("this sheet source cannot walk chosen sheets");
    }
    // The number of sheets when known beforehand (0 when not).
    [[nodiscard]] virtual std::int64_t sizeHint() const { return 0; }
};

// The columns of an answer table a reader reads, by their names in the
// scratch table. Empty names are not read.
struct SheetColumns {
    std::string table;
    std::string examNumber;
    std::string content;
    std::string score;
    std::vector<std::string> points; // f1 .. fK, read as 32-bit floats
    std::vector<std::string> values; // read as stored
    // The roster `ids` joined on the exam number (one entry per number): its
    // StudClass, and its StudName when asked.
    bool rosterClass = false;
    bool rosterName = false;
};

// Every question of the run must have its score column in the view: a
// missing one is refused as the view refuses a field it lacks.
void RequireScoreColumns(const db::Query& view, const ExamRun& run);

// Finds the exam-number, content and score columns of the run in `table`
// (names compared without regard to case). Throws RunError naming every
// column that is missing.
[[nodiscard]] SheetColumns FindSheetColumns(db::Connection& connection, const std::string& table,
                                            const std::string& examNumber,
                                            const std::string& content, const ExamRun& run);

// The sheets of a scratch answer table. A full walk or a walk of chosen
// records is streamed by one prepared statement and keeps nothing of the
// table between sheets: in storage (rowid) order when any order will do,
// otherwise in exam-number order, ties in record order (the rowids sorted by
// exam number and rowid, each row then read by its rowid). The walks that
// name "before writing" read a batch of rows whole before they visit it, so
// that the visitor may change the table.
class TableSheets : public SheetSource {
  public:
    TableSheets(db::Connection& connection, SheetColumns columns);

    // Told every few thousand sheets of a streamed walk: the walk's number
    // among the streamed walks so far (from 0) and the sheets it has
    // visited.
    void onProgress(std::function<void(int walk, std::int64_t done)> progress);

    void forEach(const SheetVisit& visit) override;
    void forEachInAnyOrder(const SheetVisit& visit) override;
    [[nodiscard]] bool walksRecords() const override { return true; }
    // The chosen rowids go to a temporary table of the connection, which is
    // dropped when the walk ends.
    void forEachRecord(const std::vector<std::int64_t>& records, const SheetVisit& visit) override;
    // Counted when first asked for: a count reads the whole table.
    [[nodiscard]] std::int64_t sizeHint() const override;

    // Storage order, a batch of rows read whole before it is visited; after
    // each batch `batchDone` is told the sheets visited so far.
    void forEachBeforeWriting(const SheetVisit& visit,
                              const std::function<void(std::int64_t)>& batchDone = {});
    // Fills `rowids` with the next rowids to read and returns how many it
    // filled; 0 ends the walk.
    using RowidFeed = std::function<std::size_t(std::span<std::int64_t> rowids)>;
    // The sheets of the rowids `feed` gives, in that order, a batch read
    // whole before it is visited; a rowid no longer in the table gives a
    // sheet of NULLs.
    void forEachOfBeforeWriting(const RowidFeed& feed, const SheetVisit& visit);

  private:
    struct Row;
    void stream(const std::string& select, const SheetVisit& visit);

    db::Connection& mConnection;
    SheetColumns mColumns;
    std::function<void(int, std::int64_t)> mProgress;
    std::string mColumnList;
    std::string mFrom;
    mutable std::optional<std::int64_t> mCount;
    int mWalks = 0;
};

} // namespace scoring
