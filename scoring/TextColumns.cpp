#include "scoring/TextColumns.h"

#include "platform/text/Gbk.h"

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

std::string PadZero(std::string_view text, int mode, int width) {
    std::string r(text);
    if (mode != ZerosInFront && mode != ZerosBehind)
        return r;
    while (static_cast<int>(text::GbkWidth(r)) < width)
        r = mode == ZerosInFront ? "0" + r : r + "0";
    return r;
}

std::string PadNumber(std::int32_t n) {
    return PadTo(std::to_string(n), NumberWidth);
}

std::string PadName(std::string_view text) {
    return PadTo(std::string(text), NameWidth);
}

std::string PadValue(std::string_view text) {
    return PadTo(std::string(text), ValueWidth);
}

} // namespace scoring
