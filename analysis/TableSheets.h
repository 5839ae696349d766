#pragma once

#include "analysis/Sheets.h"
#include "core/Ui.h"
#include "platform/db/Connection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace analysis {

// The columns of an answer table the analysis reads, by their names in the
// scratch table.
struct SheetColumns {
    std::string table;
    std::string examNumber;
    std::string content;
    std::vector<std::string> points; // f1 .. fK
};

// Finds the exam-number, content and score columns f1 .. f`scoreColumns`
// of `table` (names compared without regard to case). Throws Error naming
// every column that is missing.
[[nodiscard]] SheetColumns FindSheetColumns(db::Connection& connection, const std::string& table,
                                            const std::string& examNumber,
                                            const std::string& content, int scoreColumns);

// The sheets of a scratch answer table, streamed by one prepared statement
// per walk: in storage order when any order will do, otherwise in
// exam-number order, ties in record order (the rowids sorted by exam number
// and rowid, each row then read by its rowid). A sheet's record is its
// rowid. Nothing of the table is kept between rows. The two full walks
// report their progress through the Ui, each as half of the whole.
class TableSheets : public SheetSource {
  public:
    TableSheets(db::Connection& connection, SheetColumns columns, core::Ui& ui);

    void forEach(const std::function<void(const Sheet&)>& visit) override;
    void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) override;
    [[nodiscard]] bool walksRecords() const override { return true; }
    // The chosen rowids go to a temporary table of the connection, which is
    // dropped when the walk ends.
    void forEachRecord(const std::vector<std::int64_t>& records,
                       const std::function<void(const Sheet&)>& visit) override;
    [[nodiscard]] std::int64_t sizeHint() const override { return mCount; }

  private:
    void walk(const std::string& select, const std::function<void(const Sheet&)>& visit);

    db::Connection& mConnection;
    SheetColumns mColumns;
    core::Ui& mUi;
    std::string mColumnList;
    std::string mInExamOrder;
    std::string mInStorageOrder;
    std::int64_t mCount = 0;
    int mWalks = 0;
};

} // namespace analysis
