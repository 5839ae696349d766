#include "analysis/forms/QuestionTable.h"

#include "analysis/TextReport.h"
#include "analysis/forms/AnalysisCharts.h"

#include <QBrush>
#include <QStandardItemModel>

#include <algorithm>
#include <limits>

namespace analysis::forms {
namespace {

// Undefined figures sort below every defined one.
constexpr double Undefined = -std::numeric_limits<double>::max();

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStandardItem* Cell(const QString& text, const QVariant& sortValue) {
    auto* cell = new QStandardItem(text);
    cell->setData(sortValue, SortRole);
    cell->setEditable(false);
    return cell;
}

QStandardItem* NumberCell(const Figure& value) {
    QStandardItem* cell = Cell(FigureText(value), value.value_or(Undefined));
    cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return cell;
}

// A wrong key or a question that favours the weak students weighs more
// than a question that is merely easy, hard or flat.
QColor Tint(const ItemFigures& item) {
    for (Flag f : item.flags)
        if (f == Flag::MisKey || f == Flag::NegativeDiscrimination)
            return QColor(255, 215, 210);
    return QColor(255, 243, 200);
}

QList<QStandardItem*> Row(const ItemFigures& item, int index) {
    const bool single = item.type == QuestionType::Single;
    // A suspected key first, then the other flagged questions, then the
    // rest, each group in content order.
    const bool misKey =
        std::find(item.flags.begin(), item.flags.end(), Flag::MisKey) != item.flags.end();
    const int group = misKey ? 0 : item.flags.empty() ? 2 : 1;
    const int flagOrder = group * 1'000'000 + item.position;
    const int ratingOrder = item.rating ? 4 - static_cast<int>(*item.rating) : 0;
    QList<QStandardItem*> row = {
        Cell(single ? "单选" : "不定项", item.position),
        Cell(QString::number(item.number), item.number),
        Cell(QString::fromStdString(item.key), QString::fromStdString(item.key)),
        NumberCell(item.p),
        NumberCell(item.d),
        Cell(item.rating ? Utf8(RatingText(*item.rating)) : QString("-"), ratingOrder),
        NumberCell(item.rRest),
        Cell(FlagText(item), flagOrder)};
    row[ColFlags]->setToolTip(FlagTooltip(item));
    for (QStandardItem* cell : row) {
        cell->setData(index, ItemRole);
        if (!item.flags.empty())
            cell->setBackground(Tint(item));
    }
    return row;
}

} // namespace

QString FlagText(const ItemFigures& item) {
    QStringList words;
    for (Flag f : item.flags)
        words << QString::fromStdString(FlagShortText(f));
    return words.join("，");
}

QString FlagTooltip(const ItemFigures& item) {
    QStringList lines;
    for (Flag f : item.flags)
        lines << QString::fromStdString(FlagShortText(f) + "：" + FlagReason(item, f));
    return lines.join("\n");
}

QStandardItemModel* QuestionModel(const ExamAnalysis& analysis, QObject* parent) {
    auto* model = new QStandardItemModel(0, ColumnCount, parent);
    model->setHorizontalHeaderLabels({"题型", "题号", "答案", "P", "D", "评价", "r_rest", "标记"});
    for (std::size_t i = 0; i < analysis.items.size(); ++i)
        model->appendRow(Row(analysis.items[i], static_cast<int>(i)));
    return model;
}

} // namespace analysis::forms
