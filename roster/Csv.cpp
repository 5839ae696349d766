#include "roster/CellText.h"
#include "roster/Error.h"
#include "roster/Readers.h"

#include "platform/text/Gbk.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace roster {
namespace {

// The separator the first record holds most of, outside quotes.
char GuessSeparator(std::string_view s) {
    std::array<std::size_t, 3> counts{};
    const std::array<char, 3> candidates{',', '\t', ';'};
    bool quoted = false;
    for (char c : s) {
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == '\n' || c == '\r'))
            break;
        if (quoted)
            continue;
        for (std::size_t k = 0; k < candidates.size(); ++k)
            if (c == candidates[k])
                ++counts[k];
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < candidates.size(); ++k)
        if (counts[k] > counts[best])
            best = k;
    return counts[best] == 0 ? ',' : candidates[best];
}

// Walks the text once, field by field.
class CsvParser {
  public:
    CsvParser(std::string_view s, char separator) : mText(s), mSeparator(separator) {}

    TextRows parse(const std::string& name) {
        TextRows rows;
        TextRow row;
        std::string field;
        std::size_t record = 1;
        while (mAt < mText.size()) {
            const char c = mText[mAt];
            if (c == '"' && field.empty() && !mFieldWasQuoted) {
                readQuoted(field, name, record);
            } else if (c == mSeparator) {
                endField(row, field);
                ++mAt;
            } else if (c == '\r' || c == '\n') {
                endField(row, field);
                rows.push_back(std::move(row));
                row.clear();
                mAt += (c == '\r' && mAt + 1 < mText.size() && mText[mAt + 1] == '\n') ? 2 : 1;
                ++record;
            } else {
                field += c; // a quote inside an unquoted field is an ordinary character
                ++mAt;
            }
        }
        if (!field.empty() || !row.empty() || mFieldWasQuoted) {
            endField(row, field);
            rows.push_back(std::move(row));
        }
        return rows;
    }

  private:
    void endField(TextRow& row, std::string& field) {
        row.push_back(std::move(field));
        field.clear();
        mFieldWasQuoted = false;
    }

    // From the opening quote to the closing one; "" stands for one quote.
    void readQuoted(std::string& field, const std::string& name, std::size_t record) {
        ++mAt;
        while (true) {
            const std::size_t quote = mText.find('"', mAt);
            if (quote == std::string_view::npos)
                throw Error(ListProblem(name, "第 " + std::to_string(record) +
                                                  " 行的引号没有结束（缺少右引号）"));
            field.append(mText.substr(mAt, quote - mAt));
            mAt = quote + 1;
            if (mAt < mText.size() && mText[mAt] == '"') {
                field += '"';
                ++mAt;
                continue;
            }
            break;
        }
        mFieldWasQuoted = true;
    }

    std::string_view mText;
    char mSeparator;
    std::size_t mAt = 0;
    bool mFieldWasQuoted = false;
};

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(ListProblem(file, std::string("无法打开文件（") + std::strerror(errno) + "）"));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Error(ListProblem(file, "读取文件时出错"));
    return bytes.str();
}

// Appends code point cp as UTF-8.
void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::size_t kLinesNamed = 5;

// Text decoded unit by unit: each unit that cannot be decoded becomes one
// U+FFFD where it stood, and is counted with its line. Lines are counted by
// the line feeds decoded so far.
class Decoder {
  public:
    explicit Decoder(DecodedText& into) : mInto(into) {}
    void put(char32_t cp) {
        if (cp == '\n')
            ++mLine;
        AppendUtf8(mInto.utf8, cp);
    }
    void putBytes(std::string_view utf8) {
        for (char c : utf8)
            mLine += c == '\n' ? 1 : 0;
        mInto.utf8.append(utf8);
    }
    void bad() {
        mInto.utf8 += kReplacement;
        ++mInto.undecodable;
        if (mInto.undecodableLines.size() < kLinesNamed &&
            (mInto.undecodableLines.empty() || mInto.undecodableLines.back() != mLine))
            mInto.undecodableLines.push_back(mLine);
    }

  private:
    DecodedText& mInto;
    std::size_t mLine = 1;
};

