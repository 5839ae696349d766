#include "roster/Verify.h"

#include "roster/Gaps.h"
#include "roster/IdIndex.h"
#include "roster/Suggester.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace roster {
namespace {

bool IsBlankNumber(std::string_view id) {
    for (char c : id)
        if (static_cast<unsigned char>(c) > 0x20)
            return false;
    return true;
}

CharKind KindOf(std::string_view id) {
    CharKind kind = CharKind::Digits;
    for (char c : id) {
        if (c >= '0' && c <= '9')
            continue;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            kind = CharKind::Alphanumeric;
        else
            return CharKind::Other;
    }
    return kind;
}

// The most common length and character kind among the non-empty numbers.
NumberShape MajorityShape(const SheetList& sheets) {
    std::vector<std::size_t> lengths(256, 0); // the last counts every longer number
    std::array<std::size_t, 3> kinds{};
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string_view id = sheets.id(i);
        if (IsBlankNumber(id))
            continue;
        ++lengths[std::min(id.size(), lengths.size() - 1)];
        ++kinds[static_cast<std::size_t>(KindOf(id))];
    }
    NumberShape shape;
    std::size_t best = 0;
    for (std::size_t length = 1; length < lengths.size(); ++length)
        if (lengths[length] > best) {
            best = lengths[length];
            shape.length = length;
        }
    const auto top = std::max_element(kinds.begin(), kinds.end());
    shape.kind = static_cast<CharKind>(top - kinds.begin());
    return shape;
}

std::optional<Malformation> MalformationOf(std::string_view id, const NumberShape& majority) {
    if (IsBlankNumber(id))
        return Malformation::Empty;
    if (KindOf(id) > majority.kind)
        return Malformation::Characters;
    if (id.size() != majority.length)
        return Malformation::Length;
    return std::nullopt;
}

constexpr std::uint32_t kNone = IdIndex<Suggester::RosterIds>::kNone;

// What one pass over the sheets finds: every number's first sheet and the
// duplicates; with a roster also the roster entry of each sheet's number.
struct SheetPass {
    std::vector<bool> first;                                  // first sheet of its number
    std::vector<std::pair<std::uint32_t, std::uint32_t>> dup; // (first sheet, later sheet)
    std::vector<std::uint32_t> student;                       // roster entry, or kNone
};

// Without a roster: one hash index of the sheets' numbers.
SheetPass IndexSheets(const SheetList& sheets) {
    auto ids = [&sheets](std::uint32_t i) { return sheets.id(i); };
    IdIndex<decltype(ids)> index(ids, sheets.size());
    SheetPass pass;
    pass.first.assign(sheets.size(), false);
    for (std::uint32_t i = 0; i < sheets.size(); ++i) {
        if (IsBlankNumber(sheets.id(i)))
            continue;
        const std::uint32_t holder = index.insert(i);
        if (holder == i)
            pass.first[i] = true;
        else
            pass.dup.emplace_back(holder, i);
    }
    return pass;
}

// With a roster: the roster's index finds each sheet's entry and the entry
// keeps its first sheet, so only the numbers off the roster need an index
// of their own (small, grown as they come).
SheetPass IndexSheetsByRoster(const SheetList& sheets, const Suggester& suggester,
                              std::size_t rosterSize) {
    auto ids = [&sheets](std::uint32_t i) { return sheets.id(i); };
    IdIndex<decltype(ids)> offRoster(ids, 64);
    std::vector<std::uint32_t> sheetOf(rosterSize, kNone);
    SheetPass pass;
    pass.first.assign(sheets.size(), false);
    pass.student.assign(sheets.size(), kNone);
    for (std::uint32_t i = 0; i < sheets.size(); ++i) {
        const std::string_view id = sheets.id(i);
        if (IsBlankNumber(id))
            continue;
        const std::uint32_t s = suggester.find(id);
        pass.student[i] = s;
        std::uint32_t holder = i;
        if (s == kNone)
            holder = offRoster.insert(i);
        else if (sheetOf[s] == kNone)
            sheetOf[s] = i;
        else
            holder = sheetOf[s];
        if (holder == i)
            pass.first[i] = true;
        else
            pass.dup.emplace_back(holder, i);
    }
    return pass;
}

std::vector<DuplicateGroup> GroupDuplicates(const SheetList& sheets, SheetPass& pass) {
    std::sort(pass.dup.begin(), pass.dup.end());
    std::vector<DuplicateGroup> groups;
    for (std::size_t k = 0; k < pass.dup.size(); ++k) {
        if (k == 0 || pass.dup[k].first != pass.dup[k - 1].first)
            groups.emplace_back().sheets.push_back(pass.dup[k].first);
        groups.back().sheets.push_back(pass.dup[k].second);
    }
    for (DuplicateGroup& g : groups)
        std::sort(g.sheets.begin(), g.sheets.end(), [&](std::uint32_t a, std::uint32_t b) {
            return sheets.record(a) < sheets.record(b);
        });
    std::sort(groups.begin(), groups.end(), [&](const DuplicateGroup& a, const DuplicateGroup& b) {
        return sheets.id(a.sheets[0]) < sheets.id(b.sheets[0]);
    });
    return groups;
}

