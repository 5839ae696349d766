// "文件 - 扫描答题卡...": pictures drawn from a designed sheet are read off
// the window's thread while the dialog shows the progress, the new table
// opens in the window, the summary counts the pages and names what is left
// to review; "取消" stops the scan with nothing written, and the scan's own
// question comes up on the window's thread. A bubble template offers its
// custom labels for the exam number.
#include "scan/forms/ScanDialog.h"
#include "app/forms/MainWindow.h"
#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scan/Layout.h"
#include "scan/ScanDatabase.h"
#include "scan/SheetDesign.h"
#include "scan/Template.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QThread>
#include <QtTest>

#include <random>
#include <set>

using windowtest::Captions;
using windowtest::OnNextModal;
using windowtest::Seen;

namespace {

namespace fs = std::filesystem;

// The files of a folder and below, with their bytes.
std::map<fs::path, std::string> FilesUnder(const fs::path& folder) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path()] = testsupport::ReadBytes(entry.path());
    return files;
}

} // namespace

class ScanDialogTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

    fs::path layoutFile, scans;

    // The layout of a sheet of five questions and a four-digit exam number,
    // and one JPEG at 150 dpi per exam number ("12 3": the third column left
    // empty) with the answers ABCDA, in home/scans.
    void drawSheets(const std::vector<std::string>& numbers) {
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        const scan::Layout layout = scan::DesignSheet(design);
        layoutFile = home->path() / "exam.layout.json";
        text::WriteWhole(layoutFile, scan::LayoutJson(layout));
        scans = home->path() / "scans";
        fs::create_directories(scans);
        std::mt19937 random(11);
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            std::vector<tools::Fill> fills;
            for (int d = 0; d < 4; ++d)
                if (numbers[i][static_cast<std::size_t>(d)] != ' ')
                    fills.push_back({0, d + 1, numbers[i].substr(static_cast<std::size_t>(d), 1),
                                     tools::FillKind::Solid});
            for (int q = 0; q < 5; ++q)
                fills.push_back({q + 1, 0, std::string(1, "ABCDA"[q]), tools::FillKind::Solid});
            const auto file = scans / (std::to_string(i + 1) + ".jpg");
            QVERIFY(tools::FilledPage(layout, 0, 150, fills, random)
                        .save(QString::fromStdString(file.string()), "JPG", 90));
        }
    }

    void fill(scan::forms::ScanDialog& dialog) {
        dialog.addInputs({QString::fromStdString(scans.string())});
        dialog.setLayoutFile(QString::fromStdString(layoutFile.string()));
    }

    // The exam number of every page the last scan stored, in order.
    std::vector<std::string> examNumbers(const fs::path& table) const {
        db::Connection c;
        c.open(scan::ScanDatabaseOf(table));
        auto st = c.prepare("SELECT exam_number FROM scan_pages ORDER BY page");
        std::vector<std::string> numbers;
        while (st.step()) {
            const db::Value v = st.column(0);
            const auto* text = std::get_if<std::string>(&v);
            numbers.push_back(text ? *text : "(none)");
        }
        return numbers;
    }

    // Starts the scan and waits for its end; true when it ended.
    static bool RunToEnd(scan::forms::ScanDialog& dialog) {
        QSignalSpy ended(&dialog, &scan::forms::ScanDialog::scanEnded);
        windowtest::Find<QPushButton>(&dialog, "btnStart")->click();
        return ended.count() > 0 || ended.wait(300000);
    }

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void scanFromTheMenuOpensTheTable() {
        drawSheets({"1201", "1202", "12 3"});
        QVERIFY(Captions(Find<QMenu>("N1")).join('|').contains("设计答题卡...|扫描答题卡..."));
        Seen seen;
        bool wasRunning = false, cancelOffered = false;
        int progressShown = 0;
        QString out, speed, summary, status;
        OnNextModal(
            [&](QWidget* w) {
                auto* dialog = qobject_cast<scan::forms::ScanDialog*>(w);
                QVERIFY(dialog);
                fill(*dialog);
                out = windowtest::Find<QLineEdit>(dialog, "edOut")->text();
                auto* start = windowtest::Find<QPushButton>(dialog, "btnStart");
                auto* speedShown = windowtest::Find<QLabel>(dialog, "lbSpeed");
                connect(windowtest::Find<QProgressBar>(dialog, "pbProgress"),
                        &QProgressBar::valueChanged, dialog, [&, dialog, speedShown](int v) {
                            if (dialog->running() && v > 0) {
                                ++progressShown;
                                speed = speedShown->text();
                            }
                        });
                connect(dialog, &scan::forms::ScanDialog::scanEnded, dialog, [&, dialog] {
                    summary = windowtest::Find<QPlainTextEdit>(dialog, "teSummary")->toPlainText();
                    status = windowtest::Find<QLabel>(dialog, "lbStatus")->text();
                    windowtest::Find<QPushButton>(dialog, "btnClose")->click();
                });
                start->click();
                wasRunning = dialog->running() && !start->isEnabled();
                cancelOffered = windowtest::Find<QPushButton>(dialog, "btnCancel")->isEnabled();
            },
            &seen);
        Find<QAction>("nScanSheets")->trigger();
        QCOMPARE(seen.name, QString("ScanDialog"));
        QCOMPARE(seen.title, QString("扫描答题卡"));
        QCOMPARE(out, QString::fromStdString((home->path() / "scans.dbf").string()));
        QVERIFY(wasRunning);
        QVERIFY(cancelOffered);
        QVERIFY(progressShown > 0);
        QVERIFY2(speed.contains("页/秒"), qPrintable(speed));
        QVERIFY2(status.startsWith("扫描完成"), qPrintable(status));
        QVERIFY2(summary.startsWith("页数:3  记录数:3  待复核:1  空白:0  重复:0  失败:0"),
                 qPrintable(summary));
        QVERIFY2(summary.contains("有 1 页需要复核") && summary.contains("扫描记录_scans.txt"),
                 qPrintable(summary));
        // The new table is the window's open table, one record per sheet.
        QCOMPARE(w->workspace().TableName, std::string("scans"));
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 3);
        QVERIFY(fs::exists(home->path() / "scans.scan.db"));
    }

    // Two custom labels of digits: no exam number unless one is chosen.
    void templateOffersItsCustomLabelsForTheExamNumber() {
        drawSheets({});
        const fs::path templateFile = home->path() / "sheet" / "template.json";
        fs::create_directories(templateFile.parent_path());
        text::WriteWhole(templateFile, R"({
  "pageDimensions": [400, 500],
  "bubbleDimensions": [20, 20],
  "fieldBlocks": {
    "Roll": {"fieldType": "QTYPE_INT", "origin": [40, 40], "bubblesGap": 28,
             "labelsGap": 34, "fieldLabels": ["roll1..3"]},
    "Set": {"fieldType": "QTYPE_INT", "origin": [200, 40], "bubblesGap": 28,
            "labelsGap": 34, "fieldLabels": ["set1..2"]},
    "MCQ": {"fieldType": "QTYPE_MCQ4", "origin": [40, 350], "bubblesGap": 34,
            "labelsGap": 34, "fieldLabels": ["q1..3"]}
  },
  "customLabels": {"Set": ["set1..2"], "Roll": ["roll1..3"]},
  "preProcessors": [{"name": "CropOnMarkers",
                     "options": {"relativePath": "marker.png", "sheetToMarkerWidthRatio": 17}}]
})");
        QVERIFY(tools::TemplateMarker(120).save(
            QString::fromStdString((templateFile.parent_path() / "marker.png").string())));
        const scan::Layout layout = scan::LoadTemplate(templateFile);
        QVERIFY(tools::TemplateSheet(*layout.bubbleTemplate, 800,
                                     {{"roll1", {"4"}},
                                      {"roll2", {"0"}},
                                      {"roll3", {"7"}},
                                      {"set1", {"5"}},
                                      {"set2", {"2"}},
                                      {"q2", {"B"}}})
                    .save(QString::fromStdString((scans / "1.png").string())));

        scan::forms::ScanDialog dialog(w.get(), w->workspace(), w->ui());
        dialog.addInputs({QString::fromStdString(scans.string())});
        auto* layoutEdit = windowtest::Find<QLineEdit>(&dialog, "edLayout");
        auto* idLabel = windowtest::Find<QComboBox>(&dialog, "cbIdLabel");
        auto* idLabelCaption = windowtest::Find<QLabel>(&dialog, "lbIdLabel");
        // Our own layout has no custom labels.
        layoutEdit->setText(QString::fromStdString(layoutFile.string()));
        QVERIFY(idLabel->isHidden());
        QVERIFY(idLabelCaption->isHidden());
        layoutEdit->setText(QString::fromStdString(templateFile.string()));
        QVERIFY(!idLabel->isHidden());
        QCOMPARE(idLabelCaption->text(), QString("考号标签"));
        QStringList offered;
        for (int i = 0; i < idLabel->count(); ++i)
            offered << idLabel->itemText(i);
        QCOMPARE(offered, QStringList({"", "Set", "Roll"}));
        QCOMPARE(idLabel->currentText(), QString());

        // Empty: the default rule, which finds no single label here.
        const fs::path table = home->path() / "scans.dbf";
        QVERIFY(RunToEnd(dialog));
        QVERIFY(dialog.result() && dialog.result()->outcome == core::Outcome::Done);
        QCOMPARE(examNumbers(table), std::vector<std::string>{""});

        idLabel->setCurrentIndex(1);
        QCOMPARE(dialog.settings().idLabel, std::string("Set"));
        QVERIFY(RunToEnd(dialog));
        QVERIFY(dialog.result() && dialog.result()->outcome == core::Outcome::Done);
        QCOMPARE(examNumbers(table), std::vector<std::string>{"52"});

        // Typed by hand, as the command line's option takes it.
        idLabel->setEditText("Roll");
        QVERIFY(RunToEnd(dialog));
        QCOMPARE(examNumbers(table), std::vector<std::string>{"407"});

        // Back to our layout: no label is passed.
        layoutEdit->setText(QString::fromStdString(layoutFile.string()));
        QVERIFY(idLabel->isHidden());
        QCOMPARE(dialog.settings().idLabel, std::string());
    }

    void cancelStopsTheScanWithNothingWritten() {
        drawSheets({"1201", "1202", "1203", "1204", "1205", "1206"});
        const auto before = FilesUnder(home->path());
        scan::forms::ScanDialog dialog(w.get(), w->workspace(), w->ui());
        fill(dialog);
        QSignalSpy ended(&dialog, &scan::forms::ScanDialog::scanEnded);
        auto* start = windowtest::Find<QPushButton>(&dialog, "btnStart");
        start->click();
        QVERIFY(dialog.running());
        windowtest::Find<QPushButton>(&dialog, "btnCancel")->click();
        QVERIFY(ended.wait(300000));
        QVERIFY(!dialog.running());
        QVERIFY(dialog.result() && dialog.result()->outcome == core::Outcome::Stopped);
        QCOMPARE(windowtest::Find<QLabel>(&dialog, "lbStatus")->text(),
                 QString("已取消：没有写入任何文件。"));
        QVERIFY(start->isEnabled());
        QVERIFY(FilesUnder(home->path()) == before);
        QVERIFY(w->workspace().TableName.empty());
    }

    void theScansQuestionIsAskedOnTheWindowsThread() {
        drawSheets({"1201"});
        scan::forms::ScanDialog dialog(w.get(), w->workspace(), w->ui());
        fill(dialog);
        QVERIFY(RunToEnd(dialog));
        QVERIFY(dialog.result() && dialog.result()->outcome == core::Outcome::Done);
        const auto scanDb = home->path() / "scans.scan.db";
        {
            db::Connection c;
            c.open(scanDb);
            c.prepare("INSERT INTO scan_decisions(page, item, old_reading, new_reading, decided)"
                      " VALUES(0, 'q1', 'A', 'B', 'now')")
                .step();
        }
        const auto before = FilesUnder(home->path());
        Seen seen;
        bool onWindowThread = false;
        OnNextModal(
            [&](QWidget* box) {
                onWindowThread = QThread::currentThread() == QCoreApplication::instance()->thread();
                static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
            },
            &seen);
        QVERIFY(RunToEnd(dialog));
        QCOMPARE(seen.name, QString("QuestionBox"));
        QVERIFY2(seen.text.contains("项复核结果"), qPrintable(seen.text));
        QVERIFY(onWindowThread);
        QVERIFY(dialog.result() && dialog.result()->outcome == core::Outcome::Stopped);
        QCOMPARE(windowtest::Find<QLabel>(&dialog, "lbStatus")->text(), QString("扫描没有进行。"));
        QVERIFY(FilesUnder(home->path()) == before);
    }
};

int RunScanDialogTest(int argc, char** argv) {
    ScanDialogTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ScanDialogTest.moc"
