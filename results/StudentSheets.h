#pragma once

#include "results/Book.h"
#include "results/Results.h"

#include <string>
#include <vector>

namespace results {

// The 学生成绩 worksheets ("学生成绩", "学生成绩2", ...): a header row, then
// one row per listed sheet as they come, `rowsPerSheet` rows a worksheet,
// the header frozen and filtered on each. The count of sheets left out for
// an empty score goes below the first worksheet's table, which then leaves
// two rows for it. All worksheets are added when this is made, so that they
// come first in the workbook.
class StudentSheets {
  public:
    StudentSheets(Book& book, const std::vector<std::string>& classes,
                  const std::vector<Question>& questions, long long listed, long long emptyScores,
                  long long rowsPerSheet);

    // `classRank` 0 for a sheet without a class.
    void write(const SheetRow& row, long long gradeRank, long long classRank);
    // Writes the note; call after the last row.
    void finish();

    [[nodiscard]] int sheets() const { return static_cast<int>(mSheets.size()); }

  private:
    [[nodiscard]] long long capacity(std::size_t sheet) const;
    void addSheet(std::size_t index, long long rows);
    void writeNote();
    void text(xlsx::Row row, xlsx::Col col, std::string_view value);

    Book& mBook;
    const std::vector<std::string>& mClasses;
    const std::vector<Question>& mQuestions;
    long long mEmptyScores;
    long long mRowsPerSheet;
    std::vector<xlsx::Sheet> mSheets;
    long long mFirstSheetRows = 0;
    std::size_t mSheet = 0;
    long long mRow = 0; // rows written on the current worksheet
    bool mNoteWritten = false;
    std::string mBuffer;
};

} // namespace results
