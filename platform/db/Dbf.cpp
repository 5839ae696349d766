#include "platform/db/Dbf.h"

#include "platform/db/Error.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace db {
namespace {

class FileSource : public DbfSource {
public:
    FileSource(int fd, std::uint64_t size, std::string name)
        : mFd(fd), mSize(size), mName(std::move(name)) {}
    ~FileSource() override { ::close(mFd); }
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

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The language driver byte of the header names the code page.
const char* CodePageOf(unsigned char driver) {
    switch (driver) {
    case 0x01: return "CP437";
    case 0x02: return "CP850";
    case 0x03: case 0x57: case 0x58: case 0x59: return "CP1252";
    case 0x64: return "CP852";
    case 0x65: return "CP866";
    case 0x66: return "CP865";
    case 0x7B: case 0x13: return "CP932";
    case 0x78: return "BIG5";
    case 0x79: return "CP949";
    case 0xC8: return "CP1250";
    case 0xC9: return "CP1251";
    case 0xCB: return "CP1253";
    case 0xCA: return "CP1254";
    default: return "GBK"; // 0x4D, 0x7A and none
    }
}

bool KnownVersion(unsigned char v) {
    switch (v) {
    case 0x02: case 0x03: case 0x30: case 0x31: case 0x32: case 0x43: case 0x63:
    case 0x83: case 0x8B: case 0xCB: case 0xE5: case 0xF5: case 0xFB:
        return true;
    default:
        return false;
    }
}

std::string Trimmed(const char* p, int n) {
    int b = 0, e = n;
    while (b < e && (p[b] == ' ' || p[b] == '\0'))
        ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\0'))
        --e;
    return std::string(p + b, static_cast<std::size_t>(e - b));
}

// Civil date from a Julian day number (FoxPro DateTime).
void CivilFromJulian(long jd, int& y, int& m, int& d) {
    long a = jd + 32044;
    long b = (4 * a + 3) / 146097;
    long c = a - 146097 * b / 4;
    long dd = (4 * c + 3) / 1461;
    long e = c - 1461 * dd / 4;
    long mm = (5 * e + 2) / 153;
    d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
    m = static_cast<int>(mm + 3 - 12 * (mm / 10));
    y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

Value ParseNumber(const std::string& s, bool integer) {
    if (s.empty())
        return std::monostate{};
    const char* b = s.c_str();
    char* end = nullptr;
    errno = 0;
    if (integer) {
        long long v = std::strtoll(b, &end, 10);
        if (end == b || *end != '\0' || errno == ERANGE)
            return std::monostate{};
        return static_cast<std::int64_t>(v);
    }
    double v = std::strtod(b, &end);
    if (end == b || *end != '\0' || !std::isfinite(v))
        return std::monostate{};
    return v;
}

constexpr std::size_t kMaxMemo = 64u << 20;

} // namespace

std::unique_ptr<DbfSource> OpenFileSource(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error("不能打开文件 " + file.string() + ": " + std::strerror(errno));
    off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0) {
        int e = errno;
        ::close(fd);
        throw Error("不能读取文件 " + file.string() + ": " + std::strerror(e));
    }
    return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(size), file.string());
}

std::unique_ptr<DbfSource> MemorySource(std::string bytes) {
    return std::make_unique<BytesSource>(std::move(bytes));
}

std::string DbfField::declaredType() const {
    switch (type) {
    case 'C': return "VARCHAR(" + std::to_string(length) + ")";
    case 'N': return decimals == 0 && length <= 9 ? "INTEGER" : "DOUBLE";
    case 'F': case 'B': return "DOUBLE";
    case 'I': return "INTEGER";
    case 'Y': return "CURRENCY";
    case 'D': return "DATE";
    case 'T': return "DATETIME";
    case 'L': return "BIT";
    // MEMO's synonym LONGTEXT, so that SQLite keeps memo values as text.
    case 'M': return "LONGTEXT";
    default: return "VARCHAR(" + std::to_string(length) + ")";
    }
}

