#include "core/About.h"

namespace core {

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

std::string HomeFolderText(const std::filesystem::path& home) {
    return "数据文件夹: " + home.string();
}

} // namespace core
