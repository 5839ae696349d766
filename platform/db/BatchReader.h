#pragma once

#include "platform/db/Statement.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace db {

class Connection;

// Reads rows of one table by rowid, up to `batch` rowids per statement, and
// hands them back in the order the rowids were asked for. The dataset's
// window and the scoring run read through it, so that a walk over a million
// rows costs one statement per batch rather than one per row.
class BatchReader {
  public:
    // `columns` and `from` are SQLite text (quoted names); `rowidRef` is the
    // rowid as the FROM clause names it ("rowid", or "alias.rowid").
    BatchReader(Connection& c, const std::string& columns, const std::string& from,
                const std::string& rowidRef, int batch);

    [[nodiscard]] int batch() const { return mBatch; }
    [[nodiscard]] int columnCount() const { return mRead.columnCount() - 1; }
    [[nodiscard]] const Statement& statement() const { return mRead; }

    // Reads the rows of rowids[0..count) (count at most batch()) into rows,
    // one vector of columnCount() values each; a rowid no longer in the
    // table leaves its row of NULLs.
    void read(const std::int64_t* rowids, int count, std::vector<std::vector<Value>>& rows);

  private:
    Statement mRead;
    int mBatch;
    std::unordered_map<std::int64_t, int> mSlot;
};

} // namespace db
