#include "roster/forms/RosterImportDialog.h"

#include "roster/Columns.h"
#include "roster/Import.h"
#include "roster/Readers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace roster::forms {
namespace {

constexpr Field kFields[4] = {Field::Id, Field::Class, Field::Name, Field::Subject};

bool HasText(const TextRow& row) {
    return std::any_of(row.begin(), row.end(), [](const std::string& cell) {
        return cell.find_first_not_of(" \t") != std::string::npos;
    });
}

// The heading row as the import finds it without maps: the first of the
// first ten rows with text in which an exam-number column is recognised;
// else the first row with text.
std::size_t HeadingRow(const TextRows& rows) {
    std::size_t withText = 0, first = rows.size();
    for (std::size_t r = 0; r < rows.size() && withText < 10; ++r) {
        if (!HasText(rows[r]))
            continue;
        ++withText;
        first = std::min(first, r);
        if (RecognizeColumns(rows[r]).id >= 0)
            return r;
    }
    return first == rows.size() ? 0 : first;
}

std::string ColumnLetter(int c) {
    std::string letters;
    for (int n = c + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

// How a map names column `c`: by its heading when that finds it, else by
// its number or its letter.
std::string MapColumn(const TextRow& headings, int c) {
    const std::string heading = c < static_cast<int>(headings.size()) ? headings[c] : std::string();
    for (const std::string& name : {heading, std::to_string(c + 1), ColumnLetter(c)})
        if (!name.empty() && FindMappedColumn(headings, name) == c)
            return name;
    return std::to_string(c + 1);
}

} // namespace

RosterImportDialog::RosterImportDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormRosterImport");
    setWindowTitle("导入学生名单");
    resize(640, 460);
    auto* layout = new QVBoxLayout(this);
    mFileCaption = new QLabel(this);
    mFileCaption->setObjectName("Label1");
    mFileCaption->setWordWrap(true);
    layout->addWidget(mFileCaption);

    auto* sheetRow = new QHBoxLayout;
    mSheetCaption = new QLabel("工作表:", this);
    mSheetCaption->setObjectName("Label2");
    mSheet = new QComboBox(this);
    mSheet->setObjectName("cbSheet");
    sheetRow->addWidget(mSheetCaption);
    sheetRow->addWidget(mSheet, 1);
    layout->addLayout(sheetRow);

    mPreview = new QTableWidget(this);
    mPreview->setObjectName("Preview");
    mPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(mPreview, 1);

    auto* grid = new QGridLayout;
    const char* captions[4] = {
        "考号(ID):", "班级(StudClass):", "姓名(StudName):", "科目(StudSubject):"};
    for (int f = 0; f < 4; ++f) {
        mFieldCaptions[f] = new QLabel(captions[f], this);
        mFieldCaptions[f]->setObjectName(QString("FieldLabel%1").arg(f));
        mFieldColumns[f] = new QComboBox(this);
        mFieldColumns[f]->setObjectName(QString("cbField%1").arg(f));
        grid->addWidget(mFieldCaptions[f], f / 2, (f % 2) * 2);
        grid->addWidget(mFieldColumns[f], f / 2, (f % 2) * 2 + 1);
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    mImport = new QPushButton("导入", this);
    mImport->setObjectName("btnImport");
    mImport->setDefault(true);
    mCancel = new QPushButton("取消", this);
    mCancel->setObjectName("btnCancel");
    buttons->addWidget(mImport);
    buttons->addWidget(mCancel);
    layout->addLayout(buttons);

    connect(mSheet, &QComboBox::currentIndexChanged, this, &RosterImportDialog::readChosenSheet);
    connect(mFieldColumns[0], &QComboBox::currentIndexChanged, this,
            [this](int index) { mImport->setEnabled(index > 0); });
    connect(mImport, &QPushButton::clicked, this, &QDialog::accept);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RosterImportDialog::load(const std::filesystem::path& file) {
    mFile = file;
    mFileCaption->setText("学生名单: " + QString::fromStdString(file.string()));
    ListRows list = ReadList(file, ListRequest{std::nullopt, {}, kPreviewRows});
    const std::vector<std::string> sheets = std::move(list.sheets);
    mLoading = true;
    mSheet->clear();
    for (const auto& name : sheets)
        mSheet->addItem(QString::fromStdString(name));
    mLoading = false;
    mSheetCaption->setVisible(!sheets.empty());
    mSheet->setVisible(!sheets.empty());
    mRows = std::move(list.rows);
    showRows();
}

void RosterImportDialog::readChosenSheet() {
    if (mLoading || mSheet->currentIndex() < 0)
        return;
    try {
        mRows = ReadList(mFile, ListRequest{mSheet->currentText().toStdString(), {}, kPreviewRows})
                    .rows;
    } catch (const std::exception& e) {
        mRows.clear();
        QMessageBox::critical(this, windowTitle(), QString::fromUtf8(e.what()));
    }
    showRows();
}

void RosterImportDialog::showRows() {
    mHeading = HeadingRow(mRows);
    const TextRow headings = mRows.empty() ? TextRow{} : mRows[mHeading];
    const std::size_t last = std::min(mRows.size(), mHeading + 1 + kPreviewRows);
    std::size_t columns = headings.size();
    for (std::size_t r = mHeading; r < last; ++r)
        columns = std::max(columns, mRows[r].size());
    mPreview->clear();
    mPreview->setColumnCount(static_cast<int>(columns));
    mPreview->setRowCount(static_cast<int>(last > mHeading ? last - mHeading - 1 : 0));
    QStringList header;
    for (std::size_t c = 0; c < columns; ++c)
        header << QString::fromStdString(ColumnLetter(static_cast<int>(c)) + " " +
                                         (c < headings.size() ? headings[c] : std::string()));
    mPreview->setHorizontalHeaderLabels(header);
    for (std::size_t r = mHeading + 1; r < last; ++r)
        for (std::size_t c = 0; c < mRows[r].size(); ++c)
            mPreview->setItem(static_cast<int>(r - mHeading - 1), static_cast<int>(c),
                              new QTableWidgetItem(QString::fromStdString(mRows[r][c])));
    mPreview->resizeColumnsToContents();

    const Columns recognised = RecognizeColumns(headings);
    for (int f = 0; f < 4; ++f) {
        mFieldColumns[f]->clear();
        mFieldColumns[f]->addItem("(无)");
        for (std::size_t c = 0; c < columns; ++c)
            mFieldColumns[f]->addItem(header[static_cast<int>(c)]);
        mFieldColumns[f]->setCurrentIndex(recognised.of(kFields[f]) + 1);
    }
    mImport->setEnabled(mFieldColumns[0]->currentIndex() > 0);
}

ImportOptions RosterImportDialog::options() const {
    ImportOptions options;
    if (mSheet->count() > 0)
        options.sheet = mSheet->currentText().toStdString();
    const TextRow headings = mRows.empty() ? TextRow{} : mRows[mHeading];
    for (int f = 0; f < 4; ++f)
        if (const int c = mFieldColumns[f]->currentIndex() - 1; c >= 0)
            options.maps.push_back({MapColumn(headings, c), kFields[f]});
    return options;
}

} // namespace roster::forms
