#include "roster/Gaps.h"

#include <algorithm>
#include <unordered_map>

namespace roster {
namespace {

constexpr std::size_t kMaxGapDigits = 18;

bool ParseDigits(std::string_view id, std::uint64_t& value) {
    value = 0;
    for (char c : id) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

std::vector<NumberGap> GapsOf(std::vector<std::uint64_t>& values, std::size_t width) {
    std::sort(values.begin(), values.end());
    std::vector<NumberGap> gaps;
    for (std::size_t k = 1; k < values.size(); ++k) {
        if (values[k] <= values[k - 1] + 1)
            continue;
        gaps.push_back({PaddedNumber(values[k - 1] + 1, width), PaddedNumber(values[k] - 1, width),
                        values[k] - values[k - 1] - 1});
    }
    return gaps;
}

} // namespace

std::string PaddedNumber(std::uint64_t value, std::size_t width) {
    std::string s = std::to_string(value);
    if (s.size() < width)
        s.insert(0, width - s.size(), '0');
    return s;
}

void FindGaps(const SheetList& sheets, const std::vector<bool>& first, VerifyResult& r,
              const ClassOfNumber& classOf) {
    const NumberShape& shape = r.majority;
    if (shape.kind != CharKind::Digits || shape.length == 0 || shape.length > kMaxGapDigits)
        return;
    std::unordered_map<std::string, std::vector<std::uint64_t>> byClass;
    std::string lastClass;
    std::vector<std::uint64_t>* lastValues = nullptr;
    for (std::uint32_t i = 0; i < sheets.size(); ++i) {
        const std::string_view id = sheets.id(i);
        std::uint64_t value = 0;
        if (!first[i] || id.size() != shape.length || !ParseDigits(id, value))
            continue;
        std::optional<std::string> cls = classOf ? classOf(id) : std::optional<std::string>("");
        if (!cls) {
            ++r.unclassified;
            continue;
        }
        if (!lastValues || *cls != lastClass) {
            lastClass = *cls;
            lastValues = &byClass[lastClass];
        }
        lastValues->push_back(value);
    }
    for (auto& [name, values] : byClass) {
        std::vector<NumberGap> gaps = GapsOf(values, shape.length);
        if (!gaps.empty())
            r.gaps.push_back({name, std::move(gaps)});
    }
    std::sort(r.gaps.begin(), r.gaps.end(), [](const ClassGaps& a, const ClassGaps& b) {
        return ClassBefore(a.className, b.className);
    });
}

} // namespace roster
