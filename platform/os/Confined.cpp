#include "platform/os/Confined.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <stdexcept>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLORY_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUILLORY_UNDER_ASAN 1
#endif

namespace os {
namespace {

bool WriteAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t written = ::write(fd, data, n);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

void SetLimit(int resource, rlim_t value) {
    rlimit limit{value, value};
    ::setrlimit(resource, &limit);
}

// The child's side: limits, the work, its bytes into the pipe, _exit. An
// address-sanitised build reserves terabytes of address space for its
// shadow memory, so there the allocator's own limit stands in for
// RLIMIT_AS.
[[noreturn]] void RunChild(int fd, const std::function<std::string()>& work,
                           const ChildLimits& limits) {
#ifndef QUILLORY_UNDER_ASAN
    SetLimit(RLIMIT_AS, static_cast<rlim_t>(limits.memoryBytes));
#endif
    SetLimit(RLIMIT_CPU, static_cast<rlim_t>(limits.seconds));
    SetLimit(RLIMIT_CORE, 0);
    std::signal(SIGALRM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    ::alarm(limits.seconds);
    int code = 0;
    try {
        const std::string out = work();
        code = WriteAll(fd, out.data(), out.size()) ? 0 : 3;
    } catch (const std::bad_alloc&) {
        code = 2;
    } catch (...) {
        code = 3;
    }
    ::close(fd);
    ::_exit(code);
}

} // namespace

std::optional<std::string> RunConfined(const std::function<std::string()>& work,
                                       const ChildLimits& limits) {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(error));
    }
    if (child == 0) {
        ::close(fds[0]);
        RunChild(fds[1], work, limits);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

} // namespace os