std::unique_ptr<Dbf> Dbf::OpenTable(const std::filesystem::path& folder,
                                    const std::string& tableName) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        throw Error("找不到文件夹 " + folder.string());
    auto file = os::FindFileNoCase(folder, tableName + ".dbf");
    if (file.empty())
        throw Error("找不到数据表文件 " + (folder / (tableName + ".dbf")).string());
    return std::make_unique<Dbf>(file);
}

Dbf::Dbf(const std::filesystem::path& file)
    : mSource(OpenFileSource(file)), mName(file.string()), mFile(file) {
    parseHeader();
}

Dbf::Dbf(std::unique_ptr<DbfSource> source, std::string displayName)
    : mSource(std::move(source)), mName(std::move(displayName)) {
    parseHeader();
}

Dbf::~Dbf() = default;

void Dbf::damaged(const std::string& what) const {
    throw Error("数据表文件已损坏: " + mName + ": " + what);
}

void Dbf::parseHeader() {
    const std::uint64_t fileSize = mSource->size();
    if (fileSize < 32)
        damaged("文件只有 " + std::to_string(fileSize) + " 字节，放不下 32 字节的文件头");
    unsigned char h[32];
    mSource->read(0, h, 32);
    mVersion = h[0];
    if (mVersion == 0x04 || mVersion == 0x8C)
        throw Error("不支持 dBase 7 格式的数据表: " + mName);
    if (!KnownVersion(mVersion)) {
        char v[8];
        std::snprintf(v, sizeof v, "0x%02X", mVersion);
        damaged(std::string("不是 dBase 数据表 (版本字节 ") + v + ")");
    }
    mRecordCount = Le32(h + 4);
    mHeaderLength = Le16(h + 8);
    mRecordLength = Le16(h + 10);
    mCodePage = CodePageOf(h[29]);
    if (mHeaderLength < 33)
        damaged("文件头长度 " + std::to_string(mHeaderLength) + " 太小");
    if (static_cast<std::uint64_t>(mHeaderLength) > fileSize)
        damaged("文件头长度 " + std::to_string(mHeaderLength) + " 超出文件大小 " +
                std::to_string(fileSize));
    if (mRecordLength < 1)
        damaged("记录长度为 0");

    std::string header(static_cast<std::size_t>(mHeaderLength), '\0');
    mSource->read(0, header.data(), header.size());
    const auto* hp = reinterpret_cast<const unsigned char*>(header.data());

    int offset = 1;
    std::size_t pos = 32;
    bool terminated = false;
    while (pos < header.size()) {
        if (hp[pos] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + 32 > header.size())
            damaged("字段描述超出文件头 (文件头长度 " + std::to_string(mHeaderLength) + ")");
        const unsigned char* d = hp + pos;
        DbfField f;
        std::size_t nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        f.name = text::ToUtf8(text::Trim(std::string_view(reinterpret_cast<const char*>(d), nameLen)),
                              mCodePage);
        f.type = static_cast<char>(std::toupper(d[11]));
        f.length = d[16];
        f.decimals = d[17];
        f.offset = offset;
        if (f.name.empty())
            damaged("第 " + std::to_string(mFields.size() + 1) + " 个字段没有名字");
        if (f.length == 0)
            damaged("字段 " + f.name + " 的长度为 0");
        auto need = [&](int len) {
            if (f.length != len)
                damaged("字段 " + f.name + " (类型 " + f.type + ") 的长度应为 " +
                        std::to_string(len) + "，实为 " + std::to_string(f.length));
        };
        if (f.type == 'I')
            need(4);
        else if (f.type == 'Y' || f.type == 'T')
            need(8);
        offset += f.length;
        mFields.push_back(std::move(f));
        pos += 32;
    }
    if (!terminated)
        damaged(pos >= fileSize ? "字段描述超出文件末尾" : "字段描述没有结束符 (0x0D)");
    if (mFields.empty())
        damaged("没有字段");
    if (offset != mRecordLength)
        damaged("记录长度 " + std::to_string(mRecordLength) + " 与字段长度之和 " +
                std::to_string(offset) + " 不符");
    std::uint64_t need = static_cast<std::uint64_t>(mHeaderLength) +
                         static_cast<std::uint64_t>(mRecordCount) * mRecordLength;
    if (need > fileSize)
        damaged("文件头声明 " + std::to_string(mRecordCount) + " 条记录，需要 " +
                std::to_string(need) + " 字节，文件只有 " + std::to_string(fileSize) + " 字节");
    // The FoxPro null-flags field is the table's own bookkeeping, not a column.
    std::erase_if(mFields, [](const DbfField& f) { return f.type == '0'; });
    if (mFields.empty())
        damaged("没有字段");
}

