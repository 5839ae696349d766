// "文件 - 设计答题卡...": the dialog opens from the menu, its preview follows
// the settings, refuses what cannot be printed, and "保存PDF" writes the
// PDF and the layout file that the settings describe.
#include "app/forms/MainWindow.h"
#include "scan/Layout.h"
#include "scan/forms/SheetDesignDialog.h"
#include "tests/forms/WindowHarness.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using windowtest::OnNextModal;
using windowtest::Seen;

class SheetDesignTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void opensFromTheFileMenu() {
        Seen seen;
        OnNextModal(
            [](QWidget* dialog) { windowtest::Find<QPushButton>(dialog, "btnClose")->click(); },
            &seen);
        Find<QAction>("nDesignSheet")->trigger();
        QCOMPARE(seen.name, QString("SheetDesignDialog"));
        QCOMPARE(seen.title, QString("设计答题卡"));
    }

    void previewFollowsTheSettingsAndSaveWritesThem() {
        scan::forms::SheetDesignDialog dialog(w.get());
        auto* preview = windowtest::Find<QLabel>(&dialog, "lbPreview");
        auto* save = windowtest::Find<QPushButton>(&dialog, "btnSave");
        QVERIFY(!preview->pixmap().isNull());
        const QImage sixty = preview->pixmap().toImage();

        windowtest::Find<QSpinBox>(&dialog, "seQuestions")->setValue(20);
        QVERIFY(preview->pixmap().toImage() != sixty);

        // More blocks side by side than fit: refused with the limit, nothing to save.
        windowtest::Find<QComboBox>(&dialog, "cbPaper")->setCurrentIndex(0);
        windowtest::Find<QSpinBox>(&dialog, "seOptions")->setValue(6);
        windowtest::Find<QSpinBox>(&dialog, "sePerRow")->setValue(5);
        QVERIFY(!save->isEnabled());
        QVERIFY(windowtest::Find<QLabel>(&dialog, "lbStatus")->text().contains("at most 3"));
        QVERIFY(!dialog.saveTo(home->path()));

        windowtest::Find<QSpinBox>(&dialog, "sePerRow")->setValue(0);
        windowtest::Find<QSpinBox>(&dialog, "seMulti")->setValue(5);
        windowtest::Find<QSpinBox>(&dialog, "sePages")->setValue(2);
        windowtest::Find<QLineEdit>(&dialog, "edId")->setText("期末");
        QVERIFY(save->isEnabled());
        const auto pdf = dialog.saveTo(home->path());
        QVERIFY(pdf);
        QVERIFY(std::filesystem::exists(home->path() / "期末.pdf"));
        const scan::Layout layout = scan::LoadLayout(home->path() / "期末.layout.json");
        QCOMPARE(layout.pages.size(), std::size_t(2));
        QCOMPARE(layout.pages[1].questions.back().number, 25);
        QCOMPARE(layout.pages[1].questions.back().bubbles.size(), std::size_t(4));
        QCOMPARE(layout.pages[0].questions.front().bubbles.size(), std::size_t(6));
    }
};

int RunSheetDesignTest(int argc, char** argv) {
    SheetDesignTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "SheetDesignTest.moc"
