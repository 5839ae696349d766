// The dialogs and panels laid out by layouts, shown at twice the normal
// scaling: no caption or button is cut short of the room its text needs,
// and the class-statistics dialog keeps its size.
#include "analysis/forms/RunSummaryDialog.h"
#include "roster/forms/ExamNumberCheckDialog.h"
#include "roster/forms/RosterImportDialog.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/TempHome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Build = std::function<std::unique_ptr<QWidget>(const testsupport::TempHome& home)>;

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
        QTest::newRow("class statistics") << Build([](const testsupport::TempHome&) {
            auto dialog = std::make_unique<stats::forms::ClassStatisticsDialog>(nullptr);
            dialog->split = [](const stats::ClassSettings&) { return stats::ClassSplit{}; };
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("roster import") << Build([](const testsupport::TempHome& home) {
            auto dialog = std::make_unique<roster::forms::RosterImportDialog>(nullptr);
            testsupport::WriteBytes(home / "名单.csv", "考号,姓名,班级\n310101001,甲,1\n");
            dialog->load(home / "名单.csv");
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("exam-number check") << Build([](const testsupport::TempHome&) {
            return std::unique_ptr<QWidget>(
                std::make_unique<roster::forms::ExamNumberCheckDialog>(nullptr));
        });
        QTest::newRow("run summary") << Build([](const testsupport::TempHome& home) {
            auto dialog = std::make_unique<analysis::forms::RunSummaryDialog>(nullptr);
            analysis::forms::RunSummary summary;
            summary.table = "期中考试";
            summary.sheets = 360;
            summary.statistics = home / "统计_期中考试.txt";
            summary.problem = "没有评分结果";
            dialog->fill(summary);
            return std::unique_ptr<QWidget>(std::move(dialog));
        });
        QTest::newRow("answer-key panels") << Build([](const testsupport::TempHome&) {
            auto window = std::make_unique<QWidget>();
            window->resize(820, 200);
            auto* layout = new QVBoxLayout(window.get());
            layout->addWidget(new scoring::forms::AnswerKeyPanels(window.get()));
            layout->addStretch(1);
            return window;
        });
    }

    void nothingIsCutShort() {
        QFETCH(Build, build);
        testsupport::TempHome home;
        std::unique_ptr<QWidget> top = build(home);
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
