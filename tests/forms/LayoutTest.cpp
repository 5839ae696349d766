// The main window and its dialogs at twice the scale, as on a high-density
// screen with the window's Chinese texts: every dialog keeps the size it was
// drawn at and grows only where its texts need more room, and no label or
// button is narrower or lower than its text.
#include "app/forms/AboutBox.h"
#include "app/forms/ElidedLabel.h"
#include "app/forms/FieldSettingsDialog.h"
#include "app/forms/SqlDialog.h"

#include "tests/forms/WindowHarness.h"
#include "tests/support/AnswerTables.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QtTest>

#include <memory>

namespace {

// Fails on the first visible widget that reaches out of `root`, and on the
// first visible label or button whose text needs more room than it has. A
// label that shortens its text in the middle is made to.
void CheckTextsFit(QWidget* root) {
    for (auto* child : root->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(root) || child->isWindow())
            continue;
        const QRect place(child->mapTo(root, QPoint(0, 0)), child->size());
        QVERIFY2(root->rect().contains(place), qPrintable(child->objectName() + " reaches out"));
    }
    QList<QWidget*> shown;
    for (auto* label : root->findChildren<QLabel*>())
        if (!qobject_cast<app::forms::ElidedLabel*>(label) && !label->wordWrap() &&
            !label->text().isEmpty())
            shown << label;
    for (auto* button : root->findChildren<QAbstractButton*>())
        if (!button->text().isEmpty())
            shown << button;
    for (QWidget* widget : shown) {
        if (!widget->isVisibleTo(root))
            continue;
        const QSize needed = widget->sizeHint();
        QVERIFY2(needed.width() <= widget->width() && needed.height() <= widget->height(),
                 qPrintable(QString("%1 needs %2x%3, has %4x%5")
                                .arg(widget->objectName())
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(widget->width())
                                .arg(widget->height())));
    }
}

} // namespace

class LayoutTest : public QObject, windowtest::WindowHarness {
    Q_OBJECT

  private:
    // The dialog of that name made anew, owned by `parent`.
    QDialog* makeDialog(const QString& name, QWidget* parent) {
        if (name == "TFormSetField")
            return new app::forms::FieldSettingsDialog(parent, mFields, &mFieldNamesItem);
        if (name == "TFormSql")
            return new app::forms::SqlDialog(parent);
        return new app::forms::AboutBox(parent, shell);
    }

    core::FieldSettings mFields;
    QAction mFieldNamesItem;

  private slots:
    void init() {
        makeHome();
        openWindow();
    }

    void cleanup() { closeWindow(); }

    void dialogs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("designed");
        QTest::newRow("field names") << "TFormSetField" << QSize(242, 187);
        QTest::newRow("custom SQL") << "TFormSql" << QSize(346, 183);
        QTest::newRow("about") << "TAboutBox" << QSize(316, 236);
    }

    // In the program's font each dialog has the size it was drawn at.
    void dialogs() {
        QFETCH(QString, name);
        QFETCH(QSize, designed);
        std::unique_ptr<QDialog> dialog(makeDialog(name, w.get()));
        QCOMPARE(dialog->objectName(), name);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QCOMPARE(dialog->size(), designed);
        CheckTextsFit(dialog.get());
    }

    void dialogsInALargerFont_data() { dialogs_data(); }

    // Twice the dialog's font: the dialog grows, and still shows every text whole.
    void dialogsInALargerFont() {
        QFETCH(QString, name);
        QFETCH(QSize, designed);
        std::unique_ptr<QDialog> dialog(makeDialog(name, w.get()));
        QFont large = dialog->font();
        if (large.pixelSize() > 0)
            large.setPixelSize(2 * large.pixelSize());
        else
            large.setPointSizeF(2 * large.pointSizeF());
        dialog->setFont(large);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QVERIFY(dialog->width() >= designed.width());
        QVERIFY(dialog->height() > designed.height());
        CheckTextsFit(dialog.get());
    }

    // The status bar, the converter's bar and the menus of the window with a table open.
    void mainWindowWithATable() {
        const auto table = home->path() / "t1.dbf";
        testsupport::WriteAnswers(table, testsupport::Sheets(400, 60), 'N');
        w->openAnswerTable(QString::fromStdString(table.string()));
        QCOMPARE(Find<QLabel>("StatusPanel1")->text(), QString("记录数:400  题目数:60"));
        QCOMPARE(w->minimumSize(), QSize(540, 516));
        for (const char* part : {"StatusBar1", "Panel1"})
            CheckTextsFit(Find<QWidget>(part));
        QCOMPARE(Find<QWidget>("StatusPanel0")->width(), 200);
        QCOMPARE(Find<QWidget>("StatusPanel2")->width(), 100);
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    LayoutTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "LayoutTest.moc"
