#include "platform/db/Dbf.h"

#include "platform/db/DbfCodePage.h"
#include "platform/db/DbfMemo.h"
#include "platform/db/Error.h"
#include "platform/db/UniqueName.h"
#include "platform/text/Gbk.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace db {
namespace {

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool KnownVersion(unsigned char v) {
    switch (v) {
    case 0x02:
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
        return true;
    default:
        return false;
    }
}

bool VisualFoxPro(unsigned char v) {
    return v == 0x30 || v == 0x31 || v == 0x32;
}

// FoxPro keeps memos in .fpt files, dBase in .dbt files.
bool FoxProMemo(unsigned char v) {
    return VisualFoxPro(v) || v == 0xF5 || v == 0xE5;
}

DbfMemo::Layout MemoLayout(unsigned char v) {
    if (FoxProMemo(v))
        return DbfMemo::Layout::FoxPro;
    return v == 0x8B || v == 0xCB ? DbfMemo::Layout::DBase4 : DbfMemo::Layout::DBase3;
}

std::string Hex(unsigned char v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%02X", v);
    return s;
}

} // namespace

// One field descriptor as the header states it.
struct Dbf::RawField {
    std::string name;
    char type = 'C';
    int length = 0;
    int decimals = 0;
    unsigned char flags = 0;
};

std::string DbfField::declaredType() const {
    switch (type) {
    case 'C':
    case 'V':
        return "VARCHAR(" + std::to_string(length) + ")";
    case 'N':
        return decimals == 0 && length <= 9 ? "INTEGER" : "DOUBLE";
    case 'F':
    case 'B':
        return "DOUBLE";
    case 'I':
        return "INTEGER";
    case 'Y':
        return "CURRENCY";
    case 'D':
        return "DATE";
    case 'T':
        return "DATETIME";
    case 'L':
        return "BIT";
    // MEMO's synonym LONGTEXT, so that SQLite keeps memo values as text.
    case 'M':
        return "LONGTEXT";
    case 'Q':
        return "VARBINARY(" + std::to_string(length) + ")";
    case 'G':
    case 'P':
    case 'W':
        return "LONGBINARY";
    default:
        return "VARCHAR(" + std::to_string(length) + ")";
    }
}

bool DbfField::isBinary() const {
    return type == 'G' || type == 'P' || type == 'W' || type == 'Q';
}

bool DbfField::inMemoFile() const {
    return type == 'M' || type == 'G' || type == 'P' || type == 'W';
}

std::filesystem::path Dbf::FindTable(const std::filesystem::path& folder,
                                     const std::string& tableName) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        throw Error("找不到文件夹 '" + folder.string() + "'。");
    auto file = FindEntryNoCase(folder, tableName + ".dbf");
    if (file.empty())
        throw Error("找不到数据表文件 '" + (folder / (tableName + ".dbf")).string() + "'。");
    return file;
}

std::unique_ptr<Dbf> Dbf::OpenTable(const std::filesystem::path& folder,
                                    const std::string& tableName, DbfOptions options) {
    return std::make_unique<Dbf>(FindTable(folder, tableName), options);
}

Dbf::Dbf(const std::filesystem::path& file, DbfOptions options)
    : mSource(OpenFileSource(file)), mName(file.string()), mOptions(options) {
    parseHeader();
    openMemoBeside(file);
}

