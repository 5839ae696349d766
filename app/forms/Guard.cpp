#include "app/forms/Guard.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <exception>

namespace app::forms {

void ShowError(QWidget* owner, const QString& text) {
    QWidget* window = owner ? owner->window() : nullptr;
    QString title = window ? window->windowTitle() : QString("Quillory");
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, window);
    box.setObjectName("ErrorBox");
    box.exec();
}

bool Guarded(QWidget* owner, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        ShowError(owner, QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(owner, "未知错误。");
    }
    return false;
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace app::forms
