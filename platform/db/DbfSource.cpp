#include "platform/db/DbfSource.h"

#include "platform/db/Error.h"
#include "platform/text/Gbk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {
namespace {

class FileSource : public DbfSource {
  public:
    FileSource(int fd, std::uint64_t size, std::string name)
        : mFd(fd), mSize(size), mName(std::move(name)) {}
    ~FileSource() override { ::close(mFd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return mSize; }
    void read(std::uint64_t offset, void* buffer, std::size_t n) const override {
        auto* p = static_cast<char*>(buffer);
        while (n > 0) {
            ssize_t r = ::pread(mFd, p, n, static_cast<off_t>(offset));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                throw Error("不能读取文件 " + mName + ": " +
                            (r < 0 ? std::strerror(errno) : "文件比预期短"));
            p += r;
            n -= static_cast<std::size_t>(r);
            offset += static_cast<std::uint64_t>(r);
        }
    }

  private:
    int mFd;
    std::uint64_t mSize;
    std::string mName;
};

class BytesSource : public DbfSource {
  public:
    explicit BytesSource(std::string bytes) : mBytes(std::move(bytes)) {}
    std::uint64_t size() const override { return mBytes.size(); }
    void read(std::uint64_t offset, void* buffer, std::size_t n) const override {
        if (offset > mBytes.size() || n > mBytes.size() - offset)
            throw Error("读取超出数据末尾");
        std::memcpy(buffer, mBytes.data() + offset, n);
    }

  private:
    std::string mBytes;
};

// What a path that is no regular file is, in the words of the error.
std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "是一个文件夹，不是数据表文件";
    if (S_ISFIFO(mode))
        return "是一个管道 (FIFO)，不是数据表文件";
    if (S_ISSOCK(mode))
        return "是一个套接字，不是数据表文件";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "是一个设备，不是数据表文件";
    return "不是普通文件";
}

[[noreturn]] void CannotOpen(const std::filesystem::path& file, int error) {
    const std::string name = file.string();
    if (error == ELOOP)
        throw Error("不能打开文件 " + name + ": 它是循环的符号链接，指不到任何文件");
    struct stat link {};
    if (error == ENOENT && ::lstat(file.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        throw Error("不能打开文件 " + name + ": 它是符号链接，指向的文件不存在");
    if (error == ENOENT)
        throw Error("找不到文件 " + name);
    throw Error("不能打开文件 " + name + ": " + std::strerror(error));
}

} // namespace

std::unique_ptr<DbfSource> OpenFileSource(const std::filesystem::path& file) {
    // O_NONBLOCK: a pipe must not wait for a writer; it is refused below.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        CannotOpen(file, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        throw Error("不能读取文件 " + file.string() + ": " + std::strerror(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error("不能打开 " + file.string() + ": 它" + KindOf(st.st_mode));
    }
    return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(st.st_size), file.string());
}

std::unique_ptr<DbfSource> MemorySource(std::string bytes) {
    return std::make_unique<BytesSource>(std::move(bytes));
}

std::filesystem::path FindEntryNoCase(const std::filesystem::path& folder,
                                      const std::string& name) {
    auto exact = folder / name;
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0)
        return exact;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (text::EqualNoCase(entry.path().filename().string(), name))
            return entry.path();
    }
    return {};
}

} // namespace db
