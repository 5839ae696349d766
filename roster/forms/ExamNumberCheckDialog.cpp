#include "roster/forms/ExamNumberCheckDialog.h"

#include "roster/VerifyReport.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace roster::forms {
namespace {

// At most this many lines of one kind are listed; the report has them all.
constexpr std::size_t kMaxLines = 2000;

// Adds a line of a kind unless the kind has its lines already; the first
// line too many becomes a note of how many more the report holds.
class Lines {
  public:
    Lines(QTreeWidget* list, const char* kind, std::size_t total)
        : mList(list), mKind(kind), mTotal(total) {}
    [[nodiscard]] bool full() {
        if (mAdded < kMaxLines)
            return false;
        if (mAdded++ == kMaxLines)
            mList->addTopLevelItem(new QTreeWidgetItem(
                {mKind, "", "……", "", QString("另有 %1 条，见报告").arg(mTotal - kMaxLines)}));
        return true;
    }
    void add(QTreeWidgetItem* line) {
        mList->addTopLevelItem(line);
        ++mAdded;
    }

  private:
    QTreeWidget* mList;
    const char* mKind;
    std::size_t mTotal;
    std::size_t mAdded = 0;
};

// What a problem line holds for a correction: the sheet's record (0 when
// the line is no sheet) and number, and its suggested numbers.
constexpr int kRecordRole = Qt::UserRole;
constexpr int kNumberRole = Qt::UserRole + 1;
constexpr int kSuggestionRole = Qt::UserRole + 2; // on the suggestion items

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

const char* MalformationText(Malformation why) {
    switch (why) {
    case Malformation::Empty:
        return "考号为空";
    case Malformation::Characters:
        return "考号含异常字符";
    case Malformation::Length:
        return "考号长度与多数不同";
    }
    return "";
}

// The lines of one sheet, with its suggestions kept on the line.
QTreeWidgetItem* SheetLine(const TableCheck& check, const char* kind, std::uint32_t sheet,
                           const QString& note, const std::vector<Suggestion>& suggestions = {}) {
    const SheetList& sheets = check.sheets.sheets;
    auto* line =
        new QTreeWidgetItem({kind, QString::number(sheets.record(sheet)), Q(sheets.id(sheet)),
                             Q(ScoreText(sheets.score(sheet))), note});
    line->setData(0, kRecordRole, sheets.record(sheet));
    line->setData(0, kNumberRole, Q(sheets.id(sheet)));
    QStringList texts, numbers;
    for (const Suggestion& s : suggestions) {
        texts << Q(SuggestionText(*check.roster, s));
        numbers << Q(check.roster->id(s.student));
    }
    line->setData(1, kRecordRole, texts);
    line->setData(1, kNumberRole, numbers);
    return line;
}

void AddSheetProblems(QTreeWidget* list, const TableCheck& check) {
    const VerifyResult& r = check.result;
    Lines duplicates(list, "重复", r.duplicateSheets());
    for (const DuplicateGroup& g : r.duplicates)
        for (std::uint32_t sheet : g.sheets)
            if (!duplicates.full())
                duplicates.add(SheetLine(check, "重复", sheet,
                                         QString("共 %1 份").arg(g.sheets.size()), g.suggestions));
    Lines unknown(list, "名单外", r.unknown.size());
    for (const UnknownSheet& u : r.unknown)
        if (!unknown.full())
            unknown.add(SheetLine(check, "名单外", u.sheet,
                                  u.suggestions.empty() ? "没有相近的考号" : "有相近的考号",
                                  u.suggestions));
    Lines malformed(list, "考号异常", r.malformed.size());
    for (const MalformedSheet& m : r.malformed)
        if (!malformed.full())
            malformed.add(SheetLine(check, "考号异常", m.sheet, MalformationText(m.why),
                                    check.roster ? m.suggestions : std::vector<Suggestion>{}));
}

void AddOtherProblems(QTreeWidget* list, const TableCheck& check) {
    const VerifyResult& r = check.result;
    Lines absent(list, "缺考", r.absentCount());
    for (const AbsentClass& c : r.absent)
        for (std::uint32_t student : c.students)
            if (!absent.full())
                absent.add(new QTreeWidgetItem(
                    {"缺考", "", Q(check.roster->id(student)), "",
                     Q(ClassLabel(c.className)) + " " + Q(check.roster->name(student))}));
    std::size_t gapCount = 0;
    for (const ClassGaps& c : r.gaps)
        gapCount += c.gaps.size();
    Lines gaps(list, "缺号", gapCount);
    for (const ClassGaps& c : r.gaps)
        for (const NumberGap& g : c.gaps)
            if (!gaps.full())
                gaps.add(new QTreeWidgetItem(
                    {"缺号", "", Q(g.first) + (g.count > 1 ? "-" + Q(g.last) : QString()), "",
                     Q(ClassLabel(c.className)) + QString(" 缺 %1 个").arg(g.count)}));
}

} // namespace

