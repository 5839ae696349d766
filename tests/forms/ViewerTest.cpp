// The program's own viewer of its text reports, the shell that sends the
// reports to it and everything else to the desktop, and the report's
// closing message in the window.
#include "app/forms/DesktopShell.h"
#include "app/forms/MainWindow.h"
#include "app/forms/TextViewer.h"
#include "platform/os/Shell.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

#include <cstdlib>
#include <functional>
#include <memory>

using app::forms::DesktopShell;
using app::forms::TextViewer;
using windowtest::OnNextModal;

namespace {

// The statistics lines of a report, with columns that line up only when a
// Chinese character is two ASCII characters wide.
const std::string kReport = "题目  选A  选B\r\n1     3    2\r\n";
const QString kShown = "题目  选A  选B\n1     3    2\n";

void Click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(button);
    QVERIFY2(b, button);
    b->click();
}

// The viewers shown, each a window of its own.
int OpenViewers() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<TextViewer*>(w) && w->isVisible() ? 1 : 0;
    return n;
}

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testsupport::TempHome> home;
    std::unique_ptr<os::RecordingShell> desktop; // what the desktop was handed

  private slots:
    void init() {
        home = std::make_unique<testsupport::TempHome>();
        desktop = std::make_unique<os::RecordingShell>();
    }
    void cleanup() {
        const bool waiting = windowtest::StopWaiting();
        desktop.reset();
        home.reset();
        QVERIFY2(!waiting, windowtest::kNeverCame);
    }

    void aGbkReportIsReadAsGbk() {
        const auto file = home->path() / "统计_甲.txt";
        testsupport::WriteBytes(file, text::ToGbk(kReport));
        TextViewer viewer(*desktop);
        viewer.showFile(file, text::Encoding::Gbk);
        QCOMPARE(viewer.shownText(), kShown);
        QCOMPARE(viewer.shownEncoding(), text::Encoding::Gbk);
        QCOMPARE(viewer.findChild<QLabel*>("EncodingLabel")->text(), QString("编码: GBK"));
        QCOMPARE(viewer.findChild<QLineEdit*>("PathEdit")->text(),
                 QString::fromStdString(file.string()));
        QVERIFY(viewer.findChild<QLineEdit*>("PathEdit")->isReadOnly());
        QVERIFY(viewer.windowTitle().startsWith("统计_甲.txt"));
    }

    void aUtf8ReportIsReadAsUtf8WhateverWasExpected() {
        const auto file = home->path() / "统计_乙.txt";
        testsupport::WriteBytes(file, kReport);
        TextViewer viewer(*desktop);
        viewer.showFile(file, text::Encoding::Gbk);
        QCOMPARE(viewer.shownText(), kShown);
        QCOMPARE(viewer.shownEncoding(), text::Encoding::Utf8);
        QCOMPARE(viewer.findChild<QLabel*>("EncodingLabel")->text(), QString("编码: UTF-8"));
    }

    void aFileThatCannotBeReadIsSaidInTheText() {
        TextViewer viewer(*desktop);
        viewer.showFile(home->path() / "missing.txt", text::Encoding::Gbk);
        QVERIFY(viewer.shownText().startsWith(
            "不能读取文件 " + QString::fromStdString((home->path() / "missing.txt").string())));
    }

    void theTextIsMonospacedAndReadOnly() {
        TextViewer viewer(*desktop);
        auto* view = viewer.findChild<QPlainTextEdit*>("TextView");
        QVERIFY(view->isReadOnly());
        QCOMPARE(view->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(view->font().fixedPitch());
        if (QFontDatabase::families().contains("WenQuanYi Micro Hei Mono"))
            QCOMPARE(QFontInfo(view->font()).family(), QString("WenQuanYi Micro Hei Mono"));
    }

    void theColumnsLineUpAsInTheFile() {
        // "选" and "3" both stand in column 6 of the file: "题目" takes four columns.
        const auto file = home->path() / "统计_丙.txt";
        testsupport::WriteBytes(file, text::ToGbk("题目  选A：\r\n1     3   x\r\n"));
        TextViewer viewer(*desktop);
        viewer.showFile(file, text::Encoding::Gbk);
        viewer.show();
        auto* view = viewer.findChild<QPlainTextEdit*>("TextView");
        auto xOf = [view](int block, int column) {
            QTextCursor cursor(view->document()->findBlockByNumber(block));
            cursor.setPosition(cursor.block().position() + column);
            return view->cursorRect(cursor).x();
        };
        QVERIFY(qAbs(xOf(0, 4) - xOf(1, 6)) <= 1);
        QVERIFY(qAbs(xOf(0, 7) - xOf(1, 11)) <=
                1); // column 11: after "选A：" (a full-width colon), after "x"
        QVERIFY(xOf(1, 10) - xOf(1, 6) > 3 * (xOf(1, 1) - xOf(1, 0)));
    }

    void theButtonsHandTheFolderAndTheFileToTheDesktop() {
        const auto file = home->path() / "CheckLog.txt";
        testsupport::WriteBytes(file, "x\r\n");
        TextViewer viewer(*desktop);
        viewer.showFile(file, text::Encoding::Gbk);
        auto* folder = viewer.findChild<QPushButton*>("OpenFolderButton");
        auto* other = viewer.findChild<QPushButton*>("OpenOutsideButton");
        QCOMPARE(folder->text(), QString("打开所在文件夹"));
        QCOMPARE(other->text(), QString("用其他程序打开"));
        QTest::mouseClick(folder, Qt::LeftButton);
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(desktop->opened(),
                 (std::vector<std::string>{home->path().string(), file.string()}));
    }

    void theShellShowsTextReportsAndSendsTheRestToTheDesktop() {
        DesktopShell shell(desktop.get());
        shell.expectedEncoding = [] { return text::Encoding::Utf8; };
        const auto report = home->path() / "分班统计_甲.txt";
        const auto log = home->path() / "标准答案历史.log";
        testsupport::WriteBytes(report, kReport);
        testsupport::WriteBytes(log, text::ToGbk(kReport));
        shell.open(report.string());
        shell.open(log.string());
        shell.open((home->path() / "test.xlsx").string());
        shell.open(home->path().string());
        shell.open("Mailto:someone@example.org");
        QCOMPARE(desktop->opened(),
                 (std::vector<std::string>{(home->path() / "test.xlsx").string(),
                                           home->path().string(), "Mailto:someone@example.org"}));
        TextViewer* shown = shell.viewerOf(report);
        QVERIFY(shown);
        QVERIFY(shown->isVisible());
        QVERIFY(shown->isWindow());
        QVERIFY(!shown->isModal());
        QVERIFY2(!shown->parentWidget(), "no dialog modal to the main window blocks it");
        QCOMPARE(shown->shownText(), kShown);
        QCOMPARE(shell.viewerOf(log)->shownText(), kShown);
        QCOMPARE(shell.viewerOf(log)->shownEncoding(), text::Encoding::Gbk);
        QCOMPARE(OpenViewers(), 2);
    }

    void aReportShownAgainReusesItsViewerWithTheNewText() {
        DesktopShell shell(desktop.get());
        const auto report = home->path() / "统计_甲.txt";
        testsupport::WriteBytes(report, text::ToGbk("旧\r\n"));
        shell.open(report.string());
        testsupport::WriteBytes(report, text::ToGbk("新\r\n"));
        shell.open(report.string());
        QCOMPARE(OpenViewers(), 1);
        QCOMPARE(shell.viewerOf(report)->shownText(), QString("新\n"));
        shell.viewerOf(report)->close(); // deleted when closed: the next showing makes a new one
        QTRY_VERIFY(!shell.viewerOf(report));
        shell.open(report.string());
        QVERIFY(shell.viewerOf(report));
    }

    void theViewerFollowsItsFileReplacedByRenameAtTheSameScrollPosition() {
        const auto file = home->path() / "统计_甲.txt";
        auto report = [](const std::string& word) {
            std::string text;
            for (int line = 1; line <= 300; ++line)
                text += word + " " + std::to_string(line) + " " + std::string(300, '-') + "\r\n";
            return text;
        };
        testsupport::WriteBytes(file, text::ToGbk(report("旧")));
        TextViewer viewer(*desktop);
        viewer.showFile(file, text::Encoding::Gbk);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        auto* view = viewer.findChild<QPlainTextEdit*>("TextView");
        view->verticalScrollBar()->setValue(120);
        view->horizontalScrollBar()->setValue(40);
        for (const char* word : {"新", "再新"}) { // the watch outlives the file it watched
            // As every report is written: a new file beside it, renamed over it.
            text::WriteWhole(file, text::ToGbk(report(word)));
            QTRY_COMPARE_WITH_TIMEOUT(viewer.shownText(),
                                      QString::fromStdString(report(word)).remove('\r'), 1000);
            QCOMPARE(view->verticalScrollBar()->value(), 120);
            QCOMPARE(view->horizontalScrollBar()->value(), 40);
        }
    }

    void theClassReportCanBeReadAndClosedWhileTheClassDialogIsUp() {
        const auto sample = home->path() / "t1.dbf"; // twelve sheets 202601001.. of 8 questions
        testsupport::WriteAnswers(sample, testsupport::Sheets(12, 8), 'N');
        app::forms::MainWindow w; // with its own shell: text reports in its viewers
        w.createDialogs();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.openAnswerTable(QString::fromStdString(sample.string()));
        const auto report = home->path() / "分班统计_t1.txt";
        Qt::WindowModality modality = Qt::NonModal;
        QWidget* dialogParent = nullptr;
        QPointer<TextViewer> viewer;
        bool shown = false;
        QString shownText;
        OnNextModal([&](QWidget* d) { // not scored yet: Yes goes on
            static_cast<QMessageBox*>(d)->button(QMessageBox::Yes)->click();
            OnNextModal([&](QWidget* d) {
                auto* f = static_cast<stats::forms::ClassStatisticsDialog*>(d);
                modality = f->windowModality();
                dialogParent = f->parentWidget();
                windowtest::Find<QRadioButton>(f, "RadioButton3")->setChecked(true);
                windowtest::Find<QLineEdit>(f, "Edit1")->setText("2026");
                windowtest::Find<QSpinBox>(f, "SpinEdit3")->setValue(2);
                windowtest::Find<QSpinBox>(f, "SpinEdit4")->setValue(1);
                windowtest::Find<QSpinBox>(f, "SpinEdit5")->setValue(1);
                QTest::mouseClick(windowtest::Find<QPushButton>(f, "BitBtn1"), Qt::LeftButton);
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* v = qobject_cast<TextViewer*>(top); v && v->file() == report)
                        viewer = v;
                shown = viewer && viewer->isVisible() && QTest::qWaitForWindowExposed(viewer);
                if (shown) {
                    shownText = viewer->shownText();
                    // Clicked as the user would, through the window system, which
                    // drops input to the windows a modal dialog blocks.
                    auto* close = viewer->findChild<QPushButton*>("CloseButton");
                    QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {},
                                      close->mapTo(viewer.data(), close->rect().center()));
                }
                f->reject();
            });
        });
        w.classStatistics();
        QVERIFY2(shown, "the class report is shown in a viewer");
        QVERIFY2(!viewer || !viewer->isVisible(), "the viewer takes the click that closes it");
        QCOMPARE(modality, Qt::WindowModal);
        QCOMPARE(dialogParent, &w);
        QCOMPARE(
            shownText,
            QString::fromStdString(text::FromGbk(testsupport::ReadBytes(report))).remove('\r'));
    }

    void theWindowsReportEndsNamingItsWorkbookAndKeepsACopy() {
        const auto sample = home->path() / "t1.dbf";
        testsupport::WriteAnswers(sample, testsupport::Sheets(12, 8), 'N');
        ::setenv("TMPDIR", home->path().c_str(), 1);
        app::forms::MainWindow w;
        w.createDialogs();
        w.setShell(desktop.get());
        w.openAnswerTable(QString::fromStdString(sample.string()));
        QString suggested;
        const QString copy = QString::fromStdString((home->path() / "kept.xlsx").string());
        w.chooseSaveFile = [&](const QString& offered) {
            suggested = offered;
            return copy;
        };
        QString text;
        OnNextModal([](QWidget* box) { Click(box, "SaveCopy"); }, &text);
        w.writeReport();
        ::unsetenv("TMPDIR");
        const auto temp = testsupport::ProcessTempIn(home->path()); // the report's own folder
        const std::string xls = (temp / "test.xls").string();
        const std::string xlsx = (temp / "test.xlsx").string();
        QCOMPARE(text, QString::fromStdString(
                           "报表已写入 " + xlsx + "（由 " + xls +
                           " 排版而成）。这个文件在临时文件夹中，下一次生成报表时会被覆盖。\n\n"
                           "是否另存一份？"));
        QCOMPARE(suggested, QDir::home().filePath("t1_成绩.xlsx"));
        QCOMPARE(testsupport::ReadBytes(copy.toStdString()), testsupport::ReadBytes(xlsx));
        QVERIFY2(testsupport::ReadBytes(xlsx).starts_with("PK"), "the copy is the formatted .xlsx");
    }

    void closingTheReportsMessageKeepsNoCopy() {
        const auto sample = home->path() / "t1.dbf";
        testsupport::WriteAnswers(sample, testsupport::Sheets(3, 4), 'N');
        ::setenv("TMPDIR", home->path().c_str(), 1);
        app::forms::MainWindow w;
        w.createDialogs();
        w.setShell(desktop.get());
        w.openAnswerTable(QString::fromStdString(sample.string()));
        bool asked = false;
        w.chooseSaveFile = [&](const QString&) {
            asked = true;
            return QString();
        };
        OnNextModal([](QWidget* box) { Click(box, "CloseReport"); });
        w.writeReport();
        ::unsetenv("TMPDIR");
        QVERIFY(!asked);
        QVERIFY(std::filesystem::exists(testsupport::ProcessTempIn(home->path()) / "test.xlsx"));
    }

    void theWindowWritesItsReportsInTheSettingsEncoding() {
        testsupport::WriteBytes(home->path() / "config.ini", "[General]\r\nTextEncoding=UTF-8\r\n");
        const auto sample = home->path() / "期中.dbf"; // Chinese in the key history too
        testsupport::WriteAnswers(sample, testsupport::Sheets(12, 8), 'N');
        app::forms::MainWindow w;
        w.createDialogs();
        w.setShell(desktop.get());
        w.openAnswerTable(QString::fromStdString(sample.string()));
        auto* p = w.findChild<scoring::forms::AnswerKeyPanels*>("Panels");
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("2");
        windowtest::Find<QLineEdit>(p, "Edit1")->setText("ABCDA;BCD");
        // The scoring message, the class dialog and the report question.
        std::function<void(QWidget*)> no = [](QWidget* d) {
            if (auto* box = qobject_cast<QMessageBox*>(d); box && box->button(QMessageBox::No))
                box->button(QMessageBox::No)->click();
            else
                static_cast<QDialog*>(d)->reject();
        };
        OnNextModal([no](QWidget* d) {
            OnNextModal([no](QWidget* d2) {
                OnNextModal(no);
                no(d2);
            });
            no(d);
        });
        w.score();
        const std::string bytes = testsupport::ReadBytes(home->path() / "统计_期中.txt");
        QVERIFY(text::IsUtf8(bytes));
        QVERIFY(bytes.find("题目") != std::string::npos);
        QVERIFY(bytes.find("\r\n") != std::string::npos);
        const std::string history = testsupport::ReadBytes(home->path() / "标准答案历史.log");
        QVERIFY(history.starts_with(text::ToGbk("期中  ")));
        QVERIFY2(!text::IsUtf8(history), "the appended log stays GBK");
    }

    void theWindowSaysAnUnknownSettingAtStartUp() {
        testsupport::WriteBytes(home->path() / "config.ini", "[General]\r\nTextEncoding=Big5\r\n");
        QString text;
        OnNextModal([](QWidget* d) { static_cast<QDialog*>(d)->accept(); }, &text);
        app::forms::MainWindow w;
        QVERIFY(text.contains("TextEncoding=Big5 不是可用的编码"));
        QCOMPARE(w.workspace().Fields.TextEncoding, text::Encoding::Gbk);
    }
};

int RunViewerTest(int argc, char** argv) {
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ViewerTest.moc"
