// The analysis window's "更正答案": another key for the selected
// single-choice question, what it would change, and the correction.
#include "analysis/forms/AnalysisCharts.h"
#include "analysis/forms/AnalysisWindow.h"
#include "analysis/forms/QuestionTable.h"
#include "analysis/forms/RekeyTexts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace analysis::forms {
namespace {

// The rows of the preview table, and its columns: now and after.
enum PreviewRow { RowMean, RowAlpha, RowP, RowD, RowFlags, PreviewRows };
constexpr int ColNow = 0;
constexpr int ColAfter = 1;

const char* const Hint = "选好新的答案，点“预览”查看改正后的变化；点“应用”改正。";

QString FlagsOf(const ItemFigures& item) {
    const QString text = FlagText(item);
    return text.isEmpty() ? QString("无") : text;
}

// The figures of one column: the whole test's and the question's, "-" for
// a question that takes no part in the figures.
void FillColumn(QTableWidget* table, int column, const ExamAnalysis& analysis,
                const ItemFigures* item) {
    const QString values[PreviewRows] = {PointsText(analysis.mean), FigureText(analysis.alpha),
                                         item ? FigureText(item->p) : QString("-"),
                                         item ? FigureText(item->d) : QString("-"),
                                         item ? FlagsOf(*item) : QString("-")};
    for (int row = 0; row < PreviewRows; ++row)
        table->setItem(row, column, new QTableWidgetItem(values[row]));
}

} // namespace

void AnalysisWindow::buildCorrection() {
    auto* line = new QHBoxLayout;
    mCurrentKey = new QLabel(mCorrectionBox);
    mCurrentKey->setObjectName("lblRekeyKey");
    mNewKey = new QComboBox(mCorrectionBox);
    mNewKey->setObjectName("cmbRekeyKey");
    for (char c = 'A'; c <= 'F'; ++c)
        mNewKey->addItem(QString(QChar(c)));
    mNewKey->setToolTip("这道题新的答案");
    mPreviewButton = new QPushButton("预览", mCorrectionBox);
    mPreviewButton->setObjectName("btnRekeyPreview");
    mPreviewButton->setToolTip("看改正后的变化，不写入任何东西（要读整张表）");
    mApplyButton = new QPushButton("应用", mCorrectionBox);
    mApplyButton->setObjectName("btnRekeyApply");
    mApplyButton->setToolTip("改正答案，重新计算这道题的得分和总分");
    line->addWidget(mCurrentKey);
    line->addWidget(new QLabel("改为", mCorrectionBox));
    line->addWidget(mNewKey);
    line->addStretch(1);
    line->addWidget(mPreviewButton);
    line->addWidget(mApplyButton);
    auto* layout = static_cast<QVBoxLayout*>(mCorrectionBox->layout());
    layout->addLayout(line);

    mCorrectionNote = new QLabel(mCorrectionBox);
    mCorrectionNote->setObjectName("lblRekeyNote");
    mCorrectionNote->setMinimumHeight(mCorrectionNote->fontMetrics().lineSpacing() * 4);
    layout->addWidget(mCorrectionNote);
    mCorrectionFigures = new QTableWidget(PreviewRows, 2, mCorrectionBox);
    mCorrectionFigures->setObjectName("tblRekeyPreview");
    mCorrectionFigures->setVerticalHeaderLabels({"平均分", "信度 α", "难度 P", "区分度 D", "标记"});
    mCorrectionFigures->setHorizontalHeaderLabels({"当前", "改正后"});
    mCorrectionFigures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mCorrectionFigures->setSelectionMode(QAbstractItemView::NoSelection);
    mCorrectionFigures->verticalHeader()->setDefaultSectionSize(20);
    mCorrectionFigures->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    mCorrectionFigures->setFixedHeight(20 * (PreviewRows + 1) + 8);
    layout->addWidget(mCorrectionFigures);

    connect(mNewKey, &QComboBox::currentIndexChanged, this, [this] { clearCorrectionPreview(); });
    connect(mPreviewButton, &QPushButton::clicked, this, [this] { previewCorrection(); });
    connect(mApplyButton, &QPushButton::clicked, this, [this] { applyCorrection(); });
}

// Sets the controls for the selected question: its key, the option offered
// instead (the one the analysis suspects, else the key itself), and the
// figures as they are now; disabled, saying why, for a question that cannot
// be corrected here.
void AnalysisWindow::showCorrection() {
    const ItemFigures* item =
        mSelected >= 0 ? &mAnalysis.items[static_cast<std::size_t>(mSelected)] : nullptr;
    const QString refusal =
        item ? RekeyRefusal(*item) : QString("选中一道单选题，可以在这里更正它的答案。");
    mCorrectionBox->setEnabled(refusal.isEmpty());
    mPreviewButton->setEnabled(static_cast<bool>(previewRekey));
    mApplyButton->setEnabled(static_cast<bool>(applyRekey));
    mCurrentKey->setText(item ? "当前答案 " + QString::fromStdString(item->key) : QString());
    {
        const QSignalBlocker quiet(mNewKey);
        const char offered = item && item->suspect           ? *item->suspect
                             : item && item->key.size() == 1 ? item->key[0]
                                                             : 'A';
        mNewKey->setCurrentIndex(offered >= 'A' && offered <= 'F' ? offered - 'A' : 0);
    }
    mCorrectionFigures->clearContents();
    if (item && refusal.isEmpty())
        FillColumn(mCorrectionFigures, ColNow, mAnalysis, item);
    mCorrectionNote->setText(refusal.isEmpty() ? QString(Hint) : refusal);
}

// A preview of another key no longer holds once the key changes.
void AnalysisWindow::clearCorrectionPreview() {
    for (int row = 0; row < PreviewRows; ++row)
        delete mCorrectionFigures->takeItem(row, ColAfter);
    mCorrectionNote->setText(Hint);
}

std::optional<RekeyRequest> AnalysisWindow::correctionRequest() const {
    if (mSelected < 0 || !mCorrectionBox->isEnabled())
        return std::nullopt;
    const ItemFigures& item = mAnalysis.items[static_cast<std::size_t>(mSelected)];
    if (!RekeyRefusal(item).isEmpty())
        return std::nullopt;
    return RekeyRequest{item.number, static_cast<char>('A' + mNewKey->currentIndex())};
}

void AnalysisWindow::showCorrectionPreview(const RekeyPreview& preview) {
    clearCorrectionPreview();
    mCorrectionNote->setText(ChangesText(preview));
    if (!preview.unchanged)
        FillColumn(mCorrectionFigures, ColAfter, preview.analysis,
                   preview.item ? &*preview.item : nullptr);
}

void AnalysisWindow::previewCorrection() {
    const auto request = correctionRequest();
    if (!request || !previewRekey)
        return;
    if (const auto preview = previewRekey(*request))
        showCorrectionPreview(*preview);
}

void AnalysisWindow::applyCorrection() {
    const auto request = correctionRequest();
    if (!request || !applyRekey)
        return;
    // A copy: a correction brings a new analysis into the window.
    const ItemFigures item = mAnalysis.items[static_cast<std::size_t>(mSelected)];
    if (item.key != std::string(1, request->key) && !askRekey(ApplyQuestion(item, request->key)))
        return;
    if (const auto result = applyRekey(*request))
        showRekeyDone(DoneText(*result, item, request->key));
}

} // namespace analysis::forms
