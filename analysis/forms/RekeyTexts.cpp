#include "analysis/forms/RekeyTexts.h"

#include "analysis/TextReport.h"
#include "analysis/forms/AnalysisCharts.h"

#include <QStringList>

namespace analysis::forms {
namespace {

QString Label(const ItemFigures& item) {
    return QString::fromStdString(QuestionLabel(item.type, item.number));
}

// A change of points with its sign: "+1", "-0.5".
QString Signed(double value) {
    return (value > 0 ? "+" : "") + PointsText(value);
}

QString FileName(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

} // namespace

QString RekeyRefusal(const ItemFigures& item) {
    if (item.type == QuestionType::Multi)
        return Label(item) + "的答案不能在这里改正：这里只改正单选题的答案。\n"
                             "请在答案框中改正后重新评分。";
    if (item.key == "x" || item.key == "z")
        return Label(item) + "的答案是 \"" + QString::fromStdString(item.key) + "\"（" +
               (item.key == "x" ? "不评分" : "给零分") + "），不能单独改正，\n请重新评分。";
    return {};
}

QString ChangesText(const RekeyPreview& preview) {
    if (preview.unchanged)
        return QString::fromStdString(preview.notice);
    QStringList lines;
    lines << QString("总分改变的答卷：%1 / %2 份").arg(preview.changed).arg(preview.sheets);
    for (const auto& [change, sheets] : preview.differences)
        lines << QString("    %1 分：%2 份").arg(Signed(change)).arg(sheets);
    lines << "平均分变化：" + (preview.meanChange == 0 ? QString("0") : Signed(preview.meanChange));
    return lines.join("\n");
}

QString ApplyQuestion(const ItemFigures& item, char key) {
    return "把" + Label(item) + "的答案由 " + QString::fromStdString(item.key) + " 改为 " +
           QChar(key) + "，并重新计算这道题的得分和每份答卷的总分吗？";
}

QString DoneText(const RekeyResult& result, const ItemFigures& item, char key) {
    if (result.unchanged)
        return QString::fromStdString(result.notice);
    QStringList lines;
    lines << Label(item) + "的答案已由 " + QString::fromStdString(item.key) + " 改为 " +
                 QChar(key) + "。";
    lines << QString("改写了 %1 份答卷的得分和总分。").arg(result.rowsChanged);
    lines << "统计文件已重写：" + FileName(result.statistics);
    lines << "答案记录已追加到 " + FileName(result.history) + "。";
    if (result.outOfDate.empty()) {
        lines << "没有需要重新生成的报告。";
    } else {
        lines << "以下报告是改正前生成的，已经过时，请重新生成：";
        for (const auto& stale : result.outOfDate)
            lines << "    " + FileName(stale);
    }
    return lines.join("\n");
}

} // namespace analysis::forms
