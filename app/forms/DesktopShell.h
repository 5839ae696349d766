#pragma once

#include "platform/os/Shell.h"
#include "platform/text/Encoding.h"

#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>

namespace app::forms {

class TextViewer;

// The desktop's own "open": files, folders and mail links go to the
// user's programs (QDesktopServices).
class DesktopOpener : public os::Shell {
  public:
    void open(const std::string& target) override;
};

// The shell's "open" verb of the window: a text report the program wrote
// (.txt, .log) is shown in the program's own TextViewer, decoded as it was
// written; everything else (workbooks, folders, mail links) goes to
// `outside`. One viewer per file: showing a file again reads it again into
// its viewer and raises it. The viewers are top-level windows without a
// parent, so that the dialogs modal to the main window leave them usable;
// the shell owns them and closes those still open when it goes.
class DesktopShell : public os::Shell {
  public:
    // `outside` (the desktop's opener unless given) must outlive the shell.
    explicit DesktopShell(os::Shell* outside = nullptr);
    ~DesktopShell() override;
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    void open(const std::string& target) override;

    // The encoding reports are written in, asked at every opening (the
    // setting read from config.ini); GBK unless set.
    std::function<text::Encoding()> expectedEncoding;

    // True for what the viewer shows: a .txt or .log file, by its name.
    [[nodiscard]] static bool ShownInViewer(const std::string& target);
    // The open viewer of the file, or null.
    [[nodiscard]] TextViewer* viewerOf(const std::filesystem::path& file) const;

  private:
    DesktopOpener mDesktop;
    os::Shell* mOutside;
    std::map<std::filesystem::path, QPointer<TextViewer>> mViewers;
};

} // namespace app::forms
