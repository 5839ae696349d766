#include "results/StudentSheets.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace results {
namespace {

constexpr lxw_col_t kExamNumber = 0;
constexpr lxw_col_t kClass = 1;
constexpr lxw_col_t kName = 2;
constexpr lxw_col_t kScore = 3;
constexpr lxw_col_t kGradeRank = 4;
constexpr lxw_col_t kClassRank = 5;
constexpr lxw_col_t kFirstQuestion = 6;

const char* const kHeader[] = {"考号", "班级", "姓名", "总分", "年级名次", "班级名次"};

} // namespace

StudentSheets::StudentSheets(Book& book, const std::vector<std::string>& classes,
                             const std::vector<Question>& questions, long long listed,
                             long long emptyScores, long long rowsPerSheet)
    : mBook(book), mClasses(classes), mQuestions(questions), mEmptyScores(emptyScores),
      mRowsPerSheet(rowsPerSheet) {
    long long left = listed;
    do {
        const long long rows = std::min(left, capacity(mSheets.size()));
        addSheet(mSheets.size(), rows);
        left -= rows;
    } while (left > 0);
    mFirstSheetRows = std::min(listed, capacity(0));
}

long long StudentSheets::capacity(std::size_t sheet) const {
    return sheet == 0 && mEmptyScores > 0 ? mRowsPerSheet - 2 : mRowsPerSheet;
}

void StudentSheets::addSheet(std::size_t index, long long rows) {
    lxw_worksheet* ws =
        mBook.addSheet(index == 0 ? "学生成绩" : "学生成绩" + std::to_string(index + 1));
    const auto lastCol = static_cast<lxw_col_t>(kFirstQuestion + mQuestions.size() - 1);
    worksheet_set_column(ws, kExamNumber, kExamNumber, 14, nullptr);
    worksheet_set_column(ws, kClass, kClass, 6, nullptr);
    worksheet_set_column(ws, kName, kName, 10, nullptr);
    worksheet_set_column(ws, kScore, kClassRank, 9, nullptr);
    if (!mQuestions.empty())
        worksheet_set_column(ws, kFirstQuestion, lastCol, 6, nullptr);
    worksheet_freeze_panes(ws, 1, 0);
    PrintOnPages(ws, 1);
    const auto lastHeaderCol = mQuestions.empty() ? kClassRank : lastCol;
    Check(worksheet_autofilter(ws, 0, 0, static_cast<lxw_row_t>(rows), lastHeaderCol),
          "autofilter");
    for (lxw_col_t c = 0; c <= kClassRank; ++c)
        worksheet_write_string(ws, 0, c, kHeader[c], mBook.header());
    for (std::size_t q = 0; q < mQuestions.size(); ++q)
        worksheet_write_string(ws, 0, static_cast<lxw_col_t>(kFirstQuestion + q),
                               mQuestions[q].name.c_str(), mBook.header());
    mSheets.push_back(ws);
}

void StudentSheets::text(lxw_row_t row, lxw_col_t col, std::string_view value) {
    if (value.empty())
        return;
    mBuffer.assign(value);
    worksheet_write_string(mSheets[mSheet], row, col, mBuffer.c_str(), nullptr);
}

void StudentSheets::write(const SheetRow& sheet, long long gradeRank, long long classRank) {
    if (mRow == capacity(mSheet)) {
        if (mSheet == 0)
            writeNote();
        if (++mSheet == mSheets.size())
            throw std::runtime_error("答卷在两遍读取之间有变化：有分数的答卷比第一遍多");
        mRow = 0;
    }
    lxw_worksheet* ws = mSheets[mSheet];
    const auto row = static_cast<lxw_row_t>(++mRow);
    text(row, kExamNumber, sheet.examNumber);
    if (sheet.classIndex >= 0 && sheet.classIndex < static_cast<int>(mClasses.size()))
        worksheet_write_string(
            ws, row, kClass, mClasses[static_cast<std::size_t>(sheet.classIndex)].c_str(), nullptr);
    text(row, kName, sheet.name);
    worksheet_write_number(ws, row, kScore, *sheet.score, nullptr);
    worksheet_write_number(ws, row, kGradeRank, static_cast<double>(gradeRank), nullptr);
    if (classRank > 0)
        worksheet_write_number(ws, row, kClassRank, static_cast<double>(classRank), nullptr);
    const std::size_t n = std::min(sheet.points.size(), mQuestions.size());
    for (std::size_t q = 0; q < n; ++q)
        if (!std::isnan(sheet.points[q]))
            worksheet_write_number(ws, row, static_cast<lxw_col_t>(kFirstQuestion + q),
                                   sheet.points[q], nullptr);
}

void StudentSheets::writeNote() {
    if (mNoteWritten || mEmptyScores == 0)
        return;
    mNoteWritten = true;
    const std::string note =
        "另有 " + std::to_string(mEmptyScores) + " 份答卷总分为空，未列入本表和各项统计。";
    worksheet_write_string(mSheets[0], static_cast<lxw_row_t>(mFirstSheetRows + 2), 0, note.c_str(),
                           nullptr);
}

void StudentSheets::finish() {
    writeNote();
}

} // namespace results
