#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace roster {

// How the class statistics read a class from an exam number, as the
// ClassOfNumber of a check without a roster: the class code stands right
// after a prefix (prefixMode) or at a fixed place, codeLength digits long.
// A number without the prefix, too short, with a code that is not digits or
// outside firstClass..lastClass has no class. The class is the code's value
// without leading zeros ("03" gives "3"), as ClassText writes classes.
struct ClassCodeRule {
    bool prefixMode = false;
    std::string prefix;
    int startPosition = 1; // 1-based
    int codeLength = 2;
    int firstClass = 1;
    int lastClass = 24;

    [[nodiscard]] std::optional<std::string> operator()(std::string_view id) const;
};

} // namespace roster
