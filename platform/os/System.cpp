#include "platform/os/System.h"

#include <fstream>
#include <sstream>
#include <sys/utsname.h>

namespace os {

std::string SystemName() {
    utsname u{};
    if (uname(&u) != 0)
        return "Linux";
    return std::string(u.sysname) + " " + u.release;
}

std::uint64_t AvailableMemory() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t value = 0;
    std::string unit;
    while (in >> key >> value) {
        std::getline(in, unit);
        if (key == "MemAvailable:")
            return value * 1024;
    }
    return 0;
}

} // namespace os
