#include "core/KillPoint.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace core {

void KillPoint(const char* point) {
    const char* wanted = std::getenv("QUILLORY_KILL_AT");
    if (wanted && std::strcmp(wanted, point) == 0)
        std::raise(SIGKILL);
}

} // namespace core
