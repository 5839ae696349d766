#include "scoring/MarkText.h"

#include "scoring/MarkCodes.h"

namespace scoring {

std::string MarksText(std::string_view content, int perLine) {
    while (!content.empty() && content.back() == ' ')
        content.remove_suffix(1);
    if (perLine < 1)
        perLine = 1;
    std::string out;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (i > 0)
            out += i % static_cast<std::size_t>(perLine) == 0 ? "\n" : "  ";
        std::string letters = MarkToLetters(content[i]);
        if (letters == " ")
            letters.clear();
        out += std::to_string(i + 1) + ":" + letters;
    }
    return out;
}

} // namespace scoring
