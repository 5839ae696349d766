#include "stats/forms/ClassStatisticsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace stats::forms {
namespace {

// The size the dialog has at 100% scaling.
constexpr QSize DialogSize(545, 408);
// How far the settings under a radio button stand in from it.
constexpr int Indent = 18;

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text) {
    return Named(new QLabel(text, parent), name);
}

QLabel* Wrapped(QWidget* parent, const char* name, const QString& text) {
    auto* label = Caption(parent, name, text);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A spin box without limits: any integer.
QSpinBox* Number(QWidget* parent, const char* name, int value, int width = 64) {
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(INT_MIN, INT_MAX);
    spin->setValue(value);
    spin->setFixedWidth(width);
    return spin;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
    auto* button = Named(new QPushButton(text, parent), name);
    button->setMinimumWidth(89);
    return button;
}

} // namespace

ClassStatisticsDialog::ClassStatisticsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormTongji");
    setWindowTitle("分班统计");
    // Modal to the main window only (exec keeps a modality set before it): the
    // report viewers the run opens stay usable while the dialog is up.
    setWindowModality(Qt::WindowModal);
    QFont font;
    font.setFamilies({"宋体", "SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    font.setPixelSize(12);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 10);
    layout->setSpacing(6);
    mIntro =
        Wrapped(this, "Label13",
                "在这里您可以统计所有考生的总分，平均分，以及各个班的总分，平均分，选择各个选项"
                "的人数等。必须事先已经评好分。综合科统计需要主窗口中的标准答案。");
    layout->addWidget(mIntro);
    auto* boxes = new QHBoxLayout;
    boxes->setSpacing(14);
    boxes->addWidget(buildExamNumberBox(), 1);
    boxes->addWidget(buildClassBox(), 1);
    layout->addLayout(boxes);
    layout->addLayout(buildCountsRow());
    mComprehensive =
        Named(new QCheckBox("综合科统计 (单选，主窗口中须有标准答案）", this), "CheckBox1");
    layout->addWidget(mComprehensive);
    layout->addWidget(buildSubjectPanel());
    layout->addStretch(1);
    layout->addLayout(buildPredefinedRow());

    mSplitTimer = new QTimer(this);
    mSplitTimer->setSingleShot(true);
    mSplitTimer->setInterval(200);
    connectControls();
    fitSize();

    // As the dialog is created: the subject panel follows its check box; with
    // no prefix the dialog starts in start-position mode.
    followComprehensive();
    mStartMode->setChecked(true);
}

QWidget* ClassStatisticsDialog::buildExamNumberBox() {
    mExamNumberBox = Named(new QGroupBox("考号特征", this), "GroupBox1");
    auto* grid = new QGridLayout(mExamNumberBox);
    grid->setColumnMinimumWidth(0, Indent);
    grid->setColumnStretch(2, 1);
    mPrefixMode = Named(new QRadioButton("有固定前缀(空表示没有)", mExamNumberBox), "RadioButton3");
    mPrefixMode->setChecked(true);
    mPrefixCaption = Caption(mExamNumberBox, "Label8", "前缀字符:");
    mPrefix = Named(new QLineEdit(mExamNumberBox), "Edit1");
    mPrefix->setMaxLength(9);
    mPrefix->setAttribute(Qt::WA_InputMethodEnabled, false);
    mStartMode = Named(new QRadioButton("没有固定前缀", mExamNumberBox), "RadioButton4");
    mStartCaption = Caption(mExamNumberBox, "Label6", "班级编号起始位:");
    mClassStart = Number(mExamNumberBox, "SpinEdit20", 1);
    mStartCaption->setEnabled(false);
    mClassStart->setEnabled(false);
    grid->addWidget(mPrefixMode, 0, 0, 1, 3);
    grid->addWidget(mPrefixCaption, 1, 1);
    grid->addWidget(mPrefix, 1, 2);
    grid->addWidget(mStartMode, 2, 0, 1, 3);
    grid->addWidget(mStartCaption, 3, 1);
    grid->addWidget(mClassStart, 3, 2, Qt::AlignLeft);
    return mExamNumberBox;
}

QWidget* ClassStatisticsDialog::buildClassBox() {
    mClassBox = Named(new QGroupBox("班别", this), "GroupBox3");
    auto* column = new QVBoxLayout(mClassBox);
    auto* codeRow = new QHBoxLayout;
    mCodeLengthCaption = Caption(mClassBox, "Label1", "考号中表示班别的字符长度: ");
    mClassCodeLength = Named(new QSpinBox(mClassBox), "SpinEdit3");
    mClassCodeLength->setRange(0, 9);
    mClassCodeLength->setValue(2);
    mClassCodeLength->setFixedWidth(56);
    codeRow->addWidget(mCodeLengthCaption);
    codeRow->addWidget(mClassCodeLength);
    codeRow->addStretch(1);
    column->addLayout(codeRow);
    mRangeHint = Wrapped(mClassBox, "Label4", "班别范围。例如从1班到10班，输入1和10");
    column->addWidget(mRangeHint);
    auto* rangeRow = new QHBoxLayout;
    mFirstClass = Number(mClassBox, "SpinEdit4", 1);
    mLastClass = Number(mClassBox, "SpinEdit5", 24);
    rangeRow->addWidget(Caption(mClassBox, "Label2", "从 "));
    rangeRow->addWidget(mFirstClass);
    rangeRow->addSpacing(12);
    rangeRow->addWidget(Caption(mClassBox, "Label3", "到 "));
    rangeRow->addWidget(mLastClass);
    rangeRow->addStretch(1);
    column->addLayout(rangeRow);
    return mClassBox;
}

// The exam-number length and the question count, how the settings split
// the table, and "采用建议".
QLayout* ClassStatisticsDialog::buildCountsRow() {
    auto* row = new QHBoxLayout;
    auto* counts = new QGridLayout;
    mLengthCaption = Caption(this, "Label5", "考号总长度 ");
    mExamNumberLength = Number(this, "SpinEdit6", 0);
    mQuestionsCaption = Caption(this, "Label11", "选择题数目: ");
    mQuestionCount = Number(this, "SpinEdit7", 0);
    counts->addWidget(mLengthCaption, 0, 0);
    counts->addWidget(mExamNumberLength, 0, 1);
    counts->addWidget(mQuestionsCaption, 1, 0);
    counts->addWidget(mQuestionCount, 1, 1);
    row->addLayout(counts);
    row->addSpacing(12);
    mSplit = Wrapped(this, "LabelSplit", "");
    mSplit->setMinimumHeight(mSplit->fontMetrics().lineSpacing() * 4);
    row->addWidget(mSplit, 1);
    mSuggest = Button(this, "BtnSuggest", "采用建议");
    mSuggest->setToolTip("按表中的考号设置前缀、考号总长度和班别范围");
    row->addWidget(mSuggest, 0, Qt::AlignTop);
    return row;
}

// The six subjects of a comprehensive exam and the question each starts at.
QWidget* ClassStatisticsDialog::buildSubjectPanel() {
    mSubjectPanel = Named(new QWidget(this), "Panel1");
    auto* grid = new QGridLayout(mSubjectPanel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    const char* captions[] = {"科目1 ", "科目2 ", "科目3 ", "科目4", "科目5", "科目6"};
    const int starts[] = {1, 19, 37, 55, 62, 69};
    grid->addWidget(Caption(mSubjectPanel, "Label20", "起始题目号: "), 2, 0);
    for (int i = 0; i < 6; ++i) {
        grid->addWidget(
            Caption(mSubjectPanel, ("Label" + std::to_string(14 + i)).c_str(), captions[i]), 0,
            i + 1);
        mSubjects[i] =
            Named(new QComboBox(mSubjectPanel), ("ComboBox" + std::to_string(i + 1)).c_str());
        mSubjects[i]->addItems({"地理", "历史", "政治", "生物", "化学", "物理", " "});
        mSubjects[i]->setCurrentIndex(-1);
        mSubjects[i]->setMinimumWidth(66);
        grid->addWidget(mSubjects[i], 1, i + 1);
        mSubjectStarts[i] =
            Number(mSubjectPanel, ("sptZonghe" + std::to_string(i + 1)).c_str(), starts[i], 66);
        grid->addWidget(mSubjectStarts[i], 2, i + 1);
    }
    grid->setColumnStretch(7, 1);
    return mSubjectPanel;
}

// The predefined classes of ids.dbf, and "开始统计".
QLayout* ClassStatisticsDialog::buildPredefinedRow() {
    auto* row = new QHBoxLayout;
    mPredefined = Named(new QCheckBox(this), "CheckBox2");
    mPredefinedCaption = Wrapped(
        this, "CheckBox2Text",
        "使用预先定义的分班号码。从ids.dbf中装载考号和班别，字段名称分别为ID、StudClass(字段"
        "类型N或整型)、StudSubject(选科，可选字段)。");
    mPredefinedCaption->setBuddy(mPredefined);
    mStart = Button(this, "BitBtn1", "开始统计");
    mStart->setDefault(true);
    mStart->setMinimumHeight(28);
    row->addWidget(mPredefined, 0, Qt::AlignTop);
    row->addWidget(mPredefinedCaption, 1);
    row->addSpacing(8);
    row->addWidget(mStart, 0, Qt::AlignBottom);
    return row;
}

void ClassStatisticsDialog::connectControls() {
    connect(mPrefixMode, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            usePrefix();
    });
    connect(mStartMode, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            useStartPosition();
    });
    connect(mPredefined, &QCheckBox::clicked, this, [this] { followPredefined(); });
    connect(mComprehensive, &QCheckBox::clicked, this, [this] { followComprehensive(); });
    connect(mStart, &QPushButton::clicked, this, [this] { startStatistics(); });
    connect(mSuggest, &QPushButton::clicked, this, [this] { applySuggestion(); });
    connect(mSplitTimer, &QTimer::timeout, this, [this] { showSplit(); });
    auto later = [this] { mSplitTimer->start(); };
    for (QSpinBox* spin :
         {mClassStart, mExamNumberLength, mClassCodeLength, mFirstClass, mLastClass})
        connect(spin, &QSpinBox::valueChanged, this, later);
    connect(mPrefix, &QLineEdit::textChanged, this, later);
    connect(mPrefixMode, &QRadioButton::toggled, this, later);
    connect(mPredefined, &QCheckBox::toggled, this, later);
}

