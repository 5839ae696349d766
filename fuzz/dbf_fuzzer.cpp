// Feeds arbitrary bytes to the dBase reader as a table: it must refuse a
// damaged file with db::Error and never crash, hang or read out of bounds.
// The bytes after the records the header states (and their end mark) serve
// as the table's memo file, so that memo blocks are read too; byte 30 of the
// header, reserved in every version, picks a code page setting.
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::uint64_t Le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::unique_ptr<db::DbfSource> MemoPart(const std::uint8_t* data, std::size_t size) {
    if (size < 12)
        return nullptr;
    const std::uint64_t end = Le(data + 8, 2) + Le(data + 4, 4) * Le(data + 10, 2) + 1;
    if (end >= size)
        return nullptr;
    return db::MemorySource(std::string(reinterpret_cast<const char*>(data) + end, size - end));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kCodePages[] = {0, 0, 0, 0, 936, 1252, 1255, 866};
    try {
        db::DbfOptions options;
        if (size > 30)
            options.codePage = kCodePages[data[30] % 8];
        db::Dbf dbf(db::MemorySource(std::string(reinterpret_cast<const char*>(data), size)),
                    "fuzz.dbf", options, MemoPart(data, size));
        std::string record;
        for (std::uint32_t i = 0; i < dbf.recordCount(); ++i) {
            dbf.readRecord(i, record);
            for (std::size_t f = 0; f < dbf.fields().size(); ++f) {
                try {
                    (void)dbf.value(record, f);
                } catch (const db::Error&) {
                    // a memo block outside the memo file
                }
            }
        }
        (void)dbf.createTableSql("\"t\"");
        (void)dbf.report().notes();
    } catch (const db::Error&) {
    }
    return 0;
}
