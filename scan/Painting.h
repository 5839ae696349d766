#pragma once

// Painting and fonts need a Qt GUI application. The command line and the
// tools have none: this starts one for the rest of the process, on Qt's
// offscreen platform when there is no display.
namespace scan {

void EnsurePainting();

} // namespace scan