void ClassStatisticsDialog::fitSize() {
    QLayout* whole = layout();
    whole->activate();
    const int width = std::max(DialogSize.width(), whole->minimumSize().width());
    const int needed = whole->hasHeightForWidth() ? whole->totalHeightForWidth(width)
                                                  : whole->minimumSize().height();
    setFixedSize(width, std::max(DialogSize.height(), needed));
}

ClassSettings ClassStatisticsDialog::settings() const {
    ClassSettings s;
    s.predefined = mPredefined->isChecked();
    s.prefixMode = mPrefixMode->isChecked();
    s.prefix = mPrefix->text().toStdString();
    s.startPosition = mClassStart->value();
    s.codeLength = mClassCodeLength->value();
    s.firstClass = mFirstClass->value();
    s.lastClass = mLastClass->value();
    s.totalLength = mExamNumberLength->value();
    s.questions = mQuestionCount->value();
    s.comprehensive = mComprehensive->isChecked();
    for (int i = 0; i < 6; ++i) {
        s.subjects.names[static_cast<std::size_t>(i)] = mSubjects[i]->currentText().toStdString();
        s.subjects.starts[static_cast<std::size_t>(i)] = mSubjectStarts[i]->value();
    }
    return s;
}

void ClassStatisticsDialog::showClassSettings(const ClassSettings& s) {
    mPredefined->setChecked(s.predefined);
    followPredefined();
    if (s.prefixMode)
        mPrefixMode->setChecked(true);
    else
        mStartMode->setChecked(true);
    mPrefix->setText(QString::fromStdString(s.prefix));
    mClassStart->setValue(s.startPosition);
    mExamNumberLength->setValue(s.totalLength);
    mClassCodeLength->setValue(s.codeLength);
    mFirstClass->setValue(s.firstClass);
    mLastClass->setValue(s.lastClass);
}

