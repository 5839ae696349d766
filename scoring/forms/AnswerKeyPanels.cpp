#include "scoring/forms/AnswerKeyPanels.h"

#include "scoring/PanelRules.h"
#include "scoring/RunChecks.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace scoring::forms {
namespace {

const QString kSingleKeyHint =
    "有效字母ABCDEFxz,每五个答案之间用分号或一个空格间隔。x用于多段非覆盖评分，z用于给零分。";

// The heights the panels have at 100% scaling; they grow only when their
// texts need more.
constexpr int SingleChoiceHeight = 97;
constexpr int MultipleChoiceHeight = 74;

template <typename T> T* Make(QWidget* parent, const char* name, int width = 0) {
    auto* widget = new T(parent);
    widget->setObjectName(name);
    if (width > 0)
        widget->setFixedWidth(width);
    return widget;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text) {
    auto* label = Make<QLabel>(parent, name);
    label->setText(text);
    return label;
}

CountSpinBox* Count(QWidget* parent, const char* name) {
    auto* spin = Make<CountSpinBox>(parent, name, 46);
    spin->setRange(0, 105);
    spin->setMaxLength(3);
    spin->setToolTip("输入题目数");
    return spin;
}

QLineEdit* Points(QWidget* parent, const char* name) {
    auto* edit = Make<QLineEdit>(parent, name, 34);
    edit->setMaxLength(3);
    edit->setText("0");
    return edit;
}

QLineEdit* Key(QWidget* parent, const char* name, const QString& hint) {
    auto* edit = Make<QLineEdit>(parent, name);
    edit->setToolTip(hint);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    return edit;
}

QGroupBox* Panel(QWidget* parent, const char* name, const QString& title, int height) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    box->setMinimumHeight(height);
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return box;
}

// "标准答案：" and its key edit, as wide as the panel allows.
QHBoxLayout* KeyRow(QLabel* caption, QLineEdit* key) {
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(caption);
    row->addWidget(key, 1);
    return row;
}

} // namespace

AnswerKeyPanels::AnswerKeyPanels(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildSingleChoice());
    layout->addWidget(buildMultipleChoice());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(mSegmentCount, &QComboBox::activated, this, [this] { enableChosenSegments(); });
    connect(mFullPoints, &QLineEdit::textChanged, this, [this] { offerPartialPoints(); });
    connect(mSingleKey, &QLineEdit::textChanged, this, [this] { explainSingleKey(); });
    for (QLineEdit* e : mPoints)
        e->installEventFilter(this);
}

// "单选题": the segment number, the count and points of each of the four
// segments (two to a line), and the key.
QGroupBox* AnswerKeyPanels::buildSingleChoice() {
    QGroupBox* box = Panel(this, "GroupBox1", "单选题", SingleChoiceHeight);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    grid->addWidget(Caption(box, "Label1", "题目按分数值的分段数"), 0, 0);
    mSegmentCount = Make<QComboBox>(box, "ComboBox1", 40);
    mSegmentCount->addItems({"0", "1", "2", "3", "4"});
    mSegmentCount->setCurrentIndex(0);
    grid->addWidget(mSegmentCount, 0, 1);
    grid->setColumnMinimumWidth(2, 4);
    const char* segments[] = {"第一段", "第二段", "第三段", "第四段"};
    const char* countNames[] = {"SpinEdit1", "SpinEdit3", "SpinEdit8", "SpinEdit10"};
    const char* pointNames[] = {"Edit4", "Edit5", "Edit6", "Edit7"};
    for (int i = 0; i < 4; ++i) {
        const int row = i / 2;
        const int column = 3 + (i % 2) * 5; // a gap column between the two segments of a line
        mCounts[i] = Count(box, countNames[i]);
        mPoints[i] = Points(box, pointNames[i]);
        grid->addWidget(Caption(box, ("Label" + std::to_string(2 + 2 * i)).c_str(), segments[i]),
                        row, column);
        grid->addWidget(mCounts[i], row, column + 1);
        grid->addWidget(Caption(box, ("Label" + std::to_string(3 + 2 * i)).c_str(), "每题分数"),
                        row, column + 2);
        grid->addWidget(mPoints[i], row, column + 3);
        if (i > 0) {
            mCounts[i]->setEnabled(false);
            mPoints[i]->setEnabled(false);
        }
    }
    grid->setColumnMinimumWidth(7, 4);
    grid->setColumnStretch(12, 1);
    mSingleKey = Key(box, "Edit1", kSingleKeyHint);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(8, 0, 8, 0);
    column->setSpacing(4);
    column->addLayout(grid);
    column->addLayout(KeyRow(Caption(box, "Label10", "标准答案："), mSingleKey));
    return box;
}

// "不定项": the count, the full and partial points, and the key.
QGroupBox* AnswerKeyPanels::buildMultipleChoice() {
    QGroupBox* box = Panel(this, "GroupBox2", "不定项", MultipleChoiceHeight);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(4);
    mMultipleCount = Count(box, "SpinEdit5");
    mFullPoints = Make<QLineEdit>(box, "Edit8", 40);
    mFullPoints->setText("0");
    mPartialPoints = Make<QLineEdit>(box, "Edit9", 40);
    mPartialPoints->setText("0");
    figures->addWidget(Caption(box, "Label11", "题目数"));
    figures->addWidget(mMultipleCount);
    figures->addSpacing(14);
    figures->addWidget(Caption(box, "Label12", "全对分数"));
    figures->addWidget(mFullPoints);
    figures->addSpacing(14);
    figures->addWidget(Caption(box, "Label13", "少选分数"));
    figures->addWidget(mPartialPoints);
    figures->addStretch(1);
    mMultipleKey = Key(box, "Edit2", "有效字母ABCDEFZ,每一个答案之间用分号间隔");
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(8, 0, 8, 0);
    column->setSpacing(4);
    column->addLayout(figures);
    column->addLayout(KeyRow(Caption(box, "Label14", "标准答案："), mMultipleKey));
    return box;
}

