#include "analysis/forms/AnalysisCharts.h"

#include "analysis/TextReport.h"
#include "scoring/NumberText.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis::forms {
namespace {

const char* const SingleNames[CategoryCount] = {"A", "B",    "C",    "D",   "E",
                                                "F", "多选", "未答", "其他"};

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

QValueAxis* ValueAxis(const QString& title, double from, double to) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(from, to);
    return axis;
}

// A y axis from 0 that leaves a little room above the highest value.
QValueAxis* CountAxis(double highest) {
    auto* axis = ValueAxis("人数", 0, std::max(1.0, std::ceil(highest * 1.1)));
    axis->setLabelFormat("%d");
    axis->applyNiceNumbers();
    return axis;
}

// An axis of P or D over [from, to] and a tenth of that span beyond either
// end, so that a point on the edge of the figures is drawn whole; its ticks
// every 0.2 from 0.
QValueAxis* FigureAxis(const QString& title, double from, double to) {
    const double margin = (to - from) / 10;
    QValueAxis* axis = ValueAxis(title, from - margin, to + margin);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(0.2);
    axis->setLabelFormat("%.1f");
    return axis;
}

double Percent(const Figure& share) {
    return share ? *share * 100 : 0;
}

QScatterSeries* Points(const QString& name, const QColor& color, double size) {
    auto* series = new QScatterSeries;
    series->setName(name);
    series->setColor(color);
    series->setBorderColor(color.darker(130));
    series->setMarkerSize(size);
    return series;
}

} // namespace

QString PointsText(double value) {
    return QString::fromStdString(scoring::NumberText(scoring::RoundTo(value, 2)));
}

QString FigureText(const Figure& value) {
    return value ? QString::fromStdString(scoring::FixedText(*value, 3)) : QString("-");
}

QStringList BandLabels(const ExamAnalysis& analysis) {
    const bool many = analysis.bands.size() > 6;
    QStringList labels;
    for (const Band& band : analysis.bands)
        labels << PointsText(band.from) + (many ? QString() : "-" + PointsText(band.to));
    return labels;
}

double BandPosition(const ExamAnalysis& analysis, double total) {
    const auto& bands = analysis.bands;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const Band& band = bands[i];
        if (total < band.to || i + 1 == bands.size()) {
            const double width = band.to - band.from;
            const double within = width > 0 ? (total - band.from) / width : 0.5;
            return static_cast<double>(i) - 0.5 + std::clamp(within, 0.0, 1.0);
        }
    }
    return 0;
}

QChart* BandChart(const ExamAnalysis& analysis) {
    QChart* chart = NewChart("分数段（平均分 " + PointsText(analysis.mean) + "）");
    auto* counts = new QBarSet(BandSeriesName);
    double highest = 0;
    for (const Band& band : analysis.bands) {
        *counts << static_cast<double>(band.count);
        highest = std::max(highest, static_cast<double>(band.count));
    }
    auto* bars = new QBarSeries;
    bars->append(counts);
    bars->setBarWidth(0.9);
    chart->addSeries(bars);
    auto* categories = new QBarCategoryAxis;
    categories->append(BandLabels(analysis));
    categories->setTitleText(analysis.bands.size() > 6
                                 ? "分数（每段从所标的分数起，宽 " +
                                       PointsText(analysis.bandWidth) + " 分）"
                                 : QString("分数"));
    chart->addAxis(categories, Qt::AlignBottom);
    QValueAxis* y = CountAxis(highest);
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(categories);
    bars->attachAxis(y);

    // The mean as a vertical line, on a hidden axis that spans the bands as
    // the category axis places them.
    auto* mean = new QLineSeries;
    mean->setName("平均分 " + PointsText(analysis.mean));
    const double x = BandPosition(analysis, analysis.mean);
    mean->append(x, 0);
    mean->append(x, y->max());
    mean->setPen(QPen(QColor(200, 40, 40), 2, Qt::DashLine));
    chart->addSeries(mean);
    auto* scale = ValueAxis("", -0.5, static_cast<double>(analysis.bands.size()) - 0.5);
    scale->setVisible(false);
    chart->addAxis(scale, Qt::AlignBottom);
    mean->attachAxis(scale);
    mean->attachAxis(y);
    return chart;
}

