#include "scoring/PanelRules.h"

#include <charconv>

namespace scoring {

std::optional<int> DefaultPartialPoints(std::string_view full) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!full.empty() && blank(full.front()))
        full.remove_prefix(1);
    while (!full.empty() && blank(full.back()))
        full.remove_suffix(1);
    if (!full.empty() && full.front() == '+')
        full.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(full.data(), full.data() + full.size(), value);
    if (full.empty() || ec != std::errc() || end != full.data() + full.size())
        return std::nullopt;
    return value / 2;
}

std::array<bool, 4> SegmentsEnabled(int choice) {
    std::array<bool, 4> enabled{};
    for (int i = 0; i < 4; ++i)
        enabled[static_cast<std::size_t>(i)] = i < choice;
    return enabled;
}

} // namespace scoring
