#include "analysis/forms/RunSummaryDialog.h"

#include "analysis/forms/AnalysisCharts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace analysis::forms {

RunSummaryTexts SummaryTexts(const RunSummary& summary) {
    RunSummaryTexts t;
    t.sheets = QString::number(summary.sheets) + " 份";
    t.statistics = QString::fromStdString(summary.statistics.string());
    if (!summary.analysis) {
        t.mean = t.max = t.min = t.flagged = "-";
        return t;
    }
    const ExamAnalysis& a = *summary.analysis;
    t.mean = PointsText(a.mean);
    t.max = PointsText(a.max);
    t.min = PointsText(a.min);
    t.flagged = QString::number(FlaggedCount(a)) + " 道";
    return t;
}

RunSummaryDialog::RunSummaryDialog(QWidget* owner) : QDialog(owner) {
    setObjectName("TFormRunSummary");
    setWindowTitle("评分结果");
    setModal(false);
    auto* grid = new QGridLayout(this);
    mSheets = addFigure("lblSheets", "评分的答卷", 0);
    mMean = addFigure("lblMean", "平均分", 1);
    mMax = addFigure("lblMax", "最高分", 2);
    mMin = addFigure("lblMin", "最低分", 3);
    mFlagged = addFigure("lblFlagged", "需要复查的题", 4);
    mAnalysisButton = new QPushButton("试卷分析...", this);
    mAnalysisButton->setObjectName("btnAnalysis");
    grid->addWidget(mAnalysisButton, 4, 2);
    mStatisticsFile = addFigure("lblStatistics", "统计文件", 5);
    mStatisticsFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* files = new QHBoxLayout;
    mOpenFileButton = new QPushButton("打开文件", this);
    mOpenFileButton->setObjectName("btnOpenFile");
    mOpenFolderButton = new QPushButton("打开文件夹", this);
    mOpenFolderButton->setObjectName("btnOpenFolder");
    files->addWidget(mOpenFileButton);
    files->addWidget(mOpenFolderButton);
    grid->addLayout(files, 5, 2);
    mProblem = new QLabel(this);
    mProblem->setObjectName("lblProblem");
    mProblem->setWordWrap(true);
    grid->addWidget(mProblem, 6, 0, 1, 3);
    mCloseButton = new QPushButton("关闭", this);
    mCloseButton->setObjectName("btnClose");
    grid->addWidget(mCloseButton, 7, 2);
    grid->setColumnStretch(1, 1);
    connect(mAnalysisButton, &QPushButton::clicked, this, [this] { showAnalysisWindow(); });
    connect(mOpenFileButton, &QPushButton::clicked, this, [this] { openStatisticsFile(); });
    connect(mOpenFolderButton, &QPushButton::clicked, this, [this] { openStatisticsFolder(); });
    connect(mCloseButton, &QPushButton::clicked, this, &QDialog::close);
}

QLabel* RunSummaryDialog::addFigure(const char* name, const QString& caption, int row) {
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->addWidget(new QLabel(caption + "：", this), row, 0);
    auto* label = new QLabel(this);
    label->setObjectName(name);
    grid->addWidget(label, row, 1);
    return label;
}

void RunSummaryDialog::fill(const RunSummary& summary) {
    const RunSummaryTexts t = SummaryTexts(summary);
    setWindowTitle("评分结果 - " + QString::fromStdString(summary.table));
    mSheets->setText(t.sheets);
    mMean->setText(t.mean);
    mMax->setText(t.max);
    mMin->setText(t.min);
    mFlagged->setText(t.flagged);
    mStatisticsFile->setText(t.statistics);
    mProblem->setText(summary.problem.empty()
                          ? QString()
                          : "这次评分无法分析：" + QString::fromStdString(summary.problem));
    mProblem->setVisible(!summary.problem.empty());
    mAnalysisButton->setEnabled(summary.analysis.has_value());
    mTable = summary.table;
    mStatistics = summary.statistics;
    mAnalysis = summary.analysis;
}

void RunSummaryDialog::showAnalysisWindow() {
    if (openAnalysis && mAnalysis)
        openAnalysis(*mAnalysis);
}

void RunSummaryDialog::openStatisticsFile() {
    if (mShell)
        mShell->open(mStatistics.string());
}

void RunSummaryDialog::openStatisticsFolder() {
    if (mShell)
        mShell->open(mStatistics.parent_path().string());
}

} // namespace analysis::forms
