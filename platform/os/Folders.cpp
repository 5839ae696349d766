#include "platform/os/Folders.h"

#include "platform/text/Gbk.h"
#include "platform/text/TemporaryName.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
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

std::filesystem::path
ChooseProgramFolder(const FolderCandidates& c,
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

std::filesystem::path
UseProgramFolder(const FolderCandidates& c,
                 const std::function<bool(const std::filesystem::path&)>& writable) {
    std::filesystem::path folder = ChooseProgramFolder(c, writable);
    if (c.given.empty() && c.environment.empty() && folder != c.executable) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    return folder;
}

std::filesystem::path ProgramFolder() {
    return UseProgramFolder(CurrentCandidates());
}

std::string GetTempFolder() {
    std::string folder = "/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        folder = env;
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ProcessTempFolderName(unsigned uid, long pid) {
    return "quillory-" + std::to_string(uid) + "-" + std::to_string(pid);
}

std::filesystem::path ProcessTempFolder() {
    const std::filesystem::path folder =
        std::filesystem::path(GetTempFolder()) / ProcessTempFolderName(::getuid(), ::getpid());
    if (::mkdir(folder.c_str(), 0700) == 0)
        ::chmod(folder.c_str(), 0700); // whatever the umask took away
    else if (errno != EEXIST)
        throw std::runtime_error("不能建立临时文件夹 " + folder.string() + ": " +
                                 std::strerror(errno));
    // lstat: a link planted in its place is not followed.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        throw std::runtime_error("不能建立临时文件夹 " + folder.string() + ": " +
                                 std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        throw std::runtime_error(
            "临时文件夹 " + folder.string() +
            " 已被占用：那里是一个文件或链接，不是文件夹。报表没有写入；请删除它后再试。");
    if (st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        throw std::runtime_error("临时文件夹 " + folder.string() +
                                 " 属于其他用户或允许其他用户进入。报表没有写入；请删除它后再试。");
    return folder;
}

namespace {

constexpr std::time_t kStaleAfter = 24 * 60 * 60;

// The process id in the name of one of this user's folders, or 0.
long PidOfOwnFolder(const std::string& name) {
    const std::string prefix = "quillory-" + std::to_string(::getuid()) + "-";
    if (!name.starts_with(prefix) || name.size() == prefix.size())
        return 0;
    long pid = 0;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(name.data() + prefix.size(), last, pid);
    return error == std::errc() && end == last && pid > 0 ? pid : 0;
}

// True unless the system says that no process has this id.
bool ProcessMayLive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

} // namespace

void RemoveStaleProcessTempFolders() {
    const std::filesystem::path temp = GetTempFolder();
    const std::time_t now = std::time(nullptr);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(temp, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& folder = it->path();
        const long pid = PidOfOwnFolder(folder.filename().string());
        if (pid == 0 || pid == ::getpid())
            continue;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        if (now - st.st_mtime <= kStaleAfter || ProcessMayLive(pid))
            continue;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

namespace {

// The process id of an earlier version's temporary file, ".<name>.<pid>.tmp";
// 0 for any other name.
long PidOfEarlierTemporary(const std::string& name) {
    constexpr std::string_view suffix = ".tmp";
    if (name.size() < 2 || name.front() != '.' || !name.ends_with(suffix))
        return 0;
    const std::string_view stem(name.data(), name.size() - suffix.size());
    const std::size_t dot = stem.rfind('.');
    if (dot == std::string_view::npos || dot < 2)
        return 0;
    long pid = 0;
    const char* last = stem.data() + stem.size();
    const auto [end, error] = std::from_chars(stem.data() + dot + 1, last, pid);
    return error == std::errc() && end == last && pid > 0 ? pid : 0;
}

// The results workbook of an earlier version, under its temporary name.
bool IsEarlierWorkbookPart(const std::string& name) {
    return name.starts_with("成绩分析_") && name.ends_with(".xlsx.part");
}

} // namespace

void RemoveStaleTemporaryFiles(const std::filesystem::path& folder) {
    const std::time_t now = std::time(nullptr);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& file = it->path();
        const std::string name = file.filename().string();
        long pid = text::TemporaryNameOwner(name);
        if (pid == 0)
            pid = PidOfEarlierTemporary(name);
        if (pid == 0 ? !IsEarlierWorkbookPart(name) : pid == ::getpid())
            continue;
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
            continue;
        if (pid == 0 ? now - st.st_mtime <= kStaleAfter : ProcessMayLive(pid))
            continue;
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
}

std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, const std::string& name) {
    std::error_code ec;
    auto exact = folder / name;
    if (std::filesystem::is_regular_file(exact, ec))
        return exact;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (text::EqualNoCase(entry.path().filename().string(), name) && entry.is_regular_file(ec))
            return entry.path();
    }
    return {};
}

} // namespace os
