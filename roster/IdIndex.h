#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace roster {

// A hash index of exam numbers held elsewhere (a SheetList or a Roster),
// by their position there: open addressing, linear probing, eight bytes a
// slot and at most half the slots used, so a million numbers take 16 MB and
// no string is copied. `IdOf` maps a position to its number.
template <class IdOf> class IdIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    IdIndex(IdOf idOf, std::size_t expected) : mIdOf(std::move(idOf)) {
        std::size_t capacity = 16;
        while (capacity < expected * 2)
            capacity *= 2;
        mSlots.assign(capacity, Slot{kNone, 0});
        mMask = capacity - 1;
    }

    // Adds position i; when its number is there already, returns the
    // position that holds it and adds nothing. Otherwise returns i.
    std::uint32_t insert(std::uint32_t i) {
        const std::string_view id = mIdOf(i);
        const std::uint64_t h = Hash(id);
        for (std::size_t s = h & mMask;; s = (s + 1) & mMask) {
            Slot& slot = mSlots[s];
            if (slot.position == kNone) {
                if ((++mUsed) * 2 > mSlots.size())
                    return grow(i, h);
                slot = Slot{i, static_cast<std::uint32_t>(h >> 32)};
                return i;
            }
            if (slot.tag == static_cast<std::uint32_t>(h >> 32) && mIdOf(slot.position) == id)
                return slot.position;
        }
    }

    // The position holding this number, or kNone.
    [[nodiscard]] std::uint32_t find(std::string_view id) const {
        const std::uint64_t h = Hash(id);
        for (std::size_t s = h & mMask;; s = (s + 1) & mMask) {
            const Slot& slot = mSlots[s];
            if (slot.position == kNone)
                return kNone;
            if (slot.tag == static_cast<std::uint32_t>(h >> 32) && mIdOf(slot.position) == id)
                return slot.position;
        }
    }

  private:
    struct Slot {
        std::uint32_t position;
        std::uint32_t tag; // high half of the hash, to skip most string compares
    };

    static std::uint64_t Hash(std::string_view id) { return std::hash<std::string_view>{}(id); }

    std::uint32_t grow(std::uint32_t i, std::uint64_t h) {
        std::vector<Slot> old;
        old.swap(mSlots);
        mSlots.assign(old.size() * 2, Slot{kNone, 0});
        mMask = mSlots.size() - 1;
        for (const Slot& slot : old)
            if (slot.position != kNone)
                place(slot);
        place(Slot{i, static_cast<std::uint32_t>(h >> 32)});
        return i;
    }

    void place(const Slot& slot) {
        const std::uint64_t h = Hash(mIdOf(slot.position));
        std::size_t s = h & mMask;
        while (mSlots[s].position != kNone)
            s = (s + 1) & mMask;
        mSlots[s] = slot;
    }

    IdOf mIdOf;
    std::vector<Slot> mSlots;
    std::size_t mMask = 0;
    std::size_t mUsed = 0;
};

} // namespace roster
