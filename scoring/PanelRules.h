#pragma once

#include <array>
#include <optional>
#include <string_view>

// The rules of the answer-key panels that are not about widgets, shared by
// the window's panels and the command line's options.
namespace scoring {

// The partial points a multiple-choice question defaults to: the
// whole-number half of the full points (4 gives 2, 5 gives 2). Nullopt when
// the full points are not a whole number, which the panel reports.
[[nodiscard]] std::optional<int> DefaultPartialPoints(std::string_view full);

// The segments a choice of the segment number enables: the first `choice`
// of the four (none for a negative choice or 0, all four for 4 or more).
[[nodiscard]] std::array<bool, 4> SegmentsEnabled(int choice);

} // namespace scoring