// The length of the well-formed UTF-8 sequence at s[i], or 0; `taken` is
// the length of its longest well-formed beginning (at least 1), the bytes
// one U+FFFD replaces, so that a byte that could start a sequence of its own
// (an ASCII separator or quote above all) is never taken into a broken one.
std::size_t Utf8Sequence(std::string_view s, std::size_t i, std::size_t& taken) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    taken = 1;
    if (b0 < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= s.size())
            return 0;
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF))
            return 0;
        taken = k + 1;
    }
    return length;
}

// Well-formed multi-byte characters and broken units of bytes read as UTF-8.
struct Utf8Census {
    std::size_t characters = 0;
    std::size_t broken = 0;
};

Utf8Census CountUtf8(std::string_view s) {
    Utf8Census census;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t taken = 1;
        const std::size_t n = Utf8Sequence(s, i, taken);
        if (n == 0) {
            ++census.broken;
            i += taken;
        } else {
            census.characters += n > 1 ? 1 : 0;
            i += n;
        }
    }
    return census;
}

void DecodeUtf8(std::string_view s, Decoder& out) {
    std::size_t start = 0; // of the run of good bytes not yet copied
    for (std::size_t i = 0; i < s.size();) {
        std::size_t taken = 1;
        const std::size_t n = Utf8Sequence(s, i, taken);
        if (n != 0) {
            i += n;
            continue;
        }
        out.putBytes(s.substr(start, i - start));
        out.bad();
        i += taken;
        start = i;
    }
    out.putBytes(s.substr(start));
}

// UTF-16: a surrogate without its partner is one unit that cannot be
// decoded; the unit after it is read afresh.
void DecodeUtf16(std::string_view s, bool little, Decoder& out) {
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(s[i]);
        const auto b = static_cast<unsigned char>(s[i + 1]);
        return little ? static_cast<char32_t>(a | (b << 8)) : static_cast<char32_t>((a << 8) | b);
    };
    std::size_t i = 0;
    for (; i + 1 < s.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
            const char32_t next = unit(i + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                out.put(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            out.bad();
        else
            out.put(u);
    }
    if (i < s.size())
        out.bad(); // an odd byte at the end
}

void DecodeUtf32(std::string_view s, bool little, Decoder& out) {
    std::size_t i = 0;
    for (; i + 3 < s.size(); i += 4) {
        char32_t u = 0;
        for (std::size_t k = 0; k < 4; ++k)
            u |= static_cast<char32_t>(static_cast<unsigned char>(s[i + k]))
                 << (8 * (little ? k : 3 - k));
        if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
            out.bad();
        else
            out.put(u);
    }
    if (i < s.size())
        out.bad();
}

// GB18030: one byte below 0x80, two bytes (81-FE, then 40-7E or 80-FE) or
// four (81-FE, 30-39, 81-FE, 30-39). A byte that starts none of these is one
// unit that cannot be decoded, and the byte after it is read afresh.
std::size_t Gb18030Sequence(std::string_view s, std::size_t i) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char b0 = at(0);
    if (b0 < 0x80)
        return 1;
    if (b0 == 0x80 || b0 == 0xFF || i + 1 >= s.size())
        return 0;
    const unsigned char b1 = at(1);
    if ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0x80 && b1 <= 0xFE))
        return 2;
    if (b1 >= 0x30 && b1 <= 0x39 && i + 3 < s.size() && at(2) >= 0x81 && at(2) <= 0xFE &&
        at(3) >= 0x30 && at(3) <= 0x39)
        return 4;
    return 0;
}

void DecodeGb18030(std::string_view s, Decoder& out) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Gb18030Sequence(s, i);
        if (n != 0) {
            i += n;
            continue;
        }
        out.putBytes(text::FromGbk(s.substr(start, i - start)));
        out.bad();
        start = ++i;
    }
    out.putBytes(text::FromGbk(s.substr(start)));
}

