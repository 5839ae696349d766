// Correcting one key from the analysis window, wired by the main window, on
// the table of AnalysisTable.h: the fourth question is keyed A where the
// strong sheets chose D. The preview's figures were worked out by hand, the
// correction is compared with a full scoring run with the key ABCD.
#include "analysis/RekeyCommand.h"
#include "analysis/forms/AnalysisCharts.h"
#include "analysis/forms/AnalysisWindow.h"
#include "analysis/forms/QuestionTable.h"
#include "analysis/forms/RekeyTexts.h"
#include "app/forms/MainWindow.h"
#include "core/OpenTable.h"
#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "platform/os/Shell.h"
#include "scoring/ScoreCommand.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "tests/forms/AnalysisTable.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/DatabaseDump.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <cinttypes>
#include <map>
#include <memory>
#include <regex>

using analysis::forms::AnalysisWindow;
using analysistest::kSheets;
using testsupport::DumpDatabase;
using testsupport::HomeFiles;
using testsupport::WithoutTimes;
using windowtest::OnNextModal;

namespace {

scoring::ScoringSettings KeyedWith(const std::string& key) {
    scoring::ScoringSettings st = analysistest::Settings();
    st.singleKey = key;
    return st;
}

} // namespace

class RekeyWindowTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    AnalysisWindow* window = nullptr;
    QStringList asked;  // the questions before a correction
    QStringList done;   // the messages after one
    bool answer = true; // the answer to those questions

    // The analysis window's object of that name.
    template <class T> T* Find(const char* name) { return windowtest::Find<T>(window, name); }
    QString note() { return Find<QLabel>("lblRekeyNote")->text(); }
    QString figure(int row, int column) {
        const QTableWidgetItem* item = Find<QTableWidget>("tblRekeyPreview")->item(row, column);
        return item ? item->text() : QString();
    }
    void choose(char key) { Find<QComboBox>("cmbRekeyKey")->setCurrentText(QString(QChar(key))); }
    void click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    db::Connection& connection() { return w->workspace().connection; }
    std::string dump() { return DumpDatabase(connection()); }

    // The main window's grid: the score of the sheet with the exam number.
    QString gridScore(const QString& id) {
        auto* grid = w->findChild<QTableView*>("DBGrid1");
        QAbstractItemModel* m = grid->model();
        int idColumn = -1, scoreColumn = -1;
        for (int c = 0; c < m->columnCount(); ++c) {
            const QString name = m->headerData(c, Qt::Horizontal).toString();
            if (name.compare("BH", Qt::CaseInsensitive) == 0)
                idColumn = c;
            if (name.compare("SCORE", Qt::CaseInsensitive) == 0)
                scoreColumn = c;
        }
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, idColumn).data().toString().trimmed() == id)
                return m->index(r, scoreColumn).data().toString();
        return "no such sheet";
    }

    // A copy of the table in its own home, scored in full with `key`.
    std::filesystem::path fullRun(const std::string& key, std::string& rows) {
        const auto other = home->path() / "full";
        std::filesystem::create_directory(other);
        testsupport::WriteAnswers(other / "exam.dbf", kSheets, 'N');
        core::Workspace ws(other);
        ws.startUp();
        testsupport::ScriptedUi ui;
        (void)core::OpenAnswerTable(ws, ui, other / "exam.dbf");
        if (scoring::ScoreAll(ws, ui, shell, KeyedWith(key), {}).outcome != core::Outcome::Done)
            qFatal("the copy was not scored");
        rows = DumpDatabase(ws.connection, {.only = "exam", .lastRun = false});
        return other;
    }

  private slots:
    void init() {
        makeHome();
        testsupport::WriteAnswers(home->path() / "exam.dbf", kSheets, 'N');
        asked.clear();
        done.clear();
        answer = true;
        openWindow([](app::forms::MainWindow& f) {
            f.showRunSummary = [](const analysis::forms::RunSummary&) {};
        });
        w->openAnswerTable(QString::fromStdString((home->path() / "exam.dbf").string()));
        testsupport::ScriptedUi ui;
        if (scoring::ScoreAll(w->workspace(), ui, shell, analysistest::Settings(), {}).outcome !=
            core::Outcome::Done)
            qFatal("the table was not scored");
        w->showExamAnalysis();
        window = w->findChild<AnalysisWindow*>("TFormAnalysis");
        if (!window)
            qFatal("the analysis window did not open");
        window->askRekey = [this](const QString& text) {
            asked << text;
            return answer;
        };
        window->showRekeyDone = [this](const QString& text) { done << text; };
    }

    void cleanup() { closeWindow(); }

    void thePreviewShowsWhatTheCorrectionWouldChangeAndWritesNothing() {
        QCOMPARE(window->selectedItem(), 3); // the flagged fourth question
        QCOMPARE(Find<QComboBox>("cmbRekeyKey")->currentText(), QString("D")); // as suspected
        // The figures now, as the question table shows them.
        QCOMPARE(figure(0, 0), QString("3.12"));
        QCOMPARE(figure(1, 0), QString("0.628"));
        QCOMPARE(figure(2, 0), QString("0.625"));
        QCOMPARE(figure(3, 0), QString("0.000"));
        QCOMPARE(figure(4, 0), QString("答案存疑，区分低"));
        QVERIFY(figure(0, 1).isEmpty());

        const std::string before = dump();
        const auto files = HomeFiles(home->path());
        click("btnRekeyPreview");
        QCOMPARE(dump(), before);
        QCOMPARE(HomeFiles(home->path()), files);
        QVERIFY(asked.isEmpty() && done.isEmpty());

        // D gains a point for 001 002, A loses one for 003 004 005 006 008,
        // 007 (C) keeps its total: the totals 6 5 5 3 1 0 1 1, mean 22 / 8.
        // The upper group 001 002 chose D, the lower 008 006 chose A: P 2 / 8,
        // D 1. The fourth question's variance falls from 0.234375 to 0.1875,
        // the totals' grows from 3.109375 to 4.6875: alpha
        // 5/4 (1 - 1.5 / 4.6875) = 0.85.
        QCOMPARE(note(), QString("总分改变的答卷：7 / 8 份\n    +1 分：2 份\n    -1 分：5 份\n"
                                 "平均分变化：-0.37")); // -0.375 over the double nearest 0.01
        QCOMPARE(figure(0, 1), QString("2.75"));
        QCOMPARE(figure(1, 1), QString("0.850"));
        QCOMPARE(figure(2, 1), QString("0.250"));
        QCOMPARE(figure(3, 1), QString("1.000"));

        // The same figures as the engine's own preview.
        testsupport::ScriptedUi ui;
        const analysis::RekeyPreview p =
            analysis::PreviewRekey(w->workspace(), ui, analysis::RekeyRequest{4, 'D'});
        QCOMPARE(p.changed, std::int64_t(7));
        QCOMPARE(figure(0, 1), analysis::forms::PointsText(p.analysis.mean));
        QCOMPARE(figure(1, 1), analysis::forms::FigureText(p.analysis.alpha));
        QVERIFY(p.item.has_value());
        QCOMPARE(figure(2, 1), analysis::forms::FigureText(p.item->p));
        QCOMPARE(figure(3, 1), analysis::forms::FigureText(p.item->d));
        const QString flags = analysis::forms::FlagText(*p.item);
        QCOMPARE(figure(4, 1), flags.isEmpty() ? QString("无") : flags);
        QVERIFY(!figure(4, 1).contains("答案存疑"));

        choose('B'); // another option: the preview no longer holds
        QVERIFY(figure(0, 1).isEmpty());
        QCOMPARE(figure(0, 0), QString("3.12"));
        QCOMPARE(dump(), before);
    }

    void applyingLeavesWhatAFullRunWithTheCorrectedKeyLeaves() {
        const auto history = home->path() / "标准答案历史.log";
        const std::size_t historyBefore = testsupport::ReadBytes(history).size();
        choose('D');
        click("btnRekeyApply");
        QCOMPARE(asked, QStringList({"把单选第 4 题的答案由 A 改为 D，"
                                     "并重新计算这道题的得分和每份答卷的总分吗？"}));
        QCOMPARE(done.size(), qsizetype(1));

        std::string fullRows;
        const auto full = fullRun("ABCD", fullRows);
        QCOMPARE(DumpDatabase(connection(), {.only = "exam", .lastRun = false}), fullRows);
        QCOMPARE(testsupport::ReadBytes(home->path() / "统计_exam.txt"),
                 testsupport::ReadBytes(full / "统计_exam.txt"));
        QCOMPARE(WithoutTimes(testsupport::ReadBytes(history).substr(historyBefore)),
                 WithoutTimes(testsupport::ReadBytes(full / "标准答案历史.log")));

        // The main window follows: the key field, the grid, the window.
        auto* panels = w->findChild<scoring::forms::AnswerKeyPanels*>("Panels");
        QCOMPARE(windowtest::Find<QLineEdit>(panels, "Edit1")->text(), QString("ABCD"));
        QCOMPARE(gridScore("202601003"), QString("5"));
        QCOMPARE(gridScore("202601002"), QString("5"));
        QCOMPARE(gridScore("202601007"), QString("1")); // chose C: unchanged
        QCOMPARE(window->analysis().items.at(3).key, std::string("D"));
        QCOMPARE(window->analysis().mean, 2.75);
        QCOMPARE(window->selectedItem(), 3); // the corrected question stays selected
        QCOMPARE(Find<QLabel>("lblRekeyKey")->text(), QString("当前答案 D"));
        QCOMPARE(figure(2, 0), QString("0.250"));

        QCOMPARE(done[0], QString("单选第 4 题的答案已由 A 改为 D。\n"
                                  "改写了 7 份答卷的得分和总分。\n"
                                  "统计文件已重写：统计_exam.txt\n"
                                  "答案记录已追加到 标准答案历史.log。\n"
                                  "没有需要重新生成的报告。"));
    }

    void theMessageNamesTheReportsNowOutOfDate() {
        testsupport::WriteBytes(home->path() / "分班统计_exam.txt", "old");
        testsupport::WriteBytes(home->path() / "成绩分析_exam.xlsx", "old");
        testsupport::WriteBytes(home->path() / "分班统计_other.txt", "another table's");
        click("btnRekeyApply");
        QCOMPARE(done.size(), qsizetype(1));
        const QStringList lines = done[0].split('\n');
        const int from = lines.indexOf("以下报告是改正前生成的，已经过时，请重新生成：");
        QVERIFY2(from > 0, qPrintable(done[0]));
        QStringList named = lines.mid(from + 1);
        named.sort();
        QCOMPARE(named, QStringList({"    分班统计_exam.txt", "    成绩分析_exam.xlsx"}));
    }

    void aMultipleChoiceQuestionCannotBeCorrectedHere() {
        window->selectItem(4);
        QVERIFY(!window->correctionBox()->isEnabled());
        QVERIFY2(note().startsWith("不定项第 1 题的答案不能在这里改正：这里只改正单选题的答案。"),
                 qPrintable(note()));
        QVERIFY(figure(0, 0).isEmpty());
        const std::string before = dump();
        window->applyCorrection(); // even when reached past the disabled button
        window->previewCorrection();
        QCOMPARE(dump(), before);
        QVERIFY(asked.isEmpty() && done.isEmpty());
        window->selectItem(0);
        QVERIFY(window->correctionBox()->isEnabled());
        QCOMPARE(Find<QLabel>("lblRekeyKey")->text(), QString("当前答案 A"));
    }

    void theCurrentKeyIsANoticeAndWritesNothing() {
        choose('A');
        const std::string before = dump();
        const auto files = HomeFiles(home->path());
        click("btnRekeyPreview");
        QCOMPARE(note(), QString("第 4 题的答案已经是 A，没有改动。"));
        QVERIFY(figure(0, 1).isEmpty());
        click("btnRekeyApply");
        QVERIFY(asked.isEmpty()); // nothing to confirm
        QCOMPARE(done, QStringList({"第 4 题的答案已经是 A，没有改动。"}));
        QCOMPARE(dump(), before);
        QCOMPARE(HomeFiles(home->path()), files);
        auto* panels = w->findChild<scoring::forms::AnswerKeyPanels*>("Panels");
        QVERIFY(windowtest::Find<QLineEdit>(panels, "Edit1")->text() != "ABCD");
    }

    void answeringNoWritesNothing() {
        answer = false;
        const std::string before = dump();
        const auto files = HomeFiles(home->path());
        click("btnRekeyApply");
        QCOMPARE(asked.size(), qsizetype(1));
        QVERIFY(done.isEmpty());
        QCOMPARE(dump(), before);
        QCOMPARE(HomeFiles(home->path()), files);
    }

    void aRefusalIsShownOverTheWindowAndChangesNothing() {
        connection().execute("DELETE FROM quillory_runs"); // the run forgotten meanwhile
        const std::string before = dump();
        const auto files = HomeFiles(home->path());
        for (const char* button : {"btnRekeyPreview", "btnRekeyApply"}) {
            QString shown, owner;
            OnNextModal([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                shown = box ? box->text() : modal->objectName();
                owner = modal->parentWidget() ? modal->parentWidget()->objectName() : QString();
                modal->close();
            });
            click(button);
            QVERIFY2(shown.contains("还没有评过分"), qPrintable(shown));
            QCOMPARE(owner, QString("TFormAnalysis"));
        }
        QVERIFY(done.isEmpty());
        QCOMPARE(dump(), before);
        QCOMPARE(HomeFiles(home->path()), files);
    }

    // Texts of made-up results: what the table above cannot reach.
    void aKeyXOrZIsRefusedAndFractionalChangesKeepTheirSigns() {
        analysis::ItemFigures item;
        item.number = 7;
        item.key = "z";
        QCOMPARE(analysis::forms::RekeyRefusal(item),
                 QString("单选第 7 题的答案是 \"z\"（给零分），不能单独改正，\n请重新评分。"));
        item.key = "x";
        QVERIFY(analysis::forms::RekeyRefusal(item).contains("不评分"));
        item.key = "C";
        QVERIFY(analysis::forms::RekeyRefusal(item).isEmpty());

        analysis::RekeyPreview p;
        p.sheets = 40;
        p.changed = 4;
        p.differences = {{2.5, 1}, {-0.7, 3}};
        p.meanChange = 2.5 / 40 - 2.1 / 40;
        QCOMPARE(analysis::forms::ChangesText(p),
                 QString("总分改变的答卷：4 / 40 份\n    +2.5 分：1 份\n    -0.7 分：3 份\n"
                         "平均分变化：+0.01"));
        p.differences.clear();
        p.changed = 0;
        p.meanChange = 0;
        QVERIFY(analysis::forms::ChangesText(p).endsWith("平均分变化：0"));
    }
};

int RunRekeyWindowTest(int argc, char** argv) {
    RekeyWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RekeyWindowTest.moc"
