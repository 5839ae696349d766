#include "app/forms/MainWindow.h"
#include "app/forms/AboutBox.h"
#include "app/forms/DataSetModel.h"
#include "app/forms/FieldSettingsDialog.h"
#include "app/forms/SqlDialog.h"
#include "platform/os/Shell.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/SheetXml.h"
#include "tests/support/TempHome.h"
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <memory>

using windowtest::Captions;
using windowtest::CloseModals;
using windowtest::CloseNextModal;
using windowtest::OnNextModal;
using windowtest::Seen;

class MainWindowTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    std::filesystem::path sample;

    void openSample() { w->openAnswerTable(QString::fromStdString(sample.string())); }

  private slots:
    void init() {
        makeHome();
        sample = home->path() / "t1.dbf";
        testsupport::WriteAnswers(sample, testsupport::Sheets(12, 8), 'N');
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void startUpCreatesTheDatabaseAndTheDialogs() {
        QVERIFY(std::filesystem::exists(home->path() / "data.mdb"));
        QCOMPARE(w->windowTitle(), QString("Quillory"));
        QCOMPARE(w->minimumSize(), QSize(540, 516));
        // A first start takes four fifths of the screen, never less than the minimum.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(w->size(), QSize(std::max(540, screen.width() * 4 / 5),
                                  std::max(516, screen.height() * 4 / 5)));
        QVERIFY(w->dropTarget());
        QCOMPARE(Find<app::forms::FieldSettingsDialog>("TFormSetField")->windowTitle(),
                 QString("设置字段名"));
        QCOMPARE(Find<stats::forms::ClassStatisticsDialog>("TFormTongji")->windowTitle(),
                 QString("分班统计"));
        QCOMPARE(Find<app::forms::SqlDialog>("TFormSql")->windowTitle(), QString("自定义SQL"));
        QCOMPARE(w->workspace().Fields.ID, std::string("BH"));
    }

    void menuTreeAsDesigned() {
        QCOMPARE(Find<QMenu>("N1")->title(), QString("文件"));
        QCOMPARE(Captions(Find<QMenu>("N1")), QStringList({"打开DBF表...",
                                                           "最近打开",
                                                           "导入学生名单...",
                                                           "设计答题卡...",
                                                           "扫描答题卡...",
                                                           "扫描复核...",
                                                           "添加分数字段",
                                                           "设置字段名...",
                                                           "开始评分",
                                                           "载入上次的答案",
                                                           "试卷分析...",
                                                           "分班统计...",
                                                           "成绩分析...",
                                                           "-",
                                                           "生成报表",
                                                           "检查缺漏考号...",
                                                           "核对考号...",
                                                           "修理DBF的索引问题...",
                                                           "自定义SQL...",
                                                           "-",
                                                           "排序",
                                                           "取消排序(读卡顺序)",
                                                           "评分科目",
                                                           "评卷类型",
                                                           "-",
                                                           "退出"}));
        QCOMPARE(Captions(Find<QMenu>("N4")),
                 QStringList({"帮助", "关于...", "TEST", "TEST2", "TEST3"}));
        for (QAction* hidden :
             {Find<QAction>("nAddScoreField"), Find<QAction>("RepairDbf"),
              Find<QMenu>("nSubj")->menuAction(), Find<QMenu>("nType")->menuAction(),
              Find<QAction>("EST1"), Find<QAction>("EST2"), Find<QAction>("EST31")})
            QVERIFY2(!hidden->isVisible(), qPrintable(hidden->text()));
        QCOMPARE(Find<QAction>("RepairDbf")->toolTip(), QString("修理index not found问题"));
        QCOMPARE(Find<QAction>("OpenDbf")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(Find<QAction>("CorVane")->shortcut(), QKeySequence(Qt::Key_F9));
        QCOMPARE(Find<QAction>("N13")->shortcut(), QKeySequence(Qt::Key_F10));
        QCOMPARE(Captions(Find<QMenu>("nSort")), QStringList({"    (空)"}));
        QVERIFY(!Find<QMenu>("nSort")->actions().first()->isEnabled());
        QCOMPARE(Captions(Find<QMenu>("nSubj")).size(), 11);
        QCOMPARE(Find<QMenu>("nSubj")->actions().at(2)->text(), QString("语文"));
        QCOMPARE(Find<QMenu>("nSubj")->actions().at(2)->data().toInt(), 1);
        QCOMPARE(Captions(Find<QMenu>("nType")), QStringList({"不分类型", "-", "A  卷", "B  卷"}));
    }

    void shortcutsWorkFromTheEditsAndTheGrid() {
        Seen seen;
        CloseNextModal(&seen);
        Find<QLineEdit>("Edit1")->setFocus();
        QTest::keyClick(Find<QLineEdit>("Edit1"), Qt::Key_F10);
        QCOMPARE(seen.text, QString("请先打开卷面数据库DBF文件并评好分。或者当前记录数为 0。"));

        activate();
        Seen notice;
        CloseNextModal(&notice);
        Find<QTableView>("DBGrid1")->setFocus();
        QTest::keyClick(Find<QTableView>("DBGrid1"), Qt::Key_F9);
        QCOMPARE(notice.title, QString("Quillory"));

        activate();
        int asked = 0;
        w->chooseFile = [&](const QString&, const QString& filter) {
            ++asked;
            [&] { QCOMPARE(filter, QString("dbase 数据表 (*.dbf *.DBF)")); }();
            return QString();
        };
        Find<QLineEdit>("Edit2")->setFocus();
        QTest::keyClick(Find<QLineEdit>("Edit2"), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);
    }

    void openingShowsTheTableAndResetsThePanels() {
        Find<QLineEdit>("Edit1")->setText("ABCDA");
        Find<QLineEdit>("Edit2")->setText("AB");
        Find<QLineEdit>("Edit3")->setText("old");
        Find<scoring::forms::CountSpinBox>("SpinEdit5")->setValue(4);
        Find<QLineEdit>("Edit8")->setText("6");
        Find<QComboBox>("ComboBox1")->setCurrentIndex(4);
        Find<scoring::forms::AnswerKeyPanels>("Panels")->enableChosenSegments();
        Find<scoring::forms::CountSpinBox>("SpinEdit3")->setValue(7);
        openSample();
        QCOMPARE(w->windowTitle(), QString("Quillory - t1"));
        QCOMPARE(Find<QLabel>("StatusPanel1")->text(), QString("记录数:12  题目数:8"));
        QCOMPARE(Find<scoring::forms::CountSpinBox>("SpinEdit1")->value(), 8);
        QCOMPARE(Find<QComboBox>("ComboBox1")->currentText(), QString("1"));
        QVERIFY(Find<scoring::forms::CountSpinBox>("SpinEdit1")->isEnabled());
        QVERIFY(!Find<scoring::forms::CountSpinBox>("SpinEdit3")->isEnabled());
        QCOMPARE(Find<scoring::forms::CountSpinBox>("SpinEdit3")->value(), 0);
        QVERIFY(Find<QLineEdit>("Edit1")->text().isEmpty());
        QVERIFY(Find<QLineEdit>("Edit2")->text().isEmpty());
        QVERIFY(Find<QLineEdit>("Edit3")->text().isEmpty());
        QCOMPARE(Find<scoring::forms::CountSpinBox>("SpinEdit5")->value(), 0);
        QCOMPARE(Find<QLineEdit>("Edit8")->text(), QString("0"));
        QCOMPARE(Find<QLineEdit>("Edit9")->text(), QString("0"));
        QCOMPARE(Captions(Find<QMenu>("nSort")), QStringList({"BH", "content", "CLS", "score"}));
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 12);
        QCOMPARE(Find<QTableView>("DBGrid1")->currentIndex().row(),
                 9); // the count stops on the tenth record
    }

    void aScoreOfTextKeepsThePanelsAndDisablesScoring() {
        testsupport::WriteAnswers(home->path() / "txt.dbf", testsupport::Sheets(3, 4), 'C');
        Find<QLineEdit>("Edit1")->setText("keep");
        Seen seen;
        CloseNextModal(&seen);
        w->openAnswerTable(QString::fromStdString((home->path() / "txt.dbf").string()));
        QCOMPARE(seen.text, QString("分数字段的数据类型有错误，不能评分。"));
        QCOMPARE(seen.title, QString("Quillory - txt"));
        QVERIFY(!Find<QAction>("CorVane")->isEnabled());
        QCOMPARE(Find<QLineEdit>("Edit1")->text(), QString("keep"));
        QCOMPARE(Captions(Find<QMenu>("nSort")), QStringList({"    (空)"}));
    }

    void dropTakesTheFirstDbfOnly() {
        Seen seen;
        CloseNextModal(&seen);
        w->dropFiles({"/tmp/a.dbf.txt"});
        QCOMPARE(seen.text, QString("只能接受dbf文件。"));
        QCOMPARE(seen.title, QString("打开文件"));
        QCOMPARE(w->windowTitle(), QString("Quillory"));

        auto upper = home->path() / "A.DBF";
        std::filesystem::copy_file(sample, upper);
        w->dropFiles(
            {" \t" + QString::fromStdString(upper.string()) + "\r\n", "/tmp/b.dbf", "/tmp/c.txt"});
        QCOMPARE(w->windowTitle(), QString("Quillory - A"));
        QCOMPARE(w->lastTable(), QString::fromStdString(upper.string()));
    }

    void fieldDialogDefaultsThenConfirm() {
        w->workspace().Fields.Subject = "KM";
        w->workspace().Fields.ID = "KH";
        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::FieldSettingsDialog*>(d);
            QTest::mouseClick(f->findChild<QPushButton*>("Button1"), Qt::LeftButton);
            QTest::mouseClick(f->findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
        });
        w->editFieldNames();
        const auto& fields = w->workspace().Fields;
        QCOMPARE(fields.Flag, std::string("flag"));
        QCOMPARE(fields.ID, std::string("id"));
        QCOMPARE(fields.Content, std::string("content"));
        QCOMPARE(fields.Score, std::string("score"));
        QCOMPARE(fields.Subject, std::string("KM"));
        QCOMPARE(Find<QAction>("SetField")->data().toInt(), 1);
    }

    void fieldDialogCancelledKeepsTheNames() {
        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::FieldSettingsDialog*>(d);
            f->findChild<QLineEdit*>("Edit2")->setText("XX");
            f->findChild<QLineEdit*>("Edit4")->clear();
            f->reject();
        });
        w->editFieldNames();
        QCOMPARE(w->workspace().Fields.ID, std::string("BH"));
        QCOMPARE(Find<QAction>("SetField")->data().toInt(), 0);
        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::FieldSettingsDialog*>(d);
            QCOMPARE(f->findChild<QLineEdit*>("Edit2")->text(),
                     QString("BH")); // refilled from the settings
            auto* flag = f->findChild<QLineEdit*>("Edit1");
            flag->clear();
            QTest::keyClick(flag, Qt::Key_Return); // Enter is "确定"
        });
        w->editFieldNames();
        QCOMPARE(w->workspace().Fields.Flag, std::string(""));
        QCOMPARE(Find<QAction>("SetField")->data().toInt(), 1);
    }

    void sortAndReadingOrder() {
        openSample();
        Find<QMenu>("nSort")->actions().at(1)->trigger();
        QVERIFY(w->workspace().view.sqlText().ends_with(" order by [content]\r\n"));
        Find<QAction>("N3")->trigger();
        QCOMPARE(w->workspace().view.sqlText(), std::string("SELECT * FROM [t1]\r\n"));
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 12);
    }

    void customSqlWithAndWithoutRows() {
        Seen early;
        CloseNextModal(&early);
        w->customSql();
        QCOMPARE(early.text, QString("请先打开卷面数据表DBF文件。"));
        QCOMPARE(early.name, QString("MessageBox"));

        openSample();
        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::SqlDialog*>(d);
            f->findChild<QLineEdit*>("edtSql")->setText(
                "select BH from t1 where BH like '20260100_'");
            QTest::mouseClick(f->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        });
        w->customSql();
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 9);
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->columnCount(), 1);

        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::SqlDialog*>(d);
            f->findChild<QLineEdit*>("edtSql")->setText("update t1 set CLS = 2");
            f->findChild<QCheckBox*>("ckbSql")->setChecked(false);
            f->accept();
        });
        w->customSql();
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 9); // back to the previous view
        auto r = w->workspace().connection.select("select count(*) from t1 where CLS = 2");
        QCOMPARE(db::Query::ToText(r.rows[0][0]), std::string("12"));

        Seen error;
        OnNextModal([](QWidget* d) {
            auto* f = static_cast<app::forms::SqlDialog*>(d);
            f->findChild<QLineEdit*>("edtSql")->setText("select nosuch from t1");
            f->findChild<QCheckBox*>("ckbSql")->setChecked(true);
            f->accept();
            // the error box follows
        });
        QTimer::singleShot(50, [&] { CloseNextModal(&error); });
        w->customSql();
        QVERIFY(error.text.contains("nosuch"));
        QCOMPARE(error.title, QString("Quillory - t1"));
        QVERIFY2(w->workspace().view.isOpen(), "a failed statement keeps the previous view");
        QCOMPARE(Find<QTableView>("DBGrid1")->model()->rowCount(), 9);
    }

    void maintenanceCommands() {
        Seen none;
        CloseNextModal(&none);
        w->addScoreField();
        QCOMPARE(none.text, QString("请先打开卷面数据库DBF文件。"));
        openSample();
        Seen has;
        CloseNextModal(&has);
        w->addScoreField();
        QCOMPARE(has.text, QString("已有分数字段 score"));

        auto bytes = testsupport::ReadBytes(sample);
        bytes[28] = 1;
        testsupport::WriteBytes(sample, bytes);
        w->chooseFile = [&](const QString&, const QString&) {
            return QString::fromStdString(sample.string());
        };
        Seen repaired;
        CloseNextModal(&repaired);
        w->repairTableIndex();
        QCOMPARE(repaired.text,
                 QString("DBF表的“Index not Found”问题修补成功!\n")); // shown with a line break
        QCOMPARE(testsupport::ReadBytes(sample)[28], '\0');
    }

    void panelHandlers() {
        auto* p = Find<scoring::forms::AnswerKeyPanels>("Panels");
        QCOMPARE(windowtest::Find<QComboBox>(p, "ComboBox1")->currentText(), QString("0"));
        QVERIFY(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")
                    ->isEnabled()); // segment 1 is enabled until the combo changes
        windowtest::Find<QComboBox>(p, "ComboBox1")->setCurrentIndex(4);
        p->enableChosenSegments();
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->setValue(5);
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit3")->setValue(6);
        windowtest::Find<QLineEdit>(p, "Edit5")->setText("2");
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit10")->setValue(9);
        windowtest::Find<QComboBox>(p, "ComboBox1")->setCurrentIndex(2);
        p->enableChosenSegments();
        QCOMPARE(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit3")->value(), 6);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit5")->text(), QString("2"));
        QVERIFY(!windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit10")->isEnabled());
        QCOMPARE(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit10")->value(), 0);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit7")->text(), QString("0"));
        windowtest::Find<QComboBox>(p, "ComboBox1")->setCurrentIndex(0);
        p->enableChosenSegments();
        QCOMPARE(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->value(), 0);
        QVERIFY(!windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->isEnabled());

        windowtest::Find<QComboBox>(p, "ComboBox1")->setCurrentIndex(4);
        p->enableChosenSegments();
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("1");
        QTest::keyClicks(windowtest::Find<QLineEdit>(p, "Edit4"), "a2.x");
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit4")->text(), QString("12."));
        windowtest::Find<QLineEdit>(p, "Edit5")->clear();
        windowtest::Find<QLineEdit>(p, "Edit4")->clear();
        windowtest::Find<QLineEdit>(p, "Edit4")->setFocus();
        windowtest::Find<QLineEdit>(p, "Edit5")->setFocus();
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit4")->text(), QString("0"));
        windowtest::Find<QLineEdit>(p, "Edit4")->setFocus();
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit5")->text(),
                 QString("")); // only Edit4 gets its 0 back

        windowtest::Find<QLineEdit>(p, "Edit8")->setText("0");
        windowtest::Find<QLineEdit>(p, "Edit8")->setFocus();
        windowtest::Find<QLineEdit>(p, "Edit8")->end(false);
        QTest::keyClick(windowtest::Find<QLineEdit>(p, "Edit8"), Qt::Key_9);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit9")->text(), QString("4"));
        windowtest::Find<QLineEdit>(p, "Edit8")->setText("7");
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit9")->text(), QString("3"));
        windowtest::Find<QLineEdit>(p, "Edit8")
            ->setText("2.5"); // no whole number: no message while typing, Edit9 kept
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit9")->text(), QString("3"));
    }

    void spinEditTakesATypedValueUntilItLosesFocus() {
        auto* s = Find<scoring::forms::CountSpinBox>("SpinEdit5");
        s->setFocus();
        s->clear();
        QTest::keyClicks(s, "200x");
        QCOMPARE(s->value(), 200);
        Find<QLineEdit>("Edit2")->setFocus();
        QCOMPARE(s->value(), 105);
        s->setValue(-3);
        QCOMPARE(s->value(), 0);
    }

    void gridEditsPostThroughTheDatasetAndPauseWhileDisabled() {
        openSample();
        Find<QAction>("nAllowEdit")->trigger();
        auto* model = Find<QTableView>("DBGrid1")->model();
        int score = w->workspace().view.fieldIndex("score");
        QVERIFY(model->setData(model->index(2, score), "88.5", Qt::EditRole));
        auto r = w->workspace().connection.select("select score from t1 where BH = '202601003'");
        QCOMPARE(db::Query::ToText(r.rows[0][0]), std::string("88.5"));
        Seen error;
        CloseNextModal(&error);
        QVERIFY(!model->setData(model->index(2, score), "abc", Qt::EditRole));
        QVERIFY(error.text.contains("abc"));
        w->workspace().view.disableControls();
        QVERIFY(!Find<QTableView>("DBGrid1")->updatesEnabled());
        w->workspace().view.enableControls();
        QVERIFY(Find<QTableView>("DBGrid1")->updatesEnabled());
        w->workspace().view.moveTo(5);
        QCOMPARE(Find<QTableView>("DBGrid1")->currentIndex().row(), 5);
    }

    void theStatusBarNamesTheHomeFolder() {
        const QString expected = QString::fromStdString("数据文件夹: " + home->path().string());
        QCOMPARE(Find<QLabel>("StatusHome")->text(), expected);
        QCOMPARE(Find<QLabel>("StatusHome")->toolTip(), expected);
        QCOMPARE(Find<QLabel>("StatusPanel0")->text(), QString("Quillory 客观题评分"));
    }

    void aChangedTableAsksWithNoAsTheDefault() {
        openSample();
        const auto before = std::filesystem::last_write_time(sample);
        testsupport::WriteAnswers(sample, testsupport::Sheets(20, 8), 'N');
        std::filesystem::last_write_time(sample, before + std::chrono::minutes(1));
        Seen seen;
        bool noIsDefault = false;
        OnNextModal(
            [&noIsDefault](QWidget* d) {
                auto* box = static_cast<QMessageBox*>(d);
                noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
                box->defaultButton()->click();
            },
            &seen);
        openSample();
        QVERIFY(noIsDefault);
        QCOMPARE(seen.name, QString("QuestionBox"));
        QCOMPARE(seen.text,
                 QString::fromStdString("数据表 t1 已导入过（来自 " + sample.string() +
                                        "，12 条记录）。现在打开的文件不同（" + sample.string() +
                                        "，20 条记录）。是否重新导入？已有的评分会被清除。"));
        QCOMPARE(Find<QLabel>("StatusPanel1")->text(), QString("记录数:12  题目数:8"));
        std::vector<Seen> told;
        OnNextModal([&told](QWidget* d) {
            CloseModals(1, &told); // the notice that follows
            static_cast<QMessageBox*>(d)->button(QMessageBox::Yes)->click();
        });
        openSample();
        QCOMPARE(Find<QLabel>("StatusPanel1")->text(), QString("记录数:20  题目数:8"));
        QVERIFY(told.at(0).text.contains("重新导入（20 条记录）"));
    }

    void aboutBoxLines() {
        OnNextModal([this](QWidget* d) {
            auto* about = static_cast<app::forms::AboutBox*>(d);
            QCOMPARE(about->windowTitle(), QString("关于Brevanto"));
            auto text = [about](const char* name) {
                return about->findChild<QLabel*>(name)->text();
            };
            QCOMPARE(text("ProductName"), QString("Brevanto Version 1.70"));
            QVERIFY(text("Label3").startsWith("可用物理内存: "));
            QVERIFY(text("Label3").endsWith(" KB"));
            QVERIFY(!text("Label2").isEmpty());
            QCOMPARE(text("HomeLabel"),
                     QString::fromStdString("数据文件夹: " + home->path().string()));
            QTest::mouseClick(about->findChild<QLabel*>("Label6"), Qt::LeftButton);
            QCOMPARE(shell.opened().back(), std::string("Mailto:support@quillory.example    "));
            QTest::mouseClick(about->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        });
        w->showAbout();
        auto* first = Find<app::forms::AboutBox>("TAboutBox");
        CloseNextModal(nullptr);
        w->showAbout();
        QCOMPARE(Find<app::forms::AboutBox>("TAboutBox"), first);
    }

    void scoringFromThePanelsLeadsOn() {
        openSample();
        auto* p = Find<scoring::forms::AnswerKeyPanels>("Panels");
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("2");
        windowtest::Find<QLineEdit>(p, "Edit1")->setText("ABCDA;BCD");
        std::vector<Seen> seen;
        seen.reserve(3);
        CloseModals(3, &seen);
        QTest::keyClick(Find<QTableView>("DBGrid1"), Qt::Key_F9);
        QCOMPARE(seen.size(), std::size_t(3));
        QCOMPARE(seen[0].text, QString("评分完成。\n\n下一步进行分班统计、综合科统计。"));
        QCOMPARE(seen[1].name, QString("TFormTongji"));
        QCOMPARE(seen[2].text, QString("是否现在生成报表?"));
        auto stats = home->path() / "统计_t1.txt";
        QVERIFY(std::filesystem::exists(stats));
        QCOMPARE(shell.opened().back(), stats.string());
        auto r = w->workspace().connection.select("select score from t1 order by BH");
        QCOMPARE(db::Query::ToText(r.rows[0][0]), std::string("16")); // 12481248 against ABCDABCD
        QVERIFY(Find<QTableView>("DBGrid1")->updatesEnabled());
    }

    void theLastRunFillsThePanelsAndIsAnalysed() {
        openSample();
        QVERIFY(!Find<QAction>("nLoadLastRun")->isEnabled());
        QVERIFY(!Find<QAction>("nAnalysis")->isEnabled());
        auto* p = Find<scoring::forms::AnswerKeyPanels>("Panels");
        windowtest::Find<QComboBox>(p, "ComboBox1")->setCurrentIndex(2);
        p->enableChosenSegments();
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->setValue(5);
        windowtest::Find<QLineEdit>(p, "Edit4")->setText("2");
        windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit3")->setValue(3);
        windowtest::Find<QLineEdit>(p, "Edit5")->setText("1.5");
        windowtest::Find<QLineEdit>(p, "Edit1")->setText("ABCDA;BCD");
        std::vector<Seen> seen;
        seen.reserve(3);
        CloseModals(3, &seen);
        Find<QAction>("CorVane")->trigger();
        QCOMPARE(seen.size(), std::size_t(3));
        QVERIFY(Find<QAction>("nLoadLastRun")->isEnabled());
        QVERIFY(Find<QAction>("nAnalysis")->isEnabled());

        openSample(); // the panels start afresh, the run stays the table's
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit1")->text(), QString());
        QVERIFY(Find<QAction>("nLoadLastRun")->isEnabled());
        Find<QAction>("nLoadLastRun")->trigger();
        QCOMPARE(windowtest::Find<QComboBox>(p, "ComboBox1")->currentIndex(), 2);
        QCOMPARE(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit1")->value(), 5);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit4")->text(), QString("2"));
        QVERIFY(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit3")->isEnabled());
        QCOMPARE(windowtest::Find<scoring::forms::CountSpinBox>(p, "SpinEdit3")->value(), 3);
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit5")->text(), QString("1.5"));
        QCOMPARE(windowtest::Find<QLineEdit>(p, "Edit1")->text(), QString("ABCDA;BCD"));
        QCOMPARE(w->scoringSettings().counts, (std::array<int, 4>{5, 3, 0, 0}));

        Find<QAction>("nAnalysis")->trigger(); // the analysis window; its export writes the files
        auto* analysisWindow = w->findChild<QWidget*>("TFormAnalysis");
        QVERIFY(analysisWindow && analysisWindow->isVisible());
        QCOMPARE(analysisWindow->windowTitle(), QString("试卷分析 - t1"));
        QVERIFY(!std::filesystem::exists(home->path() / "试卷分析_t1.txt"));
        QVERIFY(Find<QProgressBar>("Progress")->isHidden());

        auto other = home->path() / "other.dbf";
        testsupport::WriteAnswers(other, testsupport::Sheets(3, 8), 'N');
        w->openAnswerTable(QString::fromStdString(other.string()));
        QVERIFY2(!Find<QAction>("nAnalysis")->isEnabled(), "the run is the other table's");
        QVERIFY(!analysisWindow->isVisible());
        QVERIFY(!Find<QAction>("nLoadLastRun")->isEnabled());
    }

    void conversionFillsEdit3() {
        openSample();
        w->workspace().view.moveTo(1);
        Find<scoring::forms::CountSpinBox>("SpinEdit1")->setValue(5);
        QTest::mouseClick(Find<QPushButton>("Button4"), Qt::LeftButton);
        QCOMPARE(Find<QLineEdit>("Edit3")->text(), QString("BCDAB;  C;D;A"));
    }

    void classStatisticsDialog() {
        auto* t = Find<stats::forms::ClassStatisticsDialog>("TFormTongji");
        QVERIFY(windowtest::Find<QRadioButton>(t, "RadioButton4")->isChecked());
        QVERIFY(!windowtest::Find<QLineEdit>(t, "Edit1")->isEnabled());
        QVERIFY(windowtest::Find<QSpinBox>(t, "SpinEdit20")->isEnabled());
        QVERIFY(!windowtest::Find<QComboBox>(t, "ComboBox1")->isEnabled());
        QVERIFY(!windowtest::Find<QSpinBox>(t, "sptZonghe6")->isEnabled());
        QCOMPARE(windowtest::Find<QSpinBox>(t, "SpinEdit3")->value(), 2);
        QCOMPARE(windowtest::Find<QSpinBox>(t, "SpinEdit5")->value(), 24);
        QCOMPARE(windowtest::Find<QSpinBox>(t, "sptZonghe6")->value(), 69);
        windowtest::Find<QRadioButton>(t, "RadioButton3")->setChecked(true);
        QVERIFY(windowtest::Find<QLineEdit>(t, "Edit1")->isEnabled());
        QVERIFY(!windowtest::Find<QSpinBox>(t, "SpinEdit20")->isEnabled());
        windowtest::Find<QCheckBox>(t, "CheckBox2")->click();
        QVERIFY(!windowtest::Find<QGroupBox>(t, "GroupBox1")->isEnabled());
        QVERIFY(!windowtest::Find<QGroupBox>(t, "GroupBox3")->isEnabled());
        QVERIFY(!windowtest::Find<QSpinBox>(t, "SpinEdit6")->isEnabled());
        QVERIFY(windowtest::Find<QSpinBox>(t, "SpinEdit7")->isEnabled());
        windowtest::Find<QCheckBox>(t, "CheckBox2")->click();
        QVERIFY(windowtest::Find<QGroupBox>(t, "GroupBox1")->isEnabled());

        openSample();                 // twelve sheets 202601001.. of 8 questions
        OnNextModal([&](QWidget* d) { // not scored yet: Yes goes on
            static_cast<QMessageBox*>(d)->button(QMessageBox::Yes)->click();
            OnNextModal([&](QWidget* d) {
                auto* f = static_cast<stats::forms::ClassStatisticsDialog*>(d);
                QCOMPARE(f->windowTitle(), QString("分班统计"));
                QCOMPARE(windowtest::Find<QLineEdit>(f, "Edit1")->text(), QString("2026010"));
                QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit6")->value(), 9);
                QCOMPARE(windowtest::Find<QSpinBox>(f, "SpinEdit7")->value(), 8);
                windowtest::Find<QSpinBox>(f, "SpinEdit3")->setValue(2);
                windowtest::Find<QSpinBox>(f, "SpinEdit4")->setValue(1);
                windowtest::Find<QSpinBox>(f, "SpinEdit5")->setValue(1);
                windowtest::Find<QLineEdit>(f, "Edit1")->setText("2026");
                QTest::mouseClick(windowtest::Find<QPushButton>(f, "BitBtn1"), Qt::LeftButton);
                f->reject();
            });
        });
        QTest::keyClick(Find<QTableView>("DBGrid1"), Qt::Key_F10);
        auto report = home->path() / "分班统计_t1.txt";
        QVERIFY(std::filesystem::exists(report));
        QCOMPARE(shell.opened().back(), report.string());
        QVERIFY(windowtest::Find<QRadioButton>(t, "RadioButton3")
                    ->isChecked()); // the mode the user set stays
    }

    void resultsWorkbookWithTheClassSettingsLastUsed() {
        Seen notice;
        CloseNextModal(&notice);
        Find<QAction>("nResults")->trigger();
        QCOMPARE(notice.text, QString("请先打开卷面数据库DBF文件并评好分。或者当前记录数为 0。"));

        openSample(); // twelve sheets 202601001.. of 8 questions
        w->workspace().connection.execute("UPDATE t1 SET SCORE = rowid, f1 = 1, f2 = rowid % 2");
        auto* t = Find<stats::forms::ClassStatisticsDialog>("TFormTongji");
        windowtest::Find<QRadioButton>(t, "RadioButton3")->setChecked(true);
        windowtest::Find<QLineEdit>(t, "Edit1")->setText("2026");
        windowtest::Find<QSpinBox>(t, "SpinEdit6")->setValue(9);
        windowtest::Find<QSpinBox>(t, "SpinEdit7")->setValue(2);
        windowtest::Find<QSpinBox>(t, "SpinEdit4")->setValue(1);
        windowtest::Find<QSpinBox>(t, "SpinEdit5")->setValue(2);
        windowtest::Find<QPushButton>(t, "BitBtn1")
            ->click(); // the class statistics keep these settings for the table
        QString offered;
        w->askOpenResults = [&](const QString& file) {
            offered = file;
            return QString("folder");
        };
        Find<QAction>("nResults")->trigger();
        const auto book = home->path() / "成绩分析_t1.xlsx";
        QCOMPARE(offered, QString::fromStdString(book.string()));
        QCOMPARE(shell.opened().back(), home->path().string());
        QVERIFY(!Find<QProgressBar>("Progress")->isVisible());
        auto cells = testsupport::CellMap(testsupport::SheetXml(book, 1));
        QCOMPARE(cells["B2"].value, std::string("01")); // the class after the prefix "2026"
        QCOMPARE(cells["H1"].value, std::string("f2"));
        QVERIFY(cells.count("I1") == 0);

        w->askOpenResults = [](const QString&) { return QString("file"); };
        Find<QAction>("nResults")->trigger();
        QCOMPARE(shell.opened().back(), book.string());
    }

    void missingNumbersFromTheWindow() {
        openSample();
        Seen prompt, notice;
        OnNextModal([](QWidget* d) { static_cast<QDialog*>(d)->accept(); }, &prompt);
        QTimer::singleShot(30, [&] { CloseNextModal(&notice); });
        w->checkMissingNumbers();
        QCOMPARE(prompt.title, QString("检查缺漏考号"));
        QCOMPARE(notice.text, QString("没有检查到缺漏考号，所有考号均为连续。"));
    }

    void helpFileGoesToTheShellInGbk() {
        w->showHelp();
        QVERIFY(!shell.opened().empty());
        QVERIFY(shell.opened().back().ends_with("说明.txt"));
        auto bytes = testsupport::ReadBytes(shell.opened().back());
        QVERIFY(bytes.find("\r\n") != std::string::npos);
        QVERIFY(bytes.find("\xB4\xF2\xBF\xAA") != std::string::npos); // 打开 in GBK
        QVERIFY(bytes.find("dbase 5.0;") != std::string::npos);
    }

    void closingWritesTheConfiguration() {
        w->workspace().Fields.Content = "DA";
        w->close();
        auto ini = testsupport::ReadBytes(home->path() / "config.ini");
        QVERIFY(ini.find("Content=DA") != std::string::npos);
        QVERIFY(ini.find("FullMatch=1") != std::string::npos);
    }
};

int RunMainWindowTest(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "MainWindowTest.moc"
