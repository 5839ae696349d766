#include "app/forms/DesktopShell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace app::forms {

void DesktopShell::open(const std::string& target) {
    QString t = QString::fromStdString(target);
    if (t.startsWith("mailto:", Qt::CaseInsensitive))
        QDesktopServices::openUrl(QUrl(t.trimmed()));
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(t));
}

} // namespace app::forms
