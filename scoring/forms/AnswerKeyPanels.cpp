#include "scoring/forms/AnswerKeyPanels.h"

#include "scoring/PanelRules.h"
#include "scoring/RunChecks.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace scoring::forms {
namespace {

const QString kSingleKeyHint =
    "有效字母ABCDEFxz,每五个答案之间用分号或一个空格间隔。x用于多段非覆盖评分，z用于给零分。";

template <typename T> T* Make(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* widget = new T(parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* label = Make<QLabel>(parent, name, x, y + 3, w, 16);
    label->setText(text);
    return label;
}

SpinEdit* Count(QWidget* parent, const char* name, int x, int y) {
    auto* spin = Make<SpinEdit>(parent, name, x, y, 46, 22);
    spin->setRange(0, 105);
    spin->setMaxLength(3);
    spin->setToolTip("输入题目数");
    return spin;
}

QLineEdit* Points(QWidget* parent, const char* name, int x, int y) {
    auto* edit = Make<QLineEdit>(parent, name, x, y, 34, 22);
    edit->setMaxLength(3);
    edit->setText("0");
    return edit;
}

QLineEdit* Key(QWidget* parent, const char* name, int y, const QString& hint) {
    auto* edit = Make<QLineEdit>(parent, name, 66, y, 100, 22);
    edit->setToolTip(hint);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    return edit;
}

} // namespace

AnswerKeyPanels::AnswerKeyPanels(QWidget* parent) : QObject(parent) {
    GroupBox1 = new QGroupBox("单选题", parent);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setFixedHeight(97);
    QWidget* g = GroupBox1;
    Label1 = Caption(g, "Label1", "题目按分数值的分段数", 8, 16, 124);
    ComboBox1 = Make<QComboBox>(g, "ComboBox1", 132, 16, 40, 22);
    ComboBox1->addItems({"0", "1", "2", "3", "4"});
    ComboBox1->setCurrentIndex(0);
    Label2 = Caption(g, "Label2", "第一段", 180, 16, 38);
    SpinEdit1 = Count(g, "SpinEdit1", 218, 16);
    Label3 = Caption(g, "Label3", "每题分数", 268, 16, 50);
    Edit4 = Points(g, "Edit4", 318, 16);
    Label4 = Caption(g, "Label4", "第二段", 360, 16, 38);
    SpinEdit3 = Count(g, "SpinEdit3", 398, 16);
    Label5 = Caption(g, "Label5", "每题分数", 448, 16, 50);
    Edit5 = Points(g, "Edit5", 498, 16);
    Label6 = Caption(g, "Label6", "第三段", 180, 42, 38);
    SpinEdit8 = Count(g, "SpinEdit8", 218, 42);
    Label7 = Caption(g, "Label7", "每题分数", 268, 42, 50);
    Edit6 = Points(g, "Edit6", 318, 42);
    Label8 = Caption(g, "Label8", "第四段", 360, 42, 38);
    SpinEdit10 = Count(g, "SpinEdit10", 398, 42);
    Label9 = Caption(g, "Label9", "每题分数", 448, 42, 50);
    Edit7 = Points(g, "Edit7", 498, 42);
    Label10 = Caption(g, "Label10", "标准答案：", 8, 68, 58);
    Edit1 = Key(g, "Edit1", 68, kSingleKeyHint);
    for (QWidget* w : {static_cast<QWidget*>(SpinEdit3), static_cast<QWidget*>(SpinEdit8),
                       static_cast<QWidget*>(SpinEdit10), static_cast<QWidget*>(Edit5),
                       static_cast<QWidget*>(Edit6), static_cast<QWidget*>(Edit7)})
        w->setEnabled(false);

    GroupBox2 = new QGroupBox("不定项", parent);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setFixedHeight(74);
    g = GroupBox2;
    Label11 = Caption(g, "Label11", "题目数", 8, 18, 40);
    SpinEdit5 = Count(g, "SpinEdit5", 48, 18);
    Label12 = Caption(g, "Label12", "全对分数", 110, 18, 50);
    Edit8 = Make<QLineEdit>(g, "Edit8", 160, 18, 40, 22);
    Edit8->setText("0");
    Label13 = Caption(g, "Label13", "少选分数", 214, 18, 50);
    Edit9 = Make<QLineEdit>(g, "Edit9", 264, 18, 40, 22);
    Edit9->setText("0");
    Label14 = Caption(g, "Label14", "标准答案：", 8, 46, 58);
    Edit2 = Key(g, "Edit2", 46, "有效字母ABCDEFZ,每一个答案之间用分号间隔");

    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    connect(Edit8, &QLineEdit::textChanged, this, [this] { Edit8Change(); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    for (QLineEdit* e : {Edit4, Edit5, Edit6, Edit7})
        e->installEventFilter(this);
}

void AnswerKeyPanels::setSegment(int index, bool enabled) {
    SpinEdit* spins[] = {SpinEdit1, SpinEdit3, SpinEdit8, SpinEdit10};
    QLineEdit* points[] = {Edit4, Edit5, Edit6, Edit7};
    spins[index]->setEnabled(enabled);
    points[index]->setEnabled(enabled);
    if (!enabled) {
        spins[index]->setValue(0);
        points[index]->setText("0");
    }
}

void AnswerKeyPanels::ComboBox1Change() {
    int used = ComboBox1->findText(ComboBox1->currentText());
    if (used < 0 || used > 4)
        return;
    const auto enabled = scoring::SegmentsEnabled(used);
    for (int i = 0; i < 4; ++i)
        setSegment(i, enabled[static_cast<std::size_t>(i)]);
}

void AnswerKeyPanels::Edit8Change() {
    // A text that is no whole number (empty while retyped, a decimal) leaves
    // Edit9 as it is; the run says what is wrong with the points on F9.
    if (auto partial = scoring::DefaultPartialPoints(Edit8->text().toStdString()))
        Edit9->setText(QString::number(*partial));
}

void AnswerKeyPanels::Edit1Change() {
    const std::string key = Edit1->text().toStdString();
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
    Edit1->setToolTip(tip);
}

void AnswerKeyPanels::Edit4Exit() {
    if (Edit4->text().isEmpty())
        Edit4->setText("0");
}

bool AnswerKeyPanels::Edit4KeyPress(QKeyEvent* event) {
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
        return Edit4KeyPress(static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::FocusOut && watched == Edit4)
        Edit4Exit();
    return QObject::eventFilter(watched, event);
}

void AnswerKeyPanels::ResetForTable() {
    ComboBox1->setCurrentIndex(1);
    ComboBox1Change();
    Edit1->clear();
    Edit2->clear();
    SpinEdit5->setValue(0);
    Edit8->setText("0");
    Edit9->setText("0");
}

void AnswerKeyPanels::FormResize() {
    Edit1->resize(GroupBox1->width() - 74, Edit1->height());
    Edit2->resize(GroupBox2->width() - 74, Edit2->height());
}

void AnswerKeyPanels::Fill(const scoring::ScoringSettings& st) {
    ComboBox1->setCurrentIndex(std::clamp(st.segmentChoice, 0, 4));
    ComboBox1Change();
    SpinEdit* spins[] = {SpinEdit1, SpinEdit3, SpinEdit8, SpinEdit10};
    QLineEdit* points[] = {Edit4, Edit5, Edit6, Edit7};
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0 && !spins[i]->isEnabled())
            continue;
        spins[i]->setValue(st.counts[i]);
        points[i]->setText(QString::fromStdString(st.points[i]));
    }
    Edit1->setText(QString::fromStdString(st.singleKey));
    SpinEdit5->setValue(st.multiCount);
    {
        // The partial points are the run's, not the half Edit8Change offers.
        const QSignalBlocker quiet(Edit8);
        Edit8->setText(QString::fromStdString(st.full));
    }
    Edit9->setText(QString::fromStdString(st.partial));
    Edit2->setText(QString::fromStdString(st.multiKey));
}

} // namespace scoring::forms
