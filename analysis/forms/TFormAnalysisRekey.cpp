// The analysis window's "更正答案": another key for the selected
// single-choice question, what it would change, and the correction.
#include "analysis/forms/AnalysisCharts.h"
#include "analysis/forms/QuestionTable.h"
#include "analysis/forms/RekeyTexts.h"
#include "analysis/forms/TFormAnalysis.h"

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

void TFormAnalysis::buildRekey() {
    auto* line = new QHBoxLayout;
    lblRekeyKey = new QLabel(GroupRekey);
    lblRekeyKey->setObjectName("lblRekeyKey");
    cmbRekeyKey = new QComboBox(GroupRekey);
    cmbRekeyKey->setObjectName("cmbRekeyKey");
    for (char c = 'A'; c <= 'F'; ++c)
        cmbRekeyKey->addItem(QString(QChar(c)));
    cmbRekeyKey->setToolTip("这道题新的答案");
    btnRekeyPreview = new QPushButton("预览", GroupRekey);
    btnRekeyPreview->setObjectName("btnRekeyPreview");
    btnRekeyPreview->setToolTip("看改正后的变化，不写入任何东西（要读整张表）");
    btnRekeyApply = new QPushButton("应用", GroupRekey);
    btnRekeyApply->setObjectName("btnRekeyApply");
    btnRekeyApply->setToolTip("改正答案，重新计算这道题的得分和总分");
    line->addWidget(lblRekeyKey);
    line->addWidget(new QLabel("改为", GroupRekey));
    line->addWidget(cmbRekeyKey);
    line->addStretch(1);
    line->addWidget(btnRekeyPreview);
    line->addWidget(btnRekeyApply);
    auto* layout = static_cast<QVBoxLayout*>(GroupRekey->layout());
    layout->addLayout(line);

    lblRekeyNote = new QLabel(GroupRekey);
    lblRekeyNote->setObjectName("lblRekeyNote");
    lblRekeyNote->setMinimumHeight(lblRekeyNote->fontMetrics().lineSpacing() * 4);
    layout->addWidget(lblRekeyNote);
    tblRekeyPreview = new QTableWidget(PreviewRows, 2, GroupRekey);
    tblRekeyPreview->setObjectName("tblRekeyPreview");
    tblRekeyPreview->setVerticalHeaderLabels({"平均分", "信度 α", "难度 P", "区分度 D", "标记"});
    tblRekeyPreview->setHorizontalHeaderLabels({"当前", "改正后"});
    tblRekeyPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRekeyPreview->setSelectionMode(QAbstractItemView::NoSelection);
    tblRekeyPreview->verticalHeader()->setDefaultSectionSize(20);
    tblRekeyPreview->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblRekeyPreview->setFixedHeight(20 * (PreviewRows + 1) + 8);
    layout->addWidget(tblRekeyPreview);

    connect(cmbRekeyKey, &QComboBox::currentIndexChanged, this, [this] { RekeyKeyChange(); });
    connect(btnRekeyPreview, &QPushButton::clicked, this, [this] { RekeyPreviewClick(); });
    connect(btnRekeyApply, &QPushButton::clicked, this, [this] { RekeyApplyClick(); });
}

// Sets the controls for the selected question: its key, the option offered
// instead (the one the analysis suspects, else the key itself), and the
// figures as they are now; disabled, saying why, for a question that cannot
// be corrected here.
void TFormAnalysis::showRekey() {
    const ItemFigures* item =
        mSelected >= 0 ? &mAnalysis.items[static_cast<std::size_t>(mSelected)] : nullptr;
    const QString refusal =
        item ? RekeyRefusal(*item) : QString("选中一道单选题，可以在这里更正它的答案。");
    GroupRekey->setEnabled(refusal.isEmpty());
    btnRekeyPreview->setEnabled(static_cast<bool>(previewRekey));
    btnRekeyApply->setEnabled(static_cast<bool>(applyRekey));
    lblRekeyKey->setText(item ? "当前答案 " + QString::fromStdString(item->key) : QString());
    {
        const QSignalBlocker quiet(cmbRekeyKey);
        const char offered = item && item->suspect           ? *item->suspect
                             : item && item->key.size() == 1 ? item->key[0]
                                                             : 'A';
        cmbRekeyKey->setCurrentIndex(offered >= 'A' && offered <= 'F' ? offered - 'A' : 0);
    }
    tblRekeyPreview->clearContents();
    if (item && refusal.isEmpty())
        FillColumn(tblRekeyPreview, ColNow, mAnalysis, item);
    lblRekeyNote->setText(refusal.isEmpty() ? QString(Hint) : refusal);
}

void TFormAnalysis::RekeyKeyChange() {
    clearRekeyPreview();
}

// A preview of another key no longer holds once the key changes.
void TFormAnalysis::clearRekeyPreview() {
    for (int row = 0; row < PreviewRows; ++row)
        delete tblRekeyPreview->takeItem(row, ColAfter);
    lblRekeyNote->setText(Hint);
}

std::optional<RekeyRequest> TFormAnalysis::rekeyRequest() const {
    if (mSelected < 0 || !GroupRekey->isEnabled())
        return std::nullopt;
    const ItemFigures& item = mAnalysis.items[static_cast<std::size_t>(mSelected)];
    if (!RekeyRefusal(item).isEmpty())
        return std::nullopt;
    return RekeyRequest{item.number, static_cast<char>('A' + cmbRekeyKey->currentIndex())};
}

void TFormAnalysis::fillRekeyPreview(const RekeyPreview& preview) {
    clearRekeyPreview();
    lblRekeyNote->setText(ChangesText(preview));
    if (!preview.unchanged)
        FillColumn(tblRekeyPreview, ColAfter, preview.analysis,
                   preview.item ? &*preview.item : nullptr);
}

void TFormAnalysis::RekeyPreviewClick() {
    const auto request = rekeyRequest();
    if (!request || !previewRekey)
        return;
    if (const auto preview = previewRekey(*request))
        fillRekeyPreview(*preview);
}

void TFormAnalysis::RekeyApplyClick() {
    const auto request = rekeyRequest();
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