bool Dbf::readRecord(std::uint32_t index, std::string& buffer) const {
    if (index >= mRecordCount)
        throw Error("记录号超出范围: " + mName);
    if (index < mBlockFirst || index >= mBlockFirst + mBlockCount) {
        constexpr std::size_t kBlockBytes = 256 * 1024;
        std::uint32_t count =
            static_cast<std::uint32_t>(std::max<std::size_t>(1, kBlockBytes / mRecordLength));
        count = std::min(count, mRecordCount - index);
        mBlock.resize(static_cast<std::size_t>(count) * mRecordLength);
        mSource->read(static_cast<std::uint64_t>(mHeaderLength) +
                          static_cast<std::uint64_t>(index) * mRecordLength,
                      mBlock.data(), mBlock.size());
        mBlockFirst = index;
        mBlockCount = count;
    }
    buffer.assign(mBlock, static_cast<std::size_t>(index - mBlockFirst) * mRecordLength,
                  static_cast<std::size_t>(mRecordLength));
    return buffer[0] != '*';
}

Value Dbf::value(const std::string& record, std::size_t fi) const {
    const DbfField& f = mFields.at(fi);
    const char* p = record.data() + f.offset;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    switch (f.type) {
    case 'N':
    case 'F':
        return ParseNumber(Trimmed(p, f.length), f.type == 'N' && f.decimals == 0 && f.length <= 9);
    case 'I':
        return static_cast<std::int64_t>(static_cast<std::int32_t>(Le32(u)));
    case 'B':
        if (f.length == 8) {
            double d;
            std::memcpy(&d, p, 8);
            if (!std::isfinite(d))
                return std::monostate{};
            return d;
        }
        return ParseNumber(Trimmed(p, f.length), false);
    case 'Y': {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        return static_cast<double>(v) / 10000.0;
    }
    case 'D': {
        std::string s = Trimmed(p, f.length);
        if (s.size() != 8)
            return std::monostate{};
        for (char c : s)
            if (c < '0' || c > '9')
                return std::monostate{};
        return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
    }
    case 'T': {
        long jd = static_cast<std::int32_t>(Le32(u));
        long ms = static_cast<std::int32_t>(Le32(u + 4));
        if (jd <= 0 || ms < 0 || ms >= 86400000L)
            return std::monostate{};
        int y, m, d;
        CivilFromJulian(jd, y, m, d);
        long secs = ms / 1000;
        char buf[40];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02ld:%02ld:%02ld", y, m, d, secs / 3600,
                      (secs / 60) % 60, secs % 60);
        return std::string(buf);
    }
    case 'L':
        switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y': return std::int64_t{1};
        case 'F': case 'f': case 'N': case 'n': return std::int64_t{0};
        default: return std::monostate{};
        }
    case 'M': {
        std::string pointer = f.length == 4 ? std::string(p, 4) : Trimmed(p, f.length);
        if (f.length == 4 ? Le32(u) == 0 : pointer.empty())
            return std::monostate{};
        return memo(pointer);
    }
    default: { // C and any other kind: text, trailing blanks trimmed
        std::string_view raw(p, static_cast<std::size_t>(f.length));
        std::size_t e = raw.size();
        while (e > 0 && (raw[e - 1] == ' ' || raw[e - 1] == '\0'))
            --e;
        return text::ToUtf8(raw.substr(0, e), mCodePage);
    }
    }
}

