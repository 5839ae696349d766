#include "platform/os/Folders.h"

#include "platform/text/Gbk.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace os {
namespace {

std::filesystem::path& Override() {
    static std::filesystem::path folder;
    return folder;
}

} // namespace

void SetProgramFolder(const std::filesystem::path& folder) {
    Override() = folder.empty() ? folder : std::filesystem::absolute(folder).lexically_normal();
}

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path();
    return exe.parent_path();
}

std::filesystem::path ProgramFolder() {
    std::filesystem::path folder = Override();
    if (folder.empty()) {
        if (const char* env = std::getenv("QUILLORY_HOME"); env && *env)
            folder = std::filesystem::absolute(env).lexically_normal();
        else
            folder = ExecutableFolder();
    }
    std::string s = folder.string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string GetTempFolder() {
    std::string folder = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        folder = env;
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::filesystem::path FindFileNoCase(const std::filesystem::path& folder,
                                     const std::string& name) {
    std::error_code ec;
    auto exact = folder / name;
    if (std::filesystem::is_regular_file(exact, ec))
        return exact;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (text::EqualNoCase(entry.path().filename().string(), name) &&
            entry.is_regular_file(ec))
            return entry.path();
    }
    return {};
}

} // namespace os
