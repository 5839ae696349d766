#include "platform/db/DbfMemo.h"

#include "platform/db/Error.h"

#include <algorithm>
#include <cstring>

namespace db {
namespace {

constexpr std::uint64_t kMaxMemo = 64u << 20;

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t Be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

} // namespace

DbfMemo::DbfMemo(std::unique_ptr<DbfSource> source, std::string name, Layout layout)
    : mSource(std::move(source)), mName(std::move(name)), mLayout(layout) {
    unsigned char h[32] = {};
    if (mSource->size() >= 32)
        mSource->read(0, h, 32);
    if (mLayout == Layout::FoxPro)
        mBlockSize = (h[6] << 8) | h[7];
    else if (mLayout == Layout::DBase4)
        mBlockSize = h[20] | (h[21] << 8);
    if (mBlockSize == 0)
        mBlockSize = 512;
}

void DbfMemo::damaged(std::uint64_t block, const std::string& what) const {
    throw Error("备注文件已损坏: " + mName + ": 备注块 " + std::to_string(block) + " " + what);
}

std::string DbfMemo::read(std::uint64_t block) const {
    const std::uint64_t size = mSource->size();
    if (block > size / mBlockSize)
        damaged(block, "超出文件末尾");
    const std::uint64_t at = block * mBlockSize;
    if (at >= size)
        damaged(block, "超出文件末尾");
    unsigned char h[8] = {};
    const bool headed = size - at >= 8;
    if (headed)
        mSource->read(at, h, 8);
    std::uint64_t length = 0;
    if (mLayout == Layout::FoxPro) {
        if (!headed)
            damaged(block, "没有块头");
        length = Be32(h + 4);
    } else if (headed && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
        length = Le32(h + 4);
        length = length >= 8 ? length - 8 : 0;
    } else {
        return readToEndMark(at);
    }
    if (length > kMaxMemo || length > size - at - 8)
        damaged(block, "声明的长度 " + std::to_string(length) + " 超出文件末尾");
    std::string bytes(static_cast<std::size_t>(length), '\0');
    mSource->read(at + 8, bytes.data(), bytes.size());
    return bytes;
}

// dBase III: the text runs up to the 0x1A end mark, or to the end of the file.
std::string DbfMemo::readToEndMark(std::uint64_t at) const {
    std::uint64_t left = std::min<std::uint64_t>(mSource->size() - at, kMaxMemo);
    std::string bytes;
    char chunk[512];
    while (left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof chunk));
        mSource->read(at, chunk, n);
        const void* end = std::memchr(chunk, 0x1A, n);
        if (end) {
            bytes.append(chunk, static_cast<std::size_t>(static_cast<const char*>(end) - chunk));
            break;
        }
        bytes.append(chunk, n);
        at += n;
        left -= n;
    }
    return bytes;
}

} // namespace db
