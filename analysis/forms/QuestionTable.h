#pragma once

#include "analysis/Result.h"

#include <QString>
#include <QtCore/qnamespace.h>

class QStandardItemModel;
class QObject;

// The question table of the analysis window: one row per analysed question
// with its type, number, key, P, D and rating, r_rest and flags. Numbers
// sort as numbers (SortRole), the rows of flagged questions are tinted and
// their flag cell explains each flag in its tooltip.
namespace analysis::forms {

enum QuestionColumn {
    ColType,
    ColNumber,
    ColKey,
    ColP,
    ColD,
    ColRating,
    ColRRest,
    ColFlags,
    ColumnCount
};

inline constexpr int SortRole = Qt::UserRole;     // what a column sorts by
inline constexpr int ItemRole = Qt::UserRole + 1; // the question's index in ExamAnalysis::items

// The model of the table, owned by `parent`. Sorted ascending by ColFlags
// it lists the questions with a suspected key first, then the other flagged
// questions, then the rest, each group in content order.
[[nodiscard]] QStandardItemModel* QuestionModel(const ExamAnalysis& analysis, QObject* parent);

// Every flag of the question with its reason, one line each; empty for a
// question without flags.
[[nodiscard]] QString FlagTooltip(const ItemFigures& item);

// The flags in a word or two each, "，" between them.
[[nodiscard]] QString FlagText(const ItemFigures& item);

} // namespace analysis::forms
