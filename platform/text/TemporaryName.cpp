#include "platform/text/TemporaryName.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace text {
namespace {

constexpr std::string_view kPrefix = ".q";
constexpr std::string_view kSuffix = ".tmp";
constexpr std::size_t kRandomDigits = 8;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

std::filesystem::path TemporaryBeside(const std::filesystem::path& file) {
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, ".q%ld-%08x.tmp", static_cast<long>(::getpid()),
                  static_cast<unsigned>(random()));
    return file.parent_path() / name;
}

long TemporaryNameOwner(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return 0;
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || name.size() - dash - 1 != kRandomDigits)
        return 0;
    for (char c : name.substr(dash + 1))
        if (!IsHexDigit(c))
            return 0;
    long pid = 0;
    const char* end = name.data() + dash;
    const auto [stop, error] = std::from_chars(name.data(), end, pid);
    return error == std::errc() && stop == end && pid > 0 ? pid : 0;
}

std::size_t NameLimit(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    errno = 0;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

void CheckNameFits(const std::filesystem::path& file) {
    const std::size_t bytes = file.filename().string().size();
    const std::size_t limit = NameLimit(file);
    if (bytes > limit)
        throw std::runtime_error("不能写入文件 " + file.string() + ": 文件名太长（" +
                                 std::to_string(bytes) + " 字节，最多 " + std::to_string(limit) +
                                 " 字节）。");
}

} // namespace text
