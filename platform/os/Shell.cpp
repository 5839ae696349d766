#include "platform/os/Shell.h"

#include <cstdio>

namespace os {

void PrintingShell::open(const std::string& target) {
    std::printf("wrote %s\n", target.c_str());
    std::fflush(stdout);
}

} // namespace os
