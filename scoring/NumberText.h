#pragma once

#include <string>

// Rounding and the number text of the reports; they hold no state.
namespace scoring {

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
