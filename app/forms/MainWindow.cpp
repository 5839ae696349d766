#include "app/forms/MainWindow.h"

#include "analysis/forms/RunSummaryDialog.h"
#include "app/forms/AboutBox.h"
#include "app/forms/DataSetModel.h"
#include "app/forms/ElidedLabel.h"
#include "app/forms/FieldSettingsDialog.h"
#include "app/forms/Guard.h"
#include "app/forms/ResultsItem.h"
#include "app/forms/SqlDialog.h"
#include "core/About.h"
#include "core/AppError.h"
#include "core/Maintenance.h"
#include "core/OpenTable.h"
#include "core/Session.h"
#include "core/ViewCommands.h"
#include "platform/automation/SheetServer.h"
#include "platform/os/Folders.h"
#include "report/ReportCommand.h"
#include "scoring/BatchCommand.h"
#include "scoring/ConvertCommand.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/CheckCommand.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace app::forms {
namespace {

constexpr const char* kProgramLine = "Quillory 客观题评分";
constexpr const char* kVersionLine = "版本 1.70";
constexpr int kCountsWidth = 150; // the status bar's panel of the table's counts

// A panel of the status bar as wide as it was drawn, or as its text needs.
void FitPanel(QLabel* panel, int designed) {
    panel->setFixedWidth(std::max(designed, panel->sizeHint().width()));
}

QString Trimmed(QString s) {
    s.truncate(256); // the shell hands over at most 256 characters of path
    int b = 0, e = static_cast<int>(s.size());
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

} // namespace

MainWindow::MainWindow() : mWs(os::ProgramFolder()), mUi(std::make_unique<QtUi>(this, nullptr)) {
    setObjectName("TFormCorvane");
    setWindowTitle("Quillory");
    QFont font;
    font.setFamilies({"宋体", "SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    font.setPixelSize(12);
    setFont(font);
    resize(540, 516);
    setMinimumSize(540, 516);
    buildMenu();
    buildBody();
    buildDesk();
    mUi = std::make_unique<QtUi>(this, mProgress);
    mUi->fieldDialog = [this](core::FieldSettings&) {
        editFieldNames();
        return mFieldNamesItem->data().toInt() == 1;
    };
    chooseFile = [this](const QString& caption, const QString& filter) {
        QString start = mLastTable.isEmpty() ? QString::fromStdString(os::ProgramFolder().string())
                                             : mLastTable;
        // Another kind of file starts in the table's folder, not on its name.
        if (!mLastTable.isEmpty() && mChooseAnotherKind)
            start = QFileInfo(mLastTable).absolutePath();
        return QFileDialog::getOpenFileName(this, caption, start, filter);
    };
    askOpenResults = [this](const QString& file) { return AskOpenResults(this, file); };
    chooseSaveFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, "另存报表", suggested,
                                            "工作簿 (*" +
                                                QFileInfo(suggested).suffix().prepend('.') + ")");
    };
    mDesktopShell.expectedEncoding = [this] { return mWs.Fields.TextEncoding; };
    showRunSummary = [this](const analysis::forms::RunSummary& summary) {
        showSummaryBox(summary);
    };
    setShell(&mDesktopShell);
    startUp();
    restorePlace();
}

MainWindow::~MainWindow() {
    // The model observes a dataset of the workspace, which goes before the
    // window's children do.
    mGrid->setModel(nullptr);
    delete mModel;
}

void MainWindow::buildBody() {
    auto* central = new QWidget(this);
    central->setObjectName("Central");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildGrid(central);
    layout->addWidget(mGrid, 1);
    mAnswerKeys = new scoring::forms::AnswerKeyPanels(central);
    mAnswerKeys->setObjectName("Panels");
    layout->addWidget(mAnswerKeys);
    layout->addWidget(buildConvertBar(central));
    setCentralWidget(central);
    buildStatusBar();
}

void MainWindow::buildGrid(QWidget* parent) {
    mGrid = new QTableView(parent);
    mGrid->setObjectName("DBGrid1");
    mGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mGrid->verticalHeader()->setDefaultSectionSize(18);
    mModel = new DataSetModel(mWs.view, this);
    mModel->showError = [this](const QString& text) { ShowError(this, text); };
    mGrid->setModel(mModel);
    mGrid->installEventFilter(this);
    connect(mModel, &DataSetModel::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= mModel->rowCount())
            return;
        mFollowing = true;
        int column = std::max(0, mGrid->currentIndex().column());
        mGrid->setCurrentIndex(mModel->index(row, column));
        mFollowing = false;
    });
    connect(mModel, &DataSetModel::controlsDisabled, this,
            [this](bool disabled) { mGrid->setUpdatesEnabled(!disabled); });
    connect(mGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (mFollowing || !current.isValid() || !mWs.view.isOpen())
                    return;
                if (current.row() != mWs.view.recNo())
                    Guarded(this, [&] { mWs.view.moveTo(current.row()); });
            });
}

