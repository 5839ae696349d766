// The main window's desktop habits: editing only when allowed, undo, the
// edits log, header sorting, the place and widths kept, the marks tooltip,
// the recent tables, the empty grid's hint and Qt's Chinese texts.
#include "app/forms/DataSetModel.h"
#include "app/forms/MainWindow.h"
#include "app/forms/QtTranslations.h"
#include "platform/os/Shell.h"
#include "platform/text/TextFile.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QtTest>

#include <memory>

using windowtest::Captions;

namespace {

// Closes the next modal window as soon as it is up and keeps its text.
void CloseNextModal(QString* text) {
    windowtest::OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); }, text);
}

std::tm Noon() {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 14;
    t.tm_hour = 12;
    return t;
}

} // namespace

class DeskTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    void newWindow() {
        openWindow([](app::forms::MainWindow& f) { f.edits().clock = Noon; });
    }

    QString table(const char* name) {
        return QString::fromStdString((home->path() / name).string());
    }
    void open(const char* name) { w->openAnswerTable(table(name)); }
    QTableView* grid() { return Find<QTableView>("DBGrid1"); }
    QAbstractItemModel* model() { return grid()->model(); }
    int column(const char* name) { return w->workspace().view.fieldIndex(name); }
    int rowOf(const std::string& id) {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->index(r, column("BH")).data().toString().toStdString() == id)
                return r;
        return -1;
    }
    std::string stored(const std::string& id) {
        auto r = w->workspace().connection.select("select score from t1 where BH = '" + id + "'");
        return db::Query::ToText(r.rows.at(0).at(0));
    }
    std::vector<std::string> logLines() {
        const auto log = home->path() / "编辑记录.log";
        return std::filesystem::exists(log) ? text::LoadLines(log) : std::vector<std::string>{};
    }
    void clickHeader(int section) {
        QHeaderView* header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    void undoWithTheKeys() {
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Z, Qt::ControlModifier);
    }

  private slots:
    void initTestCase() { qApp->setQuitOnLastWindowClosed(false); }

    void init() {
        makeHome();
        testsupport::WriteAnswers(home->path() / "t1.dbf", testsupport::Sheets(12, 8), 'N');
        testsupport::WriteAnswers(home->path() / "q2.dbf", testsupport::Sheets(3, 4), 'N');
        testsupport::WriteAnswers(home->path() / "q3.dbf", testsupport::Sheets(2, 4), 'N');
        newWindow();
    }

    void cleanup() { closeWindow(); }

    void theViewMenuSitsBetweenFileAndHelp() {
        QStringList titles;
        for (QAction* a : w->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"文件", "视图", "帮助"}));
        QCOMPARE(Captions(Find<QMenu>("nView")), QStringList({"允许编辑", "撤销编辑"}));
        QVERIFY(Find<QAction>("nAllowEdit")->isCheckable());
        QVERIFY(!Find<QAction>("nAllowEdit")->isChecked());
        QCOMPARE(Find<QAction>("nUndoEdit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(Find<QMenu>("N1")->actions().at(1), Find<QMenu>("nRecent")->menuAction());
    }

    void anEditWhileEditingIsOffChangesNothing() {
        open("t1.dbf");
        const QModelIndex cell = model()->index(2, column("score"));
        QVERIFY(!(model()->flags(cell) & Qt::ItemIsEditable));
        QVERIFY(!model()->setData(cell, "88.5", Qt::EditRole));
        grid()->setCurrentIndex(cell);
        grid()->edit(cell); // double-click or F2: no editor opens
        QVERIFY(!grid()->viewport()->findChild<QLineEdit*>());
        QCOMPARE(stored("202601003"), std::string(""));
        QVERIFY(logLines().empty());
    }

    void editingIsOffAgainInANewWindow() {
        Find<QAction>("nAllowEdit")->trigger();
        QVERIFY(Find<QAction>("nAllowEdit")->isChecked());
        w->close();
        newWindow();
        QVERIFY(!Find<QAction>("nAllowEdit")->isChecked());
        open("t1.dbf");
        QVERIFY(!model()->setData(model()->index(0, column("score")), "1", Qt::EditRole));
    }

    void anEditWhileOnPostsAndIsLogged() {
        open("t1.dbf");
        Find<QAction>("nAllowEdit")->trigger();
        const QModelIndex cell = model()->index(rowOf("202601003"), column("score"));
        QVERIFY(model()->flags(cell) & Qt::ItemIsEditable);
        QVERIFY(model()->setData(cell, "88.5", Qt::EditRole));
        QCOMPARE(stored("202601003"), std::string("88.5"));
        QCOMPARE(cell.data().toString(), QString("88.5"));
        const auto lines = logLines();
        QCOMPARE(lines.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(lines[0]),
                 QString("2026-03-14 12:00:00\t编辑\tt1\t202601003\tSCORE\t\t88.5"));
        Find<QAction>("nAllowEdit")->trigger(); // off again: the cell is read-only
        QVERIFY(!model()->setData(cell, "10", Qt::EditRole));
        QCOMPARE(stored("202601003"), std::string("88.5"));
    }

    void ctrlZRestoresTheValueAndLogsIt() {
        open("t1.dbf");
        Find<QAction>("nAllowEdit")->trigger();
        QVERIFY(model()->setData(model()->index(rowOf("202601004"), column("score")), "7",
                                 Qt::EditRole));
        QVERIFY(model()->setData(model()->index(rowOf("202601004"), column("score")), "9",
                                 Qt::EditRole));
        undoWithTheKeys();
        QCOMPARE(stored("202601004"), std::string("7"));
        undoWithTheKeys();
        QCOMPARE(stored("202601004"), std::string(""));
        const auto lines = logLines();
        QCOMPARE(lines.size(), std::size_t(4));
        QCOMPARE(QString::fromStdString(lines[2]),
                 QString("2026-03-14 12:00:00\t撤销\tt1\t202601004\tSCORE\t9\t7"));
        QCOMPARE(QString::fromStdString(lines[3]),
                 QString("2026-03-14 12:00:00\t撤销\tt1\t202601004\tSCORE\t7\t"));
        QCOMPARE(grid()->currentIndex().row(), rowOf("202601004"));

        windowtest::Seen said;
        CloseNextModal(&said);
        undoWithTheKeys();
        QCOMPARE(said.text, QString("没有可以撤销的编辑。"));
        QCOMPARE(said.icon, QMessageBox::Information); // nothing went wrong
    }

    void undoAfterAReSortHitsTheRightRow() {
        open("t1.dbf");
        Find<QAction>("nAllowEdit")->trigger();
        const int before = rowOf("202601003");
        QCOMPARE(before, 2);
        QVERIFY(model()->setData(model()->index(before, column("score")), "60", Qt::EditRole));
        clickHeader(column("BH")); // ordered by BH already: now the other way
        QCOMPARE(rowOf("202601003"), 9);
        QCOMPARE(model()->index(2, column("BH")).data().toString(), QString("202601010"));
        undoWithTheKeys();
        QCOMPARE(stored("202601003"), std::string(""));
        QCOMPARE(stored("202601010"), std::string(""));
        QCOMPARE(grid()->currentIndex().row(), 9);
    }

    void undoSaysWhyAfterTheTableWasOpenedAgain() {
        open("t1.dbf");
        Find<QAction>("nAllowEdit")->trigger();
        QVERIFY(model()->setData(model()->index(0, column("score")), "5", Qt::EditRole));
        open("q2.dbf");
        QString said;
        CloseNextModal(&said);
        undoWithTheKeys();
        QCOMPARE(said, QString("这 1 处编辑是在数据表 t1 关闭或重新打开之前做的，不能再撤销。"));
        QCOMPARE(stored("202601001"), std::string("5"));
    }

    void headerClickSortsBothWays() {
        open("t1.dbf");
        QHeaderView* header = grid()->horizontalHeader();
        QCOMPARE(header->sortIndicatorSection(), column("BH")); // opened in exam-number order
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        clickHeader(column("BH"));
        QCOMPARE(model()->index(0, column("BH")).data().toString(), QString("202601012"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        clickHeader(column("BH"));
        QCOMPARE(model()->index(0, column("BH")).data().toString(), QString("202601001"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

        clickHeader(column("content")); // another column starts ascending
        QVERIFY(w->workspace().view.sqlText().ends_with(" order by [CONTENT]\r\n"));
        QCOMPARE(header->sortIndicatorSection(), column("content"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(model()->index(0, column("content")).data().toString() <=
                model()->index(11, column("content")).data().toString());
        clickHeader(column("content"));
        QVERIFY(w->workspace().view.sqlText().ends_with(" order by [CONTENT] DESC\r\n"));
        QVERIFY(model()->index(0, column("content")).data().toString() >
                model()->index(11, column("content")).data().toString());

        Find<QAction>("N3")->trigger(); // "取消排序(读卡顺序)"
        QCOMPARE(header->sortIndicatorSection(), -1);
        Find<QMenu>("nSort")->actions().at(0)->trigger(); // the sort menu's BH
        QCOMPARE(header->sortIndicatorSection(), column("BH"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void placeAndWidthsSurviveANewWindow() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(w->size(), QSize(std::max(540, screen.width() * 4 / 5),
                                  std::max(516, screen.height() * 4 / 5))); // the first run's size
        open("t1.dbf");
        // Shown the first time: every answer of the content column readable,
        // the score columns of questions the table lacks narrower than the others.
        const QString answers = model()->index(0, column("content")).data().toString();
        QVERIFY(grid()->columnWidth(column("content")) >
                grid()->fontMetrics().horizontalAdvance(answers));
        QVERIFY(grid()->columnWidth(column("f105")) < grid()->columnWidth(column("f1")));
        w->resize(700, 600);
        w->move(30, 40);
        grid()->setColumnWidth(column("content"), 250);
        grid()->setColumnWidth(column("BH"), 77);
        clickHeader(column("score")); // a sort reopens the view: the widths stay
        QCOMPARE(grid()->columnWidth(column("content")), 250);
        const QPoint place = w->pos();
        w->close();

        newWindow();
        QCOMPARE(w->size(), QSize(700, 600));
        QCOMPARE(w->pos(), place);
        open("q2.dbf"); // another table has widths of its own
        QVERIFY(grid()->columnWidth(column("content")) != 250);
        open("t1.dbf");
        QCOMPARE(grid()->columnWidth(column("content")), 250);
        QCOMPARE(grid()->columnWidth(column("BH")), 77);
    }

    void theContentTooltipShowsTheMarksAsLetters() {
        testsupport::WriteAnswers(home->path() / "marks.dbf", {{"202601001", "1G0?2"}}, 'N');
        open("marks.dbf");
        QCOMPARE(model()->index(0, column("content")).data(Qt::ToolTipRole).toString(),
                 QString("1:A  2:ABCE  3:  4:ABCD  5:B"));
        QVERIFY(model()->index(0, column("BH")).data(Qt::ToolTipRole).toString().isEmpty());
    }

    void theEmptyWindowSaysWhatToDoFirst() {
        auto* hint = Find<QLabel>("EmptyHint");
        QVERIFY(hint->isVisible());
        QVERIFY(hint->text().contains("文件 - 打开DBF表..."));
        QVERIFY(hint->text().contains(".dbf 文件拖到这个窗口上"));
        open("t1.dbf");
        QVERIFY(!hint->isVisible());
    }

    // At the first start's size the status bar has little room for the home
    // folder: what it shows is shortened in the middle, so that it never
    // reads as a shorter path ("数据文件夹: /"), and ends as the folder does.
    void theStatusBarShortensTheHomeFolderItCannotShowWhole() {
        auto* label = Find<QLabel>("StatusHome");
        const QString whole = label->text();
        QVERIFY(whole.endsWith(QString::fromStdString(home->path().filename().string())));
        const QString narrow = label->property("shownText").toString();
        QVERIFY2(label->fontMetrics().horizontalAdvance(whole) > label->contentsRect().width(),
                 "the folder fits: the window is wider than at a first start");
        QVERIFY(narrow.contains(QChar(0x2026)));
        QVERIFY(narrow.startsWith(whole.left(1)));
        QVERIFY(narrow.endsWith(whole.right(2)));
        QVERIFY(label->fontMetrics().horizontalAdvance(narrow) <= label->contentsRect().width());
        QCOMPARE(label->toolTip(), whole);

        w->resize(1600, w->height());
        QTRY_COMPARE(label->property("shownText").toString(), whole);
    }

    void recentTablesNewestFirstAndReopened() {
        QCOMPARE(Captions(Find<QMenu>("nRecent")), QStringList({"    (空)"}));
        open("t1.dbf");
        open("q2.dbf");
        open("q3.dbf");
        open("t1.dbf");
        QCOMPARE(Captions(Find<QMenu>("nRecent")),
                 QStringList(
                     {"&1 " + table("t1.dbf"), "&2 " + table("q3.dbf"), "&3 " + table("q2.dbf")}));
        Find<QAction>("nRecent3")->trigger();
        QCOMPARE(w->windowTitle(), QString("Quillory - q2"));
        QCOMPARE(Find<QAction>("nRecent1")->data().toString(), table("q2.dbf"));
        w->close();

        newWindow(); // remembered in the home folder
        QCOMPARE(Captions(Find<QMenu>("nRecent")),
                 QStringList(
                     {"&1 " + table("q2.dbf"), "&2 " + table("t1.dbf"), "&3 " + table("q3.dbf")}));
        std::filesystem::remove(home->path() / "t1.dbf");
        QString said;
        CloseNextModal(&said);
        Find<QAction>("nRecent2")->trigger();
        QCOMPARE(said, "找不到文件 " + table("t1.dbf") + "，已把它从“最近打开”中去掉。");
        QCOMPARE(w->windowTitle(), QString("Quillory"));
        QCOMPARE(Captions(Find<QMenu>("nRecent")),
                 QStringList({"&1 " + table("q2.dbf"), "&2 " + table("q3.dbf")}));
        newWindow();
        QCOMPARE(Find<QMenu>("nRecent")->actions().size(), 2);
    }

    void qtsChineseTextsAreInstalledWhenTheFileExists() {
        QVERIFY(!app::forms::InstallQtTranslations(*qApp, table("no-such-folder")));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString("&Yes"));
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(folder + "/qtbase_zh_CN.qm"))
            QSKIP("Qt's Chinese translations are not installed (qt6-translations-l10n)");
        QVERIFY(app::forms::InstallQtTranslations(*qApp));
        const QString yes = QCoreApplication::translate("QPlatformTheme", "&Yes");
        QVERIFY2(yes.contains(QString::fromUtf8("是")), qPrintable(yes));
        QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
        QVERIFY(box.button(QMessageBox::No)->text().contains(QString::fromUtf8("否")));
    }
};

int RunDeskTest(int argc, char** argv) {
    DeskTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "DeskTest.moc"
