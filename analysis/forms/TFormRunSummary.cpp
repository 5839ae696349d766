#include "analysis/forms/TFormRunSummary.h"

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

TFormRunSummary::TFormRunSummary(QWidget* owner) : QDialog(owner) {
    setObjectName("TFormRunSummary");
    setWindowTitle("评分结果");
    setModal(false);
    auto* grid = new QGridLayout(this);
    lblSheets = value("lblSheets", "评分的答卷", 0);
    lblMean = value("lblMean", "平均分", 1);
    lblMax = value("lblMax", "最高分", 2);
    lblMin = value("lblMin", "最低分", 3);
    lblFlagged = value("lblFlagged", "需要复查的题", 4);
    btnAnalysis = new QPushButton("试卷分析...", this);
    btnAnalysis->setObjectName("btnAnalysis");
    grid->addWidget(btnAnalysis, 4, 2);
    lblStatistics = value("lblStatistics", "统计文件", 5);
    lblStatistics->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* files = new QHBoxLayout;
    btnOpenFile = new QPushButton("打开文件", this);
    btnOpenFile->setObjectName("btnOpenFile");
    btnOpenFolder = new QPushButton("打开文件夹", this);
    btnOpenFolder->setObjectName("btnOpenFolder");
    files->addWidget(btnOpenFile);
    files->addWidget(btnOpenFolder);
    grid->addLayout(files, 5, 2);
    lblProblem = new QLabel(this);
    lblProblem->setObjectName("lblProblem");
    lblProblem->setWordWrap(true);
    grid->addWidget(lblProblem, 6, 0, 1, 3);
    btnClose = new QPushButton("关闭", this);
    btnClose->setObjectName("btnClose");
    grid->addWidget(btnClose, 7, 2);
    grid->setColumnStretch(1, 1);
    connect(btnAnalysis, &QPushButton::clicked, this, [this] { btnAnalysisClick(); });
    connect(btnOpenFile, &QPushButton::clicked, this, [this] { btnOpenFileClick(); });
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] { btnOpenFolderClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
}

QLabel* TFormRunSummary::value(const char* name, const QString& caption, int row) {
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->addWidget(new QLabel(caption + "：", this), row, 0);
    auto* label = new QLabel(this);
    label->setObjectName(name);
    grid->addWidget(label, row, 1);
    return label;
}

void TFormRunSummary::Fill(const RunSummary& summary) {
    const RunSummaryTexts t = SummaryTexts(summary);
    setWindowTitle("评分结果 - " + QString::fromStdString(summary.table));
    lblSheets->setText(t.sheets);
    lblMean->setText(t.mean);
    lblMax->setText(t.max);
    lblMin->setText(t.min);
    lblFlagged->setText(t.flagged);
    lblStatistics->setText(t.statistics);
    lblProblem->setText(summary.problem.empty()
                            ? QString()
                            : "这次评分无法分析：" + QString::fromStdString(summary.problem));
    lblProblem->setVisible(!summary.problem.empty());
    btnAnalysis->setEnabled(summary.analysis.has_value());
    mTable = summary.table;
    mStatistics = summary.statistics;
    mAnalysis = summary.analysis;
}

void TFormRunSummary::btnAnalysisClick() {
    if (openAnalysis && mAnalysis)
        openAnalysis(*mAnalysis);
}

void TFormRunSummary::btnOpenFileClick() {
    if (mShell)
        mShell->open(mStatistics.string());
}

void TFormRunSummary::btnOpenFolderClick() {
    if (mShell)
        mShell->open(mStatistics.parent_path().string());
}

} // namespace analysis::forms
