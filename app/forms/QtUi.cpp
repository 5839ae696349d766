#include "app/forms/QtUi.h"

#include <QApplication>
#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

namespace app::forms {
namespace {

// The system's texts break lines with a carriage return.
QString Shown(const std::string& text) {
    return QString::fromStdString(text).replace("\r\n", "\n").replace('\r', '\n');
}

} // namespace

void QtUi::message(const std::string& text, const std::string& title, core::Icon icon) {
    QMessageBox::Icon i = icon == core::Icon::Error     ? QMessageBox::Critical
                          : icon == core::Icon::Warning ? QMessageBox::Warning
                                                        : QMessageBox::Information;
    QMessageBox box(i, QString::fromStdString(title), Shown(text), QMessageBox::Ok, mOwner);
    box.setObjectName("MessageBox");
    box.exec();
}

bool QtUi::question(const std::string& text, const std::string& title, core::GoOn goOn) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), Shown(text),
                    QMessageBox::Yes | QMessageBox::No, mOwner);
    box.setObjectName("QuestionBox");
    // Enter gives the default: No keeps what a replacement would drop; every
    // other question's Yes is what its GoOn makes the default (stop for
    // WithNo, go on for WithYes).
    box.setDefaultButton(goOn == core::GoOn::Replace && !replaceByDefault ? QMessageBox::No
                                                                          : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtUi::input(const std::string& caption, const std::string& prompt,
                                       const std::string& value) {
    QInputDialog dialog(mOwner);
    dialog.setObjectName("InputBox");
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setTextValue(QString::fromStdString(value));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

bool QtUi::editFieldNames(core::FieldSettings& fields) {
    return fieldDialog && fieldDialog(fields);
}

void QtUi::waiting(const std::string& text) {
    progress(text, 0, -1);
    // The busy bar shows no text: the status bar says why nothing moves.
    if (mBar)
        if (auto* bar = qobject_cast<QStatusBar*>(mBar->parentWidget()))
            bar->showMessage(QString::fromStdString(text), 5000);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUi::progress(const std::string& what, long long done, long long total) {
    if (!mBar)
        return;
    if (total == 0) {
        mBar->hide();
        return;
    }
    if (!mBar->isVisible()) {
        mBar->show();
        mSincePaint.invalidate();
    }
    mBar->setFormat(QString::fromStdString(what) + (total > 0 ? " %p%" : ""));
    if (total < 0) {
        mBar->setRange(0, 0);
    } else {
        mBar->setRange(0, 1000);
        mBar->setValue(static_cast<int>(done * 1000 / total));
    }
    if (!mSincePaint.isValid() || mSincePaint.elapsed() > 50) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        mSincePaint.restart();
    }
}

} // namespace app::forms