QStringList OptionLabels(const ItemFigures& item) {
    QStringList labels;
    if (item.single) {
        for (std::size_t c = 0; c < CategoryCount; ++c)
            labels << (item.single->options[c].earns ? "*" : "") + QString(SingleNames[c]);
    } else {
        const std::string& key = item.key;
        for (char letter = 'A'; letter <= 'F'; ++letter)
            labels << (key.find(letter) != std::string::npos ? "*" : "") + QString(QChar(letter));
    }
    return labels;
}

QString OptionTitle(const ItemFigures& item) {
    QString title = QString::fromStdString(QuestionLabel(item.type, item.number)) + "  答案 " +
                    QString::fromStdString(item.key);
    if (item.suspect)
        title += "  疑为 " + QString(QChar(*item.suspect));
    if (item.multi)
        title += QString("  全对 %1 人，部分 %2 人，零分 %3 人")
                     .arg(item.multi->full)
                     .arg(item.multi->partial)
                     .arg(item.multi->none);
    return title;
}

QChart* OptionChart(const ItemFigures& item) {
    QChart* chart = NewChart(OptionTitle(item));
    auto* upper = new QBarSet(UpperSeriesName);
    auto* lower = new QBarSet(LowerSeriesName);
    upper->setColor(QColor(70, 130, 200));
    lower->setColor(QColor(230, 150, 60));
    upper->setSelectedColor(QColor(20, 60, 140));
    lower->setSelectedColor(QColor(170, 80, 0));
    QList<int> key;
    if (item.single) {
        for (std::size_t c = 0; c < CategoryCount; ++c) {
            const OptionFigures& o = item.single->options[c];
            *upper << Percent(o.upper);
            *lower << Percent(o.lower);
            if (o.earns)
                key << static_cast<int>(c);
        }
    } else if (item.multi) {
        for (std::size_t l = 0; l < item.multi->letters.size(); ++l) {
            const LetterFigures& f = item.multi->letters[l];
            *upper << Percent(f.upper);
            *lower << Percent(f.lower);
            if (item.key.find(static_cast<char>('A' + l)) != std::string::npos)
                key << static_cast<int>(l);
        }
    }
    upper->selectBars(key);
    lower->selectBars(key);
    auto* bars = new QBarSeries;
    bars->append(upper);
    bars->append(lower);
    chart->addSeries(bars);
    auto* categories = new QBarCategoryAxis;
    categories->append(OptionLabels(item));
    categories->setTitleText(item.single ? "选项（* 为答案）" : "字母（* 在答案中）");
    chart->addAxis(categories, Qt::AlignBottom);
    QValueAxis* y = ValueAxis("选择的比例 %", 0, 100);
    y->setLabelFormat("%d");
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(categories);
    bars->attachAxis(y);
    return chart;
}

QChart* ScatterChart(const ExamAnalysis& analysis, int selected) {
    QChart* chart = NewChart("难度 P 与区分度 D（点击一点选中它的题）");
    QScatterSeries* plain = Points(PlainPointsName, QColor(70, 130, 200), 9);
    QScatterSeries* flagged = Points(FlaggedPointsName, QColor(220, 60, 50), 9);
    QScatterSeries* chosen = Points(SelectedPointName, QColor(250, 200, 0), 15);
    double lowestP = 0, highestP = 1, lowestD = -0.2, highestD = 1;
    for (std::size_t i = 0; i < analysis.items.size(); ++i) {
        const ItemFigures& item = analysis.items[i];
        if (!item.d)
            continue;
        lowestP = std::min(lowestP, item.p);
        highestP = std::max(highestP, item.p);
        lowestD = std::min(lowestD, *item.d);
        highestD = std::max(highestD, *item.d);
        (item.flags.empty() ? plain : flagged)->append(item.p, *item.d);
        if (static_cast<int>(i) == selected)
            chosen->append(item.p, *item.d);
    }
    QValueAxis* x = FigureAxis("难度 P（得分率）", lowestP, highestP);
    QValueAxis* y = FigureAxis("区分度 D", lowestD, highestD);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QScatterSeries* series : {plain, flagged, chosen}) {
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    return chart;
}

int NearestItem(const ExamAnalysis& analysis, QPointF point) {
    int nearest = -1;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < analysis.items.size(); ++i) {
        const ItemFigures& item = analysis.items[i];
        if (!item.d)
            continue;
        const double dx = item.p - point.x(), dy = *item.d - point.y();
        const double distance = dx * dx + dy * dy;
        if (distance < best) {
            best = distance;
            nearest = static_cast<int>(i);
        }
    }
    return nearest;
}

} // namespace analysis::forms