std::string Dbf::memo(const std::string& pointer) const {
    if (!mMemoLooked) {
        mMemoLooked = true;
        if (!mFile.empty()) {
            std::string base = mFile.stem().string();
            auto folder = mFile.parent_path();
            auto fpt = os::FindFileNoCase(folder, base + ".fpt");
            auto dbt = fpt.empty() ? os::FindFileNoCase(folder, base + ".dbt") : fpt;
            if (!dbt.empty()) {
                mMemo = OpenFileSource(dbt);
                mMemoFox = !fpt.empty();
                unsigned char h[32] = {};
                if (mMemo->size() >= 32)
                    mMemo->read(0, h, 32);
                if (mMemoFox)
                    mMemoBlockSize = (h[6] << 8) | h[7];
                else if (mVersion == 0x8B || mVersion == 0xCB)
                    mMemoBlockSize = Le16(h + 20);
                if (mMemoBlockSize <= 0)
                    mMemoBlockSize = 512;
            }
        }
    }
    if (!mMemo)
        throw Error("找不到备注文件 (.dbt/.fpt): " + mName);
    std::uint64_t block = 0;
    if (pointer.size() == 4 && (pointer[0] < '0' || pointer[0] > '9'))
        block = Le32(reinterpret_cast<const unsigned char*>(pointer.data()));
    else
        block = std::strtoull(pointer.c_str(), nullptr, 10);
    const std::uint64_t size = mMemo->size();
    std::uint64_t at = block * static_cast<std::uint64_t>(mMemoBlockSize);
    auto bad = [&] { return Error("备注文件已损坏: " + mName + ": 备注块 " + std::to_string(block)); };
    if (block == 0 || at >= size)
        throw bad();
    std::string raw;
    if (mMemoFox || size - at >= 8) {
        unsigned char h[8];
        if (size - at < 8)
            throw bad();
        mMemo->read(at, h, 8);
        bool fox = mMemoFox;
        bool dbase4 = !fox && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00;
        if (fox || dbase4) {
            std::uint64_t len = fox ? Be32(h + 4) : Le32(h + 4);
            if (dbase4)
                len = len >= 8 ? len - 8 : 0;
            if (len > kMaxMemo || len > size - at - 8)
                throw bad();
            raw.resize(len);
            mMemo->read(at + 8, raw.data(), raw.size());
            return text::ToUtf8(raw, mCodePage);
        }
    }
    // dBase III: text up to the 0x1A end mark.
    std::uint64_t left = std::min<std::uint64_t>(size - at, kMaxMemo);
    char chunk[512];
    while (left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof chunk));
        mMemo->read(at, chunk, n);
        const void* end = std::memchr(chunk, 0x1A, n);
        if (end) {
            raw.append(chunk, static_cast<const char*>(end) - chunk);
            break;
        }
        raw.append(chunk, n);
        at += n;
        left -= n;
    }
    return text::ToUtf8(raw, mCodePage);
}

std::string Dbf::createTableSql(const std::string& quotedName) const {
    std::string sql = "CREATE TABLE " + quotedName + " (";
    for (std::size_t i = 0; i < mFields.size(); ++i) {
        if (i)
            sql += ", ";
        std::string n = mFields[i].name;
        std::string q = "\"";
        for (char c : n)
            q += c == '"' ? std::string("\"\"") : std::string(1, c);
        q += "\"";
        sql += q + " " + mFields[i].declaredType();
    }
    return sql + ")";
}

} // namespace db
