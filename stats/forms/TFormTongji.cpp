#include "stats/forms/TFormTongji.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <climits>

namespace stats::forms {
namespace {

template <typename T> T* Place(T* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* Text(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
             int h = 16) {
    return Place(new QLabel(text, parent), name, x, y, w, h);
}

// A spin box without limits: any integer.
QSpinBox* Number(QWidget* parent, const char* name, int value, int x, int y) {
    auto* spin = Place(new QSpinBox(parent), name, x, y, 64, 22);
    spin->setRange(INT_MIN, INT_MAX);
    spin->setValue(value);
    return spin;
}

} // namespace

TFormTongji::TFormTongji(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormTongji");
    setWindowTitle("分班统计");
    // Modal to the main window only (exec keeps a modality set before it): the
    // report viewers the run opens stay usable while the dialog is up.
    setWindowModality(Qt::WindowModal);
    setFixedSize(545, 408);
    QFont font;
    font.setFamilies({"宋体", "SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    font.setPixelSize(12);
    setFont(font);

    Label13 = Text(this, "Label13",
                   "在这里您可以统计所有考生的总分，平均分，以及各个班的总分，平均分，选择各个选项"
                   "的人数等。必须事先已经评好分。综合科统计需要主窗口中的标准答案。",
                   16, 8, 513, 34);
    Label13->setWordWrap(true);

    GroupBox1 = Place(new QGroupBox("考号特征", this), "GroupBox1", 16, 48, 250, 132);
    RadioButton3 = Place(new QRadioButton("有固定前缀(空表示没有)", GroupBox1), "RadioButton3", 12,
                         20, 230, 20);
    RadioButton3->setChecked(true);
    Label8 = Text(GroupBox1, "Label8", "前缀字符:", 30, 48, 70);
    Edit1 = Place(new QLineEdit(GroupBox1), "Edit1", 100, 45, 130, 22);
    Edit1->setMaxLength(9);
    Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    RadioButton4 =
        Place(new QRadioButton("没有固定前缀", GroupBox1), "RadioButton4", 12, 74, 230, 20);
    Label6 = Text(GroupBox1, "Label6", "班级编号起始位:", 30, 102, 96);
    SpinEdit20 = Number(GroupBox1, "SpinEdit20", 1, 130, 99);
    Label6->setEnabled(false);
    SpinEdit20->setEnabled(false);

    Label5 = Text(this, "Label5", "考号总长度 ", 16, 194, 84);
    SpinEdit6 = Number(this, "SpinEdit6", 0, 100, 191);
    Label11 = Text(this, "Label11", "选择题数目: ", 16, 222, 84);
    SpinEdit7 = Number(this, "SpinEdit7", 0, 100, 219);

    GroupBox3 = Place(new QGroupBox("班别", this), "GroupBox3", 280, 48, 249, 132);
    Label1 = Text(GroupBox3, "Label1", "考号中表示班别的字符长度: ", 12, 24, 160);
    SpinEdit3 = Place(new QSpinBox(GroupBox3), "SpinEdit3", 172, 21, 56, 22);
    SpinEdit3->setRange(0, 9);
    SpinEdit3->setValue(2);
    Label4 = Text(GroupBox3, "Label4", "班别范围。例如从1班到10班，输入1和10", 12, 52, 225, 32);
    Label4->setWordWrap(true);
    Label2 = Text(GroupBox3, "Label2", "从 ", 12, 98, 20);
    SpinEdit4 = Number(GroupBox3, "SpinEdit4", 1, 32, 95);
    Label3 = Text(GroupBox3, "Label3", "到 ", 112, 98, 20);
    SpinEdit5 = Number(GroupBox3, "SpinEdit5", 24, 132, 95);

    CheckBox1 = Place(new QCheckBox("综合科统计 (单选，主窗口中须有标准答案）", this), "CheckBox1",
                      16, 252, 400, 20);
    Panel1 = Place(new QWidget(this), "Panel1", 16, 274, 513, 72);
    const char* subjects[] = {"科目1 ", "科目2 ", "科目3 ", "科目4", "科目5", "科目6"};
    const int starts[] = {1, 19, 37, 55, 62, 69};
    Label20 = Text(Panel1, "Label20", "起始题目号: ", 0, 48, 76);
    for (int i = 0; i < 6; ++i) {
        const int x = 78 + i * 72;
        Labels[i] = Text(Panel1, ("Label" + std::to_string(14 + i)).c_str(), subjects[i], x, 0, 66);
        ComboBoxes[i] = Place(new QComboBox(Panel1), ("ComboBox" + std::to_string(i + 1)).c_str(),
                              x, 18, 66, 22);
        ComboBoxes[i]->addItems({"地理", "历史", "政治", "生物", "化学", "物理", " "});
        ComboBoxes[i]->setCurrentIndex(-1);
        sptZonghe[i] =
            Number(Panel1, ("sptZonghe" + std::to_string(i + 1)).c_str(), starts[i], x, 45);
        sptZonghe[i]->resize(66, 22);
    }

    CheckBox2 = Place(new QCheckBox(this), "CheckBox2", 16, 356, 20, 20);
    CheckBox2Text =
        Text(this, "CheckBox2Text",
             "使用预先定义的分班号码。从ids.dbf中装载考号和班别，字段名称分别为ID、StudClass(字段"
             "类型N或整型)、StudSubject(选科，可选字段)。",
             38, 354, 390, 44);
    CheckBox2Text->setWordWrap(true);
    CheckBox2Text->setBuddy(CheckBox2);
    BitBtn1 = Place(new QPushButton("开始统计", this), "BitBtn1", 440, 364, 89, 28);
    BitBtn1->setDefault(true);
    LabelSplit = Text(this, "LabelSplit", "", 176, 186, 256, 62);
    LabelSplit->setWordWrap(true);
    LabelSplit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BtnSuggest = Place(new QPushButton("采用建议", this), "BtnSuggest", 440, 188, 89, 26);
    BtnSuggest->setToolTip("按表中的考号设置前缀、考号总长度和班别范围");
    mSplitTimer = new QTimer(this);
    mSplitTimer->setSingleShot(true);
    mSplitTimer->setInterval(200);

    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton3Click();
    });
    connect(RadioButton4, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton4Click();
    });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BtnSuggest, &QPushButton::clicked, this, [this] { BtnSuggestClick(); });
    connect(mSplitTimer, &QTimer::timeout, this, [this] { UpdateSplit(); });
    auto later = [this] { mSplitTimer->start(); };
    for (QSpinBox* spin : {SpinEdit20, SpinEdit6, SpinEdit3, SpinEdit4, SpinEdit5})
        connect(spin, &QSpinBox::valueChanged, this, later);
    connect(Edit1, &QLineEdit::textChanged, this, later);
    connect(RadioButton3, &QRadioButton::toggled, this, later);
    connect(CheckBox2, &QCheckBox::toggled, this, later);

