// "文件 - 扫描复核...": the items of a scan of drawn sheets decided by keys,
// the table written at "完成" and opened again in the window, whose
// re-import question has Yes as its default after a review and, answered
// Yes, shows the decisions.
#include "scan/forms/ReviewDialog.h"
#include "app/forms/MainWindow.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scan/Painting.h"
#include "scan/ScanCommand.h"
#include "scan/SheetDesign.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <random>

using windowtest::OnNextModal;
using windowtest::Seen;

namespace fs = std::filesystem;

class ReviewDialogTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

    fs::path table;

    // Three sheets of five questions; the third's exam number has its third
    // column empty, the second's second question an erased A beside a C.
    void scanSheets() {
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        const scan::Layout layout = scan::DesignSheet(design);
        const fs::path layoutFile = home->path() / "exam.layout.json";
        text::WriteWhole(layoutFile, scan::LayoutJson(layout));
        const fs::path scans = home->path() / "scans";
        fs::create_directories(scans);
        std::mt19937 random(5);
        const std::vector<std::string> numbers = {"1201", "1202", "12 3"};
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            std::vector<tools::Fill> fills;
            for (int d = 0; d < 4; ++d)
                if (numbers[i][static_cast<std::size_t>(d)] != ' ')
                    fills.push_back({0, d + 1, numbers[i].substr(static_cast<std::size_t>(d), 1),
                                     tools::FillKind::Solid});
            for (int q = 1; q <= 5; ++q)
                fills.push_back({q, 0, "B", tools::FillKind::Solid});
            QVERIFY(tools::FilledPage(layout, 0, 150, fills, random)
                        .save(QString::fromStdString(
                            (scans / (std::to_string(i + 1) + ".png")).string())));
        }
        scan::EnsurePainting();
        scan::ScanSettings s;
        s.inputs = {scans};
        s.layout = layoutFile;
        s.out = table = home->path() / "期中.dbf";
        s.jobs = 2;
        QCOMPARE(scan::RunScan(w->workspace(), s, w->ui()).review, std::size_t{1});
    }

    std::string ScratchRows() {
        const core::FieldSettings& f = w->workspace().Fields;
        auto st = w->workspace().connection.prepare("SELECT \"" + f.ID + "\", \"" + f.Content +
                                                    "\", coalesce(\"" + f.Flag +
                                                    "\", '') FROM 期中 ORDER BY rowid");
        std::string rows;
        while (st.step())
            rows += std::get<std::string>(st.column(0)) + " " +
                    std::get<std::string>(st.column(1)) + " [" +
                    std::get<std::string>(st.column(2)) + "]\n";
        return rows;
    }

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void keysDecideAndTheTableOpensWithTheDecisions() {
        scanSheets();
        w->openAnswerTable(QString::fromStdString(table.string()));
        QCOMPARE(w->workspace().TableName, std::string("期中"));
        Seen reimport, notice;
        QStringList listed;
        QString reading, typed, afterUndo;
        OnNextModal([&](QWidget* widget) {
            auto* dialog = qobject_cast<scan::forms::ReviewDialog*>(widget);
            QVERIFY(dialog);
            for (int i = 0; i < dialog->lwItems->count(); ++i)
                listed << dialog->lwItems->item(i)->text();
            reading = dialog->lbReading->text();
            // Type a number, take it back with Backspace, type again.
            QTest::keyClicks(dialog, "1209");
            QTest::keyClick(dialog, Qt::Key_Backspace);
            QTest::keyClick(dialog, Qt::Key_3);
            typed = dialog->lbReading->text();
            QTest::keyClick(dialog, Qt::Key_Return);
            dialog->btnUndo->click();
            afterUndo = QString::number(dialog->review().pending());
            QTest::keyClicks(dialog, "1203");
            QTest::keyClick(dialog, Qt::Key_Return);
            OnNextModal(
                [&notice](QWidget* box) {
                    // The re-import's notice follows Yes.
                    OnNextModal([](QWidget* n) { static_cast<QMessageBox*>(n)->accept(); },
                                &notice);
                    static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
                },
                &reimport);
            dialog->btnDone->click();
        });
        w->reviewScan(QString::fromStdString(table.string()));
        QCOMPARE(listed.size(), 1);
        QVERIFY2(listed[0].contains("3.png  id  考号不可读  12?3"), qPrintable(listed[0]));
        QCOMPARE(reading, QString("读作: 12?3"));
        QCOMPARE(typed, QString("读作: 1203"));
        QCOMPARE(afterUndo, QString("1"));
        QCOMPARE(reimport.name, QString("QuestionBox"));
        QVERIFY(reimport.yesIsDefault);
        QCOMPARE(notice.name, QString("MessageBox"));
        QCOMPARE(ScratchRows(), std::string("1201 22222 []\n1202 22222 []\n1203 22222 []\n"));
        const auto log = text::LoadLines(home->path() / scan::ReviewLogName);
        QCOMPARE(log.size(), std::size_t{3});
        QVERIFY(log[1].find("\t撤销\t期中\t") != std::string::npos);
    }

    void lettersToggleAndClicksWork() {
        scanSheets();
        scan::forms::ReviewDialog dialog(w.get(), w->workspace(), w->ui(), table);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_A);
        QCOMPARE(dialog.value(), std::string("12?3")); // letters do nothing to an exam number
        QTest::keyClick(&dialog, Qt::Key_Space);
        QCOMPARE(dialog.value(), std::string());
        dialog.btnDone->click();
        QVERIFY(!dialog.isVisible());
    }
};

int RunReviewDialogTest(int argc, char** argv) {
    ReviewDialogTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ReviewDialogTest.moc"
