#pragma once

#include <string>
#include <string_view>

// How a cell of a class list reads as text to a teacher: numbers without a
// trailing ".0" or an exponent, exam numbers that keep their leading zeros,
// classes reduced to their number.
namespace roster {

// Blanks at both ends removed: ASCII blanks and control characters, the
// ideographic space U+3000, the no-break space and a stray byte-order mark.
[[nodiscard]] std::string TrimCell(std::string_view s);

// Full-width digits and letters (０-９, Ａ-Ｚ, ａ-ｚ) as their ASCII forms.
[[nodiscard]] std::string HalfWidth(std::string_view s);

// A number cell's value as a spreadsheet shows it in the General format:
// integral values without a decimal point or exponent (310101001.0 gives
// "310101001"), others with up to 15 significant digits ("85.5").
[[nodiscard]] std::string FormatNumber(double v);

// A text cell read as an exam number.
struct NumberText {
    std::string text;
    // The cell is in scientific notation with fewer digits than the number
    // has ("3.10101E+11"): the digits the spreadsheet dropped cannot be
    // recovered, and `text` is empty.
    bool digitsLost = false;
};

// Trimmed, full-width digits made ASCII, a zero fraction dropped
// ("310101001.0"), and scientific notation written out when it holds every
// digit ("3.10101001E8" gives "310101001"). Leading zeros stay.
[[nodiscard]] NumberText ExamNumberText(std::string_view cell);

// A class as the class statistics compare it: its last run of digits
// without leading zeros ("3班", "高一(3)班", "03" and "3.0" all give "3");
// a class without digits keeps its trimmed text ("实验班").
[[nodiscard]] std::string ClassText(std::string_view cell);

// A name trimmed; the blanks teachers put inside a Chinese name to align it
// ("张　三") are removed, while a name with Latin letters keeps its spaces.
[[nodiscard]] std::string NameText(std::string_view cell);

// The text without the characters a workbook cannot hold: NUL and the other
// C0 controls but tab, and the non-characters U+FFFE and U+FFFF. Every field
// of a student passes through it before it reaches `ids`.
[[nodiscard]] std::string WritableText(std::string_view s);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
[[nodiscard]] bool IsUtf8(std::string_view bytes);

} // namespace roster
