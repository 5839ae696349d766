#include "tests/support/Zip.h"

#include "tests/support/TempHome.h"

#include <zlib.h>

#include <cstdint>

namespace testsupport {
namespace {

std::uint32_t U32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

std::uint16_t U16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

} // namespace

std::optional<std::string> ReadZipEntry(const std::filesystem::path& zip, const std::string& name) {
    const std::string b = ReadBytes(zip);
    if (b.size() < 22)
        return std::nullopt;
    std::size_t eocd = b.size() - 22;
    while (eocd > 0 && U32(b, eocd) != 0x06054b50)
        --eocd;
    if (U32(b, eocd) != 0x06054b50)
        return std::nullopt;
    std::size_t at = U32(b, eocd + 16);
    const std::size_t entries = U16(b, eocd + 10);
    for (std::size_t i = 0; i < entries && at + 46 <= b.size(); ++i) {
        const std::uint16_t method = U16(b, at + 10);
        const std::uint32_t packed = U32(b, at + 20);
        const std::uint32_t size = U32(b, at + 24);
        const std::uint16_t nameLength = U16(b, at + 28);
        const std::uint16_t extra = U16(b, at + 30);
        const std::uint16_t comment = U16(b, at + 32);
        const std::uint32_t local = U32(b, at + 42);
        const std::string entry = b.substr(at + 46, nameLength);
        at += 46 + nameLength + extra + comment;
        if (entry != name)
            continue;
        const std::size_t data = local + 30 + U16(b, local + 26) + U16(b, local + 28);
        if (method == 0)
            return b.substr(data, size);
        std::string out(size, '\0');
        z_stream z{};
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(b.data() + data));
        z.avail_in = packed;
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = size;
        int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END)
            return std::nullopt;
        return out;
    }
    return std::nullopt;
}

} // namespace testsupport
