#include "tests/support/DbfWriter.h"

#include "platform/text/Gbk.h"

#include <iconv.h>

#include <cmath>
#include <cstdio>
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

void Be32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
}

bool VisualFoxPro(unsigned char v) {
    return v == 0x30 || v == 0x31 || v == 0x32;
}

bool MemoKind(char t) {
    return t == 'M' || t == 'G' || t == 'P' || t == 'W';
}

// "2026-12-07 09:30:09.999" as FoxPro stores it: Julian day, milliseconds.
std::pair<std::int32_t, std::int32_t> FoxDateTime(const std::string& v) {
    int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(v.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &m, &d, &h, &mi, &s, &ms) < 3)
        throw std::invalid_argument("not a date and time: " + v);
    const int a = (14 - m) / 12;
    const int yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    const std::int32_t jd =
        d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
    return {jd, ((h * 60 + mi) * 60 + s) * 1000 + ms};
}

} // namespace

DbfWriter::DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns,
                     unsigned char version, unsigned char languageDriver)
    : DbfWriter(file, std::move(columns), DbfLayout{version, languageDriver}) {}

DbfWriter::DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns,
                     DbfLayout layout)
    : mColumns(std::move(columns)), mLayout(layout), mPath(file),
      mFile(file, std::ios::binary | std::ios::trunc), mOut(&mFile) {
    if (!mFile)
        throw std::runtime_error("cannot write " + file.string());
    start();
}

DbfWriter::DbfWriter(std::vector<DbfColumn> columns, unsigned char version,
                     unsigned char languageDriver)
    : DbfWriter(std::move(columns), DbfLayout{version, languageDriver}) {}

DbfWriter::DbfWriter(std::vector<DbfColumn> columns, DbfLayout layout)
    : mColumns(std::move(columns)), mLayout(layout), mOut(&mMemory) {
    start();
}

bool DbfWriter::foxMemo() const {
    return VisualFoxPro(mLayout.version) || mLayout.version == 0xF5;
}

// Visual FoxPro tables whose fields may be null or vary in length get the
// hidden _NullFlags field; the memo file starts with its header block.
void DbfWriter::start() {
    int bits = 0;
    for (const auto& c : mColumns)
        bits += (c.type == 'V' || c.type == 'Q' ? 1 : 0) + ((c.flags & 0x02) ? 1 : 0);
    if (VisualFoxPro(mLayout.version) && bits > 0)
        mColumns.push_back({"_NullFlags", '0', (bits + 7) / 8, 0, 0x05});
    if (mLayout.memoBlockSize == 0)
        mLayout.memoBlockSize = foxMemo() ? 64 : 512;
    mMemo.assign(512, '\0');
    writeHeader();
}

std::uint32_t DbfWriter::nextMemoBlock() const {
    return static_cast<std::uint32_t>(mMemo.size() /
                                      static_cast<std::size_t>(mLayout.memoBlockSize));
}

