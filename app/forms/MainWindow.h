#pragma once

#include "app/forms/DesktopShell.h"
#include "app/forms/QtUi.h"
#include "core/GridEdits.h"
#include "core/OpenTable.h"
#include "core/WindowState.h"
#include "core/Workspace.h"
#include "platform/automation/Automation.h"
#include "report/ReportCommand.h"
#include "roster/Corrections.h"
#include "scoring/BatchCommand.h"
#include "scoring/ScoreCommand.h"
#include "stats/ClassesCommand.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;

namespace scoring::forms {
class AnswerKeyPanels;
}
namespace stats::forms {
class ClassStatisticsDialog;
}
namespace roster::forms {
class ExamNumberCheckDialog;
}
namespace analysis {
struct ExamAnalysis;
}
namespace analysis::forms {
class AnalysisWindow;
class RunSummaryDialog;
struct RunSummary;
} // namespace analysis::forms

namespace app::forms {

class DataSetModel;
class AboutBox;
class FieldSettingsDialog;
class SqlDialog;

// The main window: the grid over the opened answer table, the answer-key
// panels, the status bar and the menu that reaches every command. It owns
// the core::Workspace; its handlers read their controls, call the commands over
// the workspace and show what they return. Every handler runs inside the
// error guard, so no exception reaches the event loop.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow();
    ~MainWindow() override;

    // The dialogs created at start-up after the main window, in this order.
    void createDialogs();

    // Opens a .dbf as the menu, a drop or the command line does.
    void openAnswerTable(const QString& path);
    // Handles a list of dropped files as the shell hands them over.
    void dropFiles(const QStringList& paths);

    // The window's commands, each the handler of its menu item or button.
    void openTable();                     // "文件 - 打开DBF表..."
    void openRecent(const QString& file); // an item of "文件 - 最近打开"
    void importRoster();                  // "文件 - 导入学生名单...": a class list into ids
    void designSheet(); // "文件 - 设计答题卡...": an answer sheet for plain paper
    void scanSheets();  // "文件 - 扫描答题卡...": scans read into a new table, then opened
    void reviewScans(); // "文件 - 扫描复核...": the open table's scan, or one chosen
    // The review of a scanned table; the table opened again after it.
    void reviewScan(const QString& table);
    void addScoreField();  // "文件 - 添加分数字段" (hidden)
    void editFieldNames(); // "文件 - 设置字段名..."
    void score();          // "文件 - 开始评分" (F9)
    void loadLastRun();    // "文件 - 载入上次的答案": the panels from the table's last run
    void showExamAnalysis(); // "文件 - 试卷分析...": the analysis window
    void classStatistics();  // "文件 - 分班统计..." (F10)
    void runClassStatistics(const stats::ClassSettings& settings); // "开始统计" of the class dialog
    void writeResults(); // "文件 - 成绩分析...": the results workbook, the class dialog's settings
    void writeReport();         // "文件 - 生成报表"
    void checkMissingNumbers(); // "文件 - 检查缺漏考号..."
    void verifyNumbers();    // "文件 - 核对考号...": the check, its corrections in its dialog
    void repairTableIndex(); // "文件 - 修理DBF的索引问题..." (hidden)
    void customSql();        // "文件 - 自定义SQL..."
    void sortByColumn(QAction* item); // an item of "文件 - 排序"
    void readingOrder();              // "文件 - 取消排序(读卡顺序)"
    void quit();                      // "文件 - 退出"
    void allowEditing();              // "视图 - 允许编辑": the grid's cells editable or not
    void undoEdit();       // "视图 - 撤销编辑" (Ctrl+Z): the newest edit of the grid undone
    void showHelp();       // "帮助 - 帮助"
    void showAbout();      // "帮助 - 关于..."
    void scoreSurveys();   // "帮助 - TEST" (hidden batch statistics)
    void countSurveys();   // "帮助 - TEST2" (hidden)
    void convertAnswers(); // the button "转换客观题"
    void
    sortByHeader(int section); // a click on a column's header: sorted by it, then the other way

    // The answer-key panels as the scoring run reads them.
    [[nodiscard]] scoring::ScoringSettings scoringSettings() const;

    [[nodiscard]] core::Workspace& workspace() { return mWs; }
    // The grid's edits of this session, for undo.
    [[nodiscard]] core::EditSession& edits() { return mEdits; }
    [[nodiscard]] QtUi& ui() { return *mUi; }
    // Replaces the shell (tests record what would be opened).
    void setShell(os::Shell* shell);
    // Chooses a file for the open and repair commands; the file dialog unless replaced.
    std::function<QString(const QString& caption, const QString& filter)> chooseFile;
    // Where a copy of the report's workbook goes, starting from `suggested`;
    // empty when none is wanted. The save dialog unless replaced.
    std::function<QString(const QString& suggested)> chooseSaveFile;
    // What to do with a results workbook just written: "file" opens it,
    // "folder" its folder, anything else neither; a message box unless replaced.
    std::function<QString(const QString& file)> askOpenResults;
    // Shows what a scoring run did once its messages and questions are over;
    // the non-modal summary box unless replaced.
    std::function<void(const analysis::forms::RunSummary& summary)> showRunSummary;
    // Set when startUp went through: files may be dropped.
    [[nodiscard]] bool dropTarget() const { return mDropTarget; }

