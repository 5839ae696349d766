#include "scoring/MarkCodes.h"

#include <array>

namespace scoring {

std::string MarkToLetter(char code) {
    switch (code) {
    case '0':
        return " ";
    case '1':
        return "A";
    case '2':
        return "B";
    case '4':
        return "C";
    case '8':
        return "D";
    case '@':
        return "E";
    case 'P':
        return "F";
    default:
        return std::string(1, code);
    }
}

char SingleMarkLetter(char code) {
    switch (code) {
    case '1':
        return 'A';
    case '2':
        return 'B';
    case '4':
        return 'C';
    case '8':
        return 'D';
    case '@':
        return 'E';
    case 'P':
        return 'F';
    default:
        return 0;
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

unsigned OptionBits(char code) {
    static const auto table = [] {
        std::array<unsigned char, 256> bits{};
        for (int b = 0; b < 256; ++b)
            for (char c : MarkToLetters(static_cast<char>(b)))
                if (c >= 'A' && c <= 'D')
                    bits[static_cast<std::size_t>(b)] |= static_cast<unsigned char>(1 << (c - 'A'));
        return bits;
    }();
    return table[static_cast<unsigned char>(code)];
}

} // namespace scoring
