#pragma once

#include <string>
#include <string_view>

// Conversions between the program's inner UTF-8 text and the 8-bit code pages
// of the files it reads and writes. Every report and log is GBK.
namespace text {

// UTF-8 to GBK. A character GBK cannot hold becomes "?".
[[nodiscard]] std::string ToGbk(std::string_view utf8);

// GBK to UTF-8. A byte sequence that is not GBK becomes U+FFFD.
[[nodiscard]] std::string FromGbk(std::string_view gbk);

// Any iconv code page (e.g. "CP1252", "BIG5") to UTF-8; unconvertible bytes
// become U+FFFD.
[[nodiscard]] std::string ToUtf8(std::string_view bytes, const char* codePage);

// Length of the text in GBK bytes: a Chinese character counts two.
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
