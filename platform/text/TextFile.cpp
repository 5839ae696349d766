#include "platform/text/TextFile.h"

#include "platform/text/Gbk.h"
#include "platform/text/TemporaryName.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace text {
namespace {

[[noreturn]] void CannotWrite(const std::filesystem::path& file, int error) {
    if (error == ENAMETOOLONG)
        CheckNameFits(file); // says so in words when it is the file's own name
    throw std::runtime_error("不能写入文件 " + file.string() + ": " + std::strerror(error));
}

// A new temporary file beside `file`, open for writing; its name in `temp`.
int CreateTemporary(const std::filesystem::path& file, std::filesystem::path& temp) {
    for (int attempt = 0;; ++attempt) {
        temp = TemporaryBeside(file);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 8)
            return fd;
    }
}

// Writes all the bytes to an open descriptor; the errno of a failure, or 0.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace

std::string GbkLines(const std::vector<std::string>& lines) {
    return EncodeLines(lines, Encoding::Gbk);
}

void WriteWhole(const std::filesystem::path& file, std::string_view bytes) {
    CheckNameFits(file);
    std::filesystem::path temp;
    int fd = CreateTemporary(file, temp);
    if (fd < 0)
        CannotWrite(file, errno);
    int error = WriteAll(fd, bytes);
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.c_str(), file.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temp.c_str());
        CannotWrite(file, error);
    }
}

void AppendWhole(const std::filesystem::path& file, std::string_view bytes) {
    LogFile(file).appendBytes(bytes);
}

LogFile::LogFile(const std::filesystem::path& file)
    : mFile(file), mFd(::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)) {
    if (mFd < 0)
        CannotWrite(file, errno);
}

LogFile::~LogFile() {
    if (mFd >= 0)
        ::close(mFd);
}

void LogFile::append(const std::vector<std::string>& lines) {
    appendBytes(GbkLines(lines));
}

void LogFile::appendBytes(std::string_view bytes) {
    if (mFd < 0)
        CannotWrite(mFile, EBADF);
    const int fd = mFd;
    mFd = -1;
    // One write call: an entry that does not fit is cut back off, so that
    // the log never ends in half an entry.
    const off_t before = ::lseek(fd, 0, SEEK_END);
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    int error = n < 0 ? errno : 0;
    if (!error && static_cast<std::size_t>(n) != bytes.size()) {
        error = ENOSPC;
        if (before >= 0 && ::ftruncate(fd, before) != 0)
            error = errno; // the half entry stays: say why it could not go
    }
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error)
        CannotWrite(mFile, error);
}

void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    WriteWhole(file, GbkLines(lines));
}

void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines,
               Encoding encoding) {
    WriteWhole(file, EncodeLines(lines, encoding));
}

void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    AppendWhole(file, GbkLines(lines));
}

std::string LocalTimeNow() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

std::string LogField(std::string_view text) {
    std::string field(text);
    for (char& c : field)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return field;
}

std::vector<std::string> LoadLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("不能读取文件 " + file.string() + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = FromGbk(ss.str());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t nl = all.find('\n', start);
        std::size_t end = nl == std::string::npos ? all.size() : nl;
        std::size_t stop = end;
        if (stop > start && all[stop - 1] == '\r')
            --stop;
        lines.push_back(all.substr(start, stop - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

} // namespace text