void ClassStatisticsDialog::showExamNumbers(const std::string& prefix, int length) {
    mPrefix->setText(QString::fromStdString(prefix));
    mExamNumberLength->setValue(length);
}

int ClassStatisticsDialog::examNumberLength() const {
    return mExamNumberLength->value();
}

int ClassStatisticsDialog::questionCount() const {
    return mQuestionCount->value();
}

void ClassStatisticsDialog::setQuestionCount(int count) {
    mQuestionCount->setValue(count);
}

void ClassStatisticsDialog::showSplit() {
    mSplitTimer->stop();
    mSuggest->setEnabled(suggest && !mPredefined->isChecked());
    if (!split) {
        mSplit->clear();
        return;
    }
    const ClassSplit parts = split(settings());
    const QString summary = QString::fromStdString(SplitSummary(parts));
    const QString classes = QString::fromStdString(SplitClasses(parts));
    mSplit->setText(classes.isEmpty() ? summary : summary + "\n" + classes);
    mSplit->setToolTip(mSplit->text());
}

void ClassStatisticsDialog::applySuggestion() {
    if (!suggest)
        return;
    const auto found = suggest(mClassCodeLength->value());
    if (!found)
        return;
    showClassSettings(Applied(settings(), *found));
    if (suggestionApplied)
        suggestionApplied(settings());
    showSplit();
}