    // FormCreate: the subject panel follows CheckBox1; with Edit1 empty the
    // dialog starts in start-position mode.
    CheckBox1Click();
    RadioButton4->setChecked(true);
}

ClassSettings TFormTongji::Settings() const {
    ClassSettings s;
    s.predefined = CheckBox2->isChecked();
    s.prefixMode = RadioButton3->isChecked();
    s.prefix = Edit1->text().toStdString();
    s.startPosition = SpinEdit20->value();
    s.codeLength = SpinEdit3->value();
    s.firstClass = SpinEdit4->value();
    s.lastClass = SpinEdit5->value();
    s.totalLength = SpinEdit6->value();
    s.questions = SpinEdit7->value();
    s.comprehensive = CheckBox1->isChecked();
    for (int i = 0; i < 6; ++i) {
        s.subjects.names[static_cast<std::size_t>(i)] = ComboBoxes[i]->currentText().toStdString();
        s.subjects.starts[static_cast<std::size_t>(i)] = sptZonghe[i]->value();
    }
    return s;
}

void TFormTongji::ShowClassSettings(const ClassSettings& s) {
    CheckBox2->setChecked(s.predefined);
    CheckBox2Click();
    if (s.prefixMode)
        RadioButton3->setChecked(true);
    else
        RadioButton4->setChecked(true);
    Edit1->setText(QString::fromStdString(s.prefix));
    SpinEdit20->setValue(s.startPosition);
    SpinEdit6->setValue(s.totalLength);
    SpinEdit3->setValue(s.codeLength);
    SpinEdit4->setValue(s.firstClass);
    SpinEdit5->setValue(s.lastClass);
}

void TFormTongji::FormShow() {
    CheckBox1Click();
    setWindowTitle("分班统计");
    UpdateSplit();
}

void TFormTongji::UpdateSplit() {
    mSplitTimer->stop();
    BtnSuggest->setEnabled(suggest && !CheckBox2->isChecked());
    if (!split) {
        LabelSplit->clear();
        return;
    }
    const ClassSplit parts = split(Settings());
    const QString summary = QString::fromStdString(SplitSummary(parts));
    const QString classes = QString::fromStdString(SplitClasses(parts));
    LabelSplit->setText(classes.isEmpty() ? summary : summary + "\n" + classes);
    LabelSplit->setToolTip(LabelSplit->text());
}

void TFormTongji::BtnSuggestClick() {
    if (!suggest)
        return;
    const auto found = suggest(SpinEdit3->value());
    if (!found)
        return;
    ShowClassSettings(Applied(Settings(), *found));
    if (suggestionApplied)
        suggestionApplied(Settings());
    UpdateSplit();
}

void TFormTongji::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFormTongji::RadioButton3Click() {
    Label8->setEnabled(true);
    Edit1->setEnabled(true);
    Label6->setEnabled(false);
    SpinEdit20->setEnabled(false);
}

void TFormTongji::RadioButton4Click() {
    Label8->setEnabled(false);
    Edit1->setEnabled(false);
    Label6->setEnabled(true);
    SpinEdit20->setEnabled(true);
}

void TFormTongji::CheckBox2Click() {
    const bool on = !CheckBox2->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox3),
                       static_cast<QWidget*>(SpinEdit6), static_cast<QWidget*>(Label5),
                       static_cast<QWidget*>(RadioButton3), static_cast<QWidget*>(RadioButton4),
                       static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label4)})
        w->setEnabled(on);
}

void TFormTongji::CheckBox1Click() {
    for (QObject* child : Panel1->children())
        if (auto* w = qobject_cast<QWidget*>(child))
            w->setEnabled(CheckBox1->isChecked());
    if (!CheckBox1->isChecked())
        return;
    auto preset = PresetFor(SpinEdit7->value(), tableName ? tableName() : std::string());
    if (!preset)
        return;
    for (int i = 0; i < 6; ++i) {
        ComboBoxes[i]->setCurrentIndex(ComboBoxes[i]->findText(
            QString::fromStdString(preset->names[static_cast<std::size_t>(i)])));
        sptZonghe[i]->setValue(preset->starts[static_cast<std::size_t>(i)]);
    }
}

void TFormTongji::BitBtn1Click() {
    if (start)
        start(Settings());
}

} // namespace stats::forms
