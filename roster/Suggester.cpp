#include "roster/Suggester.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace roster {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// |a - b| with both read as integers of the same length; a place where
// either holds a non-digit counts as ten of that place.
double Distance(std::string_view a, std::string_view b) {
    double signedPart = 0, other = 0, weight = 1;
    for (std::size_t i = a.size(); i-- > 0; weight *= 10) {
        if (a[i] == b[i])
            continue;
        if (IsDigit(a[i]) && IsDigit(b[i]))
            signedPart += (a[i] - b[i]) * weight;
        else
            other += 10 * weight;
    }
    return std::fabs(signedPart) + other;
}

} // namespace

Suggester::Suggester(const Roster& roster)
    : mRoster(roster), mIndex(RosterIds{&roster}, roster.size()), mFirst(roster.size(), false) {
    std::map<std::size_t, std::vector<std::array<bool, 256>>> seen;
    std::vector<std::array<bool, 256>>* places = nullptr; // of the last length seen
    for (std::uint32_t i = 0; i < roster.size(); ++i) {
        mFirst[i] = mIndex.insert(i) == i;
        const std::string_view id = roster.id(i);
        if (!places || places->size() != id.size()) {
            places = &seen[id.size()];
            if (places->empty())
                places->assign(id.size(), std::array<bool, 256>{});
        }
        for (std::size_t p = 0; p < id.size(); ++p)
            (*places)[p][static_cast<unsigned char>(id[p])] = true;
    }
    for (const auto& [length, places] : seen) {
        auto& letters = mLetters[length];
        letters.resize(length);
        for (std::size_t p = 0; p < length; ++p)
            for (int c = 0; c < 256; ++c)
                if (places[p][static_cast<std::size_t>(c)])
                    letters[p] += static_cast<char>(c);
    }
}

void Suggester::look(const std::string& candidate, Closeness closeness,
                     std::vector<Suggestion>& found) const {
    const std::uint32_t student = mIndex.find(candidate);
    if (student != IdIndex<RosterIds>::kNone && student < mFree.size() && mFree[student])
        found.push_back({student, closeness});
}

std::vector<Suggestion> Suggester::suggest(std::string_view id) const {
    std::vector<Suggestion> found;
    auto letters = mLetters.find(id.size());
    if (letters == mLetters.end())
        return found;
    std::string candidate(id);
    for (std::size_t p = 0; p < candidate.size(); ++p) {
        const char original = candidate[p];
        for (char c : letters->second[p]) {
            if (c == original)
                continue;
            candidate[p] = c;
            look(candidate, Closeness::OneDigit, found);
        }
        candidate[p] = original;
    }
    for (std::size_t p = 0; p + 1 < candidate.size(); ++p) {
        if (candidate[p] == candidate[p + 1])
            continue;
        std::swap(candidate[p], candidate[p + 1]);
        look(candidate, Closeness::Swapped, found);
        std::swap(candidate[p], candidate[p + 1]);
    }
    std::sort(found.begin(), found.end(), [&](const Suggestion& a, const Suggestion& b) {
        if (a.closeness != b.closeness)
            return a.closeness < b.closeness;
        const std::string_view x = mRoster.id(a.student), y = mRoster.id(b.student);
        const double dx = Distance(id, x), dy = Distance(id, y);
        if (dx != dy)
            return dx < dy;
        return x < y;
    });
    if (found.size() > kMaxSuggestions)
        found.resize(kMaxSuggestions);
    return found;
}

} // namespace roster
