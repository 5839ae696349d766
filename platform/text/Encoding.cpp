#include "platform/text/Encoding.h"

#include "platform/text/Gbk.h"

namespace text {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The length of the well-formed UTF-8 sequence at `i`, or 0 when there is none.
std::size_t SequenceAt(const unsigned char* p, std::size_t n, std::size_t i) {
    const unsigned c = p[i];
    if (c < 0x80)
        return 1;
    std::size_t more = 0;
    unsigned low = 0x80, high = 0xBF; // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        if (c == 0xE0)
            low = 0xA0; // no overlong forms
        if (c == 0xED)
            high = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        if (c == 0xF0)
            low = 0x90;
        if (c == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + more >= n || p[i + 1] < low || p[i + 1] > high)
        return 0;
    for (std::size_t k = 2; k <= more; ++k)
        if ((p[i + k] & 0xC0) != 0x80)
            return 0;
    return more + 1;
}

} // namespace

std::optional<Encoding> EncodingNamed(std::string_view name) {
    const std::string n = Upper(Trim(name));
    if (n == "GBK" || n == "GB18030" || n == "CP936" || n == "936")
        return Encoding::Gbk;
    if (n == "UTF-8" || n == "UTF8")
        return Encoding::Utf8;
    return std::nullopt;
}

const char* EncodingName(Encoding encoding) {
    return encoding == Encoding::Utf8 ? "UTF-8" : "GBK";
}

std::string EncodeLines(const std::vector<std::string>& lines, Encoding encoding) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += encoding == Encoding::Utf8 ? line : ToGbk(line);
        bytes += "\r\n";
    }
    return bytes;
}

bool IsUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = SequenceAt(p, bytes.size(), i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

DecodedText DecodeText(std::string_view bytes, Encoding expected) {
    if (bytes.starts_with(kUtf8Bom) && IsUtf8(bytes.substr(kUtf8Bom.size())))
        return {std::string(bytes.substr(kUtf8Bom.size())), Encoding::Utf8};
    if (!HasDoubleByte(bytes)) // ASCII only
        return {std::string(bytes), expected};
    if (IsUtf8(bytes))
        return {std::string(bytes), Encoding::Utf8};
    return {FromGbk(bytes), Encoding::Gbk};
}

} // namespace text
