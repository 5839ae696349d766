#pragma once

#include "roster/IdIndex.h"
#include "roster/Lists.h"
#include "roster/Verify.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace roster {

// Finds, for a number not on the roster, the roster numbers without a sheet
// that it was probably meant to be. Holds the roster's hash index, which
// also answers whether a number is on the roster, and the characters the
// roster has at every place of every length of number; candidates are the
// sheet's number changed in one place or with two neighbours swapped.
class Suggester {
  public:
    // The roster's numbers by position, called inline by the index.
    struct RosterIds {
        const Roster* roster;
        [[nodiscard]] std::string_view operator()(std::uint32_t i) const { return roster->id(i); }
    };

    explicit Suggester(const Roster& roster);

    // The position of the first roster entry with this number, or IdIndex's kNone.
    [[nodiscard]] std::uint32_t find(std::string_view id) const { return mIndex.find(id); }
    // True for the first entry of each roster number.
    [[nodiscard]] bool isFirst(std::uint32_t student) const { return mFirst[student]; }
    // Marks roster entries that have no sheet; only those are suggested.
    void setWithoutSheet(std::vector<bool> withoutSheet) { mFree = std::move(withoutSheet); }

    [[nodiscard]] std::vector<Suggestion> suggest(std::string_view id) const;

  private:
    void look(const std::string& candidate, Closeness closeness,
              std::vector<Suggestion>& found) const;

    const Roster& mRoster;
    IdIndex<RosterIds> mIndex;
    std::vector<bool> mFirst;
    std::vector<bool> mFree;
    std::map<std::size_t, std::vector<std::string>> mLetters; // length -> characters per place
};

} // namespace roster
