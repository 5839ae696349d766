#include "scan/Painting.h"

#include "platform/os/Folders.h"

#include <QGuiApplication>

#include <cstdlib>
#include <exception>

namespace scan {

void EnsurePainting() {
    if (QGuiApplication::instance())
        return;
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!display && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Without a desktop session there is no runtime folder; the process's own
    // folder serves, so that Qt has no cause to complain on stderr.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        try {
            setenv("XDG_RUNTIME_DIR", os::ProcessTempFolder().c_str(), 0);
        } catch (const std::exception&) {
            // Qt falls back to a folder of its own and says so.
        }
    }
    static int argc = 1;
    static char name[] = "quillory";
    static char* argv[] = {name, nullptr};
    // Kept for the life of the process, as a program's own application would be.
    new QGuiApplication(argc, argv);
}

} // namespace scan
