#include "scoring/NumberText.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace scoring {

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

std::string FixedText(double value, int decimals) {
    if (!std::isfinite(value))
        return value != value ? "NAN" : value > 0 ? "INF" : "-INF";
    // The value's 17 significant digits, then decimal rounding half up.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.16e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    int exponent = std::atoi(p + 1); // value = 0.d1d2... x 10^(exponent + 1)
    int point = exponent + 1;        // digits before the decimal point
    int keep = point + decimals;     // digits kept
    std::string kept;
    if (keep < 0) {
        kept = "0";
        point = 1;
    } else {
        while (static_cast<int>(digits.size()) < keep + 1)
            digits += '0';
        kept = digits.substr(0, static_cast<std::size_t>(keep));
        if (digits[static_cast<std::size_t>(keep)] >= '5') {
            int i = keep - 1;
            while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
                kept[static_cast<std::size_t>(i--)] = '0';
            if (i >= 0)
                ++kept[static_cast<std::size_t>(i)];
            else {
                kept.insert(kept.begin(), '1');
                ++point;
            }
        }
    }
    // Lay the kept digits out around the decimal point.
    std::string whole, fraction;
    if (point <= 0) {
        whole = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + kept;
    } else {
        while (static_cast<int>(kept.size()) < point)
            kept += '0';
        whole = kept.substr(0, static_cast<std::size_t>(point));
        fraction = kept.substr(static_cast<std::size_t>(point));
    }
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    std::size_t nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? "0" : whole.substr(nz);
    std::string text = whole + (decimals > 0 ? "." + fraction : "");
    bool zero = text.find_first_not_of("0.") == std::string::npos;
    return (value < 0 && !zero ? "-" : "") + text;
}

} // namespace scoring