bool NumberBefore(std::string_view a, std::string_view b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<AbsentClass> GroupAbsent(const Roster& roster, const std::vector<bool>& withoutSheet) {
    std::unordered_map<std::uint32_t, std::size_t> byClass;
    std::vector<AbsentClass> absent;
    for (std::uint32_t s = 0; s < roster.size(); ++s) {
        if (!withoutSheet[s])
            continue;
        auto [it, fresh] = byClass.emplace(roster.classIndex(s), absent.size());
        if (fresh)
            absent.push_back({std::string(roster.className(s)), {}});
        absent[it->second].students.push_back(s);
    }
    for (AbsentClass& a : absent)
        std::sort(a.students.begin(), a.students.end(), [&](std::uint32_t x, std::uint32_t y) {
            return NumberBefore(roster.id(x), roster.id(y));
        });
    std::sort(absent.begin(), absent.end(), [](const AbsentClass& a, const AbsentClass& b) {
        return ClassBefore(a.className, b.className);
    });
    return absent;
}

// Absent students, and unknown and malformed sheets with suggestions found
// once per number and shared by the sheets that carry it.
void CompareWithRoster(const SheetList& sheets, const Roster& roster, Suggester& suggester,
                       const SheetPass& pass, const std::vector<std::uint32_t>& firstOf,
                       VerifyResult& r) {
    std::vector<bool> hasSheet(roster.size(), false);
    for (std::uint32_t i = 0; i < sheets.size(); ++i)
        if (pass.first[i] && pass.student[i] != kNone)
            hasSheet[pass.student[i]] = true;
    std::vector<bool> withoutSheet(roster.size(), false);
    for (std::uint32_t s = 0; s < roster.size(); ++s) {
        if (!suggester.isFirst(s))
            continue;
        ++r.studentCount;
        withoutSheet[s] = !hasSheet[s];
        r.studentsMatched += hasSheet[s] ? 1 : 0;
    }
    r.absent = GroupAbsent(roster, withoutSheet);
    suggester.setWithoutSheet(std::move(withoutSheet));

    std::unordered_map<std::uint32_t, std::vector<Suggestion>> byFirst;
    for (std::uint32_t i = 0; i < sheets.size(); ++i) {
        const std::string_view id = sheets.id(i);
        const auto why = MalformationOf(id, r.majority);
        if (why == Malformation::Empty) {
            r.malformed.push_back({i, *why, {}});
            continue;
        }
        if (pass.student[i] != kNone)
            continue;
        const std::uint32_t first = firstOf[i];
        auto it = byFirst.find(first);
        if (it == byFirst.end())
            it = byFirst.emplace(first, suggester.suggest(id)).first;
        if (why)
            r.malformed.push_back({i, *why, it->second});
        else
            r.unknown.push_back({i, it->second});
    }
    std::sort(
        r.unknown.begin(), r.unknown.end(), [&](const UnknownSheet& a, const UnknownSheet& b) {
            const std::string_view x = sheets.id(a.sheet), y = sheets.id(b.sheet);
            return x != y ? NumberBefore(x, y) : sheets.record(a.sheet) < sheets.record(b.sheet);
        });
}

void FindMalformedAlone(const SheetList& sheets, VerifyResult& r) {
    for (std::uint32_t i = 0; i < sheets.size(); ++i)
        if (const auto why = MalformationOf(sheets.id(i), r.majority))
            r.malformed.push_back({i, *why, {}});
}

// Each sheet's number's first sheet (itself when it is the first).
std::vector<std::uint32_t> FirstSheets(const SheetList& sheets, const SheetPass& pass) {
    std::vector<std::uint32_t> firstOf(sheets.size());
    for (std::uint32_t i = 0; i < sheets.size(); ++i)
        firstOf[i] = i;
    for (const auto& [first, later] : pass.dup)
        firstOf[later] = first;
    return firstOf;
}

} // namespace

std::size_t VerifyResult::duplicateSheets() const {
    std::size_t n = 0;
    for (const auto& g : duplicates)
        n += g.sheets.size();
    return n;
}

std::size_t VerifyResult::absentCount() const {
    std::size_t n = 0;
    for (const auto& a : absent)
        n += a.students.size();
    return n;
}

std::size_t VerifyResult::missingInGaps() const {
    std::size_t n = 0;
    for (const auto& c : gaps)
        for (const auto& g : c.gaps)
            n += g.count;
    return n;
}

bool ClassBefore(std::string_view a, std::string_view b) {
    auto numeric = [](std::string_view s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (a.empty() != b.empty())
        return b.empty(); // no class last
    const bool na = numeric(a), nb = numeric(b);
    if (na != nb)
        return na;
    if (na) {
        a.remove_prefix(std::min(a.find_first_not_of('0'), a.size() - 1));
        b.remove_prefix(std::min(b.find_first_not_of('0'), b.size() - 1));
        return NumberBefore(a, b);
    }
    return a < b;
}

VerifyResult VerifyNumbers(const SheetList& sheets, const Roster* roster,
                           const ClassOfNumber& classOf) {
    VerifyResult r;
    r.withRoster = roster != nullptr;
    r.sheetCount = sheets.size();
    r.majority = MajorityShape(sheets);
    SheetPass pass;
    if (roster) {
        Suggester suggester(*roster);
        pass = IndexSheetsByRoster(sheets, suggester, roster->size());
        CompareWithRoster(sheets, *roster, suggester, pass, FirstSheets(sheets, pass), r);
        r.duplicates = GroupDuplicates(sheets, pass);
        for (DuplicateGroup& g : r.duplicates)
            g.suggestions = suggester.suggest(sheets.id(g.sheets.front()));
    } else {
        pass = IndexSheets(sheets);
        FindMalformedAlone(sheets, r);
        FindGaps(sheets, pass.first, r, classOf);
        r.duplicates = GroupDuplicates(sheets, pass);
    }
    std::sort(r.malformed.begin(), r.malformed.end(),
              [&](const MalformedSheet& a, const MalformedSheet& b) {
                  return sheets.record(a.sheet) < sheets.record(b.sheet);
              });
    return r;
}

} // namespace roster
