#include "app/forms/DialogSize.h"

#include <QDialog>
#include <QEvent>

namespace app::forms {
namespace {

// Refits its dialog when the dialog is shown, its font changes or its
// layout asks for room again (a text changed).
class DesignedSize : public QObject {
  public:
    DesignedSize(QDialog* dialog, QSize designed) : QObject(dialog), mDesigned(designed) {
        fit(dialog);
        dialog->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::FontChange || type == QEvent::StyleChange ||
            type == QEvent::LayoutRequest)
            fit(static_cast<QDialog*>(watched));
        return false;
    }

  private:
    void fit(QDialog* dialog) const {
        dialog->setFixedSize(
            mDesigned.expandedTo(dialog->sizeHint()).expandedTo(dialog->minimumSizeHint()));
    }

    QSize mDesigned;
};

} // namespace

void FixDesignedSize(QDialog* dialog, QSize designed) {
    new DesignedSize(dialog, designed);
}

} // namespace app::forms
