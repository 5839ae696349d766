// The main window's side of the analysis: the menu item opens the window,
// every scoring run ends with its summary, on the table of AnalysisTable.h.
#include "analysis/AnalyzeCommand.h"
#include "analysis/forms/AnalysisWindow.h"
#include "analysis/forms/RunSummaryDialog.h"
#include "app/forms/MainWindow.h"
#include "platform/os/Shell.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "tests/forms/AnalysisTable.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

using analysis::forms::AnalysisWindow;
using analysistest::kSheets;
using windowtest::OnNextModal;

int RunAnalysisWindowTest(int argc, char** argv);

namespace {

// Closes the next `count` modal windows in turn, answering No to questions;
// `meanwhile` runs while each is up, with its window's name or text.
void CloseModals(int count, QStringList* seen, std::function<void(const QString&)> meanwhile = {}) {
    if (count == 0)
        return;
    OnNextModal([count, seen, meanwhile](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        *seen << (box ? box->text() : w->objectName());
        if (meanwhile)
            meanwhile(seen->back());
        CloseModals(count - 1, seen, meanwhile);
        if (box && box->button(QMessageBox::No))
            box->button(QMessageBox::No)->click();
        else
            static_cast<QDialog*>(w)->reject();
    });
}

} // namespace

class MainWindowAnalysisTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    std::vector<analysis::forms::RunSummary> summaries;

    void score(const QString& key = "ABCA", std::function<void(const QString&)> meanwhile = {}) {
        const int modals = 3;
        auto* p = w->findChild<scoring::forms::AnswerKeyPanels*>("Panels");
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->setValue(4);
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("1");
        windowtest::Find<QLineEdit>(p, "Edit1")->setText(key);
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit5")->setValue(1);
        windowtest::Find<QLineEdit>(p, "Edit8")->setText("2");
        windowtest::Find<QLineEdit>(p, "Edit9")->setText("1");
        windowtest::Find<QLineEdit>(p, "Edit2")->setText("AB");
        QStringList seen;
        CloseModals(modals, &seen, meanwhile); // 评分完成, the class dialog, the report question
        w->score();
        QCOMPARE(seen.size(), qsizetype(modals));
        QCOMPARE(seen.first(), QString("评分完成。\n\n下一步进行分班统计、综合科统计。"));
    }

    AnalysisWindow* analysisWindow() { return w->findChild<AnalysisWindow*>("TFormAnalysis"); }

  private slots:
    void init() {
        makeHome();
        testsupport::WriteAnswers(home->path() / "exam.dbf", kSheets, 'N');
        summaries.clear();
        openWindow();
        w->openAnswerTable(QString::fromStdString((home->path() / "exam.dbf").string()));
    }

    void cleanup() { closeWindow(); }

    void aScoringRunEndsWithItsSummary() {
        w->showRunSummary = [&](const analysis::forms::RunSummary& s) { summaries.push_back(s); };
        score();
        QCOMPARE(summaries.size(), std::size_t(1));
        const analysis::forms::RunSummary& s = summaries[0];
        QCOMPARE(s.table, std::string("exam"));
        QCOMPARE(s.sheets, 8);
        QCOMPARE(s.statistics, home->path() / "统计_exam.txt");
        QVERIFY(s.problem.empty());
        QVERIFY(s.analysis.has_value());
        const analysis::forms::RunSummaryTexts t = analysis::forms::SummaryTexts(s);
        QCOMPARE(t.sheets, QString("8 份"));
        QCOMPARE(t.mean, QString("3.12"));
        QCOMPARE(t.max, QString("6"));
        QCOMPARE(t.min, QString("1"));
        QCOMPARE(t.flagged, QString("1 道"));
        QVERIFY2(!std::filesystem::exists(home->path() / "试卷分析_exam.txt"),
                 "the summary writes no analysis");
    }

    void aRunTheAnalysisRefusesIsSummedUpWithoutFigures() {
        // While the class dialog that follows the run is up, the first
        // question's points grow beyond what the analysis adds up (2^20).
        score("ABCA", [&](const QString& modal) {
            if (modal == "TFormTongji")
                w->workspace().connection.execute("UPDATE exam SET f1 = 5000000");
        });
        auto* box = w->findChild<analysis::forms::RunSummaryDialog*>("TFormRunSummary");
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->findChild<QLabel*>("lblSheets")->text(), QString("8 份"));
        QCOMPARE(box->findChild<QLabel*>("lblMean")->text(), QString("-"));
        QCOMPARE(box->findChild<QLabel*>("lblFlagged")->text(), QString("-"));
        QVERIFY(!box->findChild<QPushButton*>("btnAnalysis")->isEnabled());
        auto* problem = box->findChild<QLabel*>("lblProblem");
        QVERIFY(!problem->isHidden());
        QVERIFY2(problem->text().startsWith("这次评分无法分析：") &&
                     problem->text().contains("上次评分"),
                 qPrintable(problem->text()));

        score(); // the next run is analysed again, in the same box
        QCOMPARE(w->findChildren<analysis::forms::RunSummaryDialog*>().size(), qsizetype(1));
        QCOMPARE(box->findChild<QLabel*>("lblMean")->text(), QString("3.12"));
        QVERIFY(problem->isHidden());
        QVERIFY(box->findChild<QPushButton*>("btnAnalysis")->isEnabled());
    }

    void theSummaryBoxOpensTheAnalysisAndTheStatisticsFile() {
        score();
        auto* box = w->findChild<analysis::forms::RunSummaryDialog*>("TFormRunSummary");
        QVERIFY(box && box->isVisible());
        QVERIFY(!box->isModal());
        QCOMPARE(box->findChild<QLabel*>("lblSheets")->text(), QString("8 份"));
        QCOMPARE(box->findChild<QLabel*>("lblMean")->text(), QString("3.12"));
        QCOMPARE(box->findChild<QLabel*>("lblFlagged")->text(), QString("1 道"));
        const auto stats = home->path() / "统计_exam.txt";
        QCOMPARE(box->findChild<QLabel*>("lblStatistics")->text(),
                 QString::fromStdString(stats.string()));
        const std::size_t before = shell.opened().size();
        QTest::mouseClick(box->findChild<QPushButton*>("btnOpenFile"), Qt::LeftButton);
        QTest::mouseClick(box->findChild<QPushButton*>("btnOpenFolder"), Qt::LeftButton);
        QCOMPARE(
            std::vector<std::string>(shell.opened().begin() + static_cast<std::ptrdiff_t>(before),
                                     shell.opened().end()),
            (std::vector<std::string>{stats.string(), home->path().string()}));
        QVERIFY(!analysisWindow());
        QTest::mouseClick(box->findChild<QPushButton*>("btnAnalysis"), Qt::LeftButton);
        QVERIFY(analysisWindow() && analysisWindow()->isVisible());
        QCOMPARE(analysisWindow()->analysis().sheets, 8);
    }

    void theMenuOpensTheWindowAndWritesNothing() {
        w->showRunSummary = [&](const analysis::forms::RunSummary& s) { summaries.push_back(s); };
        score();
        w->findChild<QAction*>("nAnalysis")->trigger();
        AnalysisWindow* window = analysisWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QString("试卷分析 - exam"));
        QCOMPARE(window->findChild<QLabel*>("sumMean")->text(), QString("3.12"));
        QCOMPARE(window->selectedItem(), 3);
        QVERIFY(!std::filesystem::exists(home->path() / "试卷分析_exam.txt"));
        // The window's export goes through the main window's shell.
        window->askOpenExport = [](const analysis::AnalysisFiles&) { return QString("report"); };
        window->exportFiles();
        QCOMPARE(shell.opened().back(), (home->path() / "试卷分析_exam.txt").string());

        // A second run with the key corrected refreshes the open window;
        // another table hides it.
        score("ABCD");
        QCOMPARE(summaries.size(), std::size_t(2));
        QVERIFY(window->isVisible());
        QCOMPARE(window->analysis().items.at(3).key, std::string("D"));
        QCOMPARE(window->selectedItem(), 3);             // the question looked at stays selected
        QCOMPARE(summaries.back().analysis->mean, 2.75); // 22 / 8
        testsupport::WriteAnswers(home->path() / "other.dbf", testsupport::Sheets(3, 5), 'N');
        w->openAnswerTable(QString::fromStdString((home->path() / "other.dbf").string()));
        QVERIFY(!window->isVisible());
    }
};

int RunMainWindowAnalysisTest(int argc, char** argv) {
    MainWindowAnalysisTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RunSummaryTest.moc"
