#include "platform/os/Folders.h"

#include "platform/text/Gbk.h"

#include <cstdlib>
#include <system_error>
#include <pwd.h>
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

FolderCandidates CurrentCandidates() {
    FolderCandidates c;
    c.given = Override();
    if (const char* env = std::getenv("QUILLORY_HOME"))
        c.environment = env;
    c.executable = ExecutableFolder();
    if (const char* data = std::getenv("XDG_DATA_HOME"))
        c.dataHome = data;
    if (const char* home = std::getenv("HOME"); home && *home)
        c.userHome = home;
    else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        c.userHome = user->pw_dir;
    return c;
}

bool CanWriteTo(const std::filesystem::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path UserDataFolder(const std::string& dataHome, const std::string& userHome) {
    std::filesystem::path base = dataHome;
    if (dataHome.empty() || !base.is_absolute())
        base = std::filesystem::path(userHome) / ".local" / "share";
    return base / "quillory";
}

std::filesystem::path ChooseProgramFolder(const FolderCandidates& c,
                                          const std::function<bool(const std::filesystem::path&)>& writable) {
    std::filesystem::path folder = c.given;
    if (folder.empty() && !c.environment.empty())
        folder = std::filesystem::absolute(c.environment).lexically_normal();
    if (folder.empty())
        folder = writable(c.executable) ? c.executable : UserDataFolder(c.dataHome, c.userHome);
    std::string s = folder.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::filesystem::path UseProgramFolder(const FolderCandidates& c,
                                       const std::function<bool(const std::filesystem::path&)>& writable) {
    std::filesystem::path folder = ChooseProgramFolder(c, writable);
    if (c.given.empty() && c.environment.empty() && folder != c.executable) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    return folder;
}

std::filesystem::path ProgramFolder() { return UseProgramFolder(CurrentCandidates()); }

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