Dbf::Dbf(std::unique_ptr<DbfSource> source, std::string displayName, DbfOptions options,
         std::unique_ptr<DbfSource> memo)
    : mSource(std::move(source)), mName(std::move(displayName)), mOptions(options) {
    parseHeader();
    if (memo)
        mMemo =
            std::make_unique<DbfMemo>(std::move(memo), mName + " 的备注文件", MemoLayout(mVersion));
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
    if (!KnownVersion(mVersion))
        damaged("不是 dBase 数据表 (版本字节 " + Hex(mVersion) + ")");
    mRecordCount = Le32(h + 4);
    mHeaderLength = Le16(h + 8);
    mRecordLength = Le16(h + 10);
    mHeaderCodePage = CodePageOfDriver(h[29]);
    mCodePage = mOptions.codePage > 0 ? mOptions.codePage
                : mHeaderCodePage > 0 ? mHeaderCodePage
                                      : text::kChineseCodePage;
    if (!text::CodePageSupported(mCodePage))
        throw Error("不能按代码页 " + std::to_string(mCodePage) + " 读取数据表 " + mName);
    if (mHeaderLength < 33)
        damaged("文件头长度 " + std::to_string(mHeaderLength) + " 太小");
    if (static_cast<std::uint64_t>(mHeaderLength) > fileSize)
        damaged("文件头长度 " + std::to_string(mHeaderLength) + " 超出文件大小 " +
                std::to_string(fileSize));
    if (mRecordLength < 1)
        damaged("记录长度为 0");

    std::string header(static_cast<std::size_t>(mHeaderLength), '\0');
    mSource->read(0, header.data(), header.size());
    layOutFields(readDescriptors(header));
    makeNamesUnique();
    checkRecordSpace(fileSize);
}

// The descriptors up to the end mark: 0x0D, or 0x0A as some writers put it.
std::vector<Dbf::RawField> Dbf::readDescriptors(const std::string& header) {
    const auto* hp = reinterpret_cast<const unsigned char*>(header.data());
    std::vector<RawField> raw;
    std::size_t pos = 32;
    while (pos < header.size() && hp[pos] != 0x0D && hp[pos] != 0x0A) {
        if (pos + 32 > header.size())
            damaged("字段描述超出文件头 (文件头长度 " + std::to_string(mHeaderLength) + ")");
        const unsigned char* d = hp + pos;
        RawField f;
        std::size_t nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        f.name = decode(text::Trim(std::string_view(reinterpret_cast<const char*>(d), nameLen)));
        f.type = static_cast<char>(std::toupper(d[11]));
        f.length = d[16];
        f.decimals = d[17];
        f.flags = VisualFoxPro(mVersion) ? d[18] : 0;
        if (f.name.empty())
            damaged("第 " + std::to_string(raw.size() + 1) + " 个字段没有名字");
        raw.push_back(std::move(f));
        pos += 32;
    }
    if (pos >= header.size())
        damaged(pos >= mSource->size() ? "字段描述超出文件末尾"
                                       : "字段描述没有结束符 (0x0D 或 0x0A)");
    if (raw.empty())
        damaged("没有字段");
    return raw;
}

// Offsets and lengths. FoxPro, Clipper and Harbour keep the high byte of a
// long character field's length in its decimals byte: that reading is taken
// when the plain lengths miss the record length and the long ones meet it.
void Dbf::layOutFields(std::vector<RawField> raw) {
    int plain = 1, wide = 1;
    for (const auto& f : raw) {
        plain += f.length;
        wide += f.length + (f.type == 'C' ? f.decimals * 256 : 0);
    }
    const bool longText = plain != mRecordLength && wide == mRecordLength;
    if (!longText && plain != mRecordLength)
        damaged("记录长度 " + std::to_string(mRecordLength) + " 与字段长度之和 " +
                std::to_string(plain) + " 不符");
    int offset = 1;
    for (auto& r : raw) {
        if (longText && r.type == 'C') {
            r.length += r.decimals * 256;
            r.decimals = 0;
        }
        if (r.length == 0)
            damaged("字段 " + r.name + " 的长度为 0");
        auto need = [&](int len) {
            if (r.length != len)
                damaged("字段 " + r.name + " (类型 " + r.type + ") 的长度应为 " +
                        std::to_string(len) + "，实为 " + std::to_string(r.length));
        };
        if (r.type == 'I')
            need(4);
        else if (r.type == 'Y' || r.type == 'T')
            need(8);
        if (r.type == '0' && mNullFlagsOffset < 0) {
            mNullFlagsOffset = offset;
            mNullFlagsLength = r.length;
        } else if (r.type != '0') {
            DbfField f;
            f.name = r.name;
            f.type = r.type;
            f.length = r.length;
            f.decimals = r.decimals;
            f.offset = offset;
            mFields.push_back(std::move(f));
        }
        offset += r.length;
    }
    if (mFields.empty())
        damaged("没有字段");
    assignNullBits(raw);
}

