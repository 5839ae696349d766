#pragma once

#include "platform/db/DbfReport.h"
#include "platform/db/Field.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace db {

class Statement;

// Named parameters of a statement (":ClassID" is given as "ClassID").
using Params = std::vector<std::pair<std::string, Value>>;

struct ColumnInfo {
    std::string name;
    std::string declaredType;
};

// Every row of a result, read whole: for results that have no base table
// (aggregates, joins, DISTINCT), which are small.
struct ResultSet {
    std::vector<Field> fields;
    std::vector<std::vector<Value>> rows;
};

// The one connection to the scratch database (a SQLite file). Executes
// statements written in the Jet dialect: each runs whole or not at all.
// Owned by the Workspace; every Query on it must be closed or destroyed
// before it is. All member functions are to be called from one thread.
class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Creates an empty database file; throws db::Error naming the file.
    static void CreateDatabase(const std::filesystem::path& file);

    // Opens an existing database file.
    void open(const std::filesystem::path& file);
    void close();
    [[nodiscard]] bool isOpen() const { return mDb != nullptr; }
    [[nodiscard]] const std::filesystem::path& file() const { return mFile; }

    // Executes a Jet statement without result; returns the rows it changed.
    int execute(std::string_view jetSql, const Params& params = {});

    // Runs a Jet SELECT and reads all its rows.
    [[nodiscard]] ResultSet select(std::string_view jetSql, const Params& params = {});

    // Tables and views, system tables left out.
    [[nodiscard]] std::vector<std::string> tables() const;
    [[nodiscard]] bool hasTable(std::string_view name) const;
    [[nodiscard]] std::vector<ColumnInfo> columns(std::string_view table) const;

    // SQLite text of a Jet statement that returns rows and needs no
    // database work of its own (no INTO, no external table).
    [[nodiscard]] static std::string TranslateQuery(std::string_view jetSql);

    // Called now and then while a long statement runs, so that a window can
    // show it is working; an empty function turns it off.
    void setTick(std::function<void()> tick);

    // Called now and then while a statement waits (at most 30 s) for another
    // program that holds the database, so that the user learns why nothing
    // moves; an empty function turns it off.
    void setBusyNotice(std::function<void()> notice);

    void begin();
    void beginImmediate();
    void commit();
    void rollback();
    [[nodiscard]] bool inTransaction() const;

    // A statement in SQLite's own dialect (names quoted with QuoteName),
    // prepared on this connection.
    [[nodiscard]] Statement prepare(std::string_view sqliteSql) const;

    // The most columns a table of this database may have (SQLite's
    // SQLITE_MAX_COLUMN, 2000 unless the library was built otherwise).
    [[nodiscard]] int columnLimit() const;

    // The SQLite library's version number (3033000 for 3.33.0).
    [[nodiscard]] static int LibraryVersion();

    void bindParams(Statement& st, const Params& params) const;

    // The dBase tables that statements read (`name IN "folder" "dbase 5.0;"`).
    // Code page of their text, whatever their headers name (config.ini's
    // [General] CodePage, e.g. 936); 0, the default, lets each header decide.
    // Throws db::Error for a code page the system cannot decode.
    void setDbfCodePage(int codePage);
    [[nodiscard]] int dbfCodePage() const { return mDbfReads.codePage(); }
    // What reading them noticed since the last call: one report per file
    // read (the code page used, renamed fields, unreadable values, bytes
    // after the stated records), in the order read.
    [[nodiscard]] std::vector<DbfReadReport> takeDbfReports() { return mDbfReads.take(); }
    // The same as Chinese notes for stderr or the status line, each naming
    // its file; empty when there is nothing to tell. Takes the reports.
    [[nodiscard]] std::vector<std::string> takeImportNotes();

    // A fresh name for a temporary external table.
    [[nodiscard]] std::string nextExternalName() { return "__dbf_" + std::to_string(++mExternals); }

    // What the last refused user statement tried ("ATTACH", ...), or empty.
    [[nodiscard]] const std::string& refusedAction() const { return mRefused; }

    // The rowid of the last row an INSERT on this connection added.
    [[nodiscard]] std::int64_t lastInsertRowid() const;

  private:
    // The raw handle stays inside the database layer: the dataset and the
    // statement helpers of Connection.cpp reach it, nothing above does.
    [[nodiscard]] sqlite3* handle() const;
    friend class Query;
    friend struct ConnectionInternals;
    friend class UserStatements;
    friend void RegisterPackedReals(Connection& connection);
    static int WaitWhileBusy(void* self, int tries);
    static int Authorize(void* self, int action, const char* a, const char* b, const char* db,
                         const char* trigger);

    sqlite3* mDb = nullptr;
    std::function<void()> mBusyNotice;
    int mUserStatements = 0; // > 0 while the user's own statements run
    int mTrusted = 0;        // > 0 while the program reads a dBase file for them
    std::string mRefused;
    std::filesystem::path mFile;
    std::function<void()> mTick;
    int mExternals = 0;
    DbfReads mDbfReads;
};

// While it lives, the statements run on the connection are the user's own
// (the custom SQL): they act on the scratch database only. Attaching or
// detaching databases, creating or dropping virtual tables by hand and
// loading extensions are refused; reading a .dbf the Jet way
// (`FROM name IN "folder" "dbase 5.0;"`) keeps working.
class UserStatements {
  public:
    explicit UserStatements(Connection& c);
    ~UserStatements();
    UserStatements(const UserStatements&) = delete;
    UserStatements& operator=(const UserStatements&) = delete;

  private:
    Connection& mConnection;
};

// Checks a statement the user typed before it runs: one statement only
// ("只能执行一条语句"; a lone trailing ";" is fine) and no VACUUM, which can
// write the database to a file. Throws db::Error.
void CheckUserStatement(std::string_view jetSql);

// Begins a transaction and ends it when it goes out of scope: committed by
// commit(), rolled back by rollback() or, by default, when it is left
// without either; with CommitAlways it is committed also when an error ends
// the scope, so that the work of a long loop stays done. A transaction the
// database has already ended (SQLite rolls back by itself on some errors)
// is not committed again; one whose commit fails (a full disk) is rolled
// back before the error goes on. Inside a transaction that is already open
// it does nothing: the outer one decides.
class Transaction {
  public:
    // Immediate takes the write lock at once (waiting for another program),
    // so that a read followed by writes cannot fail half-way; it rolls back
    // on error like RollbackOnError.
    enum Mode { RollbackOnError, CommitAlways, Immediate };
    explicit Transaction(Connection& c, Mode mode = RollbackOnError);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    void rollback();

  private:
    Connection& mConnection;
    Mode mMode;
    bool mActive = false;
};

} // namespace db