void ClassStatisticsDialog::showEvent(QShowEvent* event) {
    followComprehensive();
    setWindowTitle("分班统计");
    showSplit();
    QDialog::showEvent(event);
}

void ClassStatisticsDialog::usePrefix() {
    mPrefixCaption->setEnabled(true);
    mPrefix->setEnabled(true);
    mStartCaption->setEnabled(false);
    mClassStart->setEnabled(false);
}

void ClassStatisticsDialog::useStartPosition() {
    mPrefixCaption->setEnabled(false);
    mPrefix->setEnabled(false);
    mStartCaption->setEnabled(true);
    mClassStart->setEnabled(true);
}

void ClassStatisticsDialog::followPredefined() {
    const bool on = !mPredefined->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{mExamNumberBox, mClassBox, mExamNumberLength,
                                                      mLengthCaption, mPrefixMode, mStartMode,
                                                      mCodeLengthCaption, mRangeHint})
        w->setEnabled(on);
}

void ClassStatisticsDialog::followComprehensive() {
    for (QObject* child : mSubjectPanel->children())
        if (auto* w = qobject_cast<QWidget*>(child))
            w->setEnabled(mComprehensive->isChecked());
    if (!mComprehensive->isChecked())
        return;
    auto preset = PresetFor(mQuestionCount->value(), tableName ? tableName() : std::string());
    if (!preset)
        return;
    for (int i = 0; i < 6; ++i) {
        mSubjects[i]->setCurrentIndex(mSubjects[i]->findText(
            QString::fromStdString(preset->names[static_cast<std::size_t>(i)])));
        mSubjectStarts[i]->setValue(preset->starts[static_cast<std::size_t>(i)]);
    }
}

void ClassStatisticsDialog::startStatistics() {
    if (start)
        start(settings());
}

} // namespace stats::forms
