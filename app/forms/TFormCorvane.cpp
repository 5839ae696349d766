#include "app/forms/TFormCorvane.h"

#include "analysis/forms/RunSummaryDialog.h"
#include "app/forms/DataSetModel.h"
#include "app/forms/ElidedLabel.h"
#include "app/forms/Guard.h"
#include "app/forms/ResultsItem.h"
#include "app/forms/TAboutBox.h"
#include "app/forms/TFormSetField.h"
#include "app/forms/TFormSql.h"
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

#include <QActionGroup>
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
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace app::forms {
namespace {

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

TFormCorvane::TFormCorvane()
    : mWs(os::ProgramFolder()), mUi(std::make_unique<QtUi>(this, nullptr)) {
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
    mUi = std::make_unique<QtUi>(this, Progress);
    mUi->fieldDialog = [this](core::FieldSettings&) {
        SetFieldClick();
        return SetField->data().toInt() == 1;
    };
    chooseFile = [this](const QString& caption, const QString& filter) {
        QString start = OpenDialog1FileName.isEmpty()
                            ? QString::fromStdString(os::ProgramFolder().string())
                            : OpenDialog1FileName;
        // Another kind of file starts in the table's folder, not on its name.
        if (!OpenDialog1FileName.isEmpty() && mChooseAnotherKind)
            start = QFileInfo(OpenDialog1FileName).absolutePath();
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
    FormCreate();
    restorePlace();
}

TFormCorvane::~TFormCorvane() {
    // The model observes a dataset of the workspace, which goes before the
    // window's children do.
    DBGrid1->setModel(nullptr);
    delete mModel;
}

QAction* TFormCorvane::item(QMenu* menu, const char* name, const QString& caption,
                            void (TFormCorvane::*handler)()) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
}

void TFormCorvane::buildMenu() {
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    N1 = MainMenu1->addMenu("文件");
    N1->setObjectName("N1");
    OpenDbf = item(N1, "OpenDbf", "打开DBF表...", &TFormCorvane::OpenDbfClick);
    OpenDbf->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    nImportRoster = item(N1, "nImportRoster", "导入学生名单...", &TFormCorvane::nImportRosterClick);
    nDesignSheet = item(N1, "nDesignSheet", "设计答题卡...", &TFormCorvane::nDesignSheetClick);
    nScanSheets = item(N1, "nScanSheets", "扫描答题卡...", &TFormCorvane::nScanSheetsClick);
    nReviewScan = item(N1, "nReviewScan", "扫描复核...", &TFormCorvane::nReviewScanClick);
    nAddScoreField = item(N1, "nAddScoreField", "添加分数字段", &TFormCorvane::nAddScoreFieldClick);
    nAddScoreField->setVisible(false);
    SetField = item(N1, "SetField", "设置字段名...", &TFormCorvane::SetFieldClick);
    SetField->setData(0);
    CorVane = item(N1, "CorVane", "开始评分", &TFormCorvane::CorVaneClick);
    CorVane->setShortcut(QKeySequence(Qt::Key_F9));
    nLoadLastRun = item(N1, "nLoadLastRun", "载入上次的答案", &TFormCorvane::nLoadLastRunClick);
    nAnalysis = item(N1, "nAnalysis", "试卷分析...", &TFormCorvane::nAnalysisClick);
    updateRunItems();
    N13 = item(N1, "N13", "分班统计...", &TFormCorvane::N13Click);
    N13->setShortcut(QKeySequence(Qt::Key_F10));
    nResults = item(N1, "nResults", "成绩分析...", &TFormCorvane::nResultsClick);
    N6 = N1->addSeparator();
    N6->setObjectName("N6");
    nExcel = item(N1, "nExcel", "生成报表", &TFormCorvane::nExcelClick);
    N2 = item(N1, "N2", "检查缺漏考号...", &TFormCorvane::N2Click);
    nVerify = item(N1, "nVerify", "核对考号...", &TFormCorvane::nVerifyClick);
    RepairDbf = item(N1, "RepairDbf", "修理DBF的索引问题...", &TFormCorvane::RepairDbfClick);
    RepairDbf->setToolTip("修理index not found问题");
    RepairDbf->setVisible(false);
    SQL1 = item(N1, "SQL1", "自定义SQL...", &TFormCorvane::SQL1Click);
    N11 = N1->addSeparator();
    N11->setObjectName("N11");
    nSort = N1->addMenu("排序");
    nSort->setObjectName("nSort");
    N12 = item(nSort, "N12", "    (空)");
    N12->setEnabled(false);
    N3 = item(N1, "N3", "取消排序(读卡顺序)", &TFormCorvane::N3Click);

    // Two submenus of radio items that no command reads; never shown.
    nSubj = N1->addMenu("评分科目");
    nSubj->setObjectName("nSubj");
    nSubj->menuAction()->setVisible(false);
    auto* subjects = new QActionGroup(this);
    QAction* N27 = item(nSubj, "N27", "不分科目");
    N27->setCheckable(true);
    N27->setChecked(true);
    subjects->addAction(N27);
    nSubj->addSeparator()->setObjectName("N28");
    const char* names[] = {"语文", "英语", "物理", "化学", "政治", "历史", "地理", "生物", "综合"};
    for (int i = 0; i < 9; ++i) {
        QAction* a = item(nSubj, ("N" + std::to_string(16 + i)).c_str(), names[i]);
        a->setCheckable(true);
        a->setData(i + 1);
        subjects->addAction(a);
    }
    nType = N1->addMenu("评卷类型");
    nType->setObjectName("nType");
    nType->menuAction()->setVisible(false);
    auto* types = new QActionGroup(this);
    QAction* AB1 = item(nType, "AB1", "不分类型");
    AB1->setCheckable(true);
    AB1->setChecked(true);
    types->addAction(AB1);
    nType->addSeparator()->setObjectName("N26");
    for (auto [name, caption] : {std::pair{"A1", "A  卷"}, std::pair{"B1", "B  卷"}}) {
        QAction* a = item(nType, name, caption);
        a->setCheckable(true);
        types->addAction(a);
    }
    N7 = N1->addSeparator();
    N7->setObjectName("N7");
    N8 = item(N1, "N8", "退出", &TFormCorvane::N8Click);

    N4 = MainMenu1->addMenu("帮助");
    N4->setObjectName("N4");
    N5 = item(N4, "N5", "帮助", &TFormCorvane::N5Click);
    N9 = item(N4, "N9", "关于...", &TFormCorvane::N9Click);
    EST1 = item(N4, "EST1", "TEST", &TFormCorvane::EST1Click);
    EST2 = item(N4, "EST2", "TEST2", &TFormCorvane::EST2Click);
    EST31 = item(N4, "EST31", "TEST3");
    for (QAction* hidden : {EST1, EST2, EST31})
        hidden->setVisible(false);
    // The shortcuts work wherever the focus is in the window.
    for (QAction* a : {OpenDbf, CorVane, N13})
        a->setShortcutContext(Qt::WindowShortcut);
}

void TFormCorvane::buildBody() {
    auto* central = new QWidget(this);
    central->setObjectName("Central");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    DBGrid1 = new QTableView(central);
    DBGrid1->setObjectName("DBGrid1");
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(18);
    mModel = new DataSetModel(mWs.view, this);
    mModel->showError = [this](const QString& text) { ShowError(this, text); };
    DBGrid1->setModel(mModel);
    DBGrid1->installEventFilter(this);
    layout->addWidget(DBGrid1, 1);
    connect(mModel, &DataSetModel::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= mModel->rowCount())
            return;
        mFollowing = true;
        int column = std::max(0, DBGrid1->currentIndex().column());
        DBGrid1->setCurrentIndex(mModel->index(row, column));
        mFollowing = false;
    });
    connect(mModel, &DataSetModel::controlsDisabled, this,
            [this](bool disabled) { DBGrid1->setUpdatesEnabled(!disabled); });
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (mFollowing || !current.isValid() || !mWs.view.isOpen())
                    return;
                if (current.row() != mWs.view.recNo())
                    Guarded(this, [&] { mWs.view.moveTo(current.row()); });
            });

    Panels = new scoring::forms::AnswerKeyPanels(central);
    Panels->setObjectName("Panels");
    layout->addWidget(Panels);

    Panel1 = new QWidget(central);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(35);
    Button4 = new QPushButton("转换客观题", Panel1);
    Button4->setToolTip("转换之前请设置好单选题和不定项的题目数");
    Button4->setObjectName("Button4");
    Button4->setGeometry(8, 6, 76, 24);
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    Edit3 = new QLineEdit(Panel1);
    Edit3->setObjectName("Edit3");
    Edit3->setReadOnly(true);
    Edit3->setToolTip("转换之前请设置好单选题和不定项的题目数");
    Edit3->setGeometry(88, 7, 100, 22);
    layout->addWidget(Panel1);
    setCentralWidget(central);
    // The wide edits follow their containers, which the layout sizes.
    Panel1->installEventFilter(this);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel("Quillory 客观题评分", StatusBar1);
    StatusPanel0->setObjectName("StatusPanel0");
    StatusPanel0->setFixedWidth(200);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setObjectName("StatusPanel1");
    StatusPanel1->setFixedWidth(150);
    StatusPanel2 = new QLabel("版本 1.70", StatusBar1);
    StatusPanel2->setObjectName("StatusPanel2");
    StatusPanel2->setFixedWidth(100);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1);
    StatusBar1->addWidget(StatusPanel2);
    // Where data.mdb and the reports are: the per-user data folder when the
    // program's own folder cannot be written to.
    const QString home = QString::fromStdString(core::HomeFolderText(mWs.home()));
    StatusHome = new ElidedLabel(home, StatusBar1);
    StatusHome->setObjectName("StatusHome");
    StatusHome->setToolTip(home);
    StatusHome->setMinimumWidth(1);
    StatusBar1->addPermanentWidget(StatusHome, 1);
    Progress = new QProgressBar(StatusBar1);
    Progress->setObjectName("Progress");
    Progress->setFixedWidth(160);
    Progress->setMaximumHeight(15);
    Progress->hide();
    StatusBar1->addPermanentWidget(Progress);
}

