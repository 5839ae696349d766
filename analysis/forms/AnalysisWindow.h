#pragma once

#include "analysis/AnalyzeCommand.h"
#include "analysis/RekeyCommand.h"
#include "analysis/Result.h"
#include "platform/os/Shell.h"
#include "platform/text/Encoding.h"

#include <QPointF>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

class QChartView;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScatterSeries;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTableWidget;

namespace analysis::forms {

// The analysis window ("文件 - 试卷分析..."): a non-modal window over one
// analysis of the open table. It shows what the analysis found and nothing
// it works out itself: the test figures, the score bands, the question table,
// the options of the selected question and P against D of every question;
// "导出" writes the analysis's text report and workbook; "更正答案" shows
// what another key of the selected single-choice question would change and
// corrects it, through the owner's hooks. It keeps its size in window.ini in
// the home folder. The owner hands it each new analysis
// through showAnalysis and keeps it; it owns its models and charts.
class AnalysisWindow : public QWidget {
    Q_OBJECT
  public:
    explicit AnalysisWindow(QWidget* owner);
    ~AnalysisWindow() override;

    // Shows the analysis (of the table it names) and brings the window up.
    // The question selected before stays selected when the new analysis
    // still has it; otherwise the first row of the table is. "导出" writes
    // the text report in `encoding`.
    void showAnalysis(const ExamAnalysis& analysis, const std::filesystem::path& home,
                      text::Encoding encoding = text::Encoding::Gbk);

    [[nodiscard]] const ExamAnalysis& analysis() const { return mAnalysis; }
    [[nodiscard]] const std::string& tableName() const { return mAnalysis.table; }

    // The selected question as an index into analysis().items, -1 for none.
    [[nodiscard]] int selectedItem() const { return mSelected; }
    void selectItem(int index);

    // Selects the question nearest a point of the P-D chart (one clicked).
    void selectNearest(const QPointF& point);
    void exportFiles(); // "导出"

    // The controls that correct the selected question's key, disabled for a
    // question whose key cannot be corrected on its own.
    [[nodiscard]] QGroupBox* correctionBox() const { return mCorrectionBox; }
    void previewCorrection(); // "预览"
    void applyCorrection();   // "应用"

    // The shell that opens the exported files (tests record it).
    void setShell(os::Shell* shell) { mShell = shell; }
    // Called with the selected question's index whenever the selection changes.
    std::function<void(int item)> questionSelected;
    // What to open after an export: "report", "workbook", "folder" or empty;
    // a message box unless replaced.
    std::function<QString(const AnalysisFiles& files)> askOpenExport;
    // Shows an error that ended an export; a message box unless replaced.
    std::function<void(const QString& text)> showError;
    // The correction of a key over the open table, set by the owner, which
    // sees the workspace: each returns nullopt when it failed and has shown
    // why. Without them "预览" and "应用" are disabled.
    std::function<std::optional<RekeyPreview>(const RekeyRequest& request)> previewRekey;
    std::function<std::optional<RekeyResult>(const RekeyRequest& request)> applyRekey;
    // Asks whether to write a correction; a Yes/No box unless replaced.
    std::function<bool(const QString& text)> askRekey;
    // Says what a correction did; a message box unless replaced.
    std::function<void(const QString& text)> showRekeyDone;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    QLabel* addSummaryFigure(const char* name, const QString& caption, QWidget* strip);
    void buildSummary(QWidget* strip);
    void buildBody();
    void fillSummary();
    void fillTable();
    void showSelected();
    void showScatter();
    void rowChanged();
    void buildCorrection();
    void showCorrection();
    void clearCorrectionPreview();
    void showCorrectionPreview(const RekeyPreview& preview);
    // The correction the controls ask for; nullopt when none can be asked.
    [[nodiscard]] std::optional<RekeyRequest> correctionRequest() const;
    void rememberSize() const;
    void restoreSize();
    [[nodiscard]] std::filesystem::path sizeFile() const;

    // Components; tests find them by object name.
    std::map<std::string, QLabel*> mSummary; // the value labels of the summary strip
    QTableView* mQuestions;
    QChartView* mBandChart;
    QChartView* mOptionChart;
    QChartView* mScatterChart;
    QGroupBox* mCorrectionBox;
    QLabel* mCurrentKey; // the current key
    QComboBox* mNewKey;  // the new key, A to F
    QPushButton* mPreviewButton;
    QPushButton* mApplyButton;
    QLabel* mCorrectionNote;          // why not, or what the preview found
    QTableWidget* mCorrectionFigures; // the figures now and after the correction
    QLabel* mExportNote;
    QPushButton* mExportButton;
    QPushButton* mCloseButton;

    ExamAnalysis mAnalysis;
    std::filesystem::path mHome;
    text::Encoding mEncoding = text::Encoding::Gbk;
    QStandardItemModel* mModel = nullptr;
    QSortFilterProxyModel* mSorted = nullptr;
    os::Shell* mShell = nullptr;
    QScatterSeries* mChosen = nullptr; // the selected question's point in the scatter chart
    int mSelected = -1;
    bool mSized = false; // the remembered size was applied
};

} // namespace analysis::forms
