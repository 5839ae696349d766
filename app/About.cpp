#include "app/About.h"

namespace app {

std::string WindowsName(int platform, int major, int minor, std::uint32_t build) {
    if (platform == 1 && major == 4) {
        if (minor == 0 && build == 950)
            return "Windows95";
        if (minor == 0 && build == 1110)
            return "Windows95OSR2";
        if (minor == 10 && build == 1998)
            return "Windows98";
        if (minor == 10 && build == 2222)
            return "Windows98SE";
        if (minor == 90)
            return "WindowsME";
    }
    if (platform == 2) {
        if (major == 3)
            return "WindowsNT350";
        if (major == 4)
            return "WindowsNT40";
        if (major == 5 && minor == 0)
            return "Windows2000";
        if (major == 5 && minor == 1)
            return "WindowsXP";
        if (major == 5 && minor == 2)
            return "Windows2003";
    }
    return "Windows";
}

std::string WindowsLine(int platform, int major, int minor, std::uint32_t build,
                        const std::string& servicePack) {
    if (platform != 2)
        build &= 0xFFFF;
    std::string pack = servicePack.size() == 1 ? "" : servicePack;
    return WindowsName(platform, major, minor, build) + " " + std::to_string(major) + "." +
           std::to_string(minor) + "." + std::to_string(build) + " " + pack;
}

std::string FreeMemoryText(std::uint64_t bytes) {
    std::string digits = std::to_string(bytes / 1000);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return "可用物理内存: " + grouped + " KB";
}

} // namespace app
