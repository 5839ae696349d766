#pragma once

#include <string>

// The answer encoding: a mark code is one byte per question, 48 plus a
// bitmask of the marked options, A = 1, B = 2, C = 4, D = 8, E = 16, F = 32;
// "0" is a blank. These turn codes into letters; they hold no state.
namespace scoring {

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

} // namespace scoring