// Visual FoxPro's _NullFlags: in field order, a V or Q field takes one bit
// that says its value is shorter than the field, then a field that may be
// null takes one that says it is.
void Dbf::assignNullBits(const std::vector<RawField>& raw) {
    if (mNullFlagsOffset < 0)
        return;
    int bit = 0;
    std::size_t f = 0;
    for (const auto& r : raw) {
        if (r.type == '0')
            continue;
        DbfField& field = mFields[f++];
        if (r.type == 'V' || r.type == 'Q')
            field.lengthBit = bit++;
        if (r.flags & 0x02)
            field.nullBit = bit++;
    }
}

// Two fields of one name (without regard to case) would make two columns of
// one name: the later one takes NAME_2, or the first free NAME_n. A field
// named as SQLite names a table's hidden row id would hide that id, by which
// the program reaches each sheet: it takes ROWID_2 and the like as well.
void Dbf::makeNamesUnique() {
    std::vector<std::string> taken = {"ROWID", "OID", "_ROWID_"};
    for (const auto& f : mFields)
        taken.push_back(f.name);
    for (std::size_t i = 0; i < mFields.size(); ++i) {
        DbfField& f = mFields[i];
        auto sameName = [&](const DbfField& e) { return text::EqualNoCase(e.name, f.name); };
        bool clash = IsRowidName(f.name) ||
                     std::any_of(mFields.begin(), mFields.begin() + static_cast<long>(i), sameName);
        if (!clash)
            continue;
        std::string name = FreeName(f.name, taken);
        taken.push_back(name);
        f.headerName = f.name;
        f.name = name;
    }
}

void Dbf::checkRecordSpace(std::uint64_t fileSize) {
    const std::uint64_t end = static_cast<std::uint64_t>(mHeaderLength) +
                              static_cast<std::uint64_t>(mRecordCount) * mRecordLength;
    if (end > fileSize)
        damaged("文件头声明 " + std::to_string(mRecordCount) + " 条记录，需要 " +
                std::to_string(end) + " 字节，文件只有 " + std::to_string(fileSize) + " 字节");
    // The end mark follows the stated records, or ends the file when the
    // header states fewer records than it holds.
    mLeftover = fileSize - end;
    if (mLeftover > 0) {
        char next = 0, last = 0;
        mSource->read(end, &next, 1);
        mSource->read(fileSize - 1, &last, 1);
        if (next == 0x1A || last == 0x1A)
            --mLeftover;
    }
}

// The memo file beside the table: .fpt for FoxPro, .dbt for dBase, either
// name accepted. Without it the table is refused, before any row is read.
void Dbf::openMemoBeside(const std::filesystem::path& file) {
    auto memoField = std::find_if(mFields.begin(), mFields.end(),
                                  [](const DbfField& f) { return f.inMemoFile(); });
    if (memoField == mFields.end())
        return;
    const std::string base = file.stem().string();
    const auto folder = file.parent_path();
    const bool fox = FoxProMemo(mVersion);
    const std::string expected = base + (fox ? ".fpt" : ".dbt");
    auto found = FindEntryNoCase(folder, expected);
    if (found.empty())
        found = FindEntryNoCase(folder, base + (fox ? ".dbt" : ".fpt"));
    if (found.empty())
        throw Error("找不到备注文件 " + (folder / expected).string() + ": 数据表 " + mName +
                    " 的备注字段 " + memoField->name + " 存放在其中，没有导入任何记录");
    const bool foundFox = text::EqualNoCase(found.extension().string(), ".fpt");
    mMemo = std::make_unique<DbfMemo>(OpenFileSource(found), found.string(),
                                      foundFox ? DbfMemo::Layout::FoxPro : MemoLayout(mVersion));
}

DbfReadReport Dbf::report() const {
    DbfReadReport r;
    r.file = mName;
    r.codePage = mCodePage;
    r.headerCodePage = mHeaderCodePage;
    r.codePageFromSetting = mOptions.codePage > 0;
    r.nonAsciiText = mNonAscii;
    for (const auto& f : mFields)
        if (!f.headerName.empty())
            r.renamedFields.emplace_back(f.headerName, f.name);
    r.unreadableValues = mUnreadable;
    r.leftoverBytes = mLeftover;
    r.recordLength = mRecordLength;
    return r;
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

} // namespace db
