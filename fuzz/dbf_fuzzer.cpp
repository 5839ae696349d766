// Feeds arbitrary bytes to the dBase reader as a table: it must refuse a
// damaged file with db::Error and never crash, hang or read out of bounds.
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        db::Dbf dbf(db::MemorySource(std::string(reinterpret_cast<const char*>(data), size)),
                    "fuzz.dbf");
        std::string record;
        for (std::uint32_t i = 0; i < dbf.recordCount(); ++i) {
            dbf.readRecord(i, record);
            for (std::size_t f = 0; f < dbf.fields().size(); ++f) {
                try {
                    (void)dbf.value(record, f);
                } catch (const db::Error&) {
                    // memo fields without a memo file
                }
            }
        }
        (void)dbf.createTableSql("\"t\"");
    } catch (const db::Error&) {
    }
    return 0;
}
