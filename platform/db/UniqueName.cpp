#include "platform/db/UniqueName.h"

#include "platform/text/Gbk.h"

#include <algorithm>

namespace db {

std::string FreeName(std::string_view name, const std::vector<std::string>& taken) {
    auto isTaken = [&](std::string_view candidate) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const std::string& t) { return text::EqualNoCase(t, candidate); });
    };
    if (!isTaken(name))
        return std::string(name);
    for (std::size_t n = 2;; ++n) {
        std::string candidate = std::string(name) + "_" + std::to_string(n);
        if (!isTaken(candidate))
            return candidate;
    }
}

bool IsRowidName(std::string_view name) {
    return text::EqualNoCase(name, "ROWID") || text::EqualNoCase(name, "OID") ||
           text::EqualNoCase(name, "_ROWID_");
}

} // namespace db