void AnswerKeyPanels::setSegment(int index, bool enabled) {
    mCounts[index]->setEnabled(enabled);
    mPoints[index]->setEnabled(enabled);
    if (!enabled) {
        mCounts[index]->setValue(0);
        mPoints[index]->setText("0");
    }
}

void AnswerKeyPanels::enableChosenSegments() {
    int used = mSegmentCount->findText(mSegmentCount->currentText());
    if (used < 0 || used > 4)
        return;
    const auto enabled = scoring::SegmentsEnabled(used);
    for (int i = 0; i < 4; ++i)
        setSegment(i, enabled[static_cast<std::size_t>(i)]);
}

void AnswerKeyPanels::offerPartialPoints() {
    // A text that is no whole number (empty while retyped, a decimal) leaves
    // the partial points as they are; the run says what is wrong with the points on F9.
    if (auto partial = scoring::DefaultPartialPoints(mFullPoints->text().toStdString()))
        mPartialPoints->setText(QString::number(*partial));
}

void AnswerKeyPanels::explainSingleKey() {
    const std::string key = mSingleKey->text().toStdString();
    QString tip = kSingleKeyHint;
    const auto codes = scoring::MarkCodeNotes(key);
    const auto wrong = scoring::NonOptionNotes(key);
    if (!codes.empty())
        tip += "\n\n选项组合的代码:";
    for (const auto& note : codes)
        tip += "\n" + QString::fromStdString(note);
    if (!wrong.empty())
        tip += "\n";
    for (const auto& note : wrong)
        tip += "\n" + QString::fromStdString(note);
    mSingleKey->setToolTip(tip);
}

void AnswerKeyPanels::fillEmptyFirstPoints() {
    if (mPoints[0]->text().isEmpty())
        mPoints[0]->setText("0");
}

bool AnswerKeyPanels::refusePointsKey(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false; // focus keys never reach the key filter
    const QString text = event->text();
    if (text.size() != 1)
        return false; // keys without a character (arrows, Delete) are no key presses
    const QChar c = text.at(0);
    const ushort code = c.unicode();
    if ((c >= '0' && c <= '9') || c == '.' || code == 8 || code == 3 || code == 22 || code == 24 ||
        code == 26)
        return false;
    QApplication::beep();
    return true;
}

bool AnswerKeyPanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress)
        return refusePointsKey(static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::FocusOut && watched == mPoints[0])
        fillEmptyFirstPoints();
    return QWidget::eventFilter(watched, event);
}

void AnswerKeyPanels::resetForTable() {
    mSegmentCount->setCurrentIndex(1);
    enableChosenSegments();
    mSingleKey->clear();
    mMultipleKey->clear();
    mMultipleCount->setValue(0);
    mFullPoints->setText("0");
    mPartialPoints->setText("0");
}

void AnswerKeyPanels::fill(const scoring::ScoringSettings& st) {
    mSegmentCount->setCurrentIndex(std::clamp(st.segmentChoice, 0, 4));
    enableChosenSegments();
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0 && !mCounts[i]->isEnabled())
            continue;
        mCounts[i]->setValue(st.counts[i]);
        mPoints[i]->setText(QString::fromStdString(st.points[i]));
    }
    mSingleKey->setText(QString::fromStdString(st.singleKey));
    mMultipleCount->setValue(st.multiCount);
    {
        // The partial points are the run's, not the half offered for the full points.
        const QSignalBlocker quiet(mFullPoints);
        mFullPoints->setText(QString::fromStdString(st.full));
    }
    mPartialPoints->setText(QString::fromStdString(st.partial));
    mMultipleKey->setText(QString::fromStdString(st.multiKey));
}

scoring::ScoringSettings AnswerKeyPanels::settings() const {
    scoring::ScoringSettings st;
    st.segmentChoice = mSegmentCount->currentIndex();
    for (std::size_t i = 0; i < 4; ++i) {
        st.counts[i] = mCounts[i]->value();
        st.enabled[i] = mCounts[i]->isEnabled();
        st.points[i] = mPoints[i]->text().toStdString();
    }
    st.singleKey = mSingleKey->text().toStdString();
    st.multiCount = mMultipleCount->value();
    st.full = mFullPoints->text().toStdString();
    st.partial = mPartialPoints->text().toStdString();
    st.multiKey = mMultipleKey->text().toStdString();
    return st;
}

int AnswerKeyPanels::singleChoiceCount() const {
    int count = 0;
    for (const CountSpinBox* segment : mCounts)
        count += segment->value();
    return count;
}

int AnswerKeyPanels::multipleChoiceCount() const {
    return mMultipleCount->value();
}

void AnswerKeyPanels::setFirstSegmentCount(int count) {
    mCounts[0]->setValue(count);
}

void AnswerKeyPanels::setSingleKey(const QString& key) {
    mSingleKey->setText(key);
}

} // namespace scoring::forms
