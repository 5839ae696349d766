#pragma once

#include "analysis/Result.h"
#include "platform/os/Shell.h"

#include <QDialog>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace analysis::forms {

// What a scoring run did, as the window sums it up when the run is over:
// the sheets it scored and the statistics file it wrote (from the run), the
// mean, highest and lowest total and the flagged questions (from the
// analysis of that run).
struct RunSummary {
    std::string table;
    int sheets = 0;
    std::filesystem::path statistics;
    std::optional<ExamAnalysis> analysis; // nullopt when the run could not be analysed
    std::string problem;                  // why it could not
};

// The figures of the summary as its labels show them.
struct RunSummaryTexts {
    QString sheets, mean, max, min, flagged, statistics;
};
[[nodiscard]] RunSummaryTexts SummaryTexts(const RunSummary& summary);

// The box that follows a scoring run: the summary, a button to the analysis
// window and buttons that open the statistics file or its folder through
// the shell. Non-modal; the main window owns it and refills it after each run.
class RunSummaryDialog : public QDialog {
    Q_OBJECT
  public:
    explicit RunSummaryDialog(QWidget* owner);

    void fill(const RunSummary& summary);
    void setShell(os::Shell* shell) { mShell = shell; }
    [[nodiscard]] const std::string& tableName() const { return mTable; }
    // Opens the analysis window on the run's analysis; the button is enabled
    // when the run was analysed.
    std::function<void(const ExamAnalysis& analysis)> openAnalysis;

  private:
    void showAnalysisWindow();   // "试卷分析..."
    void openStatisticsFile();   // "打开文件"
    void openStatisticsFolder(); // "打开文件夹"
    QLabel* addFigure(const char* name, const QString& caption, int row);

    QLabel* mSheets;
    QLabel* mMean;
    QLabel* mMax;
    QLabel* mMin;
    QLabel* mFlagged;
    QLabel* mStatisticsFile;
    QLabel* mProblem;
    QPushButton* mAnalysisButton;
    QPushButton* mOpenFileButton;
    QPushButton* mOpenFolderButton;
    QPushButton* mCloseButton;

    std::string mTable;
    std::filesystem::path mStatistics;
    std::optional<ExamAnalysis> mAnalysis;
    os::Shell* mShell = nullptr;
};

} // namespace analysis::forms
