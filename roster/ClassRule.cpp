#include "roster/ClassRule.h"

namespace roster {

std::optional<std::string> ClassCodeRule::operator()(std::string_view id) const {
    if (codeLength <= 0 || codeLength > 9)
        return std::nullopt;
    std::size_t at = 0;
    if (prefixMode) {
        if (id.substr(0, prefix.size()) != prefix)
            return std::nullopt;
        at = prefix.size();
    } else {
        if (startPosition < 1)
            return std::nullopt;
        at = static_cast<std::size_t>(startPosition - 1);
    }
    const auto length = static_cast<std::size_t>(codeLength);
    if (at + length > id.size())
        return std::nullopt;
    long long value = 0;
    for (char c : id.substr(at, length)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < firstClass || value > lastClass)
        return std::nullopt;
    return std::to_string(value);
}

} // namespace roster
