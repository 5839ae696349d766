#include "app/forms/MainWindow.h"
#include "platform/db/Query.h"
#include "platform/os/Shell.h"
#include "platform/text/TextFile.h"
#include "roster/Corrections.h"
#include "roster/RosterCommands.h"
#include "roster/forms/ExamNumberCheckDialog.h"
#include "roster/forms/RosterImportDialog.h"
#include "stats/forms/ClassStatisticsDialog.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

using windowtest::CloseNextModal;
using windowtest::OnNextModal;
using windowtest::Seen;

namespace {

QTreeWidgetItem* LineOf(QTreeWidget* list, const QString& kind, const QString& number) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* line = list->topLevelItem(i);
        if (line->text(0) == kind && line->text(2) == number)
            return line;
    }
    return nullptr;
}

} // namespace

class RosterFormsTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    std::vector<std::string> Numbers() {
        std::vector<std::string> ids;
        for (const auto& row :
             w->workspace().connection.select("SELECT BH FROM exam ORDER BY rowid").rows)
            ids.push_back(db::Query::ToText(row[0]));
        return ids;
    }

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void menuItemsInTheFileMenu() {
        QCOMPARE(w->findChild<QAction*>("nImportRoster")->text(), QString("导入学生名单..."));
        QCOMPARE(w->findChild<QAction*>("nVerify")->text(), QString("核对考号..."));
        const auto items = w->findChild<QMenu*>("N1")->actions();
        // after the opening items: "打开DBF表..." and "最近打开"
        QCOMPARE(items.indexOf(w->findChild<QAction*>("nImportRoster")),
                 items.indexOf(w->findChild<QAction*>("OpenDbf")) + 2);
        QCOMPARE(items.at(items.indexOf(w->findChild<QAction*>("OpenDbf")) + 1),
                 w->findChild<QMenu*>("nRecent")->menuAction());
        QCOMPARE(items.indexOf(w->findChild<QAction*>("nVerify")),
                 items.indexOf(w->findChild<QAction*>("N2")) + 1);
    }

    void importThroughTheMappingDialog() {
        const auto list = home->path() / "名单.csv";
        testsupport::WriteBytes(list,
                                "序号,学生,班级,考号\n1,张三,3班,310101001\n2,李四,3班,310101002\n"
                                "3,王五,4班,310101002\n");
        QString filter;
        w->chooseFile = [&](const QString&, const QString& f) {
            filter = f;
            return QString::fromStdString(list.string());
        };
        Seen dialog, summary;
        int idColumn = -1, nameColumn = -1, previewRows = -1;
        OnNextModal(
            [&](QWidget* d) {
                auto* form = qobject_cast<roster::forms::RosterImportDialog*>(d);
                QVERIFY(form);
                idColumn = windowtest::Find<QComboBox>(form, "cbField0")->currentIndex();
                nameColumn = windowtest::Find<QComboBox>(form, "cbField2")->currentIndex();
                previewRows = windowtest::Find<QTableWidget>(form, "Preview")->rowCount();
                windowtest::Find<QComboBox>(form, "cbField2")
                    ->setCurrentIndex(2); // 学生 is the name
                CloseNextModal(&summary);
                windowtest::Find<QPushButton>(form, "btnImport")->click();
            },
            &dialog);
        w->importRoster();
        QVERIFY(filter.contains("*.xlsx"));
        QCOMPARE(dialog.title, QString("导入学生名单"));
        QCOMPARE(idColumn, 4); // 考号 is column D: item 4 after (无)
        QCOMPARE(nameColumn, 0);
        QCOMPARE(previewRows, 3);
        QCOMPARE(summary.title, QString("导入学生名单"));
        QVERIFY2(summary.text.contains("导入 2 人，跳过 1 行"), qPrintable(summary.text));
        auto rows = w->workspace()
                        .connection.select("SELECT ID, StudClass, StudName FROM ids ORDER BY ID")
                        .rows;
        QCOMPARE(rows.size(), std::size_t(2));
        QCOMPARE(db::Query::ToText(rows[0][2]), std::string("张三"));
        QCOMPARE(db::Query::ToText(rows[1][1]), std::string("3"));
    }

    void aListThatCannotBeReadIsAnError() {
        w->chooseFile = [&](const QString&, const QString&) {
            return QString::fromStdString((home->path() / "没有.xlsx").string());
        };
        Seen error;
        CloseNextModal(&error);
        w->importRoster();
        QCOMPARE(error.name, QString("ErrorBox"));
        QVERIFY2(error.text.contains("没有.xlsx"), qPrintable(error.text));
        w->workspace().connect();
        QVERIFY(!w->workspace().connection.hasTable("ids"));
    }

    void verifyShowsProblemsAndCorrectsThroughASuggestion() {
        testsupport::WriteAnswers(home->path() / "exam.dbf",
                                  {{"310101040", "12"}, {"310101002", "12"}, {"310101002", "11"}},
                                  'N');
        w->openAnswerTable(QString::fromStdString((home->path() / "exam.dbf").string()));
        const auto list = home->path() / "a.csv";
        testsupport::WriteBytes(list,
                                "考号,姓名,班级\n310101001,甲,1\n310101002,乙,1\n310101010,丙,2\n");
        (void)roster::ImportRoster(w->workspace(), w->ui(), list);

        QStringList suggestions;
        bool undoBefore = true, undoAfter = false, unknownGone = false, unknownBack = false;
        std::vector<std::string> corrected;
        OnNextModal([&](QWidget* d) {
            auto* form = qobject_cast<roster::forms::ExamNumberCheckDialog*>(d);
            QVERIFY(form);
            QVERIFY(LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "重复", "310101002"));
            QVERIFY(LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "缺考", "310101001"));
            QTreeWidgetItem* unknown =
                LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "名单外", "310101040");
            QVERIFY(unknown);
            undoBefore = windowtest::Find<QPushButton>(form, "btnUndo")->isEnabled();
            windowtest::Find<QTreeWidget>(form, "Problems")->setCurrentItem(unknown);
            for (int i = 0; i < windowtest::Find<QListWidget>(form, "Suggestions")->count(); ++i)
                suggestions << windowtest::Find<QListWidget>(form, "Suggestions")->item(i)->text();
            emit windowtest::Find<QListWidget>(form, "Suggestions")
                ->itemDoubleClicked(windowtest::Find<QListWidget>(form, "Suggestions")->item(0));
            corrected = Numbers();
            unknownGone =
                !LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "名单外", "310101040");
            undoAfter = windowtest::Find<QPushButton>(form, "btnUndo")->isEnabled();
            windowtest::Find<QPushButton>(form, "btnUndo")->click();
            unknownBack = LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "名单外",
                                 "310101040") != nullptr;
            windowtest::Find<QPushButton>(form, "btnClose")->click();
        });
        w->verifyNumbers();
        QCOMPARE(suggestions.size(), 1);
        QVERIFY2(suggestions[0].startsWith("310101010"), qPrintable(suggestions[0]));
        QCOMPARE(corrected, (std::vector<std::string>{"310101010", "310101002", "310101002"}));
        QVERIFY(!undoBefore);
        QVERIFY(unknownGone);
        QVERIFY(undoAfter);
        QVERIFY(unknownBack);
        QCOMPARE(Numbers(), (std::vector<std::string>{"310101040", "310101002", "310101002"}));
        const auto log = text::LoadLines(home->path() / "考号更正.log");
        QCOMPARE(log.size(), std::size_t(2));
        QVERIFY(log[1].find("\t撤销\texam\t310101010\t310101040\t") != std::string::npos);
        QVERIFY(std::filesystem::exists(home->path() / "考号核对_exam.txt"));
    }

    void longListsEndWithANoteOfTheRest() {
        testsupport::WriteAnswers(home->path() / "exam.dbf", {{"300000", "12"}}, 'N');
        w->openAnswerTable(QString::fromStdString((home->path() / "exam.dbf").string()));
        std::string list = "考号,姓名,班级\n";
        for (int i = 0; i < 2100; ++i)
            list += std::to_string(300000 + i) + ",某,1\n";
        testsupport::WriteBytes(home->path() / "big.csv", list);
        (void)roster::ImportRoster(w->workspace(), w->ui(), home->path() / "big.csv");
        int lines = -1;
        QString last;
        OnNextModal([&](QWidget* d) {
            auto* form = qobject_cast<roster::forms::ExamNumberCheckDialog*>(d);
            QVERIFY(form);
            lines = windowtest::Find<QTreeWidget>(form, "Problems")->topLevelItemCount();
            last =
                windowtest::Find<QTreeWidget>(form, "Problems")->topLevelItem(lines - 1)->text(4);
            windowtest::Find<QPushButton>(form, "btnClose")->click();
        });
        w->verifyNumbers();
        QCOMPARE(lines, 2001);
        QCOMPARE(last, QString("另有 99 条，见报告"));
        const auto report = text::LoadLines(home->path() / "考号核对_exam.txt");
        QVERIFY(std::any_of(report.begin(), report.end(), [](const std::string& l) {
            return l.find("302099") != std::string::npos;
        }));
    }

    void typedNumbersThatAreRefusedShowTheReason() {
        testsupport::WriteAnswers(home->path() / "exam.dbf",
                                  {{"310101002", "12"}, {"310101002", "12"}, {"310101005", "12"}},
                                  'N');
        w->openAnswerTable(QString::fromStdString((home->path() / "exam.dbf").string()));
        auto* tongji = w->findChild<stats::forms::ClassStatisticsDialog*>("TFormTongji");
        windowtest::Find<QRadioButton>(tongji, "RadioButton4")->setChecked(true);
        windowtest::Find<QSpinBox>(tongji, "SpinEdit20")->setValue(5);
        windowtest::Find<QSpinBox>(tongji, "SpinEdit3")->setValue(2);
        Seen refusal;
        bool chosen = false;
        OnNextModal([&](QWidget* d) {
            auto* form = qobject_cast<roster::forms::ExamNumberCheckDialog*>(d);
            QVERIFY(form);
            QTreeWidgetItem* line =
                LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "重复", "310101002");
            QVERIFY(line);
            QVERIFY(LineOf(windowtest::Find<QTreeWidget>(form, "Problems"), "缺号",
                           "310101003-310101004")); // the class dialog's classes
            windowtest::Find<QTreeWidget>(form, "Problems")->setCurrentItem(line);
            chosen = windowtest::Find<QPushButton>(form, "btnCorrect")->isEnabled();
            windowtest::Find<QLineEdit>(form, "EditNumber")->setText("310101005");
            OnNextModal(
                [form](QWidget* box) {
                    static_cast<QDialog*>(box)->reject();
                    QTimer::singleShot(0, windowtest::Find<QPushButton>(form, "btnClose"),
                                       &QPushButton::click);
                },
                &refusal);
            windowtest::Find<QPushButton>(form, "btnCorrect")->click();
        });
        w->verifyNumbers();
        QVERIFY(chosen);
        QCOMPARE(refusal.name, QString("ErrorBox"));
        QVERIFY2(refusal.text.contains("已经有答卷"), qPrintable(refusal.text));
        QCOMPARE(Numbers(), (std::vector<std::string>{"310101002", "310101002", "310101005"}));
        QVERIFY(!std::filesystem::exists(home->path() / "考号更正.log"));
    }
};

QTEST_MAIN(RosterFormsTest)
#include "RosterFormsTest.moc"