void TFormCorvane::CreateDialogs() {
    FormSetField = new TFormSetField(this, mWs.Fields, SetField);
    FormTongji = new stats::forms::ClassStatisticsDialog(this);
    FormTongji->start = [this](const stats::ClassSettings& settings) { BitBtn1Click(settings); };
    FormTongji->tableName = [this] { return mWs.TableName; };
    FormSql = new TFormSql(this);
    createRosterDialogs();
}

void TFormCorvane::FormCreate() {
    bool done = Guarded(this, [this] { core::StartUp(mWs, *mUi); });
    if (done) {
        setAcceptDrops(true);
        mDropTarget = true;
    }
}

void TFormCorvane::closeEvent(QCloseEvent* event) {
    saveDeskState();
    mWs.view.close();
    mWs.connection.close();
    core::SaveConfig(mWs.configFile(), mWs.Fields, *mUi);
    event->accept();
}

void TFormCorvane::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TFormCorvane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress)
        tellHowToEdit(static_cast<QKeyEvent*>(event));
    else if (event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

// Typing into the grid while editing is off changes nothing; the status
// bar says how to turn it on, so that the keystrokes do not seem lost.
void TFormCorvane::tellHowToEdit(const QKeyEvent* key) {
    if (nAllowEdit->isChecked() || mModel->columnCount() == 0 || key->text().isEmpty() ||
        !key->text().at(0).isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return;
    StatusBar1->showMessage("表格现在是只读的。要修改单元格，请先选中“视图 - 允许编辑”。", 5000);
}

void TFormCorvane::FormResize() {
    Edit3->resize(Panel1->width() - 96, Edit3->height());
}

void TFormCorvane::showOpened(const core::OpenedTable& opened) {
    StatusPanel1->setText(QString::fromStdString(opened.status));
    // What the reading noticed (code page, renamed fields, unreadable values)
    // stands beside the counts, whole in the tooltip.
    QStringList notes;
    for (const auto& note : opened.notes)
        notes << QString::fromStdString(note);
    StatusPanel0->setText(notes.isEmpty() ? QString("Quillory 客观题评分") : notes.join("；"));
    StatusPanel0->setToolTip(notes.join("\n"));
    CorVane->setEnabled(opened.scoringEnabled);
    updateRunItems();
}

void TFormCorvane::OpenAnswerTable(const QString& path) {
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
            Panels->setFirstSegmentCount(mWs.QuestionCount);
        Panels->resetForTable();
        Edit3->clear();
        nSort->clear();
        for (const auto& caption : opened.sortItems) {
            QAction* a = nSort->addAction(QString::fromStdString(caption));
            connect(a, &QAction::triggered, this, [this, a] { SortByColumn(a); });
        }
    });
}

