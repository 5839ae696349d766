// The window's side of errors that say what to fix: the key field's tooltip,
// the points checked on F9 and never while typing, F10 on an unscored table,
// and the class dialog's split preview with its suggestion.
#include "app/forms/MainWindow.h"
#include "platform/os/Shell.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QtTest>

#include <memory>

using windowtest::OnNextModal;
using windowtest::Seen;

namespace {

void Answer(QMessageBox::StandardButton button, Seen* seen) {
    OnNextModal(
        [button](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->button(button))
                box->button(button)->click();
            else
                static_cast<QDialog*>(w)->reject();
        },
        seen);
}

} // namespace

class ErrorsWindowTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    scoring::forms::AnswerKeyPanels* panels() {
        return w->findChild<scoring::forms::AnswerKeyPanels*>("Panels");
    }
    stats::forms::ClassStatisticsDialog* dialog() {
        return w->findChild<stats::forms::ClassStatisticsDialog*>("TFormTongji");
    }
    QTableView* grid() { return w->findChild<QTableView*>("DBGrid1"); }

    void open(const std::vector<std::pair<std::string, std::string>>& sheets) {
        const auto file = home->path() / "t1.dbf";
        testsupport::WriteAnswers(file, sheets, 'N');
        w->openAnswerTable(QString::fromStdString(file.string()));
    }

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void theKeyTooltipSpellsOutMarkCodesAsTheUserTypes() {
        open(testsupport::Sheets(3, 8));
        auto* key = windowtest::Find<QLineEdit>(panels(), "Edit1");
        const QString hint = key->toolTip();
        key->setFocus();
        QTest::keyClicks(key, "AG");
        QVERIFY2(key->toolTip().contains("G = ABCE（第 2 题）"), qPrintable(key->toolTip()));
        QTest::keyClicks(key, "3#G");
        QVERIFY(key->toolTip().startsWith(hint));
        QVERIFY(key->toolTip().contains("G = ABCE（第 2、5 题）"));
        QVERIFY(key->toolTip().contains("3 = AB（第 3 题）"));
        QVERIFY(key->toolTip().contains("第 4 题的答案 # 不是选项"));
        key->clear();
        QCOMPARE(key->toolTip(), hint);
    }

    void pointsAreCheckedOnF9AndNeverWhileTyping() {
        open(testsupport::Sheets(3, 8));
        auto* p = panels();
        // Retyping the full points passes through an empty field without a word.
        windowtest::Find<QLineEdit>(p, "Edit8")->setText("4");
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit9")->text(), QString("2"));
        windowtest::Find<QLineEdit>(p, "Edit8")->setFocus();
        windowtest::Find<QLineEdit>(p, "Edit8")->selectAll();
        QTest::keyClick(windowtest::Find<QLineEdit>(p, "Edit8"), Qt::Key_Backspace);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit8")->text(), QString(""));
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit9")->text(), QString("2"));

        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->setValue(7);
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("1");
        windowtest::Find<QLineEdit>(p, "Edit1")->setText("ABCDA;BC");
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit5")->setValue(1);
        windowtest::Find<QLineEdit>(p, "Edit2")->setText("A");
        Seen error;
        Answer(QMessageBox::Ok, &error);
        QTest::keyClick(windowtest::Find<QLineEdit>(p, "Edit8"), Qt::Key_F9);
        QCOMPARE(error.text, QString("全对分数不是数字：''"));

        windowtest::Find<QLineEdit>(p, "Edit8")->setText("2");
        QApplication::setActiveWindow(w.get()); // back from the error box
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        windowtest::Find<QLineEdit>(p, "Edit4")->setFocus();
        windowtest::Find<QLineEdit>(p, "Edit4")
            ->clear(); // F9 from the field itself, before leaving it puts 0 back
        Answer(QMessageBox::Ok, &error);
        QTest::keyClick(windowtest::Find<QLineEdit>(p, "Edit4"), Qt::Key_F9);
        QCOMPARE(error.text, QString("每题分数（第一段）不是数字：''"));
        auto r =
            w->workspace().connection.select("select count(*) from t1 where score is not null");
        QCOMPARE(db::Query::ToText(r.rows[0][0]), std::string("0"));
    }

    void f10OnAnUnscoredTableAsksWithGoingOnAsTheDefault() {
        open(testsupport::Sheets(3, 8));
        Seen question;
        Answer(QMessageBox::No, &question);
        QTest::keyClick(grid(), Qt::Key_F10);
        QCOMPARE(
            question.text,
            QString("表 t1 还没有评分，分班统计的总分和平均分将都是 0。\n是否仍然进行分班统计？"));
        QVERIFY(question.yesIsDefault);
        QVERIFY(!dialog()->isVisible()); // No: the dialog is not shown
    }

    void theClassDialogPreviewsTheSplitAndAppliesTheSuggestion() {
        std::vector<std::pair<std::string, std::string>> sheets = {{"9999", "12"}};
        for (int c = 1; c <= 3; ++c)
            for (int seat = 1; seat <= 5; ++seat)
                sheets.emplace_back("20260" + std::to_string(c) + "0" + std::to_string(seat), "12");
        open(sheets);
        Seen question, notice;
        QString shown, afterChange, suggested;
        OnNextModal(
            [&](QWidget* box) { // not scored yet: Yes goes on to the dialog
                static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
                OnNextModal([&](QWidget* d) {
                    auto* f = static_cast<stats::forms::ClassStatisticsDialog*>(d);
                    shown = windowtest::Find<QLabel>(f, "LabelSplit")
                                ->text(); // the guesses' split, as the dialog opens
                    windowtest::Find<QRadioButton>(f, "RadioButton3")
                        ->setChecked(true); // with the guessed prefix, which is empty
                    QTRY_VERIFY(windowtest::Find<QLabel>(f, "LabelSplit")->text() !=
                                shown); // followed without a call
                    afterChange = windowtest::Find<QLabel>(f, "LabelSplit")->text();
                    QTest::mouseClick(windowtest::Find<QPushButton>(f, "BtnSuggest"),
                                      Qt::LeftButton);
                    suggested = windowtest::Find<QLabel>(f, "LabelSplit")->text();
                    QCOMPARE(windowtest::Find<QLineEdit>(f, "Edit1")->text(), QString("2026"));
                    QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit6")->value(), 8);
                    QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit4")->value(), 1);
                    QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit5")->value(), 3);
                    Answer(QMessageBox::Ok, &notice);
                    QTest::mouseClick(windowtest::Find<QPushButton>(f, "BitBtn1"), Qt::LeftButton);
                    f->reject();
                });
            },
            &question);
        QTest::keyClick(grid(), Qt::Key_F10);
        QVERIFY(question.yesIsDefault);
        QCOMPARE(shown,
                 QString("按当前设置：15 份答卷分入 1 个班，1 份不属于任何班（班别范围以外 0 "
                         "份，考号前缀或长度不符 1 份）。\n"
                         "找到的班级：20 (15)")); // the code read from the first two characters
        QCOMPARE(afterChange, QString("按当前设置不能分班：考号前缀设置错误。"));
        QCOMPARE(suggested,
                 QString("按当前设置：15 份答卷分入 3 个班，1 份不属于任何班（班别范围以外 0 "
                         "份，考号前缀或长度不符 1 份）。\n"
                         "找到的班级：01 (5)、02 (5)、03 (5)"));
        QCOMPARE(notice.text,
                 QString("有 1 份答卷不属于任何班级（考号的前缀、长度或班别不在设置的范围内），"
                         "只计入了所有考生的人数和总分，没有计入任何班。"));
        QVERIFY(std::filesystem::exists(home->path() / "分班统计_t1.txt"));

        // Opened again, the dialog shows what the run used, prefix included,
        // instead of the first guess ("20260"), which splits nothing.
        QString reopened;
        OnNextModal(
            [&](QWidget* box) {
                static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
                OnNextModal([&](QWidget* d) {
                    auto* f = static_cast<stats::forms::ClassStatisticsDialog*>(d);
                    QVERIFY(windowtest::Find<QRadioButton>(f, "RadioButton3")->isChecked());
                    QCOMPARE(windowtest::Find<QLineEdit>(f, "Edit1")->text(), QString("2026"));
                    QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit6")->value(), 8);
                    QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit5")->value(), 3);
                    reopened = windowtest::Find<QLabel>(f, "LabelSplit")->text();
                    f->reject();
                });
            },
            &question);
        activate();
        QTest::keyClick(grid(), Qt::Key_F10);
        QCOMPARE(reopened, suggested);
    }
};

int RunErrorsWindowTest(int argc, char** argv) {
    ErrorsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ErrorsWindowTest.moc"
