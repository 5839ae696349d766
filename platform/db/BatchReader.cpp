#include "platform/db/BatchReader.h"

#include "platform/db/Connection.h"

namespace db {
namespace {

std::string Placeholders(int n) {
    std::string s = "?";
    for (int i = 1; i < n; ++i)
        s += ",?";
    return s;
}

// Resets the statement however the read ends, so that a failed read leaves
// no statement open on the table.
struct ResetOnExit {
    Statement& st;
    ~ResetOnExit() { st.reset(); }
};

} // namespace

BatchReader::BatchReader(Connection& c, const std::string& columns, const std::string& from,
                         const std::string& rowidRef, int batch)
    : mRead(c.prepare("SELECT " + rowidRef + ", " + columns + " FROM " + from + " WHERE " +
                      rowidRef + " IN (" + Placeholders(batch) + ")")),
      mBatch(batch) {}

void BatchReader::read(const std::int64_t* rowids, int count,
                       std::vector<std::vector<Value>>& rows) {
    ResetOnExit resetting{mRead};
    mRead.reset();
    mSlot.clear();
    for (int i = 0; i < mBatch; ++i) {
        if (i < count) {
            mRead.bind(i + 1, rowids[i]);
            mSlot[rowids[i]] = i;
        } else {
            mRead.bind(i + 1, std::monostate{});
        }
    }
    const int columns = columnCount();
    rows.assign(static_cast<std::size_t>(count),
                std::vector<Value>(static_cast<std::size_t>(columns)));
    while (mRead.step()) {
        auto it = mSlot.find(mRead.columnInt(0));
        if (it == mSlot.end())
            continue;
        auto& row = rows[static_cast<std::size_t>(it->second)];
        for (int f = 0; f < columns; ++f)
            row[static_cast<std::size_t>(f)] = mRead.column(f + 1);
    }
}

} // namespace db