std::string DbfWriter::encode(const std::string& utf8) const {
    if (mLayout.codePage == 936)
        return text::ToGbk(utf8);
    const std::string name = "CP" + std::to_string(mLayout.codePage);
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no code page " + name);
    std::string out(utf8.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(utf8.data());
    char* dst = out.data();
    std::size_t left = utf8.size(), room = out.size();
    std::size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        throw std::runtime_error("code page " + name + " lacks a character of " + utf8);
    out.resize(out.size() - room);
    return out;
}

void DbfWriter::writeHeader() {
    for (const auto& c : mColumns)
        mRecordLength += c.length;
    const std::size_t backlink = VisualFoxPro(mLayout.version) ? 263 : 0;
    std::string h(32 + 32 * mColumns.size() + 1 + backlink, '\0');
    h[0] = static_cast<char>(mLayout.version);
    h[1] = 126; // 2026-12-07
    h[2] = 12;
    h[3] = 7;
    Le16(h, 8, static_cast<unsigned>(h.size()));
    Le16(h, 10, static_cast<unsigned>(mRecordLength));
    h[29] = static_cast<char>(mLayout.languageDriver);
    int offset = 1;
    for (std::size_t i = 0; i < mColumns.size(); ++i) {
        const DbfColumn& c = mColumns[i];
        const std::size_t at = 32 + 32 * i;
        std::string name = encode(c.name).substr(0, 10);
        std::memcpy(&h[at], name.data(), name.size());
        h[at + 11] = c.type;
        if (backlink)
            Le32(h, at + 12, static_cast<std::uint32_t>(offset));
        h[at + 16] = static_cast<char>(c.length & 0xFF);
        h[at + 17] =
            static_cast<char>(c.type == 'C' && c.length > 255 ? c.length >> 8 : c.decimals);
        if (backlink)
            h[at + 18] = static_cast<char>(c.flags);
        if (c.type == '0')
            mNullFlagsAt = offset;
        offset += c.length;
    }
    h[32 + 32 * mColumns.size()] = mLayout.fieldListEnd;
    mOut->write(h.data(), static_cast<std::streamsize>(h.size()));
}

void DbfWriter::append(const std::vector<DbfCell>& cells, bool deleted) {
    mRecord.assign(static_cast<std::size_t>(mRecordLength), ' ');
    mRecord[0] = deleted ? '*' : ' ';
    if (mNullFlagsAt >= 0)
        std::fill(mRecord.begin() + mNullFlagsAt,
                  mRecord.begin() + mNullFlagsAt + mColumns.back().length, '\0');
    std::size_t at = 1;
    int bit = 0;
    auto setBit = [&](int b) {
        mRecord[static_cast<std::size_t>(mNullFlagsAt + b / 8)] |= static_cast<char>(1 << (b % 8));
    };
    for (std::size_t i = 0; i < mColumns.size(); ++i) {
        const DbfColumn& c = mColumns[i];
        if (c.type == '0')
            break;
        const bool present = i < cells.size() && cells[i];
        if (present) {
            writeCell(c, at, *cells[i], bit);
        } else {
            if (c.type == 'I' || c.type == 'B' || c.type == 'Y' || c.type == 'T' || c.type == 'Q' ||
                (MemoKind(c.type) && c.length == 4))
                std::fill(mRecord.begin() + static_cast<long>(at),
                          mRecord.begin() + static_cast<long>(at) + c.length, '\0');
            if (c.type == 'V' || c.type == 'Q')
                ++bit; // no length bit: the (blank) field is whole
            if (c.flags & 0x02)
                setBit(bit++);
        }
        at += static_cast<std::size_t>(c.length);
    }
    mOut->write(mRecord.data(), static_cast<std::streamsize>(mRecord.size()));
    ++mRecords;
}

void DbfWriter::writeCell(const DbfColumn& c, std::size_t at, const std::string& v, int& bit) {
    const auto len = static_cast<std::size_t>(c.length);
    switch (c.type) {
    case 'I':
        Le32(mRecord, at, static_cast<std::uint32_t>(std::stol(v)));
        break;
    case 'B': {
        double d = std::stod(v);
        std::memcpy(&mRecord[at], &d, 8);
        break;
    }
    case 'Y': {
        auto money = static_cast<std::int64_t>(std::llround(std::stod(v) * 10000.0));
        std::memcpy(&mRecord[at], &money, 8);
        break;
    }
    case 'T': {
        auto [jd, ms] = FoxDateTime(v);
        Le32(mRecord, at, static_cast<std::uint32_t>(jd));
        Le32(mRecord, at + 4, static_cast<std::uint32_t>(ms));
        break;
    }
    case 'N':
    case 'F': {
        std::string t = v.substr(0, len);
        mRecord.replace(at + len - t.size(), t.size(), t);
        break;
    }
    case 'V':
    case 'Q': {
        std::string t = c.type == 'V' ? encode(v) : v;
        if (t.size() > len)
            t.resize(len);
        std::fill(mRecord.begin() + static_cast<long>(at),
                  mRecord.begin() + static_cast<long>(at + len), c.type == 'V' ? ' ' : '\0');
        mRecord.replace(at, t.size(), t);
        const int lengthBit = bit++;
        if (t.size() < len) {
            mRecord[at + len - 1] = static_cast<char>(t.size());
            mRecord[static_cast<std::size_t>(mNullFlagsAt + lengthBit / 8)] |=
                static_cast<char>(1 << (lengthBit % 8));
        }
        break;
    }
    default:
        if (MemoKind(c.type)) {
            const std::uint32_t block = addMemo(c, v);
            if (c.length == 4) {
                Le32(mRecord, at, block);
            } else {
                std::string t = std::to_string(block);
                mRecord.replace(at + len - t.size(), t.size(), t);
            }
        } else {
            std::string t = encode(v).substr(0, len);
            mRecord.replace(at, t.size(), t);
        }
    }
    if (c.flags & 0x02)
        ++bit;
}

std::uint32_t DbfWriter::addMemo(const DbfColumn& c, const std::string& value) {
    const std::uint32_t block = nextMemoBlock();
    const std::string data = c.type == 'M' ? encode(value) : value;
    std::string head;
    if (foxMemo()) {
        head.assign(8, '\0');
        Be32(head, 0, c.type == 'M' ? 1 : 0);
        Be32(head, 4, static_cast<std::uint32_t>(data.size()));
        mMemo += head + data;
    } else if (mLayout.version == 0x8B || mLayout.version == 0xCB) {
        head = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0');
        Le32(head, 4, static_cast<std::uint32_t>(data.size() + 8));
        mMemo += head + data;
    } else {
        mMemo += data + "\x1A\x1A";
    }
    const auto size = static_cast<std::size_t>(mLayout.memoBlockSize);
    mMemo.resize((mMemo.size() + size - 1) / size * size, '\0');
    return block;
}

void DbfWriter::finish() {
    if (mLayout.endMark)
        mOut->put(0x1A);
    mOut->seekp(4);
    std::string count(4, '\0');
    Le32(count, 0, mLayout.statedRecords.value_or(mRecords));
    mOut->write(count.data(), 4);
    mOut->seekp(0, std::ios::end);
    mOut->flush();
    if (!*mOut)
        throw std::runtime_error("cannot write the dBase table");
    if (foxMemo()) {
        Be32(mMemo, 0, nextMemoBlock());
        mMemo[6] = static_cast<char>((mLayout.memoBlockSize >> 8) & 0xFF);
        mMemo[7] = static_cast<char>(mLayout.memoBlockSize & 0xFF);
    } else {
        Le32(mMemo, 0, nextMemoBlock());
        if (mLayout.version == 0x8B || mLayout.version == 0xCB)
            Le16(mMemo, 20, static_cast<unsigned>(mLayout.memoBlockSize));
    }
    bool hasMemo = false;
    for (const auto& c : mColumns)
        hasMemo = hasMemo || MemoKind(c.type);
    if (hasMemo && !mPath.empty()) {
        auto memoPath = mPath;
        memoPath.replace_extension(foxMemo() ? ".fpt" : ".dbt");
        std::ofstream memo(memoPath, std::ios::binary | std::ios::trunc);
        memo.write(mMemo.data(), static_cast<std::streamsize>(mMemo.size()));
        if (!memo)
            throw std::runtime_error("cannot write " + memoPath.string());
    }
}

void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows) {
    WriteDbf(file, columns, rows, DbfLayout{});
}

void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows, const DbfLayout& layout) {
    DbfWriter w(file, columns, layout);
    for (const auto& row : rows)
        w.append(row);
    w.finish();
}

} // namespace testsupport
