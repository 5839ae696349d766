#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

// The sheets an analysis reads, as a source hands them over.
namespace analysis {

// One answer sheet as the analysis sees it. The views need to live only for
// the call that receives the sheet.
struct Sheet {
    std::optional<std::string_view> examNumber; // nullopt for a NULL exam number
    std::int64_t record = 0;                    // the record number (1-based), for messages
    std::string_view content;                   // the marks, one byte per question (NULL: empty)
    // The stored points of the score columns f1, f2, ...: points[k - 1] is
    // f_k as its 32-bit float, nullopt for NULL. At least
    // ExamRun::columnCount() entries; those of left-out questions are
    // not read.
    std::span<const std::optional<float>> points;
};

// A table's sheets, walked once per pass.
//
// Contract: every call of forEach visits the same sheets with the same
// values in the same order, and that order is the exam-number order of the
// table (as an ORDER BY on the exam-number column sorts it), ties in record
// order. The analysis takes a sheet's place in that walk as its tie order
// at the group cut; it does not sort. forEachInAnyOrder visits the same
// sheets with the same values in any order: the first pass, which only sums
// and collects totals, walks that way, the second walks with forEach (or,
// when the source walks chosen records, in any order as well).
class SheetSource {
  public:
    virtual ~SheetSource() = default;
    virtual void forEach(const std::function<void(const Sheet&)>& visit) = 0;
    // The sheets in the order the source reads fastest; forEach unless the
    // source has a cheaper walk.
    virtual void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) {
        forEach(visit);
    }

    // True when the source can walk chosen sheets (forEachRecord): the
    // analysis then takes its second pass in any order too, and reads again,
    // in exam-number order, only the sheets whose totals sit at a group cut.
    [[nodiscard]] virtual bool walksRecords() const { return false; }
    // The sheets whose Sheet::record is among `records` (each record once),
    // in the order forEach visits them. Only called when walksRecords().
    virtual void forEachRecord(const std::vector<std::int64_t>& records,
                               const std::function<void(const Sheet&)>& visit) {
        (void)records;
        (void)visit;
        throw std::logic_error("this sheet source cannot walk chosen sheets");
    }
    // The number of sheets when known beforehand (0 when not): the analysis
    // reserves exactly that much for the totals instead of growing.
    [[nodiscard]] virtual std::int64_t sizeHint() const { return 0; }
};

} // namespace analysis