void TFormCorvane::OpenDbfClick() {
    QString file = chooseFile("打开DBF表", "dbase 数据表 (*.dbf *.DBF)");
    if (!file.isEmpty())
        OpenAnswerTable(file);
}

void TFormCorvane::DropFiles(const QStringList& paths) {
    if (!mDropTarget || paths.isEmpty())
        return;
    QString file = Trimmed(paths.first());
    if (QFileInfo(file).suffix().compare("dbf", Qt::CaseInsensitive) == 0) {
        OpenDialog1FileName = file;
        OpenAnswerTable(file);
    } else {
        mUi->message("只能接受dbf文件。", "打开文件", core::Icon::Error);
    }
}

void TFormCorvane::dragEnterEvent(QDragEnterEvent* event) {
    if (mDropTarget && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormCorvane::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        files << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    event->acceptProposedAction();
    DropFiles(files);
}

void TFormCorvane::SetFieldClick() {
    SetField->setData(0);
    if (!FormSetField)
        FormSetField = new TFormSetField(this, mWs.Fields, SetField);
    FormSetField->Fill();
    FormSetField->exec();
}

void TFormCorvane::SortByColumn(QAction* item) {
    Guarded(this, [&] {
        BusyCursor busy;
        core::SortByColumn(mWs, item->text().toStdString());
    });
}

void TFormCorvane::N3Click() {
    Guarded(this, [&] {
        BusyCursor busy;
        core::ReadingOrder(mWs);
    });
}

void TFormCorvane::SQL1Click() {
    Guarded(this, [&] {
        if (!core::RequireOpenView(mWs, *mUi))
            return;
        if (FormSql->exec() != QDialog::Accepted)
            return;
        BusyCursor busy;
        core::CustomSql(mWs, *mUi, FormSql->edtSql->text().toStdString(),
                        FormSql->ckbSql->isChecked());
    });
}

void TFormCorvane::nAddScoreFieldClick() {
    Guarded(this, [&] { core::AddScoreFieldCheck(mWs, *mUi); });
}

void TFormCorvane::RepairDbfClick() {
    Guarded(this, [&] {
        OpenDialog1FileName.clear();
        QString file = chooseFile("修理DBF的索引问题", "Foxpro数据表 (*.dbf *.DBF)");
        if (file.isEmpty())
            return;
        core::RepairDbfIndex(file.toStdString());
        mUi->message(core::RepairDoneText, core::Title(mWs), core::Icon::Information);
    });
}

scoring::ScoringSettings TFormCorvane::ReadScoringSettings() const {
    return Panels->settings();
}

void TFormCorvane::CorVaneClick() {
    scoring::ScoringResult run;
    Guarded(this, [&] {
        scoring::ScoringSettings settings = ReadScoringSettings();
        scoring::ScoringFollowUps next{[this] { N13Click(); }, [this] { nExcelClick(); }};
        BusyCursor busy;
        run = scoring::ScoreAll(mWs, *mUi, *mShell, settings, next);
    });
    updateRunItems();
    if (run.outcome == core::Outcome::Done)
        summarizeRun(run);
}

void TFormCorvane::setShell(os::Shell* shell) {
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
void TFormCorvane::N2Click() {
    Guarded(this, [&] { stats::CheckMissingNumbers(mWs, *mUi, *mShell); });
}
void TFormCorvane::runBatch(scoring::BatchKind kind) {
    Guarded(this, [&] {
        BusyCursor busy;
        auto result = scoring::RunBatch(mWs, *mUi, *mShell, kind, Panels->multipleChoiceCount());
        if (!result.failed.empty()) // the caption names the last table that failed
            setWindowTitle(QString::fromStdString(result.failed.back().file.string()));
    });
}

void TFormCorvane::EST1Click() {
    runBatch(scoring::BatchKind::Test);
}

void TFormCorvane::EST2Click() {
    runBatch(scoring::BatchKind::Test2);
}
void TFormCorvane::Button4Click() {
    Guarded(this, [&] {
        if (auto keys = scoring::ConvertCurrent(mWs, Panels->singleChoiceCount()))
            Edit3->setText(QString::fromStdString(*keys));
    });
}

void TFormCorvane::N8Click() {
    close();
}

void TFormCorvane::N5Click() {
    auto help = os::ExecutableFolder() / "说明.txt";
    std::error_code ec;
    if (std::filesystem::exists(help, ec))
        mShell->open(help.string());
}

void TFormCorvane::N9Click() {
    if (!AboutBox)
        AboutBox = new TAboutBox(this, *mShell);
    AboutBox->exec();
}

} // namespace app::forms
