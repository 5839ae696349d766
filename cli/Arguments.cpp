#include "cli/Arguments.h"

#include <exception>

namespace cli {

int Number(const std::string& text, const char* option) {
    try {
        std::size_t used = 0;
        int n = std::stoi(text, &used);
        if (used == text.size())
            return n;
    } catch (const std::exception&) {
    }
    throw UsageError{std::string(option) + " needs a whole number, not '" + text + "'"};
}

double Decimal(const std::string& text, const char* option) {
    try {
        std::size_t used = 0;
        double v = std::stod(text, &used);
        if (used == text.size())
            return v;
    } catch (const std::exception&) {
    }
    throw UsageError{std::string(option) + " needs a number, not '" + text + "'"};
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        parts.push_back(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

} // namespace cli
