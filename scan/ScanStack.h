#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <map>
#include <string>
#include <vector>

// The stack of pages a scan read, kept small (a few hundred bytes a page,
// whatever the page count) once each page's bubbles have gone to the scan
// database: what the answer table, the scan log and the CSV are made of.
// Decides what needs the whole stack: the exam-number columns no sheet
// used, the duplicates, one exam number on different sheets, and which
// pages make one record.
namespace scan {

// One thing to review on a page: the item's label ("q7", "id3") and why.
struct PageDoubt {
    std::string label;
    std::string reason; // Chinese words: 浅色标记, 考号重复, 缺页, ...
    int column = -1;    // the exam-number column, -1 for anything else
};

// What the stack keeps of one page.
struct PageSummary {
    PageSource source;
    PageStatus status = PageStatus::Failed;
    Failure failure = Failure::None;
    std::string problem;
    std::string layoutId;
    int layoutPage = 0;
    // One character per exam-number column: the digit, '?' for two or more
    // marks, ' ' for no mark.
    std::string number;
    // One mark code per question of the layout (48 + A=1 ... F=32, "0" for
    // none), ' ' for a question not on this page.
    std::string marks;
    std::vector<PageDoubt> doubts;
    // A page read with a bubble template: every field's marked values joined
    // in bubble order, by its label.
    std::map<std::string, std::string> fieldValues;
    // The exam number decided by hand over the columns kept, which the
    // stack goes by instead of `number`; empty when none was.
    std::string decidedNumber;
};

// The summary of a page as read; `questions` is the layout's question count.
[[nodiscard]] PageSummary Summarize(const PageReading& page, int questions);

// The mark code of a question's marked options ('0' for none).
[[nodiscard]] char MarkCode(const ItemReading& item);
// The option letters of a mark code, A to F; "" for '0' or ' '.
[[nodiscard]] std::string MarkLetters(char code);
// The mark code of option letters, A to F; other characters are no option.
[[nodiscard]] char MarkCode(const std::string& letters);

// What a layout is made of, as the stack needs it.
struct LayoutShape {
    int pages = 1;
    int questions = 0;
    int digits = 0;
};

// The shapes of the layouts a stack is read with, by id; `questions` and
// `digits` become the most of any layout.
[[nodiscard]] std::map<std::string, LayoutShape> ShapesOf(const std::vector<Layout>& layouts,
                                                          int& questions, int& digits);

// One record of the answer table: the pages of one sheet.
struct SheetRecord {
    std::string id;      // the exam number, '?' where unread
    std::string content; // a mark code per question of the table
    bool toReview = false;
    std::vector<std::size_t> pages; // indexes into the stack, in page order of the sheet
};

class ScanStack {
  public:
    // `questions` and `digits`: the answer table's widths.
    ScanStack(std::map<std::string, LayoutShape> layouts, int questions);

    void add(PageSummary page);
    // The exam-number columns a layout's numbers keep, as an earlier
    // decision of the same stack kept them: finish() keeps these rather
    // than the columns the pages mark now.
    void keepColumns(const std::string& layout, std::vector<bool> kept);

    // Drops the exam-number columns no located page of a layout used, then
    // decides the duplicates, the numbers on different sheets and the
    // records. Called once, after the last page.
    void finish();

    [[nodiscard]] const std::vector<PageSummary>& pages() const { return mPages; }
    [[nodiscard]] const std::vector<SheetRecord>& records() const { return mRecords; }
    // The widest exam number kept: the ID field's width.
    [[nodiscard]] int idWidth() const { return mIdWidth; }
    // The exam number of a page with the unused columns dropped.
    [[nodiscard]] std::string examNumber(std::size_t page) const;
    // The labels to review of a page, separated by blanks ("q3 id2").
    [[nodiscard]] std::string reviewLabels(std::size_t page) const;
    // "q3 浅色标记; id2 考号不可读", or the failure's problem.
    [[nodiscard]] std::string reasons(std::size_t page) const;
    // The record a page went into; -1 for none.
    [[nodiscard]] int recordOf(std::size_t page) const { return mRecordOf[page]; }
    [[nodiscard]] std::size_t failedCount() const;
    // The exam-number columns of a layout kept, once finished.
    [[nodiscard]] std::vector<bool> keptColumns(const std::string& layout) const;

  private:
    // The number a page is joined and compared by: decided by hand, else read.
    [[nodiscard]] std::string numberOf(std::size_t page) const;
    void dropUnusedColumns();
    void findDuplicates();
    void makeRecords();

    std::map<std::string, LayoutShape> mLayouts;
    int mQuestions;
    int mIdWidth = 0;
    std::vector<PageSummary> mPages;
    std::map<std::string, std::vector<bool>> mDropped; // per layout, per column
    std::map<std::string, std::vector<bool>> mKept;    // as given to keepColumns()
    std::vector<SheetRecord> mRecords;
    std::vector<int> mRecordOf;
};

} // namespace scan
