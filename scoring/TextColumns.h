#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fixed-width columns of the text reports; they hold no state.
namespace scoring {

inline constexpr std::size_t NumberWidth = 6;
inline constexpr std::size_t NameWidth = 6;
inline constexpr std::size_t ValueWidth = 7;

// PadZero's modes.
inline constexpr int ZerosInFront = 1;
inline constexpr int ZerosBehind = 2;

// Pads with "0" in front (ZerosInFront) or behind (ZerosBehind) up to
// width characters.
[[nodiscard]] std::string PadZero(std::string_view text, int mode, int width);

// The value, one space, then spaces up to the column width (GBK bytes).
[[nodiscard]] std::string PadNumber(std::int32_t n);
[[nodiscard]] std::string PadName(std::string_view text);
[[nodiscard]] std::string PadValue(std::string_view text);

} // namespace scoring
