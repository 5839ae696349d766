#include "platform/db/PackedReals.h"

#include "platform/db/Error.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace db {
namespace {

// NULL and a value that is no number, as bit patterns of NaN that a float
// converted from a stored number never has (SQLite stores no NaN).
constexpr std::uint32_t kNullBits = 0x7fa00001u;
constexpr std::uint32_t kNotNumberBits = 0x7fa00002u;

void PackReals(sqlite3_context* context, int argc, sqlite3_value** argv) {
    std::uint32_t packed[PackedRealsMost];
    const int count = std::min(argc, PackedRealsMost);
    for (int i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        switch (sqlite3_value_type(argv[i])) {
        case SQLITE_NULL:
            bits = kNullBits;
            break;
        case SQLITE_INTEGER: {
            const auto f = static_cast<float>(sqlite3_value_int64(argv[i]));
            std::memcpy(&bits, &f, sizeof bits);
            break;
        }
        case SQLITE_FLOAT: {
            const auto f = static_cast<float>(sqlite3_value_double(argv[i]));
            std::memcpy(&bits, &f, sizeof bits);
            break;
        }
        default:
            bits = kNotNumberBits;
            break;
        }
        packed[i] = bits;
    }
    sqlite3_result_blob(context, packed, count * static_cast<int>(sizeof(std::uint32_t)),
                        SQLITE_TRANSIENT);
}

} // namespace

void RegisterPackedReals(Connection& connection) {
    if (sqlite3_create_function(connection.handle(), "quillory_reals", -1,
                                SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, PackReals, nullptr,
                                nullptr) != SQLITE_OK)
        throw Error(std::string("quillory_reals: ") + sqlite3_errmsg(connection.handle()));
}

int PackedRealsColumns(std::size_t count) {
    return static_cast<int>((count + PackedRealsMost - 1) / PackedRealsMost);
}

std::string PackedRealsList(const std::vector<std::string>& columns) {
    std::string list;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i % PackedRealsMost == 0)
            list += std::string(i ? "), " : "") + "quillory_reals(";
        else
            list += ", ";
        list += columns[i];
    }
    return columns.empty() ? list : list + ")";
}

void ReadPackedReals(const Statement& statement, int first, std::span<std::optional<float>> out) {
    sqlite3_stmt* st = statement.handle();
    std::size_t done = 0;
    for (int column = first; done < out.size(); ++column) {
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(st, column));
        const auto size =
            static_cast<std::size_t>(sqlite3_column_bytes(st, column)) / sizeof(std::uint32_t);
        const std::size_t count = std::min(size, out.size() - done);
        if (count == 0)
            throw Error("quillory_reals: a packed column holds no values");
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, bytes + i * sizeof bits, sizeof bits);
            float value = 0;
            std::memcpy(&value, &bits, sizeof value);
            out[done + i] = bits == kNullBits ? std::nullopt
                            : bits == kNotNumberBits
                                ? std::optional<float>(std::numeric_limits<float>::quiet_NaN())
                                : std::optional<float>(value);
        }
        done += count;
    }
}

} // namespace db
