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
class TAboutBox;
class TFormSetField;
class TFormSql;

// The main window: the grid over the opened answer table, the answer-key
// panels, the status bar and the menu that reaches every command. It owns
// the core::Workspace; its handlers read their controls, call the commands over
// the workspace and show what they return. Every handler runs inside the
// error guard, so no exception reaches the event loop.
class TFormCorvane : public QMainWindow {
    Q_OBJECT
  public:
    TFormCorvane();
    ~TFormCorvane() override;

    // The dialogs created at start-up after the main window, in this order.
    void CreateDialogs();

    // Opens a .dbf as the menu, a drop or the command line does.
    void OpenAnswerTable(const QString& path);
    // Handles a list of dropped files as the shell hands them over.
    void DropFiles(const QStringList& paths);

    void FormCreate();        // the window's creation: start-up, drops allowed
    void FormResize();        // the window's resize: panels and edits follow
    void OpenDbfClick();      // "文件 - 打开DBF表..."
    void SetFieldClick();     // "文件 - 设置字段名..."
    void CorVaneClick();      // "文件 - 开始评分" (F9)
    void nLoadLastRunClick(); // "文件 - 载入上次的答案": the panels from the table's last run
    void nAnalysisClick();    // "文件 - 试卷分析...": the analysis window
    void N13Click();          // "文件 - 分班统计..." (F10)
    void BitBtn1Click(const stats::ClassSettings& settings); // "开始统计" of the class dialog
    void nResultsClick(); // "文件 - 成绩分析...": the results workbook, the class dialog's settings
    void nExcelClick();               // "文件 - 生成报表"
    void N2Click();                   // "文件 - 检查缺漏考号..."
    void RepairDbfClick();            // "文件 - 修理DBF的索引问题..."
    void SQL1Click();                 // "文件 - 自定义SQL..."
    void N3Click();                   // "文件 - 取消排序(读卡顺序)"
    void SortByColumn(QAction* item); // an item of "文件 - 排序"
    void nAddScoreFieldClick();       // "文件 - 添加分数字段" (hidden)
    void N8Click();                   // "文件 - 退出"
    void N5Click();                   // "帮助 - 帮助"
    void N9Click();                   // "帮助 - 关于..."
    void EST1Click();                 // "帮助 - TEST" (hidden batch statistics)
    void EST2Click();                 // "帮助 - TEST2"
    void Button4Click();              // the button "转换客观题"
    void nImportRosterClick();        // "文件 - 导入学生名单...": a class list into ids
    void nDesignSheetClick(); // "文件 - 设计答题卡...": an answer sheet for plain paper
    void nScanSheetsClick(); // "文件 - 扫描答题卡...": scans read into a new table, then opened
    void nReviewScanClick(); // "文件 - 扫描复核...": the open table's scan, or one chosen
    // The review of a scanned table; the table opened again after it.
    void reviewScan(const QString& table);
    void nVerifyClick();    // "文件 - 核对考号...": the check, corrections in FormVerify
    void nAllowEditClick(); // "视图 - 允许编辑": the grid's cells editable or not
    void nUndoEditClick();  // "视图 - 撤销编辑" (Ctrl+Z): the newest edit of the grid undone
    void RecentClick(const QString& file); // an item of "文件 - 最近打开"
    void HeaderClick(int section); // a click on a column's header: sorted by it, then the other way

    // The answer-key panels as the scoring run reads them.
    [[nodiscard]] scoring::ScoringSettings ReadScoringSettings() const;

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
    // Set when FormCreate went through: files may be dropped.
    [[nodiscard]] bool dropTarget() const { return mDropTarget; }

    // The file the open dialog starts from: the last one opened or dropped.
    QString OpenDialog1FileName;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Components, as the window names them; tests find them by object name.
    QTableView* DBGrid1;
    scoring::forms::AnswerKeyPanels* Panels;
    QWidget* Panel1;
    QPushButton* Button4;
    QLineEdit* Edit3;
    QStatusBar* StatusBar1;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QLabel* StatusPanel2;
    QLabel* StatusHome; // the home folder, at the right of the status bar
    QProgressBar* Progress;

    QMenu* N1;
    QAction* OpenDbf;
    QAction* nImportRoster;
    QAction* nDesignSheet;
    QAction* nScanSheets;
    QAction* nReviewScan;
    QAction* nAddScoreField;
    QAction* SetField;
    QAction* CorVane;
    QAction* nLoadLastRun;
    QAction* nAnalysis;
    QAction* N13;
    QAction* nResults;
    QAction* N6;
    QAction* nExcel;
    QAction* N2;
    QAction* nVerify;
    QAction* RepairDbf;
    QAction* SQL1;
    QAction* N11;
    QMenu* nSort;
    QAction* N12;
    QAction* N3;
    QMenu* nSubj;
    QMenu* nType;
    QAction* N7;
    QAction* N8;
    QMenu* N4;
    QAction* N5;
    QAction* N9;
    QAction* EST1;
    QAction* EST2;
    QAction* EST31;
    QMenu* nRecent; // "文件 - 最近打开"
    QMenu* nView;   // "视图"
    QAction* nAllowEdit;
    QAction* nUndoEdit;
    QLabel* EmptyHint; // over the empty grid: what to do first

    TFormSetField* FormSetField = nullptr;
    stats::forms::ClassStatisticsDialog* FormTongji = nullptr;
    TFormSql* FormSql = nullptr;
    TAboutBox* AboutBox = nullptr;
    roster::forms::ExamNumberCheckDialog* FormVerify = nullptr;
    analysis::forms::AnalysisWindow* FormAnalysis = nullptr;
    analysis::forms::RunSummaryDialog* FormRunSummary = nullptr;

    void buildMenu();
    void buildBody();
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
    // The check run again and shown in FormVerify, after a correction.
    void showCheckAgain();
    void tellHowToEdit(const QKeyEvent* key);
    void fitColumnsFirstTime();
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
                  void (TFormCorvane::*handler)() = nullptr);

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
