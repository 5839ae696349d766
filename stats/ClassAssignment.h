#pragma once

#include "core/Ui.h"
#include "platform/db/Connection.h"
#include "platform/db/Value.h"
#include "stats/ClassesCommand.h"

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

// How the class statistics tell a sheet's class, for every command that
// groups sheets by class the same way.
namespace stats {

// The classes of a run, their codes in class order, and the class of a
// sheet: from its exam number (the code at the place the settings give) or,
// with predefined classes, from its CLS value, which holds the roster's
// StudClass. Built once per run; lookups do not touch the database.
class ClassAssignment {
  public:
    // `predefinedCodes` are the roster's classes (PredefinedClassCodes) when
    // the settings say predefined; ignored otherwise.
    ClassAssignment(const ClassSettings& settings, std::vector<std::string> predefinedCodes);

    [[nodiscard]] const std::vector<std::string>& codes() const { return mCodes; }
    [[nodiscard]] bool predefined() const { return mPredefined; }

    // The index of the sheet's class in codes(), or -1 when it cannot be
    // told: a NULL exam number, one outside the class range, a CLS value
    // that is NULL or names no class of the roster.
    [[nodiscard]] long long classOf(const db::Value& examNumber, const db::Value& cls) const;

  private:
    [[nodiscard]] long long byExamNumber(const std::string& id) const;
    [[nodiscard]] long long byClassValue(const db::Value& cls) const;

    bool mPredefined = false;
    std::vector<std::string> mCodes;
    std::vector<std::string> mPatterns;         // exam-number mode
    std::map<double, std::size_t> mByNumber;    // predefined: numeric CLS values
    std::map<std::string, std::size_t> mByText; // predefined: other CLS values
    // Exam-number mode: when no "%" is in the pattern, a pattern's length
    // fixes its code's length, and the code stands at a fixed offset, so an
    // exam number is looked up by its length and the characters there.
    struct Shape {
        std::size_t codeChars = 0;
        std::unordered_map<std::string, std::size_t> byCode;
    };
    bool mShaped = false;
    std::size_t mCodeOffset = 0;                      // in characters
    std::unordered_map<std::size_t, Shape> mByLength; // pattern length in characters
};

// What is wrong with the class pattern the exam-number settings make, as
// the message that says so; nullptr when nothing is.
[[nodiscard]] const char* ClassPatternProblem(const ClassSettings& settings);

// The checks of exam-number settings (a sound class pattern, a class range
// the class code can write); false after showing the message with `caption`.
[[nodiscard]] bool ClassSettingsAreSound(const ClassSettings& settings, core::Ui& ui,
                                         const std::string& caption);

// The roster's classes in class order: the distinct StudClass values of `ids`.
[[nodiscard]] std::vector<std::string> PredefinedClassCodes(db::Connection& connection);

// A StudClass value as the answer table's CLS column (declared INT) holds it
// once the class statistics have copied it there: text that reads as a
// number becomes that number.
[[nodiscard]] db::Value AsClassColumn(const db::Value& studClass);

// The LIKE pattern of one class: `pattern` (ClassPattern) with `code` in
// place of its "%s".
[[nodiscard]] std::string PatternOf(const std::string& pattern, const std::string& code);

} // namespace stats