// The button "转换客观题" and the edit that shows the converted answers,
// as wide as the window.
QWidget* MainWindow::buildConvertBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName("Panel1");
    bar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* convert = new QPushButton("转换客观题", bar);
    convert->setToolTip("转换之前请设置好单选题和不定项的题目数");
    convert->setObjectName("Button4");
    convert->setMinimumSize(76, 24);
    connect(convert, &QPushButton::clicked, this, [this] { convertAnswers(); });
    mConvertedAnswers = new QLineEdit(bar);
    mConvertedAnswers->setObjectName("Edit3");
    mConvertedAnswers->setReadOnly(true);
    mConvertedAnswers->setToolTip("转换之前请设置好单选题和不定项的题目数");
    mConvertedAnswers->setMinimumHeight(22);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(8, 6, 8, 5);
    layout->setSpacing(4);
    layout->addWidget(convert);
    layout->addWidget(mConvertedAnswers, 1);
    return bar;
}

void MainWindow::buildStatusBar() {
    mStatusBar = statusBar();
    mStatusBar->setObjectName("StatusBar1");
    mStatusBar->setSizeGripEnabled(false);
    auto panel = [this](QLabel* label, const char* name, int width) {
        label->setObjectName(name);
        FitPanel(label, width);
        mStatusBar->addWidget(label);
        return label;
    };
    // The notes are shortened in the middle; their panel fits the program's line.
    mStatusNotes = panel(new ElidedLabel(kProgramLine, mStatusBar), "StatusPanel0", 200);
    mStatusCounts = panel(new QLabel(mStatusBar), "StatusPanel1", kCountsWidth);
    QLabel* version = panel(new QLabel(kVersionLine, mStatusBar), "StatusPanel2", 100);
    // 19 high as drawn, or as high as the panels' texts need, with the bar's margins.
    mStatusBar->setFixedHeight(std::max(19, version->sizeHint().height() + 5));
    // Where data.mdb and the reports are: the per-user data folder when the
    // program's own folder cannot be written to.
    const QString home = QString::fromStdString(core::HomeFolderText(mWs.home()));
    auto* homeLine = new ElidedLabel(home, mStatusBar);
    homeLine->setObjectName("StatusHome");
    homeLine->setToolTip(home);
    homeLine->setMinimumWidth(1);
    mStatusBar->addPermanentWidget(homeLine, 1);
    mProgress = new QProgressBar(mStatusBar);
    mProgress->setObjectName("Progress");
    mProgress->setFixedWidth(160);
    mProgress->setMaximumHeight(15);
    mProgress->hide();
    mStatusBar->addPermanentWidget(mProgress);
}

