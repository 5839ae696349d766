#include "platform/text/Gbk.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <stdexcept>

namespace text {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Bytes of the UTF-8 character at p, at most `left`: its lead byte and the
// continuation bytes that follow it, so that a cut character takes no more.
std::size_t Utf8Length(const char* p, std::size_t left) {
    const auto c = static_cast<unsigned char>(*p);
    const std::size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    std::size_t n = 1;
    while (n < want && n < left && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// One iconv descriptor; iconv_t is not reentrant, so each thread keeps its own.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : mCd(iconv_open(to, from)) {
        if (mCd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(mCd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts as much of [src, src + left) as it can into out; returns
    // false when it stopped at a sequence it cannot convert.
    bool run(char*& src, std::size_t& left, std::string& out) {
        iconv(mCd, nullptr, nullptr, nullptr, nullptr);
        char buffer[4096];
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            std::size_t r = iconv(mCd, &src, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG)
                return false;
        }
        // Stateful code pages (1255 composes a letter with the marks that
        // may follow it) hold the last character back until told the end.
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(mCd, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return true;
    }

    // Converts exactly the n bytes at p, or nothing.
    bool whole(const char* p, std::size_t n, std::string& out) {
        std::string piece;
        char* src = const_cast<char*>(p);
        std::size_t left = n;
        if (!run(src, left, piece) || left != 0)
            return false;
        out += piece;
        return true;
    }

  private:
    iconv_t mCd;
};

// A conversion with a second code page for the characters the first cannot
// convert, and a replacement for those neither can.
class Converter {
  public:
    Converter(const char* to, const char* from, const char* fallbackFrom, const char* fallbackTo,
              bool fromUtf8, std::string_view replacement)
        : mMain(to, from), mFromUtf8(fromUtf8), mReplacement(replacement) {
        if (fallbackFrom)
            mFallback = std::make_unique<Iconv>(fallbackTo, fallbackFrom);
    }

    std::string convert(std::string_view in) {
        std::string out;
        out.reserve(in.size() * 2);
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (!mMain.run(src, left, out))
            skipOne(src, left, out);
        return out;
    }

  private:
    // The character at src, which the main conversion refused: converted by
    // the fallback when it can, else replaced.
    void skipOne(char*& src, std::size_t& left, std::string& out) {
        const std::size_t widest =
            mFromUtf8 ? Utf8Length(src, left) : std::min<std::size_t>(4, left);
        if (mFallback) {
            for (std::size_t n = mFromUtf8 ? widest : 1; n <= widest; ++n) {
                if (mFallback->whole(src, n, out)) {
                    src += n;
                    left -= n;
                    return;
                }
            }
        }
        out += mReplacement;
        std::size_t skip = mFromUtf8 ? widest : 1;
        src += skip;
        left -= skip;
    }

    Iconv mMain;
    std::unique_ptr<Iconv> mFallback;
    bool mFromUtf8;
    std::string mReplacement;
};

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

std::string IconvName(int codePage) {
    if (codePage == kChineseCodePage || codePage == 54936)
        return "GB18030";
    if (codePage == 65001)
        return "UTF-8";
    if (codePage == 1200)
        return "UTF-16LE";
    if (codePage == 1201)
        return "UTF-16BE";
    return "CP" + std::to_string(codePage);
}

// This thread's decoder of a code page; created on first use.
Converter& DecoderOf(int codePage) {
    thread_local std::map<int, std::unique_ptr<Converter>> decoders;
    auto& slot = decoders[codePage];
    if (!slot) {
        if (codePage == kChineseCodePage)
            slot = std::make_unique<Converter>("UTF-8", "GB18030", "GBK", "UTF-8", false,
                                               kReplacementUtf8);
        else
            slot = std::make_unique<Converter>("UTF-8", IconvName(codePage).c_str(), nullptr,
                                               nullptr, false, kReplacementUtf8);
    }
    return *slot;
}

} // namespace

std::string ToGbk(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    thread_local Converter c("GBK", "UTF-8", "UTF-8", "GB18030", true, "?");
    return c.convert(utf8);
}

std::string FromGbk(std::string_view gbk) {
    return ToUtf8(gbk, kChineseCodePage);
}

std::string ToUtf8(std::string_view bytes, int codePage) {
    // Plain ASCII reads the same in every code page but the two of UTF-16.
    if (codePage != 1200 && codePage != 1201 && IsAscii(bytes))
        return std::string(bytes);
    return DecoderOf(codePage).convert(bytes);
}

bool CodePageSupported(int codePage) {
    if (codePage <= 0)
        return false;
    try {
        (void)DecoderOf(codePage);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::size_t GbkWidth(std::string_view utf8) {
    if (IsAscii(utf8))
        return utf8.size();
    const std::string bytes = ToGbk(utf8);
    std::size_t width = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 1;
        if (c > 0x80 && i + 1 < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + 1]);
            n = next >= '0' && next <= '9' ? 4 : 2;
        }
        width += n == 1 ? 1 : 2;
        i += n;
    }
    return width;
}
std::size_t CharCount(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

bool HasDoubleByte(std::string_view utf8) {
    return !IsAscii(utf8);
}

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return std::string(s.substr(b, e - b));
}

std::string TrimRight(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return std::string(s.substr(0, e));
}

} // namespace text
