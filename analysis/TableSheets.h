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
// per walk in exam-number order, ties in record order (ORDER BY the exam
// number, then rowid). Nothing of the table is kept between rows. Each walk
// reports its progress through the Ui as half of the whole.
class TableSheets : public SheetSource {
  public:
    TableSheets(db::Connection& connection, SheetColumns columns, core::Ui& ui);

    void forEach(const std::function<void(const Sheet&)>& visit) override;
    [[nodiscard]] std::int64_t sizeHint() const override { return mCount; }

  private:
    db::Connection& mConnection;
    SheetColumns mColumns;
    core::Ui& mUi;
    std::string mSelect;
    std::int64_t mCount = 0;
    int mWalks = 0;
};

} // namespace analysis
