#include "platform/db/JetFunctions.h"

#include "platform/db/Error.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace db {
namespace {

// Character positions of a UTF-8 text, as byte offsets.
std::size_t ByteOffset(const std::string& s, long chars) {
    std::size_t i = 0;
    while (i < s.size() && chars > 0) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
        --chars;
    }
    return i;
}

long CharLength(const std::string& s) {
    long n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string Arg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    return false;
}

void Len(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, CharLength(Arg(argv[0])));
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    std::string s = Arg(argv[0]);
    long start = sqlite3_value_int(argv[1]);
    if (start < 1) {
        sqlite3_result_error(ctx, "MID: 起始位置必须大于 0", -1);
        return;
    }
    std::size_t b = ByteOffset(s, start - 1);
    std::size_t e =
        argc > 2 ? ByteOffset(s, start - 1 + std::max(0, sqlite3_value_int(argv[2]))) : s.size();
    ResultText(ctx, s.substr(b, e - b));
}

void Left(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    std::string s = Arg(argv[0]);
    ResultText(ctx, s.substr(0, ByteOffset(s, std::max(0, sqlite3_value_int(argv[1])))));
}

void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    std::string s = Arg(argv[0]);
    long n = std::max(0, sqlite3_value_int(argv[1]));
    long len = CharLength(s);
    ResultText(ctx, s.substr(ByteOffset(s, n >= len ? 0 : len - n)));
}

void Case(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool upper) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    std::string s = Arg(argv[0]);
    for (char& c : s) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    ResultText(ctx, s);
}

void Ucase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    Case(ctx, argc, argv, true);
}
void Lcase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    Case(ctx, argc, argv, false);
}

// VAL reads the leading number of a text, blanks ignored; 0 when there is none.
void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string s;
    for (char c : Arg(argv[0]))
        if (c != ' ' && c != '\t')
            s += c;
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (end == s.c_str())
        d = 0;
    if (d == static_cast<double>(static_cast<long long>(d)) && d < 9e18 && d > -9e18)
        sqlite3_result_int64(ctx, static_cast<long long>(d));
    else
        sqlite3_result_double(ctx, d);
}

void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL)
        return sqlite3_result_value(ctx, argv[0]);
    if (argc > 1)
        return sqlite3_result_value(ctx, argv[1]);
    sqlite3_result_int(ctx, 0);
}

// INSTR(start, text, find): 1-based character position, 0 when absent.
void Instr3(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv))
        return sqlite3_result_null(ctx);
    long start = sqlite3_value_int(argv[0]);
    std::string s = Arg(argv[1]), f = Arg(argv[2]);
    if (start < 1) {
        sqlite3_result_error(ctx, "INSTR: 起始位置必须大于 0", -1);
        return;
    }
    std::size_t pos = s.find(f, ByteOffset(s, start - 1));
    sqlite3_result_int64(ctx, pos == std::string::npos ? 0 : CharLength(s.substr(0, pos)) + 1);
}

void Add(sqlite3* db, const char* name, int nArg,
         void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    if (sqlite3_create_function(db, name, nArg, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fn,
                                nullptr, nullptr) != SQLITE_OK)
        throw Error(sqlite3_errmsg(db));
}

} // namespace

void RegisterJetFunctions(sqlite3* db) {
    Add(db, "len", 1, Len);
    Add(db, "mid", 2, Mid);
    Add(db, "mid", 3, Mid);
    Add(db, "jet_left", 2, Left);
    Add(db, "jet_right", 2, Right);
    Add(db, "ucase", 1, Ucase);
    Add(db, "lcase", 1, Lcase);
    Add(db, "val", 1, Val);
    Add(db, "nz", 1, Nz);
    Add(db, "nz", 2, Nz);
    Add(db, "instr", 3, Instr3);
}

} // namespace db
