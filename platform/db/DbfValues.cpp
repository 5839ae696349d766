// The values of a dBase record's fields, by field kind.
#include "platform/db/Dbf.h"

#include "platform/db/DbfMemo.h"
#include "platform/db/Error.h"
#include "platform/text/Gbk.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace db {
namespace {

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Blanks and NULs, the padding of dBase fields.
bool IsPad(char c) {
    return c == ' ' || c == '\0';
}

std::string_view Trimmed(const char* p, int n) {
    int b = 0, e = n;
    while (b < e && IsPad(p[b]))
        ++b;
    while (e > b && IsPad(p[e - 1]))
        --e;
    return {p + b, static_cast<std::size_t>(e - b)};
}

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
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

bool ValidDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A number's text; nullopt when it is no number.
std::optional<Value> ParseNumber(std::string_view t, bool integer) {
    const std::string s(t);
    const char* b = s.c_str();
    char* end = nullptr;
    errno = 0;
    if (integer) {
        long long v = std::strtoll(b, &end, 10);
        if (end == b || *end != '\0' || errno == ERANGE)
            return std::nullopt;
        return Value{static_cast<std::int64_t>(v)};
    }
    double v = std::strtod(b, &end);
    if (end == b || *end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return Value{v};
}

} // namespace

Value Dbf::unreadable() const {
    ++mUnreadable;
    return std::monostate{};
}

bool Dbf::flagged(const std::string& record, int bit) const {
    const int byte = bit / 8;
    if (mNullFlagsOffset < 0 || byte >= mNullFlagsLength)
        return false;
    const auto flags =
        static_cast<unsigned char>(record[static_cast<std::size_t>(mNullFlagsOffset + byte)]);
    return (flags >> (bit % 8)) & 1;
}

std::string Dbf::decode(std::string_view raw) const {
    if (IsAscii(raw))
        return std::string(raw);
    mNonAscii = true;
    return text::ToUtf8(raw, mCodePage);
}

Value Dbf::value(const std::string& record, std::size_t fi) const {
    const DbfField& f = mFields.at(fi);
    if (f.nullBit >= 0 && flagged(record, f.nullBit))
        return std::monostate{};
    const char* p = record.data() + f.offset;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    switch (f.type) {
    case 'N':
    case 'F': {
        std::string_view t = Trimmed(p, f.length);
        if (t.empty())
            return std::monostate{};
        auto v = ParseNumber(t, f.type == 'N' && f.decimals == 0 && f.length <= 9);
        return v ? *v : unreadable();
    }
    case 'I':
        return static_cast<std::int64_t>(static_cast<std::int32_t>(Le32(u)));
    case 'B': {
        if (f.length != 8) {
            std::string_view t = Trimmed(p, f.length);
            if (t.empty())
                return std::monostate{};
            auto v = ParseNumber(t, false);
            return v ? *v : unreadable();
        }
        double d;
        std::memcpy(&d, p, 8);
        return std::isfinite(d) ? Value{d} : unreadable();
    }
    case 'Y': {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        return static_cast<double>(v) / 10000.0;
    }
    case 'D':
        return dateValue(p, f.length);
    case 'T':
        return dateTimeValue(u);
    case 'L':
        switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return std::int64_t{1};
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return std::int64_t{0};
        case ' ':
        case '?':
        case '\0':
            return std::monostate{};
        default:
            return unreadable();
        }
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        return memoValue(f, p);
    case 'V':
    case 'Q':
        return varValue(f, record);
    default:
        return textValue(f, p);
    }
}

// C and any kind the reader does not know: text, trailing blanks trimmed.
Value Dbf::textValue(const DbfField& f, const char* p) const {
    std::string_view raw(p, static_cast<std::size_t>(f.length));
    std::size_t e = raw.size();
    while (e > 0 && IsPad(raw[e - 1]))
        --e;
    return decode(raw.substr(0, e));
}

// Varchar and varbinary: the whole field, or as many bytes as its last byte
// says when _NullFlags marks it shorter.
Value Dbf::varValue(const DbfField& f, const std::string& record) const {
    const char* p = record.data() + f.offset;
    auto n = static_cast<std::size_t>(f.length);
    if (f.lengthBit >= 0 && flagged(record, f.lengthBit)) {
        n = static_cast<unsigned char>(p[f.length - 1]);
        if (n >= static_cast<std::size_t>(f.length))
            return unreadable();
    }
    std::string_view raw(p, n);
    return f.type == 'Q' ? std::string(raw) : decode(raw);
}

Value Dbf::dateValue(const char* p, int length) const {
    std::string_view s = Trimmed(p, length);
    if (s.empty() || s == "00000000")
        return std::monostate{};
    if (s.size() != 8 || !AllDigits(s))
        return unreadable();
    const int y = std::atoi(std::string(s.substr(0, 4)).c_str());
    const int m = (s[4] - '0') * 10 + (s[5] - '0');
    const int d = (s[6] - '0') * 10 + (s[7] - '0');
    if (!ValidDate(y, m, d))
        return unreadable();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return std::string(buf);
}

// Visual FoxPro DateTime: a Julian day and milliseconds since midnight,
// shown to the nearest second as FoxPro shows it.
Value Dbf::dateTimeValue(const unsigned char* u) const {
    if (std::all_of(u, u + 8, [](unsigned char c) { return c == ' ' || c == 0; }))
        return std::monostate{};
    long jd = static_cast<std::int32_t>(Le32(u));
    long ms = static_cast<std::int32_t>(Le32(u + 4));
    if (jd <= 0 || ms < 0 || ms >= 86400000L)
        return unreadable();
    long secs = (ms + 500) / 1000;
    if (secs == 86400) {
        ++jd;
        secs = 0;
    }
    int y, m, d;
    CivilFromJulian(jd, y, m, d);
    if (!ValidDate(y, m, d))
        return unreadable();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02ld:%02ld:%02ld", y, m, d, secs / 3600,
                  (secs / 60) % 60, secs % 60);
    return std::string(buf);
}

// A block number of the memo file: four binary bytes (Visual FoxPro), else
// digits. Block 0 and a blank pointer stand for no value.
Value Dbf::memoValue(const DbfField& f, const char* p) const {
    std::uint64_t block = 0;
    if (f.length == 4) {
        block = Le32(reinterpret_cast<const unsigned char*>(p));
    } else {
        std::string_view t = Trimmed(p, f.length);
        if (t.empty())
            return std::monostate{};
        if (!AllDigits(t) || t.size() > 18)
            return unreadable();
        block = std::strtoull(std::string(t).c_str(), nullptr, 10);
    }
    if (block == 0)
        return std::monostate{};
    if (!mMemo)
        throw Error("没有备注文件，读不到数据表 " + mName + " 的字段 " + f.name);
    std::string bytes = mMemo->read(block);
    return f.isBinary() ? Value{std::move(bytes)} : Value{decode(bytes)};
}

std::string Dbf::createTableSql(const std::string& quotedName) const {
    std::string sql = "CREATE TABLE " + quotedName + " (";
    for (std::size_t i = 0; i < mFields.size(); ++i) {
        if (i)
            sql += ", ";
        std::string q = "\"";
        for (char c : mFields[i].name)
            q += c == '"' ? std::string("\"\"") : std::string(1, c);
        q += "\"";
        sql += q + " " + mFields[i].declaredType();
    }
    return sql + ")";
}

} // namespace db
