#include "platform/db/Statement.h"

#include "platform/db/Error.h"
#include "platform/db/Failure.h"

#include <sqlite3.h>

namespace db {

Statement::Statement(sqlite3* db, std::string_view sql) : mDb(db) {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &mStmt, &tail) !=
        SQLITE_OK) {
        std::string text = FailureText(db);
        sqlite3_finalize(mStmt);
        mStmt = nullptr;
        throw Error("SQL 语句错误: " + text + "\n语句: " + std::string(sql));
    }
    if (!mStmt)
        throw Error("SQL 语句是空的。");
}

Statement::~Statement() {
    sqlite3_finalize(mStmt);
}

Statement::Statement(Statement&& other) noexcept : mDb(other.mDb), mStmt(other.mStmt) {
    other.mStmt = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(mStmt);
        mDb = other.mDb;
        mStmt = other.mStmt;
        other.mStmt = nullptr;
    }
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(mStmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    std::string text = FailureText(mDb);
    sqlite3_reset(mStmt);
    throw Error(text);
}

void Statement::reset() {
    sqlite3_reset(mStmt);
}

void Statement::bind(int index, const Value& value) {
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value))
        rc = sqlite3_bind_null(mStmt, index);
    else if (auto* i = std::get_if<std::int64_t>(&value))
        rc = sqlite3_bind_int64(mStmt, index, *i);
    else if (auto* d = std::get_if<double>(&value))
        rc = sqlite3_bind_double(mStmt, index, *d);
    else {
        const auto& s = std::get<std::string>(value);
        rc =
            sqlite3_bind_text(mStmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        throw Error(sqlite3_errmsg(mDb));
}

void Statement::bindText(int index, std::string_view text) {
    if (sqlite3_bind_text(mStmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        throw Error(sqlite3_errmsg(mDb));
}

void Statement::bindBlob(int index, std::string_view bytes) {
    if (sqlite3_bind_blob(mStmt, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        throw Error(sqlite3_errmsg(mDb));
}

int Statement::parameterIndex(const std::string& name) const {
    return sqlite3_bind_parameter_index(mStmt, name.c_str());
}

int Statement::parameterCount() const {
    return sqlite3_bind_parameter_count(mStmt);
}

std::string Statement::parameterName(int index) const {
    const char* n = sqlite3_bind_parameter_name(mStmt, index);
    return n ? n : "";
}

int Statement::columnCount() const {
    return sqlite3_column_count(mStmt);
}

std::string Statement::columnName(int i) const {
    const char* n = sqlite3_column_name(mStmt, i);
    return n ? n : "";
}

std::string Statement::columnDeclType(int i) const {
    const char* t = sqlite3_column_decltype(mStmt, i);
    return t ? t : "";
}

Value Statement::column(int i) const {
    switch (sqlite3_column_type(mStmt, i)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(mStmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(mStmt, i);
    case SQLITE_NULL:
        return std::monostate{};
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(mStmt, i));
        int n = sqlite3_column_bytes(mStmt, i);
        return std::string(p ? p : "", static_cast<std::size_t>(n));
    }
    }
}

std::int64_t Statement::columnInt(int i) const {
    return sqlite3_column_int64(mStmt, i);
}

bool Statement::readOnly() const {
    return sqlite3_stmt_readonly(mStmt) != 0;
}

} // namespace db
