#pragma once

#include <string>
#include <string_view>

// Conversions between the program's inner UTF-8 text and the 8-bit code pages
// of the files it reads and writes. Every report and log is GBK; a character
// GBK lacks (the rare ones of people's names) is written in GB18030, the
// superset of GBK, so that no name loses a character.
namespace text {

// The Windows code page of Chinese text: GBK, read and written as GB18030.
inline constexpr int kChineseCodePage = 936;

// UTF-8 to GBK bytes; a character GBK lacks gets its four GB18030 bytes.
// Only what is not Unicode at all (broken UTF-8) becomes "?".
[[nodiscard]] std::string ToGbk(std::string_view utf8);

// GB18030 (and so GBK) to UTF-8. A byte sequence that is neither becomes U+FFFD.
[[nodiscard]] std::string FromGbk(std::string_view gbk);

// Text of a Windows code page (936, 1252, 866, ...) to UTF-8; 936 is read
// as FromGbk reads. Bytes the code page does not define become U+FFFD.
// Throws std::runtime_error for a code page iconv does not know.
[[nodiscard]] std::string ToUtf8(std::string_view bytes, int codePage);

// True when ToUtf8 can decode the code page.
[[nodiscard]] bool CodePageSupported(int codePage);

// Width of the text in a GBK file, in columns: an ASCII character counts
// one, a Chinese character two (also one written in four GB18030 bytes).
[[nodiscard]] std::size_t GbkWidth(std::string_view utf8);

// Number of characters (code points) of a UTF-8 text.
[[nodiscard]] std::size_t CharCount(std::string_view utf8);

// True when the text holds any character outside ASCII: its length in
// characters differs from its length in (multi-byte) bytes.
[[nodiscard]] bool HasDoubleByte(std::string_view utf8);

// ASCII-only case folding, as identifiers and file names are compared.
[[nodiscard]] std::string Lower(std::string_view s);
[[nodiscard]] std::string Upper(std::string_view s);
[[nodiscard]] bool EqualNoCase(std::string_view a, std::string_view b);

// Blanks and control characters (bytes up to 0x20) removed at both ends.
[[nodiscard]] std::string Trim(std::string_view s);
[[nodiscard]] std::string TrimRight(std::string_view s);

} // namespace text
