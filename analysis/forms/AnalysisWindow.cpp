#include "analysis/forms/AnalysisWindow.h"

#include "analysis/forms/AnalysisCharts.h"
#include "analysis/forms/QuestionTable.h"

#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScatterSeries>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace analysis::forms {
namespace {

constexpr QSize DefaultSize(1180, 760);
constexpr const char* SizeKey = "AnalysisWindow/size";

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Puts a new chart in the view and deletes the one it showed, which the
// view gives up without deleting.
void Replace(QChartView* view, QChart* chart) {
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

QChartView* ChartView(const char* name, QWidget* parent) {
    auto* view = new QChartView(parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(280, 220);
    return view;
}

QString AskOpenExport(QWidget* owner, const AnalysisFiles& files) {
    QMessageBox box(QMessageBox::Information, "试卷分析",
                    "试卷分析已写入:\n" + Path(files.report) + "\n" + Path(files.workbook),
                    QMessageBox::NoButton, owner);
    QPushButton* report = box.addButton("打开报告", QMessageBox::AcceptRole);
    QPushButton* workbook = box.addButton("打开工作簿", QMessageBox::ActionRole);
    QPushButton* folder = box.addButton("打开文件夹", QMessageBox::ActionRole);
    box.addButton("关闭", QMessageBox::RejectRole);
    box.setDefaultButton(report);
    box.exec();
    if (box.clickedButton() == report)
        return "report";
    if (box.clickedButton() == workbook)
        return "workbook";
    if (box.clickedButton() == folder)
        return "folder";
    return {};
}

} // namespace

AnalysisWindow::AnalysisWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName("TFormAnalysis");
    setWindowTitle("试卷分析");
    QFont font;
    font.setFamilies({"宋体", "SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    font.setPixelSize(12);
    setFont(font);
    setMinimumSize(760, 520);
    resize(DefaultSize);
    buildBody();
    askOpenExport = [this](const AnalysisFiles& files) { return AskOpenExport(this, files); };
    showError = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
    askRekey = [this](const QString& text) {
        return QMessageBox::question(this, "更正答案", text) == QMessageBox::Yes;
    };
    showRekeyDone = [this](const QString& text) {
        QMessageBox::information(this, "更正答案", text);
    };
}

AnalysisWindow::~AnalysisWindow() {
    if (isVisible())
        rememberSize();
}

QLabel* AnalysisWindow::addSummaryFigure(const char* name, const QString& caption, QWidget* strip) {
    auto* box = new QWidget(strip);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setSpacing(0);
    auto* title = new QLabel(caption, box);
    title->setStyleSheet("color: #555;");
    auto* value = new QLabel("-", box);
    value->setObjectName(name);
    QFont bold = value->font();
    bold.setBold(true);
    bold.setPixelSize(15);
    value->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(value);
    strip->layout()->addWidget(box);
    mSummary[name] = value;
    return value;
}

void AnalysisWindow::buildSummary(QWidget* strip) {
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const std::pair<const char*, const char*> figures[] = {
        {"sumSheets", "答卷数"}, {"sumFull", "满分"},     {"sumMean", "平均分"},
        {"sumSd", "标准差"},     {"sumMedian", "中位数"}, {"sumMax", "最高分"},
        {"sumMin", "最低分"},    {"sumAlpha", "信度 α"},  {"sumSem", "测量标准误"}};
    for (const auto& [name, caption] : figures)
        addSummaryFigure(name, caption, strip);
    layout->addStretch(1);
}

void AnalysisWindow::buildBody() {
    auto* outer = new QVBoxLayout(this);
    auto* strip = new QWidget(this);
    strip->setObjectName("SummaryStrip");
    buildSummary(strip);
    outer->addWidget(strip);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName("Splitter");
    auto* left = new QWidget(split);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    mQuestions = new QTableView(left);
    mQuestions->setObjectName("QuestionTable");
    mQuestions->setSelectionBehavior(QAbstractItemView::SelectRows);
    mQuestions->setSelectionMode(QAbstractItemView::SingleSelection);
    mQuestions->setSortingEnabled(true);
    mQuestions->verticalHeader()->hide();
    mQuestions->verticalHeader()->setDefaultSectionSize(20);
    mQuestions->horizontalHeader()->setStretchLastSection(true);
    mSorted = new QSortFilterProxyModel(this);
    mSorted->setSortRole(SortRole);
    mQuestions->setModel(mSorted);
    connect(mQuestions->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { rowChanged(); });
    leftLayout->addWidget(mQuestions, 1);
    // The correction of a key goes here, next to the question it changes.
    mCorrectionBox = new QGroupBox("更正答案", left);
    mCorrectionBox->setObjectName("GroupRekey");
    mCorrectionBox->setLayout(new QVBoxLayout);
    buildCorrection();
    leftLayout->addWidget(mCorrectionBox);

    auto* charts = new QSplitter(Qt::Vertical, split);
    auto* top = new QSplitter(Qt::Horizontal, charts);
    mBandChart = ChartView("BandChart", top);
    mScatterChart = ChartView("ScatterChart", top);
    mOptionChart = ChartView("OptionChart", charts);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({480, 700}); // every column of the table in view
    top->setSizes({420, 280});
    outer->addWidget(split, 1);

    auto* buttons = new QHBoxLayout;
    mExportNote = new QLabel(this);
    mExportNote->setObjectName("ExportNote");
    mExportButton = new QPushButton("导出", this);
    mExportButton->setObjectName("btnExport");
    mExportButton->setToolTip("写出试卷分析的文本报告和工作簿");
    mCloseButton = new QPushButton("关闭", this);
    mCloseButton->setObjectName("btnClose");
    buttons->addWidget(mExportNote, 1);
    buttons->addWidget(mExportButton);
    buttons->addWidget(mCloseButton);
    outer->addLayout(buttons);
    connect(mExportButton, &QPushButton::clicked, this, [this] { exportFiles(); });
    connect(mCloseButton, &QPushButton::clicked, this, &QWidget::close);
}

void AnalysisWindow::showAnalysis(const ExamAnalysis& analysis, const std::filesystem::path& home,
                                  text::Encoding encoding) {
    const int kept =
        mSelected >= 0 ? mAnalysis.items[static_cast<std::size_t>(mSelected)].position : -1;
    mAnalysis = analysis;
    mHome = home;
    mEncoding = encoding;
    mSelected = -1;
    setWindowTitle("试卷分析 - " + QString::fromStdString(mAnalysis.table));
    mExportNote->clear();
    fillSummary();
    Replace(mBandChart, forms::BandChart(mAnalysis));
    showScatter();
    fillTable();
    int select = -1;
    for (std::size_t i = 0; i < mAnalysis.items.size(); ++i)
        if (mAnalysis.items[i].position == kept)
            select = static_cast<int>(i);
    if (select >= 0)
        selectItem(select);
    else if (mSorted->rowCount() > 0)
        selectItem(mSorted->index(0, 0).data(ItemRole).toInt());
    else
        showSelected();
    if (!mSized) {
        restoreSize();
        mSized = true;
    }
    show();
    raise();
    activateWindow();
}

void AnalysisWindow::fillSummary() {
    const ExamAnalysis& a = mAnalysis;
    const std::pair<const char*, QString> values[] = {
        {"sumSheets", QString::number(a.sheets)},
        {"sumFull", PointsText(a.full)},
        {"sumMean", PointsText(a.mean)},
        {"sumSd", PointsText(a.sd)},
        {"sumMedian", PointsText(a.median)},
        {"sumMax", PointsText(a.max)},
        {"sumMin", PointsText(a.min)},
        {"sumAlpha", FigureText(a.alpha)},
        {"sumSem", a.sem ? PointsText(*a.sem) : QString("-")}};
    for (const auto& [name, text] : values)
        mSummary.at(name)->setText(text);
    mSummary.at("sumAlpha")
        ->setToolTip(a.alpha ? QString() : "无法计算：计分的题少于 2 道，或所有答卷的总分相同。");
}

void AnalysisWindow::fillTable() {
    QStandardItemModel* old = mModel;
    mModel = QuestionModel(mAnalysis, this);
    mSorted->setSourceModel(mModel);
    delete old;
    mQuestions->sortByColumn(ColFlags, Qt::AscendingOrder);
    mQuestions->resizeColumnsToContents();
}

void AnalysisWindow::selectItem(int index) {
    for (int row = 0; row < mSorted->rowCount(); ++row) {
        const QModelIndex at = mSorted->index(row, 0);
        if (at.data(ItemRole).toInt() == index) {
            mQuestions->setCurrentIndex(at);
            mQuestions->selectRow(row);
            mQuestions->scrollTo(at);
            return;
        }
    }
}

void AnalysisWindow::rowChanged() {
    const QModelIndex current = mQuestions->currentIndex();
    const int index = current.isValid() ? current.data(ItemRole).toInt() : -1;
    if (index == mSelected)
        return;
    mSelected = index;
    showSelected();
    if (questionSelected)
        questionSelected(mSelected);
}

void AnalysisWindow::showSelected() {
    if (mSelected >= 0) {
        const ItemFigures& item = mAnalysis.items[static_cast<std::size_t>(mSelected)];
        Replace(mOptionChart, forms::OptionChart(item));
        if (mChosen) {
            mChosen->clear();
            if (item.d)
                mChosen->append(item.p, *item.d);
        }
    } else {
        auto* empty = new QChart;
        empty->setTitle("选中一道题，查看它各选项的选择情况");
        Replace(mOptionChart, empty);
        if (mChosen)
            mChosen->clear();
    }
    showCorrection();
}

// The chart stays while questions are selected (only the point of the
// selected one moves), so that a click never deletes the series it came from.
void AnalysisWindow::showScatter() {
    QChart* chart = forms::ScatterChart(mAnalysis, mSelected);
    mChosen = nullptr;
    for (QAbstractSeries* series : chart->series()) {
        auto* points = qobject_cast<QScatterSeries*>(series);
        if (!points)
            continue;
        if (points->name() == SelectedPointName)
            mChosen = points;
        connect(points, &QScatterSeries::clicked, this,
                [this](const QPointF& point) { selectNearest(point); });
    }
    Replace(mScatterChart, chart);
}

void AnalysisWindow::selectNearest(const QPointF& point) {
    const int index = NearestItem(mAnalysis, point);
    if (index >= 0)
        selectItem(index);
}

void AnalysisWindow::exportFiles() {
    AnalysisFiles files;
    try {
        files = WriteAnalysisFiles(mAnalysis, mHome, mEncoding);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
        return;
    }
    mExportNote->setText("已写入 " + Path(files.report.filename()) + " 和 " +
                         Path(files.workbook.filename()));
    mExportNote->setToolTip(Path(files.report) + "\n" + Path(files.workbook));
    const QString choice = askOpenExport(files);
    if (!mShell)
        return;
    if (choice == "report")
        mShell->open(files.report.string());
    else if (choice == "workbook")
        mShell->open(files.workbook.string());
    else if (choice == "folder")
        mShell->open(files.report.parent_path().string());
}

std::filesystem::path AnalysisWindow::sizeFile() const {
    return mHome / "window.ini";
}

void AnalysisWindow::rememberSize() const {
    if (mHome.empty())
        return;
    QSettings settings(Path(sizeFile()), QSettings::IniFormat);
    settings.setValue(SizeKey, size());
}

void AnalysisWindow::restoreSize() {
    QSettings settings(Path(sizeFile()), QSettings::IniFormat);
    const QSize remembered = settings.value(SizeKey).toSize();
    resize(remembered.isValid() ? remembered.expandedTo(minimumSize()) : DefaultSize);
}

void AnalysisWindow::hideEvent(QHideEvent* event) {
    rememberSize();
    QWidget::hideEvent(event);
}

} // namespace analysis::forms
