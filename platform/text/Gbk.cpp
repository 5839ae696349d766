#include "platform/text/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace text {
namespace {

// One iconv descriptor per direction and thread; iconv_t is not reentrant.
class Converter {
public:
    Converter(const char* to, const char* from)
        : mFromUtf8(std::string_view(from) == "UTF-8"), mCd(iconv_open(to, from)) {
        if (mCd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(mCd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string convert(std::string_view in, std::string_view replacement) {
        std::string out;
        out.reserve(in.size() * 2);
        iconv(mCd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(mCd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (r == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                // EILSEQ or EINVAL: skip one character of input.
                size_t skip = 1;
                if (mFromUtf8) {
                    unsigned char c = static_cast<unsigned char>(*src);
                    skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                    if (skip > srcLeft)
                        skip = srcLeft;
                }
                out.append(replacement);
                src += skip;
                srcLeft -= skip;
            }
        }
        return out;
    }
private:
    bool mFromUtf8;
    iconv_t mCd;
};

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

std::string ToGbk(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    thread_local Converter c("GBK", "UTF-8");
    return c.convert(utf8, "?");
}

std::string FromGbk(std::string_view gbk) {
    if (IsAscii(gbk))
        return std::string(gbk);
    thread_local Converter c("UTF-8", "GBK");
    return c.convert(gbk, "\xEF\xBF\xBD");
}

std::string ToUtf8(std::string_view bytes, const char* codePage) {
    if (IsAscii(bytes))
        return std::string(bytes);
    Converter c("UTF-8", codePage);
    return c.convert(bytes, "\xEF\xBF\xBD");
}

std::size_t GbkWidth(std::string_view utf8) {
    if (IsAscii(utf8))
        return utf8.size();
    return ToGbk(utf8).size();
}

std::size_t CharCount(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

bool HasDoubleByte(std::string_view utf8) { return !IsAscii(utf8); }

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