void MainWindow::createDialogs() {
    mFieldSettings = new FieldSettingsDialog(this, mWs.Fields, mFieldNamesItem);
    mClassDialog = new stats::forms::ClassStatisticsDialog(this);
    mClassDialog->start = [this](const stats::ClassSettings& settings) {
        runClassStatistics(settings);
    };
    mClassDialog->tableName = [this] { return mWs.TableName; };
    mSqlDialog = new SqlDialog(this);
    createRosterDialogs();
}

void MainWindow::startUp() {
    bool done = Guarded(this, [this] { core::StartUp(mWs, *mUi); });
    if (done) {
        setAcceptDrops(true);
        mDropTarget = true;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveDeskState();
    mWs.view.close();
    mWs.connection.close();
    core::SaveConfig(mWs.configFile(), mWs.Fields, *mUi);
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mGrid && event->type() == QEvent::KeyPress)
        tellHowToEdit(static_cast<QKeyEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

// Typing into the grid while editing is off changes nothing; the status
// bar says how to turn it on, so that the keystrokes do not seem lost.
void MainWindow::tellHowToEdit(const QKeyEvent* key) {
    if (mAllowEditItem->isChecked() || mModel->columnCount() == 0 || key->text().isEmpty() ||
        !key->text().at(0).isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return;
    mStatusBar->showMessage("表格现在是只读的。要修改单元格，请先选中“视图 - 允许编辑”。", 5000);
}

void MainWindow::showOpened(const core::OpenedTable& opened) {
    mStatusCounts->setText(QString::fromStdString(opened.status));
    FitPanel(mStatusCounts, kCountsWidth);
    // What the reading noticed (code page, renamed fields, unreadable values)
    // stands beside the counts, whole in the tooltip.
    QStringList notes;
    for (const auto& note : opened.notes)
        notes << QString::fromStdString(note);
    mStatusNotes->setText(notes.isEmpty() ? QString(kProgramLine) : notes.join("；"));
    mStatusNotes->setToolTip(notes.join("\n"));
    mScoreItem->setEnabled(opened.scoringEnabled);
    updateRunItems();
}

void MainWindow::openAnswerTable(const QString& path) {
    mEdits.tableOpened();
    Guarded(this, [&] {
        BusyCursor busy;
        core::OpenedTable opened;
        try {
            opened = core::OpenAnswerTable(mWs, *mUi, path.toStdString());
        } catch (...) {
            setWindowTitle(QString::fromStdString(core::Title(mWs)));
            updateRunItems();
            throw;
        }
        setWindowTitle(QString::fromStdString(core::Title(mWs)));
        showOpened(opened);
        rememberRecent(path);
        if (!opened.scoringProblem.empty())
            throw core::AppError(opened.scoringProblem);
        if (mWs.view.hasField(mWs.Fields.Content))
            mAnswerKeys->setFirstSegmentCount(mWs.QuestionCount);
        mAnswerKeys->resetForTable();
        mConvertedAnswers->clear();
        mSortMenu->clear();
        for (const auto& caption : opened.sortItems) {
            QAction* a = mSortMenu->addAction(QString::fromStdString(caption));
            connect(a, &QAction::triggered, this, [this, a] { sortByColumn(a); });
        }
    });
}

void MainWindow::openTable() {
    QString file = chooseFile("打开DBF表", "dbase 数据表 (*.dbf *.DBF)");
    if (!file.isEmpty())
        openAnswerTable(file);
}

void MainWindow::dropFiles(const QStringList& paths) {
    if (!mDropTarget || paths.isEmpty())
        return;
    QString file = Trimmed(paths.first());
    if (QFileInfo(file).suffix().compare("dbf", Qt::CaseInsensitive) == 0) {
        mLastTable = file;
        openAnswerTable(file);
    } else {
        mUi->message("只能接受dbf文件。", "打开文件", core::Icon::Error);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (mDropTarget && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        files << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    event->acceptProposedAction();
    dropFiles(files);
}

void MainWindow::editFieldNames() {
    mFieldNamesItem->setData(0);
    if (!mFieldSettings)
        mFieldSettings = new FieldSettingsDialog(this, mWs.Fields, mFieldNamesItem);
    mFieldSettings->fill();
    mFieldSettings->exec();
}

void MainWindow::sortByColumn(QAction* item) {
    Guarded(this, [&] {
        BusyCursor busy;
        core::SortByColumn(mWs, item->text().toStdString());
    });
}

void MainWindow::readingOrder() {
    Guarded(this, [&] {
        BusyCursor busy;
        core::ReadingOrder(mWs);
    });
}

void MainWindow::customSql() {
    Guarded(this, [&] {
        if (!core::RequireOpenView(mWs, *mUi))
            return;
        if (mSqlDialog->exec() != QDialog::Accepted)
            return;
        BusyCursor busy;
        core::CustomSql(mWs, *mUi, mSqlDialog->statement(), mSqlDialog->returnsRows());
    });
}

void MainWindow::addScoreField() {
    Guarded(this, [&] { core::AddScoreFieldCheck(mWs, *mUi); });
}

void MainWindow::repairTableIndex() {
    Guarded(this, [&] {
        mLastTable.clear();
        QString file = chooseFile("修理DBF的索引问题", "Foxpro数据表 (*.dbf *.DBF)");
        if (file.isEmpty())
            return;
        core::RepairDbfIndex(file.toStdString());
        mUi->message(core::RepairDoneText, core::Title(mWs), core::Icon::Information);
    });
}

scoring::ScoringSettings MainWindow::scoringSettings() const {
    return mAnswerKeys->settings();
}

void MainWindow::score() {
    scoring::ScoringResult run;
    Guarded(this, [&] {
        scoring::ScoringSettings settings = scoringSettings();
        scoring::ScoringFollowUps next{[this] { classStatistics(); }, [this] { writeReport(); }};
        BusyCursor busy;
        run = scoring::ScoreAll(mWs, *mUi, *mShell, settings, next);
    });
    updateRunItems();
    if (run.outcome == core::Outcome::Done)
        summarizeRun(run);
}

void MainWindow::setShell(os::Shell* shell) {
    mShell = shell;
    // The spreadsheet stand-in shows its workbook through the same shell and
    // puts its sheet on the desktop's clipboard.
    auto toClipboard = [](const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    };
    auto failed = [this](const std::string& why) {
        mUi->message(why, "Quillory", core::Icon::Error);
    };
    mSpreadsheet = automation::SheetServer({mShell, toClipboard, failed});
}
void MainWindow::checkMissingNumbers() {
    Guarded(this, [&] { stats::CheckMissingNumbers(mWs, *mUi, *mShell); });
}
void MainWindow::runBatch(scoring::BatchKind kind) {
    Guarded(this, [&] {
        BusyCursor busy;
        auto result =
            scoring::RunBatch(mWs, *mUi, *mShell, kind, mAnswerKeys->multipleChoiceCount());
        if (!result.failed.empty()) // the caption names the last table that failed
            setWindowTitle(QString::fromStdString(result.failed.back().file.string()));
    });
}

void MainWindow::scoreSurveys() {
    runBatch(scoring::BatchKind::Test);
}

void MainWindow::countSurveys() {
    runBatch(scoring::BatchKind::Test2);
}
void MainWindow::convertAnswers() {
    Guarded(this, [&] {
        if (auto keys = scoring::ConvertCurrent(mWs, mAnswerKeys->singleChoiceCount()))
            mConvertedAnswers->setText(QString::fromStdString(*keys));
    });
}

void MainWindow::quit() {
    close();
}

void MainWindow::showHelp() {
    auto help = os::ExecutableFolder() / "说明.txt";
    std::error_code ec;
    if (std::filesystem::exists(help, ec))
        mShell->open(help.string());
}

void MainWindow::showAbout() {
    if (!mAboutBox)
        mAboutBox = new AboutBox(this, *mShell);
    mAboutBox->exec();
}

} // namespace app::forms