// UTF-32 or UTF-16 without a byte-order mark, told by where the zero bytes
// stand: in UTF-32 the top byte of every unit is zero and the next one at
// most 0x10; in UTF-16 the text of a class list (digits, separators, line
// ends) leaves every other byte zero.
std::optional<TextEncoding> WideWithoutMark(std::string_view s) {
    if (s.size() < 4)
        return std::nullopt;
    if (s.size() % 4 == 0) {
        bool little = true, big = true;
        for (std::size_t i = 0; i < s.size() && (little || big); i += 4) {
            little = little && s[i + 3] == 0 && static_cast<unsigned char>(s[i + 2]) <= 0x10;
            big = big && s[i] == 0 && static_cast<unsigned char>(s[i + 1]) <= 0x10;
        }
        if (little != big)
            return little ? TextEncoding::Utf32Le : TextEncoding::Utf32Be;
    }
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        (i % 2 ? odd : even) += s[i] == 0 ? 1 : 0;
    const std::size_t units = s.size() / 2;
    if (odd * 4 >= units && even * 8 <= odd)
        return TextEncoding::Utf16Le;
    if (even * 4 >= units && odd * 8 <= even)
        return TextEncoding::Utf16Be;
    return std::nullopt;
}

} // namespace

DecodedText DecodeText(std::string_view bytes, const std::string& name) {
    DecodedText d;
    Decoder out(d);
    auto marked = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    if (marked("\xEF\xBB\xBF"sv)) {
        d.encoding = TextEncoding::Utf8Bom;
        DecodeUtf8(bytes.substr(3), out);
    } else if (marked("\xFF\xFE\0\0"sv) || marked("\0\0\xFE\xFF"sv)) {
        d.encoding = bytes[0] == '\xFF' ? TextEncoding::Utf32Le : TextEncoding::Utf32Be;
        DecodeUtf32(bytes.substr(4), d.encoding == TextEncoding::Utf32Le, out);
    } else if (marked("\xFF\xFE"sv) || marked("\xFE\xFF"sv)) {
        d.encoding = bytes[0] == '\xFF' ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        DecodeUtf16(bytes.substr(2), d.encoding == TextEncoding::Utf16Le, out);
    } else if (const auto wide = WideWithoutMark(bytes)) {
        d.encoding = *wide;
        d.withoutMark = true;
        if (*wide == TextEncoding::Utf32Le || *wide == TextEncoding::Utf32Be)
            DecodeUtf32(bytes, *wide == TextEncoding::Utf32Le, out);
        else
            DecodeUtf16(bytes, *wide == TextEncoding::Utf16Le, out);
    } else if (std::count(bytes.begin(), bytes.end(), '\0') * 10 >
               static_cast<long>(bytes.size())) {
        throw Error(ListProblem(name, "不是文本文件（有大量零字节，也不是可识别的 UTF-16 或 "
                                      "UTF-32 文字）。请在电子表格中另存为 CSV（UTF-8）"));
    } else if (const Utf8Census census = CountUtf8(bytes); census.broken == 0) {
        d.encoding = TextEncoding::Utf8;
        d.utf8 = std::string(bytes);
    } else if (census.characters >= 3 * census.broken) {
        d.encoding = TextEncoding::Utf8;
        DecodeUtf8(bytes, out);
    } else {
        d.encoding = TextEncoding::Gb18030;
        DecodeGb18030(bytes, out);
    }
    return d;
}

std::string EncodingText(const TextDecoding& d) {
    std::string s;
    switch (d.encoding) {
    case TextEncoding::Utf8:
        s = "UTF-8";
        break;
    case TextEncoding::Utf8Bom:
        s = "UTF-8（带 BOM）";
        break;
    case TextEncoding::Utf16Le:
        s = "UTF-16LE";
        break;
    case TextEncoding::Utf16Be:
        s = "UTF-16BE";
        break;
    case TextEncoding::Utf32Le:
        s = "UTF-32LE";
        break;
    case TextEncoding::Utf32Be:
        s = "UTF-32BE";
        break;
    case TextEncoding::Gb18030:
        s = "GB18030（GBK）";
        break;
    }
    return d.withoutMark ? s + "（无 BOM）" : s;
}

TextRows ParseCsv(std::string_view utf8, const std::string& name) {
    return CsvParser(utf8, GuessSeparator(utf8)).parse(name);
}

CsvText ReadCsv(const std::filesystem::path& file) {
    DecodedText text = DecodeText(ReadAll(file), file.string());
    CsvText csv;
    csv.rows = ParseCsv(text.utf8, file.string());
    csv.decoding = std::move(static_cast<TextDecoding&>(text));
    return csv;
}

} // namespace roster
