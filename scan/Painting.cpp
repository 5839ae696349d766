#include "scan/Painting.h"

#include <QGuiApplication>

#include <cstdlib>

namespace scan {

void EnsurePainting() {
    if (QGuiApplication::instance())
        return;
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!display && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "quillory";
    static char* argv[] = {name, nullptr};
    // Kept for the life of the process, as a program's own application would be.
    new QGuiApplication(argc, argv);
}

} // namespace scan
