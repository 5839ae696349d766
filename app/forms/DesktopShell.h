#pragma once

#include "platform/os/Shell.h"

namespace app::forms {

// The shell's "open" verb on the desktop: files and mail links go to the
// user's viewer.
class DesktopShell : public os::Shell {
public:
    void open(const std::string& target) override;
};

} // namespace app::forms
