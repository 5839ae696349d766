#include "stats/Like.h"

namespace stats {
namespace {

std::size_t CharLength(std::string_view s, std::size_t at) {
    unsigned char c = static_cast<unsigned char>(s[at]);
    std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return at + n > s.size() ? s.size() - at : n;
}

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Match(std::string_view p, std::size_t pi, std::string_view t, std::size_t ti) {
    while (pi < p.size()) {
        char c = p[pi];
        if (c == '%') {
            while (pi < p.size() && (p[pi] == '%' || p[pi] == '_')) {
                if (p[pi] == '_') {
                    if (ti >= t.size())
                        return false;
                    ti += CharLength(t, ti);
                }
                ++pi;
            }
            if (pi == p.size())
                return true;
            for (; ti <= t.size(); ti += ti < t.size() ? CharLength(t, ti) : 1)
                if (Match(p, pi, t, ti))
                    return true;
            return false;
        }
        if (ti >= t.size())
            return false;
        if (c == '_') {
            ti += CharLength(t, ti);
            ++pi;
            continue;
        }
        std::size_t n = CharLength(p, pi);
        if (n == 1) {
            if (Fold(c) != Fold(t[ti]))
                return false;
        } else if (p.substr(pi, n) != t.substr(ti, n)) {
            return false;
        }
        pi += n;
        ti += n;
    }
    return ti == t.size();
}

} // namespace

bool Like(std::string_view pattern, std::string_view text) {
    return Match(pattern, 0, text, 0);
}

} // namespace stats
