#include "app/forms/DesktopShell.h"

#include "app/forms/TextViewer.h"
#include "platform/text/Gbk.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace app::forms {

void DesktopOpener::open(const std::string& target) {
    QString t = QString::fromStdString(target);
    if (t.startsWith("mailto:", Qt::CaseInsensitive))
        QDesktopServices::openUrl(QUrl(t.trimmed()));
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(t));
}

DesktopShell::DesktopShell(os::Shell* outside) : mOutside(outside ? outside : &mDesktop) {}

DesktopShell::~DesktopShell() {
    for (auto& [file, viewer] : mViewers)
        delete viewer.data();
}

bool DesktopShell::ShownInViewer(const std::string& target) {
    const std::string lower = text::Lower(target);
    if (lower.starts_with("mailto:"))
        return false;
    const std::string extension = text::Lower(std::filesystem::path(target).extension().string());
    return extension == ".txt" || extension == ".log";
}

TextViewer* DesktopShell::viewerOf(const std::filesystem::path& file) const {
    auto it = mViewers.find(file.lexically_normal());
    return it == mViewers.end() ? nullptr : it->second.data();
}

void DesktopShell::open(const std::string& target) {
    if (!ShownInViewer(target)) {
        mOutside->open(target);
        return;
    }
    const std::filesystem::path file = std::filesystem::path(target).lexically_normal();
    QPointer<TextViewer>& viewer = mViewers[file];
    if (!viewer)
        viewer = new TextViewer(*mOutside);
    viewer->showFile(file, expectedEncoding ? expectedEncoding() : text::Encoding::Gbk);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace app::forms
