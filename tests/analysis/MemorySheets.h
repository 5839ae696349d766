#pragma once

#include "analysis/Run.h"

#include <optional>
#include <string>
#include <vector>

// Sheets held in memory for the analysis tests, walked in the order they
// were added (the exam-number order the tests give them).
namespace testsupport {

struct StoredSheet {
    std::optional<std::string> examNumber;
    std::string content;
    std::vector<std::optional<float>> points; // f1, f2, ...
};

class MemorySheets : public analysis::SheetSource {
  public:
    void add(std::string content, std::vector<std::optional<float>> points) {
        mSheets.push_back(
            {std::to_string(202601001 + mSheets.size()), std::move(content), std::move(points)});
    }
    void add(StoredSheet sheet) { mSheets.push_back(std::move(sheet)); }

    void forEach(const std::function<void(const analysis::Sheet&)>& visit) override {
        ++mPasses;
        std::int64_t record = 0;
        for (const StoredSheet& s : mSheets) {
            analysis::Sheet sheet;
            if (s.examNumber)
                sheet.examNumber = *s.examNumber;
            sheet.record = ++record;
            sheet.content = s.content;
            sheet.points = s.points;
            visit(sheet);
        }
    }

    [[nodiscard]] int passes() const { return mPasses; }
    [[nodiscard]] std::vector<StoredSheet>& sheets() { return mSheets; }

  private:
    std::vector<StoredSheet> mSheets;
    int mPasses = 0;
};

// The mark code of one option letter.
inline char Mark(char letter) {
    return static_cast<char>(48 + (1 << (letter - 'A')));
}

// A sheet of single-choice questions scored as the run scores them: the
// content of the chosen letters (' ' for a blank), the question's points
// when the letter is the key.
inline void AddChosen(MemorySheets& sheets, const std::string& chosen, const std::string& key,
                      const std::vector<float>& worth) {
    std::string content;
    std::vector<std::optional<float>> points;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        content += chosen[k] == ' ' ? '0' : Mark(chosen[k]);
        points.push_back(chosen[k] == key[k] ? worth[k] : 0.0f);
    }
    sheets.add(content, points);
}

} // namespace testsupport