ExamNumberCheckDialog::ExamNumberCheckDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormVerify");
    setWindowTitle("核对考号");
    resize(680, 520);
    auto* layout = new QVBoxLayout(this);
    mCounts = new QLabel(this);
    mCounts->setObjectName("Label1");
    mCounts->setWordWrap(true);
    layout->addWidget(mCounts);
    mProblems = new QTreeWidget(this);
    mProblems->setObjectName("Problems");
    mProblems->setRootIsDecorated(false);
    mProblems->setHeaderLabels({"问题", "第几条", "考号", "分数", "说明"});
    layout->addWidget(mProblems, 3);

    mSuggestionsCaption = new QLabel("建议（双击即更正）:", this);
    mSuggestionsCaption->setObjectName("Label2");
    layout->addWidget(mSuggestionsCaption);
    mSuggestions = new QListWidget(this);
    mSuggestions->setObjectName("Suggestions");
    layout->addWidget(mSuggestions, 1);

    auto* row = new QHBoxLayout;
    mNewNumberCaption = new QLabel("改为:", this);
    mNewNumberCaption->setObjectName("Label3");
    mNewNumber = new QLineEdit(this);
    mNewNumber->setObjectName("EditNumber");
    mCorrect = new QPushButton("更正", this);
    mCorrect->setObjectName("btnCorrect");
    mUndo = new QPushButton("撤销", this);
    mUndo->setObjectName("btnUndo");
    mClose = new QPushButton("关闭", this);
    mClose->setObjectName("btnClose");
    row->addWidget(mNewNumberCaption);
    row->addWidget(mNewNumber, 1);
    row->addWidget(mCorrect);
    row->addWidget(mUndo);
    row->addStretch(1);
    row->addWidget(mClose);
    layout->addLayout(row);

    connect(mProblems, &QTreeWidget::currentItemChanged, this,
            &ExamNumberCheckDialog::showSuggestions);
    connect(mSuggestions, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item)
            mNewNumber->setText(item->data(kSuggestionRole).toString());
    });
    connect(mSuggestions, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        mNewNumber->setText(item->data(kSuggestionRole).toString());
        correctChosen();
    });
    connect(mCorrect, &QPushButton::clicked, this, &ExamNumberCheckDialog::correctChosen);
    connect(mUndo, &QPushButton::clicked, this, [this] {
        if (undo)
            undo();
    });
    connect(mClose, &QPushButton::clicked, this, &QDialog::accept);
}

void ExamNumberCheckDialog::showCheck(const TableCheck& check, bool canUndo) {
    const VerifyResult& r = check.result;
    QString counts = QString("表 %1: %2 份答卷。").arg(Q(check.table)).arg(r.sheetCount);
    if (check.roster)
        counts += QString("名单 %1 人，缺考 %2 人；").arg(r.studentCount).arg(r.absentCount());
    else
        counts += "没有学生名单（ids），按班查缺号；";
    counts += QString("重复考号 %1 个，名单外考号 %2 个，考号异常 %3 份。报告: %4")
                  .arg(r.duplicates.size())
                  .arg(r.unknown.size())
                  .arg(r.malformed.size())
                  .arg(Q(check.report.string()));
    mCounts->setText(counts);
    mProblems->clear();
    AddSheetProblems(mProblems, check);
    AddOtherProblems(mProblems, check);
    for (int c = 0; c < 4; ++c)
        mProblems->resizeColumnToContents(c);
    mSuggestions->clear();
    mNewNumber->clear();
    mUndo->setEnabled(canUndo);
    mCorrect->setEnabled(false);
}

void ExamNumberCheckDialog::showSuggestions() {
    mSuggestions->clear();
    mNewNumber->clear();
    QTreeWidgetItem* line = mProblems->currentItem();
    const bool sheet = line && line->data(0, kRecordRole).toUInt() > 0;
    mCorrect->setEnabled(sheet);
    if (!sheet)
        return;
    const QStringList texts = line->data(1, kRecordRole).toStringList();
    const QStringList numbers = line->data(1, kNumberRole).toStringList();
    for (int i = 0; i < texts.size(); ++i) {
        auto* item = new QListWidgetItem(texts[i], mSuggestions);
        item->setData(kSuggestionRole, numbers[i]);
    }
}

std::optional<Correction> ExamNumberCheckDialog::chosenCorrection() const {
    QTreeWidgetItem* line = mProblems->currentItem();
    if (!line || line->data(0, kRecordRole).toUInt() == 0 || mNewNumber->text().trimmed().isEmpty())
        return std::nullopt;
    Correction c;
    c.oldId = line->data(0, kNumberRole).toString().toStdString();
    c.newId = mNewNumber->text().trimmed().toStdString();
    c.record = line->data(0, kRecordRole).toUInt();
    return c;
}

void ExamNumberCheckDialog::correctChosen() {
    if (auto c = chosenCorrection(); c && correct)
        correct(*c);
}

} // namespace roster::forms
