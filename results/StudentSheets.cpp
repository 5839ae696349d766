#include "results/StudentSheets.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace results {
namespace {

constexpr xlsx::Col kExamNumber = 0;
constexpr xlsx::Col kClass = 1;
constexpr xlsx::Col kName = 2;
constexpr xlsx::Col kScore = 3;
constexpr xlsx::Col kGradeRank = 4;
constexpr xlsx::Col kClassRank = 5;
constexpr xlsx::Col kFirstQuestion = 6;

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
    xlsx::Sheet ws =
        mBook.addSheet(index == 0 ? "学生成绩" : "学生成绩" + std::to_string(index + 1));
    const auto lastCol = static_cast<xlsx::Col>(kFirstQuestion + mQuestions.size() - 1);
    ws.columnWidth(kExamNumber, kExamNumber, 14);
    ws.columnWidth(kClass, kClass, 6);
    ws.columnWidth(kName, kName, 10);
    ws.columnWidth(kScore, kClassRank, 9);
    if (!mQuestions.empty())
        ws.columnWidth(kFirstQuestion, lastCol, 6);
    ws.freeze(1, 0);
    PrintOnPages(ws, 1);
    const auto lastHeaderCol = mQuestions.empty() ? kClassRank : lastCol;
    ws.autofilter(0, 0, static_cast<xlsx::Row>(rows), lastHeaderCol);
    for (xlsx::Col c = 0; c <= kClassRank; ++c)
        ws.text(0, c, kHeader[c], mBook.header());
    for (std::size_t q = 0; q < mQuestions.size(); ++q)
        ws.text(0, static_cast<xlsx::Col>(kFirstQuestion + q), mQuestions[q].name, mBook.header());
    mSheets.push_back(ws);
}

void StudentSheets::text(xlsx::Row row, xlsx::Col col, std::string_view value) {
    if (value.empty())
        return;
    mBuffer.assign(value);
    mSheets[mSheet].text(row, col, mBuffer);
}

void StudentSheets::write(const SheetRow& sheet, long long gradeRank, long long classRank) {
    if (mRow == capacity(mSheet)) {
        if (mSheet == 0)
            writeNote();
        if (++mSheet == mSheets.size())
            throw std::runtime_error("答卷在两遍读取之间有变化：有分数的答卷比第一遍多");
        mRow = 0;
    }
    xlsx::Sheet& ws = mSheets[mSheet];
    const auto row = static_cast<xlsx::Row>(++mRow);
    text(row, kExamNumber, sheet.examNumber);
    if (sheet.classIndex >= 0 && sheet.classIndex < static_cast<int>(mClasses.size()))
        ws.text(row, kClass, mClasses[static_cast<std::size_t>(sheet.classIndex)]);
    text(row, kName, sheet.name);
    ws.number(row, kScore, *sheet.score);
    ws.number(row, kGradeRank, static_cast<double>(gradeRank));
    if (classRank > 0)
        ws.number(row, kClassRank, static_cast<double>(classRank));
    const std::size_t n = std::min(sheet.points.size(), mQuestions.size());
    for (std::size_t q = 0; q < n; ++q)
        if (!std::isnan(sheet.points[q]))
            ws.number(row, static_cast<xlsx::Col>(kFirstQuestion + q), sheet.points[q]);
}

void StudentSheets::writeNote() {
    if (mNoteWritten || mEmptyScores == 0)
        return;
    mNoteWritten = true;
    const std::string note =
        "另有 " + std::to_string(mEmptyScores) + " 份答卷总分为空，未列入本表和各项统计。";
    mSheets[0].text(static_cast<xlsx::Row>(mFirstSheetRows + 2), 0, note);
}

void StudentSheets::finish() {
    writeNote();
}

} // namespace results
