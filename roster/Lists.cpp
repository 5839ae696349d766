#include "roster/Lists.h"

#include <stdexcept>

namespace roster {

void TextColumn::add(std::string_view s) {
    if (mChars.size() + s.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("text column over 4 GB");
    mChars.append(s);
    mEnds.push_back(static_cast<std::uint32_t>(mChars.size()));
}

void TextColumn::reserve(std::size_t count, std::size_t bytes) {
    mEnds.reserve(count);
    mChars.reserve(bytes);
}

std::uint32_t TextPool::intern(std::string_view s) {
    auto it = mIndex.find(std::string(s));
    if (it != mIndex.end())
        return it->second;
    const auto i = static_cast<std::uint32_t>(mTexts.size());
    mTexts.emplace_back(s);
    mIndex.emplace(mTexts.back(), i);
    return i;
}

void SheetList::reserve(std::size_t count) {
    mIds.reserve(count, count * 10);
    mScores.reserve(count);
    mRecords.reserve(count);
}

void SheetList::add(std::string_view id, std::optional<double> score, std::uint32_t record) {
    mIds.add(id);
    mScores.push_back(score ? *score : std::numeric_limits<double>::quiet_NaN());
    mRecords.push_back(record);
}

void Roster::reserve(std::size_t count) {
    mIds.reserve(count, count * 10);
    mNames.reserve(count, count * 9);
    mClasses.reserve(count);
    mSubjects.reserve(count);
}

void Roster::add(std::string_view id, std::string_view cls, std::string_view name,
                 std::string_view subject) {
    mIds.add(id);
    mNames.add(name);
    mClasses.push_back(mPool.intern(cls));
    mSubjects.push_back(mPool.intern(subject));
}

} // namespace roster
