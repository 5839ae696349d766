#include "scoring/Global.h"

#include "platform/text/Gbk.h"

#include <cmath>
#include <cstdio>

namespace scoring {
namespace {

std::string PadTo(std::string text, std::size_t width) {
    text += ' ';
    std::size_t w = text::GbkWidth(text);
    while (w < width) {
        text += ' ';
        ++w;
    }
    return text;
}

} // namespace

std::string MarkToLetter(char code) {
    switch (code) {
    case '0': return " ";
    case '1': return "A";
    case '2': return "B";
    case '4': return "C";
    case '8': return "D";
    case '@': return "E";
    case 'P': return "F";
    default: return std::string(1, code);
    }
}

std::string MarkToLetters(char code) {
    unsigned char c = static_cast<unsigned char>(code);
    if (c < 48 || c > 111)
        return std::string(1, code);
    int mask = c - 48;
    if (mask == 0)
        return " ";
    std::string letters;
    for (int bit = 0; bit < 6; ++bit)
        if (mask & (1 << bit))
            letters += static_cast<char>('A' + bit);
    return letters;
}

std::string PadZero(std::string_view text, int mode, int width) {
    std::string r(text);
    if (mode != 1 && mode != 2)
        return r;
    while (static_cast<int>(text::GbkWidth(r)) < width)
        r = mode == 1 ? "0" + r : r + "0";
    return r;
}

std::string PadNumber(std::int32_t n) { return PadTo(std::to_string(n), NumberWidth); }

std::string PadName(std::string_view text) { return PadTo(std::string(text), NameWidth); }

std::string PadValue(std::string_view text) { return PadTo(std::string(text), ValueWidth); }

double RoundTo(double value, int digits) {
    const double factor = std::pow(10.0, -digits);
    long double quotient = static_cast<long double>(value) / static_cast<long double>(factor);
    long double whole = std::nearbyint(quotient); // ties to even in the default mode
    return static_cast<double>(whole * static_cast<long double>(factor));
}

std::string NumberText(double value) {
    if (value == 0)
        return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

} // namespace scoring
