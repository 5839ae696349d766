#include "platform/db/DbfWriter.h"

#include "platform/text/Gbk.h"
#include "platform/text/TemporaryName.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace db {
namespace {

[[noreturn]] void CannotWrite(const std::filesystem::path& file, int error) {
    throw std::runtime_error("不能写入文件 " + file.string() + ": " + std::strerror(error));
}

void PutLittle(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The GBK bytes of `text` that fit in `length` without cutting a character.
std::string FitGbk(const std::string& text, int length) {
    std::string gbk = text::ToGbk(text);
    const auto limit = static_cast<std::size_t>(length);
    if (gbk.size() <= limit)
        return gbk;
    std::size_t end = 0;
    while (end < gbk.size()) {
        const auto lead = static_cast<unsigned char>(gbk[end]);
        std::size_t width = 1;
        if (lead >= 0x81 && end + 1 < gbk.size()) {
            const auto second = static_cast<unsigned char>(gbk[end + 1]);
            width = second >= 0x30 && second <= 0x39 ? 4 : 2;
        }
        if (end + width > limit)
            break;
        end += width;
    }
    return gbk.substr(0, end);
}

} // namespace

std::string DbfFieldNameProblem(const std::string& name) {
    if (name.empty())
        return "字段名为空";
    if (name.size() > 10)
        return "字段名 " + name + " 超过10个字节";
    for (char c : name)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return "字段名 " + name + " 含有非ASCII字符或空格";
    return {};
}

DbfTableWriter::DbfTableWriter(const std::filesystem::path& file, std::vector<DbfFieldSpec> fields,
                               unsigned char languageDriver)
    : mFile(file), mFields(std::move(fields)), mLanguageDriver(languageDriver) {
    for (const auto& f : mFields) {
        if (auto problem = DbfFieldNameProblem(f.name); !problem.empty())
            throw std::invalid_argument(problem);
        if ((f.type != 'C' && f.type != 'N') || f.length < 1 || f.length > 254 || f.decimals < 0 ||
            (f.type == 'N' && f.decimals >= f.length))
            throw std::invalid_argument("字段 " + f.name + " 的类型或宽度不能写入dBase表");
        mRecordLength += f.length;
    }
    text::CheckNameFits(mFile);
    for (int attempt = 0; mFd < 0; ++attempt) {
        mTemp = text::TemporaryBeside(mFile);
        mFd = ::open(mTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (mFd < 0 && (errno != EEXIST || attempt == 8))
            CannotWrite(mFile, errno);
    }
    writeHeader();
}

DbfTableWriter::~DbfTableWriter() {
    if (mFd >= 0) {
        ::close(mFd);
        ::unlink(mTemp.c_str());
    }
}

void DbfTableWriter::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(mFd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            CannotWrite(mFile, n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void DbfTableWriter::writeHeader() {
    const std::size_t headerLength = 32 + 32 * mFields.size() + 1;
    std::string header(headerLength, '\0');
    header[0] = 0x03;
    const std::time_t now = std::time(nullptr);
    std::tm day{};
    ::localtime_r(&now, &day);
    header[1] = static_cast<char>(day.tm_year % 100);
    header[2] = static_cast<char>(day.tm_mon + 1);
    header[3] = static_cast<char>(day.tm_mday);
    PutLittle(header, 4, mRecords, 4);
    PutLittle(header, 8, static_cast<std::uint32_t>(headerLength), 2);
    PutLittle(header, 10, static_cast<std::uint32_t>(mRecordLength), 2);
    header[29] = static_cast<char>(mLanguageDriver);
    std::size_t at = 32;
    for (const auto& f : mFields) {
        std::memcpy(&header[at], f.name.data(), f.name.size());
        header[at + 11] = f.type;
        header[at + 16] = static_cast<char>(f.length);
        header[at + 17] = static_cast<char>(f.decimals);
        at += 32;
    }
    header[at] = 0x0D;
    write(header);
}

void DbfTableWriter::append(const std::vector<std::string>& values) {
    std::string record(static_cast<std::size_t>(mRecordLength), ' ');
    std::size_t at = 1;
    for (std::size_t i = 0; i < mFields.size(); ++i) {
        const auto& f = mFields[i];
        const std::string value = i < values.size() ? values[i] : std::string();
        std::string bytes = FitGbk(value, f.length);
        if (f.type == 'N' && !bytes.empty())
            record.replace(at + static_cast<std::size_t>(f.length) - bytes.size(), bytes.size(),
                           bytes);
        else
            record.replace(at, bytes.size(), bytes);
        at += static_cast<std::size_t>(f.length);
    }
    write(record);
    ++mRecords;
}

void DbfTableWriter::commit() {
    write(std::string(1, '\x1A'));
    std::string count(4, '\0');
    PutLittle(count, 0, mRecords, 4);
    int error = 0;
    if (::pwrite(mFd, count.data(), 4, 4) != 4)
        error = errno ? errno : EIO;
    if (!error && ::fsync(mFd) != 0)
        error = errno;
    if (::close(mFd) != 0 && !error)
        error = errno;
    mFd = -1;
    if (!error && ::rename(mTemp.c_str(), mFile.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(mTemp.c_str());
        CannotWrite(mFile, error);
    }
}

} // namespace db
