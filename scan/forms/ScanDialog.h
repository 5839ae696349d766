#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"
#include "scan/ScanCommand.h"

#include <QDialog>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace scan::forms {

// "文件 - 扫描答题卡...": the scans or photos to read (files and folders),
// the layout (a file or a folder of them), for a bubble template the custom
// label of the exam number, the answer table to write and the subject; "开始扫描" reads them on a
// thread of its own while the dialog shows the pages done, the pages per second and the time left,
// and "取消" stops the scan, which then writes nothing. At the end the dialog sums up what the
// pages gave and the window opens the new table. Its widgets keep their
// designer names as object names, for tests.
class ScanDialog : public QDialog {
    Q_OBJECT
  public:
    // The scan runs over the window's workspace and asks its questions
    // through the window's `ui`, always on the window's thread; the dialog
    // is modal, so nothing else uses the workspace meanwhile.
    ScanDialog(QWidget* parent, core::Workspace& ws, core::Ui& ui);
    ~ScanDialog() override;

    // Adds image files, PDFs or folders to the inputs; the output table
    // follows the first input until one is chosen by hand.
    void addInputs(const QStringList& paths);
    // The settings as the controls hold them.
    [[nodiscard]] ScanSettings settings() const;
    // The layout to read the pages with: a layout file, a bubble template or
    // a folder of layout files.
    void setLayoutFile(const QString& path);
    // "开始扫描": the scan started, or a problem with the settings shown.
    void start();
    // "取消": the running scan stops after the page it is on.
    void cancel();
    [[nodiscard]] bool running() const { return mThread != nullptr; }
    // What the last scan gave; nothing while none has ended.
    [[nodiscard]] const std::optional<ScanResult>& result() const { return mResult; }

    // Opens the table a scan wrote, as the window opens any table.
    std::function<void(const QString& table)> openTable;
    // Asked for by "复核..." once a scan left items to review: the dialog
    // closes and the window reviews the table.
    std::function<void(const QString& table)> reviewTable;

  signals:
    // A scan ended: done, cancelled, refused or failed.
    void scanEnded();

  protected:
    // Closing while a scan runs cancels it; the dialog closes when it ends.
    void done(int r) override;

  private:
    void createControls();
    void layOutControls();
    void connectControls();
    // "复核...": the dialog closes and the window reviews the table written.
    void reviewScannedTable();
    void showProgress(const ScanProgress& p);
    void endScan();
    void showSummary(const ScanResult& r);
    // A scan that left items to review: the place where their review is
    // offered; until then the summary says where they are listed.
    void offerReview(const ScanResult& r);
    void setRunning(bool running);
    void followInputs();
    // The exam number's label offered for the layout chosen: shown with the
    // template's custom labels for a template, hidden for our layouts.
    void followLayout();
    void chooseFiles();
    void chooseFolder();
    void chooseLayoutFile();
    void chooseLayoutFolder();
    void chooseOut();

    QListWidget* mInputs; // the files and folders to read
    QPushButton* mAddFiles;
    QPushButton* mAddFolder;
    QPushButton* mRemove;
    QLineEdit* mLayoutFile; // a layout file, a bubble template or a folder of layouts
    QPushButton* mChooseLayoutFile;
    QPushButton* mChooseLayoutFolder;
    // "考号标签", shown when the layout is a bubble template: its custom
    // labels to choose from or one typed; empty for the default rule.
    QLabel* mIdLabelCaption;
    QComboBox* mIdLabel;
    QLineEdit* mOutTable;
    QPushButton* mChooseOutTable;
    QLineEdit* mSubject;
    QProgressBar* mProgress;
    QLabel* mPages;           // pages done of the total as far as known
    QLabel* mSpeed;           // pages per second and the time left
    QLabel* mStatus;          // running, done, cancelled or what stopped it
    QPlainTextEdit* mSummary; // the counts of the scan's end and its failed pages
    QPushButton* mStart;      // "开始扫描"
    QPushButton* mCancel;     // "取消"
    QPushButton* mClose;
    QPushButton* mReview; // "复核...", shown when a scan left items to review

    core::Workspace& mWs;
    core::Ui& mUi;
    QThread* mThread = nullptr;
    std::atomic<bool> mCancelAsked{false};
    QElapsedTimer mClock; // since the scan started
    bool mCloseAtEnd = false;
    bool mOutChosen = false; // the output table chosen by hand: it no longer follows the inputs
    bool mTemplateChosen = false; // the layout is a bubble template file
    // Set by the scan's thread, read once it has ended.
    std::optional<ScanResult> mResult;
    std::string mError;
};

} // namespace scan::forms
