#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The shared routines of the answer encoding and the text reports: mark codes
// to letters, the fixed-width columns, rounding and the number text. They
// hold no state.
//
// A mark code is one byte per question: 48 plus a bitmask of the marked
// options, A = 1, B = 2, C = 4, D = 8, E = 16, F = 32; "0" is a blank.
namespace scoring {

inline constexpr std::size_t NumberWidth = 6;
inline constexpr std::size_t NameWidth = 6;
inline constexpr std::size_t ValueWidth = 7;

// Single-choice conversion: "0" gives " ", the six single marks their letter,
// any other byte itself (a multi-mark "3" stays "3").
[[nodiscard]] std::string MarkToLetter(char code);

// The option letter of a single mark ('A' to 'F'), 0 for a blank, a mark of
// several options (the codes "A" to "F" among them) or no mark code.
[[nodiscard]] char SingleMarkLetter(char code);

// The options A to D among a mark code's letters (MarkToLetters), as bits
// A = 1, B = 2, C = 4, D = 8: what the option counts count.
[[nodiscard]] unsigned OptionBits(char code);

// Multiple-choice conversion: a code from 48 to 111 gives its letters in the
// order A to F ("0" gives " "), any other byte itself.
[[nodiscard]] std::string MarkToLetters(char code);

// Pads with "0" in front (mode 1) or behind (mode 2) up to width characters.
[[nodiscard]] std::string PadZero(std::string_view text, int mode, int width);

// The value, one space, then spaces up to the column width (GBK bytes).
[[nodiscard]] std::string PadNumber(std::int32_t n);
[[nodiscard]] std::string PadName(std::string_view text);
[[nodiscard]] std::string PadValue(std::string_view text);

// Rounds to `digits` decimals: divides by 10^-digits (held as a double) at
// extended precision, rounds half to even, multiplies back. 12.75 to one
// decimal gives 12.7, 12.25 gives 12.2.
[[nodiscard]] double RoundTo(double value, int digits);

// The reports' number text: shortest general form, at most 15 significant
// digits, no trailing zeros (50, 66.67, 12.5, 0).
[[nodiscard]] std::string NumberText(double value);

// Fixed-point text with `decimals` decimals, halves rounded away from zero as
// the standard formatting routine does ("%f" is FixedText(v, 2); "%4.2f"
// pads it on the left to at least 4 characters).
[[nodiscard]] std::string FixedText(double value, int decimals);

} // namespace scoring
