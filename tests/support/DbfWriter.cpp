#include "tests/support/DbfWriter.h"

#include "platform/text/Gbk.h"

#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

void Le16(std::string& s, std::size_t at, unsigned v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Le32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

DbfWriter::DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns,
                     unsigned char version, unsigned char languageDriver)
    : mColumns(std::move(columns)), mVersion(version), mDriver(languageDriver),
      mFile(file, std::ios::binary | std::ios::trunc), mOut(&mFile) {
    if (!mFile)
        throw std::runtime_error("cannot write " + file.string());
    writeHeader();
}

DbfWriter::DbfWriter(std::vector<DbfColumn> columns, unsigned char version,
                     unsigned char languageDriver)
    : mColumns(std::move(columns)), mVersion(version), mDriver(languageDriver), mOut(&mMemory) {
    writeHeader();
}

void DbfWriter::writeHeader() {
    for (const auto& c : mColumns)
        mRecordLength += c.length;
    std::string h(32 + 32 * mColumns.size() + 1, '\0');
    h[0] = static_cast<char>(mVersion);
    h[1] = 126; // 2026-12-07
    h[2] = 12;
    h[3] = 7;
    Le16(h, 8, static_cast<unsigned>(h.size()));
    Le16(h, 10, static_cast<unsigned>(mRecordLength));
    h[29] = static_cast<char>(mDriver);
    for (std::size_t i = 0; i < mColumns.size(); ++i) {
        std::string name = text::ToGbk(mColumns[i].name).substr(0, 10);
        std::memcpy(&h[32 + 32 * i], name.data(), name.size());
        h[32 + 32 * i + 11] = mColumns[i].type;
        h[32 + 32 * i + 16] = static_cast<char>(mColumns[i].length);
        h[32 + 32 * i + 17] = static_cast<char>(mColumns[i].decimals);
    }
    h.back() = 0x0D;
    mOut->write(h.data(), static_cast<std::streamsize>(h.size()));
}

void DbfWriter::append(const std::vector<DbfCell>& cells, bool deleted) {
    mRecord.assign(static_cast<std::size_t>(mRecordLength), ' ');
    mRecord[0] = deleted ? '*' : ' ';
    std::size_t at = 1;
    for (std::size_t i = 0; i < mColumns.size(); ++i) {
        const DbfColumn& c = mColumns[i];
        const std::size_t len = static_cast<std::size_t>(c.length);
        if (i < cells.size() && cells[i]) {
            const std::string& v = *cells[i];
            if (c.type == 'I') {
                Le32(mRecord, at, static_cast<std::uint32_t>(std::stol(v)));
            } else if (c.type == 'N' || c.type == 'F') {
                std::string t = v.substr(0, len);
                mRecord.replace(at + len - t.size(), t.size(), t);
            } else {
                std::string t = text::ToGbk(v).substr(0, len);
                mRecord.replace(at, t.size(), t);
            }
        } else if (c.type == 'I') {
            Le32(mRecord, at, 0);
        }
        at += len;
    }
    mOut->write(mRecord.data(), static_cast<std::streamsize>(mRecord.size()));
    ++mRecords;
}

void DbfWriter::finish() {
    mOut->put(0x1A);
    mOut->seekp(4);
    std::string count(4, '\0');
    Le32(count, 0, mRecords);
    mOut->write(count.data(), 4);
    mOut->seekp(0, std::ios::end);
    mOut->flush();
    if (!*mOut)
        throw std::runtime_error("cannot write the dBase table");
}

void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows) {
    DbfWriter w(file, columns);
    for (const auto& row : rows)
        w.append(row);
    w.finish();
}

} // namespace testsupport