    // The file the open dialog starts from: the last one opened or dropped.
    [[nodiscard]] const QString& lastTable() const { return mLastTable; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // The widgets the commands read or write; each keeps the name the window
    // gave it as its object name, by which tests find it.
    QTableView* mGrid;                            // the open table, a row per answer sheet
    scoring::forms::AnswerKeyPanels* mAnswerKeys; // the answer keys and their points
    QLineEdit* mConvertedAnswers;                 // what "转换客观题" made of the current row
    QStatusBar* mStatusBar;
    QLabel* mStatusNotes;  // what reading the table noticed, else the program's line
    QLabel* mStatusCounts; // the table's records and questions
    QProgressBar* mProgress;
    QLabel* mEmptyHint; // over the empty grid: what to do first

    // The menu items whose state the commands change.
    QMenu* mFileMenu;
    QAction* mImportRosterItem; // "最近打开" stands before it
    QAction* mFieldNamesItem;   // its data is 1 once the field-name dialog said "确定"
    QAction* mScoreItem;
    QAction* mLoadLastRunItem;
    QAction* mAnalysisItem;
    QMenu* mSortMenu; // a column of the open table per item
    QMenu* mHelpMenu;
    QMenu* mRecentMenu; // "文件 - 最近打开"
    QAction* mAllowEditItem;

    FieldSettingsDialog* mFieldSettings = nullptr;
    stats::forms::ClassStatisticsDialog* mClassDialog = nullptr;
    SqlDialog* mSqlDialog = nullptr;
    AboutBox* mAboutBox = nullptr;
    roster::forms::ExamNumberCheckDialog* mNumbersDialog = nullptr;
    analysis::forms::AnalysisWindow* mAnalysisWindow = nullptr;
    analysis::forms::RunSummaryDialog* mRunSummary = nullptr;

    void buildMenu();
    void buildFileMenu(QMenu* menu);
    void addUnreadChoices(QMenu* menu);
    void buildHelpMenu(QMenu* menu);
    void buildBody();
    void buildGrid(QWidget* parent);
    QWidget* buildConvertBar(QWidget* parent);
    void buildStatusBar();
    // The window's creation: the start-up command, then drops allowed.
    void startUp();
    void showOpened(const core::OpenedTable& opened);
    // Enables the items that need a scoring run of the open table.
    void updateRunItems();
    void runBatch(scoring::BatchKind kind);
    // The report's closing message, with the offer to keep a copy of its workbook.
    void offerReportCopy(const report::ReportResult& written);
    // The analysis window over an analysis of the open table.
    void showAnalysis(const analysis::ExamAnalysis& figures);
    // The analysis window's correction of a key, over the workspace.
    void wireRekey();
    // The summary of a finished run, with the figures of its analysis.
    void summarizeRun(const scoring::ScoringResult& run);
    void showSummaryBox(const analysis::forms::RunSummary& summary);
    // Hides the analysis window and the summary box when they speak of
    // another table than the open one, or of a table without a run.
    void hideOtherTablesAnalysis(bool hasRun);
    void createRosterDialogs();
    void correctNumber(const roster::Correction& correction);
    void undoCorrection();
    // A change of exam numbers, then the grid and the check shown again,
    // also when its log line could not be written after its commit.
    void changeNumbers(const std::function<void()>& change);
    // The check run again and shown in its dialog, after a correction.
    void showCheckAgain();
    void tellHowToEdit(const QKeyEvent* key);
    void fitColumnsFirstTime();
    QString mLastTable;              // the last table opened or dropped
    bool mChooseAnotherKind = false; // chooseFile is asked for a file that is not an answer table
    // The open table's last used class settings, else the class dialog's.
    [[nodiscard]] stats::ClassSettings classSettingsOfTable();
    // The grid reads the table anew after its numbers changed.
    void refreshView();
    // The view menu, the recent tables, the header's sorting, the column
    // widths and the empty grid's hint; the place of the last run restored.
    void buildDesk();
    void restorePlace();
    // The place, the widths and the recent tables written to config.ini.
    void saveDeskState();
    void rememberRecent(const QString& file);
    void fillRecent();
    void syncSortIndicator();
    void rememberWidths();
    void applyWidths();
    QAction* item(QMenu* menu, const char* name, const QString& caption,
                  void (MainWindow::*handler)() = nullptr);

    core::Workspace mWs;
    std::unique_ptr<QtUi> mUi;
    DesktopShell mDesktopShell; // text reports in the program's own viewer
    os::Shell* mShell = &mDesktopShell;
    automation::Factory mSpreadsheet; // the spreadsheet stand-in, showing through mShell
    DataSetModel* mModel = nullptr;
    bool mDropTarget = false;
    bool mFollowing = false;
    roster::CorrectionSession mCorrections;  // the corrections of this session, for undo
    core::EditSession mEdits;                // the grid's edits of this session, for undo
    core::WindowState mDesk;                 // what config.ini keeps of the window
    std::string mWidthsTable;                // the table whose column widths the grid shows
    std::vector<std::string> mWidthsColumns; // and its columns, as they were when shown
};

} // namespace app::forms
