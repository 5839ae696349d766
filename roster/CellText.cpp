#include "roster/CellText.h"

#include "platform/text/Encoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace roster {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (!IsDigit(c))
            return false;
    return true;
}

// Length of a blank at the front of s (0 when none): ASCII blanks, U+3000,
// U+00A0 and U+FEFF.
std::size_t LeadingBlank(std::string_view s) {
    if (s.empty())
        return 0;
    if (static_cast<unsigned char>(s[0]) <= 0x20)
        return 1;
    if (s.substr(0, 3) == "\xE3\x80\x80" || s.substr(0, 3) == "\xEF\xBB\xBF")
        return 3;
    if (s.substr(0, 2) == "\xC2\xA0")
        return 2;
    return 0;
}

std::size_t TrailingBlank(std::string_view s) {
    if (s.empty())
        return 0;
    if (static_cast<unsigned char>(s.back()) <= 0x20)
        return 1;
    if (s.size() >= 3) {
        std::string_view t = s.substr(s.size() - 3);
        if (t == "\xE3\x80\x80" || t == "\xEF\xBB\xBF")
            return 3;
    }
    if (s.size() >= 2 && s.substr(s.size() - 2) == "\xC2\xA0")
        return 2;
    return 0;
}

std::string StripLeadingZeros(std::string_view digits) {
    std::size_t i = 0;
    while (i + 1 < digits.size() && digits[i] == '0')
        ++i;
    return std::string(digits.substr(i));
}

// "123.000" -> "123"; anything else unchanged.
std::string DropZeroFraction(const std::string& s) {
    std::size_t dot = s.find('.');
    if (dot == std::string::npos || dot == 0 || !AllDigits(std::string_view(s).substr(0, dot)))
        return s;
    std::string_view fraction = std::string_view(s).substr(dot + 1);
    for (char c : fraction)
        if (c != '0')
            return s;
    return s.substr(0, dot);
}

// Scientific notation "M.FFFe[+]X" of a non-negative number: the integer
// it writes, empty when it is not of that form or not an integer. `lost`
// tells that the exponent reaches past the written digits.
std::string ExpandExponent(const std::string& s, bool& lost) {
    lost = false;
    std::size_t e = s.find_first_of("eE");
    if (e == std::string::npos || e == 0)
        return {};
    std::string_view mantissa = std::string_view(s).substr(0, e);
    std::string_view exponent = std::string_view(s).substr(e + 1);
    if (!exponent.empty() && exponent[0] == '+')
        exponent.remove_prefix(1);
    if (!AllDigits(exponent) || exponent.size() > 3)
        return {};
    std::size_t dot = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, dot);
    std::string_view fraction =
        dot == std::string_view::npos ? std::string_view{} : mantissa.substr(dot + 1);
    if (!AllDigits(whole) || (!fraction.empty() && !AllDigits(fraction)))
        return {};
    const std::size_t shift = static_cast<std::size_t>(std::atoi(std::string(exponent).c_str()));
    std::string digits = std::string(whole) + std::string(fraction);
    if (shift >= fraction.size()) {
        lost = shift > fraction.size();
        digits.append(shift - fraction.size(), '0');
    } else {
        for (char c : fraction.substr(shift))
            if (c != '0')
                return {};
        digits.resize(whole.size() + shift);
    }
    return StripLeadingZeros(digits);
}

} // namespace

std::string TrimCell(std::string_view s) {
    for (std::size_t n = LeadingBlank(s); n; n = LeadingBlank(s))
        s.remove_prefix(n);
    for (std::size_t n = TrailingBlank(s); n; n = TrailingBlank(s))
        s.remove_suffix(n);
    return std::string(s);
}

std::string HalfWidth(std::string_view s) {
    // U+FF10..U+FF19, U+FF21..U+FF3A, U+FF41..U+FF5A: EF BC 90..99, EF BC A1..BA, EF BD 81..9A.
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i + 2 < s.size() && static_cast<unsigned char>(s[i]) == 0xEF) {
            const auto b1 = static_cast<unsigned char>(s[i + 1]);
            const auto b2 = static_cast<unsigned char>(s[i + 2]);
            if (b1 == 0xBC && b2 >= 0x90 && b2 <= 0x99) {
                out += static_cast<char>('0' + (b2 - 0x90));
                i += 2;
                continue;
            }
            if (b1 == 0xBC && b2 >= 0xA1 && b2 <= 0xBA) {
                out += static_cast<char>('A' + (b2 - 0xA1));
                i += 2;
                continue;
            }
            if (b1 == 0xBD && b2 >= 0x81 && b2 <= 0x9A) {
                out += static_cast<char>('a' + (b2 - 0x81));
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string FormatNumber(double v) {
    if (!std::isfinite(v))
        return {};
    char buffer[64];
    if (v == std::floor(v) && std::fabs(v) < 9.0e18) {
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
        return buffer[0] == '-' && buffer[1] == '0' && buffer[2] == '\0' ? "0" : buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return buffer;
}

NumberText ExamNumberText(std::string_view cell) {
    NumberText n;
    std::string s = HalfWidth(TrimCell(cell));
    if (s.find_first_of("eE") != std::string::npos) {
        bool lost = false;
        std::string expanded = ExpandExponent(s, lost);
        if (lost) {
            n.digitsLost = true;
            return n;
        }
        if (!expanded.empty()) {
            n.text = std::move(expanded);
            return n;
        }
    }
    n.text = DropZeroFraction(s);
    return n;
}

std::string ClassText(std::string_view cell) {
    const std::string s = DropZeroFraction(HalfWidth(TrimCell(cell)));
    std::size_t end = s.size();
    while (end > 0 && !IsDigit(s[end - 1]))
        --end;
    if (end == 0)
        return s;
    std::size_t begin = end;
    while (begin > 0 && IsDigit(s[begin - 1]))
        --begin;
    return StripLeadingZeros(std::string_view(s).substr(begin, end - begin));
}

std::string NameText(std::string_view cell) {
    std::string s = TrimCell(cell);
    for (char c : s)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return s;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ' || s[i] == '\t')
            continue;
        if (s.compare(i, 3, "\xE3\x80\x80") == 0) {
            i += 2;
            continue;
        }
        out += s[i];
    }
    return out;
}

std::string WritableText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 && c != '\t')
            continue;
        // U+FFFE and U+FFFF: EF BF BE, EF BF BF.
        if (c == 0xEF && s.compare(i + 1, 1, "\xBF") == 0 && i + 2 < s.size() &&
            (s[i + 2] == '\xBE' || s[i + 2] == '\xBF')) {
            i += 2;
            continue;
        }
        out += s[i];
    }
    return out;
}

bool IsUtf8(std::string_view bytes) {
    return text::IsUtf8(bytes);
}

} // namespace roster
