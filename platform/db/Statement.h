#pragma once

#include "platform/db/Value.h"

#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// A prepared SQLite statement that finalizes itself. The SQL is SQLite's own
// dialect; Jet statements are translated before they get here.
class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Steps once; true while a row is available. Throws db::Error on failure.
    bool step();
    void reset();
    void bind(int index, const Value& value);
    void bindText(int index, std::string_view text);
    // Bytes stored as they are (a picture); column() reads them back as text.
    void bindBlob(int index, std::string_view bytes);
    [[nodiscard]] int parameterIndex(const std::string& name) const;
    [[nodiscard]] int parameterCount() const;
    [[nodiscard]] std::string parameterName(int index) const;

    [[nodiscard]] int columnCount() const;
    [[nodiscard]] std::string columnName(int i) const;
    [[nodiscard]] std::string columnDeclType(int i) const;
    [[nodiscard]] Value column(int i) const;
    [[nodiscard]] std::int64_t columnInt(int i) const;
    [[nodiscard]] bool readOnly() const;
    [[nodiscard]] sqlite3_stmt* handle() const { return mStmt; }

  private:
    sqlite3* mDb = nullptr;
    sqlite3_stmt* mStmt = nullptr;
};

} // namespace db
