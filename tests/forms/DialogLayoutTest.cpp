// The dialogs and panels laid out by layouts, shown at twice the normal
// scaling: no caption or button is cut short of the room its text needs,
// and the class-statistics dialog keeps its size.
#include "analysis/forms/RunSummaryDialog.h"
#include "core/Workspace.h"
#include "platform/text/TextFile.h"
#include "roster/forms/ExamNumberCheckDialog.h"
#include "roster/forms/RosterImportDialog.h"
#include "scan/Layout.h"
#include "scan/Review.h"
#include "scan/ScanCommand.h"
#include "scan/SheetDesign.h"
#include "scan/forms/ReviewDialog.h"
#include "scan/forms/ScanDialog.h"
#include "scan/forms/SheetDesignDialog.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>
#include <random>

namespace {

namespace fs = std::filesystem;

// Where a dialog is built: a temporary home, and for the scan's dialogs a
// workspace in it, a Ui that answers No and a scan's review.
struct Scene {
    testsupport::TempHome home;
    testsupport::ScriptedUi ui;
    std::optional<core::Workspace> ws;
    std::optional<scan::Review> review;

    core::Workspace& workspace() {
        if (!ws)
            ws.emplace(home.path());
        return *ws;
    }

    // A scan of one sheet whose marks are spoilt, so that its page waits to
    // be placed by hand; the table it wrote.
    fs::path scanSpoiltSheet() {
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        const scan::Layout layout = scan::DesignSheet(design);
        const fs::path layoutFile = home / "exam.layout.json";
        text::WriteWhole(layoutFile, scan::LayoutJson(layout));
        const fs::path scans = home / "scans";
        fs::create_directories(scans);
        constexpr double dpi = 150;
        std::mt19937 random(5);
        const QImage page =
            tools::FilledPage(layout, 0, dpi, {{1, 0, "B", tools::FillKind::Solid}}, random);
        tools::SpoilMarks(page, layout.pages[0], dpi)
            .save(QString::fromStdString((scans / "1.png").string()));
        scan::ScanSettings s;
        s.inputs = {scans};
        s.layout = layoutFile;
        s.out = home / "期中.dbf";
        (void)scan::RunScan(workspace(), s, ui);
        return s.out;
    }
};

using Build = std::function<std::unique_ptr<QWidget>(Scene& scene)>;

// The captions and buttons of `top` narrower or lower than their texts need.
QStringList CutShort(QWidget* top) {
    QStringList cut;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(top))
            continue;
        const auto* label = qobject_cast<QLabel*>(w);
        if (!label && !qobject_cast<QAbstractButton*>(w))
            continue;
        if (label && label->text().isEmpty())
            continue;
        const QSize hint = w->sizeHint();
        const int height =
            label && label->wordWrap() ? label->heightForWidth(w->width()) : hint.height();
        const bool narrow = !(label && label->wordWrap()) && w->width() < hint.width();
        if (narrow || w->height() < height)
            cut << QString("%1 %2x%3 needs %4x%5")
                       .arg(w->objectName())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(hint.width())
                       .arg(height);
    }
    return cut;
}

} // namespace

Q_DECLARE_METATYPE(Build)

class DialogLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void nothingIsCutShort_data() {
        QTest::addColumn<Build>("build");
        QTest::newRow("class statistics") << Build([](Scene&) {
            auto dialog = std::make_unique<stats::forms::ClassStatisticsDialog>(nullptr);
            dialog->split = [](const stats::ClassSettings&) { return stats::ClassSplit{}; };
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("roster import") << Build([](Scene& scene) {
            auto dialog = std::make_unique<roster::forms::RosterImportDialog>(nullptr);
            testsupport::WriteBytes(scene.home / "名单.csv", "考号,姓名,班级\n310101001,甲,1\n");
            dialog->load(scene.home / "名单.csv");
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("exam-number check") << Build([](Scene&) {
            return std::unique_ptr<QWidget>(
                std::make_unique<roster::forms::ExamNumberCheckDialog>(nullptr));
        });
        QTest::newRow("run summary") << Build([](Scene& scene) {
            auto dialog = std::make_unique<analysis::forms::RunSummaryDialog>(nullptr);
            analysis::forms::RunSummary summary;
            summary.table = "期中考试";
            summary.sheets = 360;
            summary.statistics = scene.home / "统计_期中考试.txt";
            summary.problem = "没有评分结果";
            dialog->fill(summary);
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("answer-key panels") << Build([](Scene&) {
            auto window = std::make_unique<QWidget>();
            window->resize(820, 200);
            auto* layout = new QVBoxLayout(window.get());
            layout->addWidget(new scoring::forms::AnswerKeyPanels(window.get()));
            layout->addStretch(1);
            return window;
        });
        QTest::newRow("answer-sheet design") << Build([](Scene&) {
            return std::unique_ptr<QWidget>(
                std::make_unique<scan::forms::SheetDesignDialog>(nullptr));
        });
        // A bubble template chosen: the exam number's label is offered too.
        QTest::newRow("scan") << Build([](Scene& scene) {
            auto dialog =
                std::make_unique<scan::forms::ScanDialog>(nullptr, scene.workspace(), scene.ui);
            const fs::path templateFile = scene.home / "template.json";
            text::WriteWhole(templateFile, R"({"pageDimensions": [400, 500],
                "bubbleDimensions": [20, 20], "fieldBlocks": {},
                "customLabels": {"Roll": ["roll1..3"]}})");
            dialog->addInputs({QString::fromStdString((scene.home / "scans").string())});
            dialog->setLayoutFile(QString::fromStdString(templateFile.string()));
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("scan review") << Build([](Scene& scene) {
            return std::unique_ptr<QWidget>(std::make_unique<scan::forms::ReviewDialog>(
                nullptr, scene.workspace(), scene.ui, scene.scanSpoiltSheet()));
        });
        // The page not placed: the corner marks to click, and "重新点击".
        QTest::newRow("whole page") << Build([](Scene& scene) {
            scan::Review& review = scene.review.emplace(scene.workspace(), scene.scanSpoiltSheet());
            return std::unique_ptr<QWidget>(std::make_unique<scan::forms::WholePageView>(
                nullptr, review, 0, review.wholePage(0)));
        });
    }

    void nothingIsCutShort() {
        QFETCH(Build, build);
        Scene scene;
        std::unique_ptr<QWidget> top = build(scene);
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top.get()));
        const QStringList cut = CutShort(top.get());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
    }

    void classStatisticsKeepsItsSize() {
        stats::forms::ClassStatisticsDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(545, 408));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize()); // the user cannot resize it
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    DialogLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DialogLayoutTest.moc"
