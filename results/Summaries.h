#pragma once

#include "results/Book.h"
#include "results/Results.h"
#include "results/ScoreTable.h"

#include <span>
#include <string>
#include <vector>

// The summary worksheets of the results workbook, written after the rows.
namespace results {

// A row of the comparison and a column of the bands and rates: a class with
// sheets (title its code), or the sheets without a class ("未分班").
struct Group {
    std::string title;
    int group = 0; // as ScoreTable numbers them
    bool isClass = true;
};

// The classes with sheets in class order, then 未分班 when any sheet has no class.
[[nodiscard]] std::vector<Group> ShownGroups(const ScoreTable& table,
                                             const std::vector<std::string>& classes);

// Every group's points on every question, summed over its listed sheets.
class QuestionSums {
  public:
    QuestionSums(int groups, std::size_t questions);
    void add(int group, std::span<const double> points);
    [[nodiscard]] double sum(int group, std::size_t question) const;
    [[nodiscard]] double gradeSum(std::size_t question) const;

  private:
    int mGroups;
    std::size_t mQuestions;
    std::vector<double> mSums; // group-major
};

// 班级对比: the grade, then the groups, with their figures; classes ranked by
// their mean; a column chart of the class means with the grade mean as a line.
void WriteComparison(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                     const Thresholds& limits);

// 分数段: the bands as rows (highest first), the grade and the groups as
// columns, in three blocks: counts, shares of the column's sheets, and
// cumulative counts from the top band down; a stacked column chart of the
// groups' counts.
void WriteBandSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                    const Bands& bands);

// 题目得分率: the questions as rows, the grade and the groups as columns, each
// cell the mean points over the full points; a three-colour scale along each
// question's groups.
void WriteQuestionSheet(Book& book, const ScoreTable& table, const std::vector<Group>& groups,
                        const std::vector<Question>& questions, const QuestionSums& sums);

} // namespace results
