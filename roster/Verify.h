#pragma once

#include "roster/Lists.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The exam-number check: the sheets of a table against the class list,
// or, without a list, against each other. It finds the numbers that have a
// problem (duplicates, numbers not on the list with the list's numbers they
// were probably meant to be, absent students, malformed numbers, gaps
// within a class) and nothing else. The result names sheets and students
// by their positions in the SheetList and the Roster it was computed from,
// which must outlive it.
namespace roster {

// How a suggested roster number differs from the sheet's number.
enum class Closeness {
    OneDigit, // in exactly one place
    Swapped,  // by two neighbouring characters swapped
};

struct Suggestion {
    std::uint32_t student = 0; // position in the Roster
    Closeness closeness = Closeness::OneDigit;
};

// At most this many suggestions are kept for one sheet.
constexpr std::size_t kMaxSuggestions = 10;

// Sheets that carry the same number: positions in the SheetList, in
// record order. With a roster, the numbers each of them may have been meant
// to carry, found as for a number not on the roster (UnknownSheet).
struct DuplicateGroup {
    std::vector<std::uint32_t> sheets;
    std::vector<Suggestion> suggestions;
};

// A sheet whose number is not on the roster. Suggestions are roster numbers
// that no sheet has and that differ from it in one place or by two
// neighbouring characters swapped, best first: every one-place difference
// before every swap, then the nearer in value (|difference| of the two
// numbers read as integers, a place holding a non-digit counting as ten of
// that place), then the smaller number. None when nothing is that close.
struct UnknownSheet {
    std::uint32_t sheet = 0;
    std::vector<Suggestion> suggestions;
};

enum class Malformation {
    Empty,      // no number
    Characters, // characters the majority does not have (a '?' from the reader, a letter)
    Length,     // another length than the majority
};

// A sheet whose number is empty or unlike the majority of the table (a
// number on the roster is never malformed). Suggestions as for UnknownSheet:
// a misread place ('?') is one place.
struct MalformedSheet {
    std::uint32_t sheet = 0;
    Malformation why = Malformation::Empty;
    std::vector<Suggestion> suggestions;
};

// Roster students with no sheet, in one class, by number.
struct AbsentClass {
    std::string className;
    std::vector<std::uint32_t> students; // positions in the Roster
};

// Numbers missing between two sheets of a class: first to last, `count` of them.
struct NumberGap {
    std::string first;
    std::string last;
    std::uint64_t count = 0;
};

struct ClassGaps {
    std::string className;
    std::vector<NumberGap> gaps;
};

// What the numbers of most sheets are made of.
enum class CharKind { Digits, Alphanumeric, Other };

struct NumberShape {
    std::size_t length = 0; // in bytes; the numbers are ASCII
    CharKind kind = CharKind::Digits;
};

// The class of an exam number (as the class statistics read it from its
// code), or nullopt when the number belongs to no class.
using ClassOfNumber = std::function<std::optional<std::string>(std::string_view)>;

struct VerifyResult {
    bool withRoster = false;
    NumberShape majority;
    std::size_t sheetCount = 0;
    std::size_t studentCount = 0;           // distinct numbers on the roster
    std::size_t studentsMatched = 0;        // roster numbers that have a sheet
    std::vector<DuplicateGroup> duplicates; // by number
    std::vector<UnknownSheet> unknown;      // by number, then record
    std::vector<AbsentClass> absent;        // by class (numbers in numeric order)
    std::vector<MalformedSheet> malformed;  // by record
    std::vector<ClassGaps> gaps;            // without a roster only; by class
    // Without a roster: well-formed numbers whose class the settings cannot tell.
    std::size_t unclassified = 0;

    [[nodiscard]] std::size_t duplicateSheets() const;
    [[nodiscard]] std::size_t absentCount() const;
    [[nodiscard]] std::size_t missingInGaps() const;
};

// The check. With a roster it reports duplicates, unknown numbers with
// suggestions, absent students and malformed numbers; without one,
// duplicates, malformed numbers and the gaps within each class that
// `classOf` tells (one group for the whole table when it is empty). Gaps
// are looked for among digit-only numbers of the majority length of at
// most 18 digits. Suggestions come from a hash index of the roster searched
// for every one-place change (over the characters the roster has in that
// place) and every swap of a sheet's number, so the cost grows with the
// unknown sheets, not with their product with the roster.
[[nodiscard]] VerifyResult VerifyNumbers(const SheetList& sheets, const Roster* roster,
                                         const ClassOfNumber& classOf = {});

// The ordering of class names: numeric ones by value first, then the rest
// by text, no class (empty) last.
[[nodiscard]] bool ClassBefore(std::string_view a, std::string_view b);

} // namespace roster
