#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The two lists the exam-number check compares, held compactly so that a
// million sheets and a million students fit in a few tens of megabytes:
// texts in one buffer each, classes and subjects stored once.
namespace roster {

// Texts appended one after another into one buffer.
class TextColumn {
  public:
    void add(std::string_view s);
    void reserve(std::size_t count, std::size_t bytes);
    [[nodiscard]] std::string_view operator[](std::size_t i) const {
        const std::uint32_t begin = i == 0 ? 0 : mEnds[i - 1];
        return std::string_view(mChars).substr(begin, mEnds[i] - begin);
    }
    [[nodiscard]] std::size_t size() const { return mEnds.size(); }

  private:
    std::string mChars;
    std::vector<std::uint32_t> mEnds;
};

// Texts of which only a few differ (classes, subjects), each kept once.
class TextPool {
  public:
    [[nodiscard]] std::uint32_t intern(std::string_view s);
    [[nodiscard]] std::string_view operator[](std::uint32_t i) const { return mTexts[i]; }
    [[nodiscard]] std::size_t size() const { return mTexts.size(); }

  private:
    std::vector<std::string> mTexts;
    std::unordered_map<std::string, std::uint32_t> mIndex;
};

// The answer sheets of one table: the exam number as the table holds it
// (empty for a null), the score (none when unscored) and the sheet's place
// in exam-number order (1-based), which names it in the report and in a
// correction. The order of adding is kept.
class SheetList {
  public:
    void reserve(std::size_t count);
    void add(std::string_view id, std::optional<double> score, std::uint32_t record);

    [[nodiscard]] std::size_t size() const { return mIds.size(); }
    [[nodiscard]] std::string_view id(std::size_t i) const { return mIds[i]; }
    [[nodiscard]] std::optional<double> score(std::size_t i) const {
        return std::isnan(mScores[i]) ? std::nullopt : std::optional<double>(mScores[i]);
    }
    [[nodiscard]] std::uint32_t record(std::size_t i) const { return mRecords[i]; }

  private:
    TextColumn mIds;
    std::vector<double> mScores; // NaN: unscored
    std::vector<std::uint32_t> mRecords;
};

// The students of the class list, in the order of the list: exam number,
// class (as ClassText gives it, empty when unknown), name and subject.
class Roster {
  public:
    void reserve(std::size_t count);
    void add(std::string_view id, std::string_view cls, std::string_view name,
             std::string_view subject = {});

    [[nodiscard]] std::size_t size() const { return mIds.size(); }
    [[nodiscard]] std::string_view id(std::size_t i) const { return mIds[i]; }
    [[nodiscard]] std::string_view className(std::size_t i) const { return mPool[mClasses[i]]; }
    [[nodiscard]] std::uint32_t classIndex(std::size_t i) const { return mClasses[i]; }
    [[nodiscard]] std::string_view name(std::size_t i) const { return mNames[i]; }
    [[nodiscard]] std::string_view subject(std::size_t i) const { return mPool[mSubjects[i]]; }
    // Classes and subjects share one pool; classIndex values index it.
    [[nodiscard]] std::string_view pooled(std::uint32_t i) const { return mPool[i]; }

  private:
    TextColumn mIds;
    TextColumn mNames;
    TextPool mPool;
    std::vector<std::uint32_t> mClasses;
    std::vector<std::uint32_t> mSubjects;
};

} // namespace roster
