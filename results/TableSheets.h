#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "results/Results.h"
#include "stats/ClassAssignment.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace results {

// Where the sheets of a scored answer table are and what goes with them.
struct TableLayout {
    std::string table;
    std::string examNumber; // the exam-number column
    std::string score;      // the score column
    int questions = 0;      // f1 .. f<questions>
    // The roster `ids` joined on the exam number: for its StudClass (the
    // predefined classes) and, when it has the column, its StudName.
    bool rosterClasses = false;
    bool rosterNames = false;
};

// The sheets of a scored table read from the database for the results
// workbook: the scores pass in stored order (score and class only), the rows
// pass in exam-number order, each one prepared statement stepped row by row,
// so that memory does not grow with the table. Classes are told by the class
// statistics' own assignment. A roster holding an exam number twice gives
// the sheet one of its entries, never two rows.
class TableSheets : public SheetSource {
  public:
    TableSheets(db::Connection& connection, const TableLayout& layout,
                const stats::ClassAssignment& classes,
                std::function<void(const std::string&)> beforeSorting = {});

    void rewind(Pass pass) override;
    [[nodiscard]] const SheetRow* next() override;

    // The classes that hold a sheet with a score, counted on the last pass
    // over the scores.
    [[nodiscard]] std::vector<int> classesWithScores() const;

  private:
    [[nodiscard]] std::string selectText(Pass pass) const;

    db::Connection& mConnection;
    TableLayout mLayout;
    const stats::ClassAssignment& mClasses;
    std::function<void(const std::string&)> mBeforeSorting;
    std::optional<db::Statement> mStatement;
    Pass mPass = Pass::Scores;
    bool mFirstStep = false;
    std::string mExam;
    std::string mName;
    std::vector<double> mPoints;
    SheetRow mRow;
    std::vector<bool> mScoredClasses; // by class index
};

} // namespace results
