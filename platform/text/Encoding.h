#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The encodings a report written whole may have, and the reading of a text
// file whose encoding is not known for certain. Appended logs are always
// GBK (TextFile.h), so that no file mixes encodings.
namespace text {

// GBK (the system's own; a character GBK lacks gets its GB18030 bytes) or
// UTF-8 without a byte-order mark. Lines end in CR LF in both.
enum class Encoding { Gbk, Utf8 };

// The encoding a setting names: "GBK" (also "GB18030", "CP936", "936") or
// "UTF-8" ("UTF8"), without regard to case or surrounding blanks; nothing for
// any other text.
[[nodiscard]] std::optional<Encoding> EncodingNamed(std::string_view name);

// "GBK" or "UTF-8", as a setting names it.
[[nodiscard]] const char* EncodingName(Encoding encoding);

// The lines in the encoding, each ended by CR LF. GBK gives exactly the bytes
// of GbkLines.
[[nodiscard]] std::string EncodeLines(const std::vector<std::string>& lines, Encoding encoding);

// True when the bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
[[nodiscard]] bool IsUtf8(std::string_view bytes);

// A text file's bytes read into UTF-8, and the encoding they were read in.
struct DecodedText {
    std::string utf8;
    Encoding encoding = Encoding::Gbk;
};

// Reads the bytes of a report: well-formed UTF-8 holding a character outside
// ASCII is UTF-8, whatever was expected (GBK Chinese text is practically
// never well-formed UTF-8, so a file written under the other setting still
// reads right); other bytes are GB18030, the superset of GBK. Plain ASCII is
// said to be in `expected`. A UTF-8 byte-order mark is dropped.
[[nodiscard]] DecodedText DecodeText(std::string_view bytes, Encoding expected);

} // namespace text
