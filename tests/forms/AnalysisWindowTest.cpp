// The analysis window on the table of AnalysisTable.h: its figures, charts,
// sorting, selection, export and remembered size.
#include "analysis/forms/AnalysisWindow.h"
#include "analysis/AnalyzeCommand.h"
#include "analysis/TextReport.h"
#include "analysis/forms/AnalysisCharts.h"
#include "analysis/forms/QuestionTable.h"
#include "core/OpenTable.h"
#include "platform/os/Shell.h"
#include "scoring/ScoreCommand.h"
#include "tests/forms/AnalysisTable.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QValueAxis>
#include <QtTest>

#include <algorithm>

#include <memory>

using analysis::forms::AnalysisWindow;

namespace {

using analysistest::kSheets;
using analysistest::Settings;
using windowtest::Find;

// The table scored and analysed with score bands 2 points wide.
analysis::ExamAnalysis ScoredAnalysis(const std::filesystem::path& home) {
    testsupport::WriteAnswers(home / "exam.dbf", kSheets, 'N');
    core::Workspace ws(home);
    ws.startUp();
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
    (void)core::OpenAnswerTable(ws, ui, home / "exam.dbf");
    if (scoring::ScoreAll(ws, ui, shell, Settings(), {}).outcome != core::Outcome::Done)
        qFatal("the table was not scored");
    analysis::TableAnalysisSettings st;
    st.files = false;
    st.options.bandWidth = 2;
    return analysis::AnalyzeTable(ws, ui, st).analysis;
}

std::vector<double> Values(const QBarSet* set) {
    std::vector<double> out;
    for (int i = 0; i < set->count(); ++i)
        out.push_back(set->at(i));
    return out;
}

QList<QPointF> Points(const QChart* chart, const QString& name) {
    for (QAbstractSeries* s : chart->series())
        if (s->name() == name)
            return static_cast<QXYSeries*>(s)->points();
    qFatal("no series named %s", qPrintable(name));
    return {};
}

QBarSet* Set(const QChart* chart, const QString& label) {
    for (QAbstractSeries* s : chart->series())
        if (auto* bars = qobject_cast<QBarSeries*>(s))
            for (QBarSet* set : bars->barSets())
                if (set->label() == label)
                    return set;
    qFatal("no bar set %s", qPrintable(label));
    return nullptr;
}

QStringList Categories(const QChart* chart) {
    for (QAbstractAxis* axis : chart->axes(Qt::Horizontal))
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis))
            return categories->categories();
    return {};
}

} // namespace

class AnalysisWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testsupport::TempHome> home;
    std::unique_ptr<AnalysisWindow> window;
    os::RecordingShell shell;

    QTableView* table() { return Find<QTableView>(window.get(), "QuestionTable"); }
    QChart* chart(const char* name) { return Find<QChartView>(window.get(), name)->chart(); }
    QString cell(int row, int column) {
        return table()->model()->index(row, column).data().toString();
    }
    int itemAt(int row) {
        return table()->model()->index(row, 0).data(analysis::forms::ItemRole).toInt();
    }
    // The labels of the table's rows, "单选4", "不定项1", in the order shown.
    QStringList rows() {
        QStringList out;
        for (int r = 0; r < table()->model()->rowCount(); ++r)
            out << cell(r, analysis::forms::ColType) + cell(r, analysis::forms::ColNumber);
        return out;
    }

    void openWindow() {
        window = std::make_unique<AnalysisWindow>(nullptr);
        window->setShell(&shell);
        window->showAnalysis(ScoredAnalysis(home->path()), home->path());
    }

  private slots:
    void init() {
        home = std::make_unique<testsupport::TempHome>();
        shell = {};
    }

    void cleanup() {
        window.reset();
        home.reset();
    }

    void theSummaryStripShowsTheTestFigures() {
        openWindow();
        QCOMPARE(window->windowTitle(), QString("试卷分析 - exam"));
        const std::pair<const char*, const char*> expected[] = {
            {"sumSheets", "8"}, {"sumFull", "6"},      {"sumMean", "3.12"}, // 25 / 8, half to even
            {"sumSd", "1.76"},  {"sumMedian", "3"},    {"sumMax", "6"},
            {"sumMin", "1"},    {"sumAlpha", "0.628"}, {"sumSem", "1.08"}};
        for (const auto& [name, text] : expected)
            QCOMPARE(Find<QLabel>(window.get(), name)->text(), QString(text));
    }

    void theBandChartCountsTheSheetsAndMarksTheMean() {
        openWindow();
        QChart* bands = chart("BandChart");
        QCOMPARE(Categories(bands), QStringList({"0-2", "2-4", "4-6"}));
        QCOMPARE(Values(Set(bands, analysis::forms::BandSeriesName)),
                 (std::vector<double>{2, 2, 4}));
        // The mean 3.125 lies 1.125 / 2 into the band [2, 4), centred at 1.
        const auto mean = Points(bands, "平均分 3.12");
        QCOMPARE(mean.size(), qsizetype(2));
        QCOMPARE(mean[0].x(), 1.0625);
        QCOMPARE(mean[1].x(), 1.0625);
        QCOMPARE(mean[0].y(), 0.0);
        QVERIFY(mean[1].y() >= 4);
    }

    void theFlaggedQuestionsComeFirstTintedWithTheirReasons() {
        openWindow();
        QCOMPARE(rows(), QStringList({"单选4", "单选1", "单选2", "单选3", "不定项1"}));
        QCOMPARE(cell(0, analysis::forms::ColKey), QString("A"));
        QCOMPARE(cell(0, analysis::forms::ColP), QString("0.625"));
        QCOMPARE(cell(0, analysis::forms::ColD), QString("0.000"));
        QCOMPARE(cell(0, analysis::forms::ColRating), QString("差"));
        QCOMPARE(cell(0, analysis::forms::ColRRest), QString("-0.345"));
        QCOMPARE(cell(0, analysis::forms::ColFlags), QString("答案存疑，区分低"));
        QCOMPARE(cell(1, analysis::forms::ColD), QString("0.500"));
        QCOMPARE(cell(1, analysis::forms::ColRating), QString("优"));
        QCOMPARE(cell(1, analysis::forms::ColRRest), QString("0.430"));
        QCOMPARE(cell(4, analysis::forms::ColP), QString("0.438")); // 7 / 8 points of 2
        QCOMPARE(cell(4, analysis::forms::ColKey), QString("AB"));
        QCOMPARE(cell(1, analysis::forms::ColFlags), QString());

        const QString tip =
            table()->model()->index(0, analysis::forms::ColFlags).data(Qt::ToolTipRole).toString();
        const QStringList lines = tip.split('\n');
        QCOMPARE(lines.size(), qsizetype(2));
        // D: the upper 003 A, 001 D; the lower 006 A, 007 C.
        QVERIFY2(lines[0].startsWith("答案存疑：疑为 D（高分组 50.0%，低分组 0.0%）："
                                     "选 D 的学生总分更高"),
                 qPrintable(lines[0]));
        QVERIFY2(lines[0].endsWith("答案可能录错了，请核对。"), qPrintable(lines[0]));
        QCOMPARE(lines[1],
                 QString("区分低：区分度低（D = 0.000）：高分组和低分组的得分率相差不大。"));
        QVERIFY(table()
                    ->model()
                    ->index(1, analysis::forms::ColFlags)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .isEmpty());

        const QColor flagged = table()
                                   ->model()
                                   ->index(0, analysis::forms::ColP)
                                   .data(Qt::BackgroundRole)
                                   .value<QBrush>()
                                   .color();
        QCOMPARE(flagged, QColor(255, 215, 210)); // a suspected key weighs most
        QVERIFY(
            !table()->model()->index(1, analysis::forms::ColP).data(Qt::BackgroundRole).isValid());
        QCOMPARE(window->selectedItem(), 3); // the first row, the fourth question
    }

    void sortingByAColumnAndBackToFlaggedFirst() {
        openWindow();
        table()->sortByColumn(analysis::forms::ColP, Qt::AscendingOrder);
        QCOMPARE(rows().mid(0, 2), QStringList({"单选3", "不定项1"})); // 0.375, 0.4375
        table()->sortByColumn(analysis::forms::ColD, Qt::AscendingOrder);
        QCOMPARE(rows().mid(0, 2), QStringList({"单选4", "单选1"})); // 0, 0.5
        table()->sortByColumn(analysis::forms::ColRRest, Qt::DescendingOrder);
        QCOMPARE(rows().last(), QString("单选4")); // the only negative r_rest
        table()->sortByColumn(analysis::forms::ColType, Qt::DescendingOrder);
        QCOMPARE(rows(), QStringList({"不定项1", "单选4", "单选3", "单选2", "单选1"}));
        table()->sortByColumn(analysis::forms::ColFlags, Qt::AscendingOrder);
        QCOMPARE(rows(), QStringList({"单选4", "单选1", "单选2", "单选3", "不定项1"}));
        QCOMPARE(window->selectedItem(), 3); // sorting keeps the selected question
    }

    // Made-up figures: a suspected key comes before the questions flagged
    // otherwise, and the scatter's axes hold every point whole, D = -0.39
    // and the corners of the P-D square among them.
    void aSuspectedKeyComesFirstAndTheScatterHoldsEveryPoint() {
        using analysis::Flag;
        analysis::ExamAnalysis a;
        a.table = "made-up";
        a.sheets = 40;
        a.bands.push_back({0, 10, 40, 1, 40});
        auto add = [&](int number, double p, double d, std::vector<Flag> flags) {
            analysis::ItemFigures item;
            item.number = number;
            item.position = number;
            item.key = "A";
            item.p = p;
            item.d = d;
            item.single.emplace();
            if (std::find(flags.begin(), flags.end(), Flag::MisKey) != flags.end())
                item.suspect = 'C';
            item.flags = std::move(flags);
            a.items.push_back(item);
        };
        add(1, 0.95, 0.05, {Flag::LowDiscrimination, Flag::TooEasy});
        add(2, 0.6, 0.45, {});
        add(3, 0.3, -0.39, {Flag::NegativeDiscrimination});
        add(4, 0, 0, {Flag::LowDiscrimination, Flag::TooHard});
        add(5, 0.4, 0.1, {Flag::MisKey, Flag::LowDiscrimination});
        add(6, 1, 1, {Flag::TooEasy});
        window = std::make_unique<AnalysisWindow>(nullptr);
        window->showAnalysis(a, home->path());
        QCOMPARE(rows(), QStringList({"单选5", "单选1", "单选3", "单选4", "单选6", "单选2"}));
        QCOMPARE(window->selectedItem(), 4);

        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QChart* scatter = chart("ScatterChart");
        auto* x = qobject_cast<QValueAxis*>(scatter->axes(Qt::Horizontal).value(0));
        auto* y = qobject_cast<QValueAxis*>(scatter->axes(Qt::Vertical).value(0));
        QVERIFY(x && y);
        const QRectF plot = scatter->plotArea();
        QVERIFY(!plot.isEmpty());
        for (QAbstractSeries* s : scatter->series()) {
            auto* points = static_cast<QScatterSeries*>(s);
            const double half = points->markerSize() / 2;
            for (const QPointF& point : points->points()) {
                // A twentieth of each axis at least between a point and its end.
                QVERIFY(point.x() - x->min() >= (x->max() - x->min()) / 20);
                QVERIFY(x->max() - point.x() >= (x->max() - x->min()) / 20);
                QVERIFY(point.y() - y->min() >= (y->max() - y->min()) / 20);
                QVERIFY(y->max() - point.y() >= (y->max() - y->min()) / 20);
                const QPointF at = scatter->mapToPosition(point, points);
                const QRectF marker(at - QPointF(half, half), at + QPointF(half, half));
                QVERIFY2(plot.contains(marker),
                         qPrintable(QString("(%1, %2)").arg(point.x()).arg(point.y())));
            }
        }
        QCOMPARE(Points(scatter, analysis::forms::FlaggedPointsName).size(), qsizetype(5));
    }

    void theOptionChartOfASingleChoiceQuestion() {
        openWindow(); // the fourth question selected: upper 003 A, 001 D; lower 006 A, 007 C
        QChart* options = chart("OptionChart");
        QCOMPARE(options->title(), QString("单选第 4 题  答案 A  疑为 D"));
        QCOMPARE(Categories(options),
                 QStringList({"*A", "B", "C", "D", "E", "F", "多选", "未答", "其他"}));
        QBarSet* upper = Set(options, analysis::forms::UpperSeriesName);
        QBarSet* lower = Set(options, analysis::forms::LowerSeriesName);
        QCOMPARE(Values(upper), (std::vector<double>{50, 0, 0, 50, 0, 0, 0, 0, 0}));
        QCOMPARE(Values(lower), (std::vector<double>{50, 0, 50, 0, 0, 0, 0, 0, 0}));
        QVERIFY(upper->isBarSelected(0) && lower->isBarSelected(0)); // the key drawn darker
        QVERIFY(!upper->isBarSelected(3));

        window->selectItem(1); // the second question: 007 left it blank
        options = chart("OptionChart");
        QCOMPARE(Categories(options).at(1), QString("*B"));
        QCOMPARE(Values(Set(options, analysis::forms::UpperSeriesName)),
                 (std::vector<double>{0, 100, 0, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(Values(Set(options, analysis::forms::LowerSeriesName)),
                 (std::vector<double>{50, 0, 0, 0, 0, 0, 0, 50, 0}));
        window->selectItem(2); // the third question: 007 marked A and B
        QCOMPARE(Values(Set(chart("OptionChart"), analysis::forms::LowerSeriesName)),
                 (std::vector<double>{50, 0, 0, 0, 0, 0, 50, 0, 0}));
    }

    void theOptionChartOfAMultipleChoiceQuestion() {
        openWindow();
        window->selectItem(4);
        QChart* options = chart("OptionChart");
        // full: 001 003; partial: 002 004 008; none: 005 006 007
        QCOMPARE(options->title(),
                 QString("不定项第 1 题  答案 AB  全对 2 人，部分 3 人，零分 3 人"));
        QCOMPARE(Categories(options), QStringList({"*A", "*B", "C", "D", "E", "F"}));
        // upper 003 AB, 001 AB; lower 006 blank, 007 C
        QCOMPARE(Values(Set(options, analysis::forms::UpperSeriesName)),
                 (std::vector<double>{100, 100, 0, 0, 0, 0}));
        QCOMPARE(Values(Set(options, analysis::forms::LowerSeriesName)),
                 (std::vector<double>{0, 0, 50, 0, 0, 0}));
        QBarSet* upper = Set(options, analysis::forms::UpperSeriesName);
        QVERIFY(upper->isBarSelected(0) && upper->isBarSelected(1) && !upper->isBarSelected(2));
    }

    void theScatterPlotsEveryQuestionAndAClickSelectsIt() {
        openWindow();
        QChart* scatter = chart("ScatterChart");
        QCOMPARE(Points(scatter, analysis::forms::FlaggedPointsName), QList<QPointF>({{0.625, 0}}));
        QCOMPARE(Points(scatter, analysis::forms::PlainPointsName),
                 QList<QPointF>({{0.625, 0.5}, {0.625, 1}, {0.375, 1}, {0.4375, 1}}));
        QCOMPARE(Points(scatter, analysis::forms::SelectedPointName), QList<QPointF>({{0.625, 0}}));

        QStringList selected;
        window->questionSelected = [&](int item) { selected << QString::number(item); };
        auto* plain = static_cast<QScatterSeries*>(scatter->series().at(0));
        emit plain->clicked(QPointF(0.375, 1)); // the third question's point
        QCOMPARE(window->selectedItem(), 2);
        QCOMPARE(itemAt(table()->currentIndex().row()), 2);
        QCOMPARE(table()->selectionModel()->selectedRows().size(), qsizetype(1));
        QCOMPARE(Points(chart("ScatterChart"), analysis::forms::SelectedPointName),
                 QList<QPointF>({{0.375, 1}}));
        QCOMPARE(chart("OptionChart")->title(), QString("单选第 3 题  答案 C"));
        window->selectNearest(QPointF(0.45, 0.97)); // nearest: the multiple-choice question
        QCOMPARE(window->selectedItem(), 4);
        QCOMPARE(selected, QStringList({"2", "4"}));
    }

    void clickingARowSelectsItsQuestion() {
        openWindow();
        const int row = rows().indexOf("单选2");
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                          table()->visualRect(table()->model()->index(row, 2)).center());
        QCOMPARE(window->selectedItem(), 1);
        QCOMPARE(chart("OptionChart")->title(), QString("单选第 2 题  答案 B"));
    }

    void exportWritesTheReportsAndOpensWhatIsChosen() {
        openWindow();
        QList<analysis::AnalysisFiles> offered;
        QString answer = "report";
        window->askOpenExport = [&](const analysis::AnalysisFiles& files) {
            offered << files;
            return answer;
        };
        QTest::mouseClick(Find<QPushButton>(window.get(), "btnExport"), Qt::LeftButton);
        const auto report = home->path() / "试卷分析_exam.txt";
        const auto book = home->path() / "试卷分析_exam.xlsx";
        QCOMPARE(offered.size(), qsizetype(1));
        QCOMPARE(offered[0].report, report);
        QCOMPARE(offered[0].workbook, book);
        QVERIFY(std::filesystem::file_size(book) > 0);
        QCOMPARE(shell.opened(), std::vector<std::string>{report.string()});
        // The report of the command line, byte for byte.
        const std::string bytes = testsupport::ReadBytes(report);
        analysis::WriteTextReport(window->analysis(), home->path() / "again.txt",
                                  text::Encoding::Gbk);
        QCOMPARE(bytes, testsupport::ReadBytes(home->path() / "again.txt"));
        QVERIFY(bytes.find("\r\n") != std::string::npos);

        answer = "workbook";
        window->exportFiles();
        answer = "folder";
        window->exportFiles();
        answer = "";
        window->exportFiles();
        QCOMPARE(shell.opened(),
                 (std::vector<std::string>{report.string(), book.string(), home->path().string()}));
    }

    void anExportThatFailsSaysWhyAndOpensNothing() {
        openWindow();
        std::filesystem::create_directory(home->path() /
                                          "试卷分析_exam.txt"); // a folder in the way
        QStringList errors;
        window->showError = [&](const QString& text) { errors << text; };
        bool asked = false;
        window->askOpenExport = [&](const analysis::AnalysisFiles&) {
            asked = true;
            return QString("report");
        };
        window->exportFiles();
        QCOMPARE(errors.size(), qsizetype(1));
        QVERIFY2(errors[0].contains("试卷分析_exam.txt"), qPrintable(errors[0]));
        QVERIFY(!asked);
        QVERIFY(shell.opened().empty());
    }

    void theWindowRemembersItsSizeInTheHomeFolder() {
        openWindow();
        QCOMPARE(window->size(), QSize(1180, 760));
        window->resize(900, 600);
        window->close();
        QVERIFY(std::filesystem::exists(home->path() / "window.ini"));
        AnalysisWindow again(nullptr);
        again.showAnalysis(window->analysis(), home->path());
        QCOMPARE(again.size(), QSize(900, 600));
        QVERIFY(!again.isModal());
    }

    void aNewAnalysisKeepsTheSelectedQuestion() {
        openWindow();
        window->selectItem(2);
        analysis::ExamAnalysis changed = window->analysis();
        changed.items.erase(changed.items.begin()); // the first question gone
        window->showAnalysis(changed, home->path());
        QCOMPARE(window->selectedItem(), 1); // still the third question
        QCOMPARE(chart("OptionChart")->title(), QString("单选第 3 题  答案 C"));
        QCOMPARE(table()->model()->rowCount(), 4);
        changed.items.erase(changed.items.begin() + 1); // the third question gone too
        window->showAnalysis(changed,
                             home->path());  // left: the second, the fourth and the multiple-choice
        QCOMPARE(window->selectedItem(), 1); // the first row, the flagged fourth question
        QCOMPARE(chart("OptionChart")->title(), QString("单选第 4 题  答案 A  疑为 D"));
    }

    void theRekeyBoxOffersTheSuspectedOptionButNeedsItsOwner() {
        openWindow(); // the fourth question selected, keyed A, suspected D
        QGroupBox* box = window->correctionBox();
        QCOMPARE(box->title(), QString("更正答案"));
        QCOMPARE(box->objectName(), QString("GroupRekey"));
        QVERIFY(!box->isHidden() && box->isEnabled());
        QCOMPARE(Find<QLabel>(window.get(), "lblRekeyKey")->text(), QString("当前答案 A"));
        QCOMPARE(Find<QComboBox>(window.get(), "cmbRekeyKey")->currentText(), QString("D"));
        // Without the owner's hooks nothing can be previewed or written.
        QVERIFY(!Find<QPushButton>(window.get(), "btnRekeyPreview")->isEnabled());
        QVERIFY(!Find<QPushButton>(window.get(), "btnRekeyApply")->isEnabled());
        window->selectItem(1); // the second question, keyed B, nothing suspected
        QCOMPARE(Find<QLabel>(window.get(), "lblRekeyKey")->text(), QString("当前答案 B"));
        QCOMPARE(Find<QComboBox>(window.get(), "cmbRekeyKey")->currentText(), QString("B"));
    }

    void anAnalysisWithoutQuestionsShowsNothingToSelect() {
        analysis::ExamAnalysis a; // every question keyed "x"
        a.table = "empty";
        a.sheets = 3;
        a.bands.push_back({0, 0, 3, 1, 3});
        window = std::make_unique<AnalysisWindow>(nullptr);
        window->showAnalysis(a, home->path());
        QCOMPARE(window->selectedItem(), -1);
        QCOMPARE(table()->model()->rowCount(), 0);
        QCOMPARE(chart("OptionChart")->title(), QString("选中一道题，查看它各选项的选择情况"));
        QVERIFY(Points(chart("ScatterChart"), analysis::forms::PlainPointsName).isEmpty());
        QCOMPARE(Find<QLabel>(window.get(), "sumAlpha")->text(), QString("-"));
        window->selectNearest(QPointF(0.5, 0.5));
        QCOMPARE(window->selectedItem(), -1);
    }

    void manyBandsAreLabelledByTheirLowerBounds() {
        analysis::ExamAnalysis a;
        a.bandWidth = 10;
        a.mean = 100; // full marks: the right edge of the last band
        for (int b = 0; b < 10; ++b)
            a.bands.push_back({b * 10.0, b == 9 ? 100.0 : (b + 1) * 10.0, b, 0, 0});
        const QStringList labels = analysis::forms::BandLabels(a);
        QCOMPARE(labels.size(), qsizetype(10));
        QCOMPARE(labels.first(), QString("0"));
        QCOMPARE(labels.last(), QString("90"));
        QCOMPARE(analysis::forms::BandPosition(a, 100), 9.5);
        QCOMPARE(analysis::forms::BandPosition(a, 0), -0.5);
        QCOMPARE(analysis::forms::BandPosition(a, 15), 1.0);
        a.bands.resize(6);
        QCOMPARE(analysis::forms::BandLabels(a).last(), QString("50-60"));
    }

    // A model of made-up figures: numbers sort as numbers, undefined ones last.
    void theQuestionModelSortsNumbersAsNumbers() {
        analysis::ExamAnalysis a;
        auto add = [&](int number, double p, analysis::Figure d) {
            analysis::ItemFigures item;
            item.number = number;
            item.position = number;
            item.key = "A";
            item.p = p;
            item.d = d;
            a.items.push_back(item);
        };
        add(2, 0.05, -0.1);
        add(10, 0.5, -0.25);
        add(9, 0.125, std::nullopt);
        QStandardItemModel* model = analysis::forms::QuestionModel(a, nullptr);
        QSortFilterProxyModel sorted;
        sorted.setSourceModel(model);
        sorted.setSortRole(analysis::forms::SortRole);
        auto numbers = [&] {
            QStringList out;
            for (int r = 0; r < sorted.rowCount(); ++r)
                out << sorted.index(r, analysis::forms::ColNumber).data().toString();
            return out;
        };
        sorted.sort(analysis::forms::ColNumber, Qt::AscendingOrder);
        QCOMPARE(numbers(), QStringList({"2", "9", "10"}));
        sorted.sort(analysis::forms::ColP, Qt::DescendingOrder);
        QCOMPARE(numbers(), QStringList({"10", "9", "2"}));
        sorted.sort(analysis::forms::ColD, Qt::DescendingOrder);
        QCOMPARE(numbers(), QStringList({"2", "10", "9"})); // -0.1, -0.25, undefined
        QCOMPARE(model->index(2, analysis::forms::ColD).data().toString(), QString("-"));
        delete model;
    }
};

int RunAnalysisWindowTest(int argc, char** argv) {
    AnalysisWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AnalysisWindowTest.moc"
