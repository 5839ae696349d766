#pragma once

#include "platform/db/Dbf.h"
#include "tests/support/DbfWriter.h"

#include <string>
#include <utility>
#include <vector>

// Shared by the dBase reader's tests: a table built in memory, and
// every live row of a table read as values.
namespace dbftest {

using Rows = std::vector<std::pair<std::vector<testsupport::DbfCell>, bool>>; // cells, deleted

inline testsupport::DbfWriter Written(const std::vector<testsupport::DbfColumn>& cols,
                                      const Rows& rows, const testsupport::DbfLayout& layout) {
    testsupport::DbfWriter w(cols, layout);
    for (const auto& [cells, deleted] : rows)
        w.append(cells, deleted);
    w.finish();
    return w;
}

inline std::string Table(const std::vector<testsupport::DbfColumn>& cols, const Rows& rows,
                         unsigned char version = 0x03, unsigned char driver = 0x4D) {
    testsupport::DbfLayout layout;
    layout.version = version;
    layout.languageDriver = driver;
    return Written(cols, rows, layout).bytes();
}

inline std::vector<std::vector<db::Value>> ReadAll(const db::Dbf& d) {
    std::vector<std::vector<db::Value>> rows;
    std::string rec;
    for (std::uint32_t i = 0; i < d.recordCount(); ++i) {
        if (!d.readRecord(i, rec))
            continue;
        std::vector<db::Value> row;
        for (std::size_t f = 0; f < d.fields().size(); ++f)
            row.push_back(d.value(rec, f));
        rows.push_back(row);
    }
    return rows;
}

inline std::vector<std::string> Names(const db::Dbf& d) {
    std::vector<std::string> names;
    for (const auto& f : d.fields())
        names.push_back(f.name);
    return names;
}

inline std::string Text(const db::Value& v) {
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return db::IsNull(v) ? "<null>" : "<number>";
}

} // namespace dbftest
