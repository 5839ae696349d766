// "文件 - 扫描复核...": the items of a scan of drawn sheets decided by keys,
// the table written at "完成" and opened again in the window, whose
// re-import question has Yes as its default after a review and, answered
// Yes, shows the decisions.
#include "scan/forms/ReviewDialog.h"
#include "app/forms/MainWindow.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scan/Painting.h"
#include "scan/Reader.h"
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

    static constexpr double kDpi = 150;
    scan::Layout layout;

    // Three sheets of five questions, B everywhere; the third's exam number
    // has its third column empty. With `eraseSecondQ2` the second's second
    // question has an erased A beside its B; with `spoilThird` the third's
    // marks are spoilt.
    scan::ScanResult scanSheets(bool eraseSecondQ2 = false, bool spoilThird = false) {
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        layout = scan::DesignSheet(design);
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
            if (eraseSecondQ2 && i == 1)
                fills.push_back({2, 0, "A", tools::FillKind::Erased});
            QImage page = tools::FilledPage(layout, 0, kDpi, fills, random);
            if (spoilThird && i == 2)
                page = tools::SpoilMarks(page, layout.pages[0], kDpi);
            const bool saved = page.save(
                QString::fromStdString((scans / (std::to_string(i + 1) + ".png")).string()));
            if (!saved)
                return {};
        }
        scan::EnsurePainting();
        scan::ScanSettings s;
        s.inputs = {scans};
        s.layout = layoutFile;
        s.out = table = home->path() / "期中.dbf";
        s.jobs = 2;
        return scan::RunScan(w->workspace(), s, w->ui());
    }

    // The table's records as written: ID and Content.
    std::vector<std::string> TableRecords() const {
        const std::string bytes = testsupport::ReadBytes(table);
        const auto header =
            static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        const auto length =
            static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
        std::vector<std::string> records;
        for (std::size_t at = header; at + length <= bytes.size(); at += length)
            records.push_back(bytes.substr(at + 1, 4 + 5));
        return records;
    }

    // A click on the picture's point (its pixels).
    static void ClickAt(scan::forms::FramedPicture* picture, QPointF point) {
        QTest::mouseClick(picture, Qt::LeftButton, {}, (point * picture->scale()).toPoint());
    }

    // The texts of the dialog's list of items.
    static QStringList Listed(QWidget* dialog) {
        auto* items = windowtest::Find<QListWidget>(dialog, "lwItems");
        QStringList texts;
        for (int i = 0; i < items->count(); ++i)
            texts << items->item(i)->text();
        return texts;
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
        QCOMPARE(scanSheets().review, std::size_t{1});
        w->openAnswerTable(QString::fromStdString(table.string()));
        QCOMPARE(w->workspace().TableName, std::string("期中"));
        Seen reimport, notice;
        QStringList listed;
        QString reading, typed, afterUndo;
        OnNextModal([&](QWidget* widget) {
            auto* dialog = qobject_cast<scan::forms::ReviewDialog*>(widget);
            QVERIFY(dialog);
            listed = Listed(dialog);
            auto* reads = windowtest::Find<QLabel>(dialog, "lbReading");
            reading = reads->text();
            // Type a number, take it back with Backspace, type again.
            QTest::keyClicks(dialog, "1209");
            QTest::keyClick(dialog, Qt::Key_Backspace);
            QTest::keyClick(dialog, Qt::Key_3);
            typed = reads->text();
            QTest::keyClick(dialog, Qt::Key_Return);
            windowtest::Find<QPushButton>(dialog, "btnUndo")->click();
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
            windowtest::Find<QPushButton>(dialog, "btnDone")->click();
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
        QCOMPARE(scanSheets().review, std::size_t{1});
        scan::forms::ReviewDialog dialog(w.get(), w->workspace(), w->ui(), table);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_A);
        QCOMPARE(dialog.value(), std::string("12?3")); // letters do nothing to an exam number
        QTest::keyClick(&dialog, Qt::Key_Space);
        QCOMPARE(dialog.value(), std::string());
        windowtest::Find<QPushButton>(&dialog, "btnDone")->click();
        QVERIFY(!dialog.isVisible());
    }

    // Clicks on the bubbles of a question's cut-out toggle its options, and
    // the options clicked reach the table at "完成"; "整页" shows the
    // whole page with every bubble framed.
    void clicksOnBubblesReachTheTable() {
        QCOMPARE(scanSheets(true).review, std::size_t{2});
        scan::forms::ReviewDialog dialog(w.get(), w->workspace(), w->ui(), table);
        dialog.show();
        QCOMPARE(Listed(&dialog).size(), 2);
        QTest::keyClicks(&dialog, "1203");
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.current(), 1);
        const scan::ReviewItem item = dialog.review().items()[1];
        QCOMPARE(item.item, std::string("q2"));
        QTest::keyClick(&dialog, Qt::Key_Space);
        // The frames are those of the stored cut-out, in its pixels.
        const scan::ReviewPicture cut = dialog.review().picture(item);
        QCOMPARE(cut.frames.size(), std::size_t{4});
        const auto centre = [&cut](std::size_t b) {
            const auto& f = cut.frames[b];
            return QPointF(f[0] + f[2] / 2.0, f[1] + f[3] / 2.0);
        };
        auto* picture = windowtest::Find<scan::forms::FramedPicture>(&dialog, "FramedPicture");
        ClickAt(picture, centre(3));
        ClickAt(picture, centre(0));
        ClickAt(picture, centre(2));
        ClickAt(picture, centre(3));
        QCOMPARE(dialog.value(), std::string("AC"));
        QTest::keyClick(&dialog, Qt::Key_Return);

        windowtest::Find<QPushButton>(&dialog, "btnWholePage")->click();
        auto* view = dialog.findChild<scan::forms::WholePageView*>();
        QVERIFY(view);
        QVERIFY(view->isVisible());
        QVERIFY(windowtest::Find<QLabel>(view, "lbHint")
                    ->text()
                    .isEmpty()); // a located page asks for no clicks
        view->close();

        windowtest::Find<QPushButton>(&dialog, "btnDone")->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(TableRecords(), (std::vector<std::string>{"120122222", "120225222", "120322222"}));
    }

    // A page whose marks were not found shows whole; its four corner marks
    // clicked read it again, its items join the list, its answers the table.
    void cornerMarksClickedReadAPageAgain() {
        const scan::ScanResult scanned = scanSheets(false, true);
        QCOMPARE(scanned.failed, std::size_t{1});
        scan::forms::ReviewDialog dialog(w.get(), w->workspace(), w->ui(), table);
        dialog.show();
        const QStringList failed = Listed(&dialog);
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0].contains("page  定位失败"), qPrintable(failed[0]));
        windowtest::Find<QPushButton>(&dialog, "btnWholePage")->click();
        auto* view = dialog.findChild<scan::forms::WholePageView*>();
        QVERIFY(view);
        auto* hint = windowtest::Find<QLabel>(view, "lbHint");
        auto* picture = windowtest::Find<scan::forms::FramedPicture>(view, "FramedPicture");
        QVERIFY(hint->text().contains("左上、右上、右下、左下"));
        const auto corners = scan::CornerMarks(layout.pages[0], layout.width, layout.height);
        QCOMPARE(corners.size(), std::size_t{4});
        // A click off the page first: taken back with "重新点击".
        ClickAt(picture, QPointF(5, 5));
        windowtest::Find<QPushButton>(view, "btnAgain")->click();
        for (const scan::Mark& m : corners)
            ClickAt(picture, QPointF((m.x + 1) * kDpi / 25.4, (m.y - 1) * kDpi / 25.4));
        QVERIFY2(hint->text().contains("重新读出"), qPrintable(hint->text()));
        view->close();
        const QStringList listed = Listed(&dialog);
        QCOMPARE(listed.size(), 2);
        QVERIFY2(listed[0].startsWith("✓"), qPrintable(listed[0]));
        QVERIFY2(listed[1].contains("3.png  id  考号不可读  12?3"), qPrintable(listed[1]));
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.current(), 1);
        QTest::keyClicks(&dialog, "1203");
        QTest::keyClick(&dialog, Qt::Key_Return);
        windowtest::Find<QPushButton>(&dialog, "btnDone")->click();
        QCOMPARE(TableRecords(), (std::vector<std::string>{"120122222", "120222222", "120322222"}));
        const auto log = text::LoadLines(home->path() / scan::ReviewLogName);
        QCOMPARE(log.size(), std::size_t{2});
        QVERIFY(log[0].find("\tpage\t\t12?3") != std::string::npos);
    }
};

int RunReviewDialogTest(int argc, char** argv) {
    ReviewDialogTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ReviewDialogTest.moc"