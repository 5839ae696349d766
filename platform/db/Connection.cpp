#include "platform/db/Connection.h"

#include "platform/db/Dbf.h"
#include "platform/db/DbfModule.h"
#include "platform/db/Error.h"
#include "platform/db/Failure.h"
#include "platform/db/JetFunctions.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"

#include <sqlite3.h>

#include <algorithm>
#include <set>

namespace db {

// How long a statement waits for another program's lock on the database.
constexpr int kBusyWaitMs = 30000;

// Gives the file's statement helpers the raw handle that Connection keeps to
// itself.
struct ConnectionInternals {
    static sqlite3* handle(const Connection& c) { return c.handle(); }
    // The program's own statements for a user statement pass the authorizer.
    struct Trusted {
        Connection& c;
        explicit Trusted(Connection& c) : c(c) { ++c.mTrusted; }
        ~Trusted() { --c.mTrusted; }
        Trusted(const Trusted&) = delete;
        Trusted& operator=(const Trusted&) = delete;
    };
};
namespace {

using jet::Token;
using jet::Tokens;
constexpr std::size_t npos = static_cast<std::size_t>(-1);

void Exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(db) & 0xFF;
        std::string text =
            code == SQLITE_BUSY || code == SQLITE_LOCKED || code == SQLITE_FULL || !err
                ? FailureText(db)
                : std::string(err);
        sqlite3_free(err);
        throw Error(text);
    }
}

std::string Text(const Tokens& t, std::size_t b = 0, std::size_t e = npos) {
    return jet::Render(t, b, e);
}

// Memo's Jet names become LONGTEXT, which SQLite keeps as text.
std::string ColumnDef(const Tokens& t, std::size_t b, std::size_t e) {
    Tokens def(t.begin() + static_cast<long>(b), t.begin() + static_cast<long>(e));
    if (def.size() > 1 && (def[1].is("MEMO") || def[1].is("NOTE") || def[1].is("LONGCHAR")))
        def[1].text = "LONGTEXT";
    return Text(def);
}

struct Probe {
    std::vector<std::string> names;
    std::vector<std::string> types;
};

Probe ProbeSelect(Connection& c, const std::string& select) {
    Statement st(ConnectionInternals::handle(c), select);
    Probe p;
    for (int i = 0; i < st.columnCount(); ++i) {
        p.names.push_back(st.columnName(i));
        p.types.push_back(st.columnDeclType(i));
    }
    return p;
}

int RunSteps(Connection& c, const std::string& sql, const Params& params) {
    Statement st(ConnectionInternals::handle(c), sql);
    c.bindParams(st, params);
    sqlite3* db = ConnectionInternals::handle(c);
    auto before = sqlite3_total_changes64(db);
    while (st.step()) {
    }
    return static_cast<int>(sqlite3_total_changes64(db) - before);
}

int MakeTable(Connection& c, Tokens& t, std::size_t into, const Params& params) {
    if (into + 1 >= t.size() || !t[into + 1].isName())
        throw Error("SELECT ... INTO 后面缺少新表的名字。");
    std::string target = t[into + 1].text;
    if (c.hasTable(target))
        throw Error("表 '" + target + "' 已存在。");
    Tokens select = t;
    select.erase(select.begin() + static_cast<long>(into),
                 select.begin() + static_cast<long>(into) + 2);
    std::string selectSql = Text(select);
    Probe p = ProbeSelect(c, selectSql);
    std::set<std::string> seen;
    std::string create = "CREATE TABLE " + jet::QuoteName(target) + " (";
    for (std::size_t i = 0; i < p.names.size(); ++i) {
        if (!seen.insert(text::Lower(p.names[i])).second)
            throw Error("新表 '" + target + "' 中字段 '" + p.names[i] + "' 出现了两次。");
        create += (i ? ", " : "") + jet::QuoteName(p.names[i]);
        if (!p.types[i].empty())
            create += " " + p.types[i];
    }
    Exec(ConnectionInternals::handle(c), create + ")");
    return RunSteps(c, "INSERT INTO " + jet::QuoteName(target) + " " + selectSql, params);
}

int InsertByName(Connection& c, Tokens& t, const Params& params) {
    std::string target = t[2].text;
    auto columns = c.columns(target);
    if (columns.empty())
        throw Error("找不到表 '" + target + "'。");
    std::string selectSql = Text(t, 3);
    Probe p = ProbeSelect(c, selectSql);
    std::string list;
    for (std::size_t i = 0; i < p.names.size(); ++i) {
        const ColumnInfo* match = nullptr;
        for (const auto& col : columns)
            if (text::EqualNoCase(col.name, p.names[i]))
                match = &col;
        if (!match)
            throw Error("表 '" + target + "' 中没有字段 '" + p.names[i] + "'，INSERT 没有执行。");
        list += (i ? ", " : "") + jet::QuoteName(match->name);
    }
    return RunSteps(c, "INSERT INTO " + jet::QuoteName(target) + " (" + list + ") " + selectSql,
                    params);
}

int AlterAdd(Connection& c, Tokens& t) {
    std::string table = t[2].text;
    auto existing = c.columns(table);
    if (existing.empty())
        throw Error("找不到表 '" + table + "'。");
    std::set<std::string> names;
    for (const auto& col : existing)
        names.insert(text::Lower(col.name));
    std::vector<std::string> defs;
    for (auto [b, e] : jet::SplitTop(t, 4, t.size())) {
        if (b < e && t[b].is("COLUMN"))
            ++b;
        if (b >= e || !t[b].isName())
            throw Error("ALTER TABLE ... ADD 的字段定义不完整。");
        if (!names.insert(text::Lower(t[b].text)).second)
            throw Error("表 '" + table + "' 中已有字段 '" + t[b].text +
                        "'，ALTER TABLE 没有执行，没有添加任何字段。");
        defs.push_back(ColumnDef(t, b, e));
    }
    for (const auto& def : defs)
        Exec(ConnectionInternals::handle(c),
             "ALTER TABLE " + jet::QuoteName(table) + " ADD COLUMN " + def);
    return 0;
}

// UPDATE a x, b SET x.c = b.c WHERE ...  ->  UPDATE a AS x SET c = b.c FROM b WHERE ...
// UPDATE a INNER JOIN b ON cond SET ...  ->  UPDATE a SET ... FROM b WHERE cond AND ...
int MultiUpdate(Connection& c, Tokens& t, std::size_t set, const Params& params) {
    std::string target, from, joinCond;
    std::size_t join = jet::FindTop(t, "JOIN", 1);
    if (join != npos && join < set) {
        std::size_t on = jet::FindTop(t, "ON", join);
        if (on == npos || on > set)
            throw Error("UPDATE ... JOIN 缺少 ON 条件。");
        std::size_t end = join;
        if (end > 1 && (t[end - 1].is("INNER")))
            --end;
        target = Text(t, 1, end);
        from = Text(t, join + 1, on);
        joinCond = Text(t, on + 1, set);
    } else {
        auto parts = jet::SplitTop(t, 1, set);
        auto [b, e] = parts[0];
        if (e - b == 2)
            target = Text(t, b, b + 1) + " AS " + Text(t, b + 1, e);
        else
            target = Text(t, b, e);
        for (std::size_t i = 1; i < parts.size(); ++i)
            from += (i > 1 ? ", " : "") + Text(t, parts[i].first, parts[i].second);
    }
    std::size_t where = jet::FindTop(t, "WHERE", set);
    std::size_t setEnd = where == npos ? t.size() : where;
    std::string assigns;
    for (auto [b, e] : jet::SplitTop(t, set + 1, setEnd)) {
        if (e - b > 3 && t[b].isName() && t[b + 1].isPunct(".") && t[b + 2].isName())
            b += 2;
        assigns += (assigns.empty() ? "" : ", ") + Text(t, b, e);
    }
    std::string sql = "UPDATE " + target + " SET " + assigns + " FROM " + from;
    std::string cond = where == npos ? "" : Text(t, where + 1);
    if (!joinCond.empty())
        cond = cond.empty() ? joinCond : "(" + joinCond + ") AND (" + cond + ")";
    if (!cond.empty())
        sql += " WHERE " + cond;
    return RunSteps(c, sql, params);
}

int Dispatch(Connection& c, Tokens& t, const Params& params) {
    if (t.empty())
        throw Error("SQL 语句是空的。");
    if (t[0].is("SELECT")) {
        std::size_t into = jet::FindTop(t, "INTO");
        std::size_t from = jet::FindTop(t, "FROM");
        if (into != npos && (from == npos || into < from))
            return MakeTable(c, t, into, params);
    }
    if (t.size() > 3 && t[0].is("INSERT") && t[1].is("INTO") && t[2].isName() && t[3].is("SELECT"))
        return InsertByName(c, t, params);
    if (t.size() > 4 && t[0].is("ALTER") && t[1].is("TABLE") && t[2].isName() && t[3].is("ADD"))
        return AlterAdd(c, t);
    if (t[0].is("UPDATE")) {
        std::size_t set = jet::FindTop(t, "SET");
        if (set != npos) {
            bool multi = false;
            for (std::size_t i = 1; i < set; ++i)
                multi = multi || t[i].isPunct(",") || t[i].is("JOIN");
            if (multi)
                return MultiUpdate(c, t, set, params);
        }
    }
    if (t.size() > 3 && t[0].is("CREATE") && t[1].is("TABLE")) {
        std::size_t open = 3;
        while (open < t.size() && !t[open].isPunct("("))
            ++open;
        if (open < t.size() && t.back().isPunct(")")) {
            std::string sql = Text(t, 0, open + 1);
            bool first = true;
            for (auto [b, e] : jet::SplitTop(t, open + 1, t.size() - 1)) {
                sql += (first ? "" : ", ") + ColumnDef(t, b, e);
                first = false;
            }
            return RunSteps(c, sql + ")", params);
        }
    }
    return RunSteps(c, Text(t), params);
}

} // namespace

namespace {

// Turns every `name IN "folder" "dbase 5.0;"` of a statement into a
// temporary virtual table over the dBase file, dropped again afterwards.
class ExternalScope {
  public:
    ExternalScope(Connection& c, Tokens& t) : mConnection(c) {
        auto found = jet::FindExternals(t);
        for (auto it = found.rbegin(); it != found.rend(); ++it) {
            auto file = Dbf::FindTable(it->folder, it->table);
            std::string name = c.nextExternalName();
            ConnectionInternals::Trusted trusted(c);
            Exec(ConnectionInternals::handle(c), "CREATE VIRTUAL TABLE temp." +
                                                     jet::QuoteName(name) + " USING dbf(" +
                                                     jet::QuoteString(file.string()) + ")");
            mNames.push_back(name);
            std::string space = t[it->begin].space;
            Tokens repl = {Token{Token::Word, "temp", space}, Token{Token::Punct, ".", ""},
                           Token{Token::QuotedId, name, ""}, Token{Token::Word, "AS", " "},
                           Token{Token::QuotedId, it->table, " "}};
            t.erase(t.begin() + static_cast<long>(it->begin),
                    t.begin() + static_cast<long>(it->end));
            t.insert(t.begin() + static_cast<long>(it->begin), repl.begin(), repl.end());
        }
    }
    ~ExternalScope() {
        ConnectionInternals::Trusted trusted(mConnection);
        for (const auto& name : mNames)
            sqlite3_exec(ConnectionInternals::handle(mConnection),
                         ("DROP TABLE IF EXISTS temp." + jet::QuoteName(name)).c_str(), nullptr,
                         nullptr, nullptr);
    }
    ExternalScope(const ExternalScope&) = delete;
    ExternalScope& operator=(const ExternalScope&) = delete;

  private:
    Connection& mConnection;
    std::vector<std::string> mNames;
};

} // namespace

Connection::Connection() = default;

Connection::~Connection() {
    close();
}

void Connection::CreateDatabase(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::string err;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyWaitMs); // another program may be creating it too
        char* msg = nullptr;
        // Writes the header page, so the file is a database and not an empty file.
        if (sqlite3_exec(db, "PRAGMA user_version = 1", nullptr, nullptr, &msg) != SQLITE_OK) {
            err = msg ? msg : sqlite3_errmsg(db);
            sqlite3_free(msg);
        }
    } else {
        err = db ? sqlite3_errmsg(db) : "out of memory";
    }
    sqlite3_close(db);
    if (!err.empty())
        throw Error("不能创建数据库 " + file.string() + ": " + err);
}

void Connection::open(const std::filesystem::path& file) {
    close();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        throw Error("找不到数据库文件 " + file.string() + "。");
    sqlite3* db = nullptr;
    // One connection used from one thread: no locking of SQLite's own.
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        std::string err = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw Error("不能打开数据库 " + file.string() + ": " + err);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_handler(db, &Connection::WaitWhileBusy, this);
    // A name in double quotes is a name: an unknown one is an error, never
    // quietly read as a string (Jet's "..." strings are turned into '...').
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    mDb = db;
    mFile = file;
    try {
        // Any database header check happens on first read: do one now.
        Exec(mDb, "SELECT count(*) FROM sqlite_schema");
        RegisterDbfModule(mDb, &mDbfReads);
        RegisterJetFunctions(mDb);
        setTick(mTick);
    } catch (const Error& e) {
        close();
        throw Error("不能打开数据库 " + file.string() + ": " + e.what());
    }
}

void Connection::setDbfCodePage(int codePage) {
    if (codePage != 0 && !text::CodePageSupported(codePage))
        throw Error("不支持代码页 " + std::to_string(codePage) + "。");
    mDbfReads.setCodePage(codePage);
}

std::vector<std::string> Connection::takeImportNotes() {
    std::vector<std::string> notes;
    for (const auto& report : mDbfReads.take())
        for (auto& note : report.notes())
            if (std::find(notes.begin(), notes.end(), note) == notes.end())
                notes.push_back(std::move(note));
    return notes;
}

void Connection::close() {
    if (mDb) {
        sqlite3_close_v2(mDb);
        mDb = nullptr;
    }
}

sqlite3* Connection::handle() const {
    if (!mDb)
        throw Error("数据库连接没有打开。");
    return mDb;
}

void Connection::bindParams(Statement& st, const Params& params) const {
    for (int i = 1; i <= st.parameterCount(); ++i) {
        std::string name = st.parameterName(i);
        if (name.size() > 1)
            name = name.substr(1);
        bool bound = false;
        for (const auto& [key, value] : params) {
            if (text::EqualNoCase(key, name)) {
                st.bind(i, value);
                bound = true;
                break;
            }
        }
        if (!bound)
            throw Error("参数 '" + name + "' 没有值。");
    }
}

int Connection::execute(std::string_view jetSql, const Params& params) {
    Tokens t = jet::Tokenize(jetSql);
    jet::Normalize(t);
    sqlite3* db = handle();
    ExternalScope externals(*this, t);
    Exec(db, "SAVEPOINT jet_statement");
    try {
        int changes = Dispatch(*this, t, params);
        Exec(db, "RELEASE jet_statement");
        return changes;
    } catch (const Error& e) {
        sqlite3_exec(db, "ROLLBACK TO jet_statement; RELEASE jet_statement", nullptr, nullptr,
                     nullptr);
        std::string text = e.what();
        if (text.find("\n语句: ") == std::string::npos)
            text += "\n语句: " + std::string(jetSql);
        throw Error(text);
    }
}

ResultSet Connection::select(std::string_view jetSql, const Params& params) {
    Tokens t = jet::Tokenize(jetSql);
    jet::Normalize(t);
    ExternalScope externals(*this, t);
    Statement st(handle(), Text(t));
    bindParams(st, params);
    ResultSet r;
    std::vector<bool> known(static_cast<std::size_t>(st.columnCount()));
    for (int i = 0; i < st.columnCount(); ++i) {
        Field f;
        f.name = st.columnName(i);
        f.declaredType = st.columnDeclType(i);
        bool k = false;
        f.kind = KindFromDeclared(f.declaredType, &k);
        known[static_cast<std::size_t>(i)] = k;
        r.fields.push_back(std::move(f));
    }
    while (st.step()) {
        std::vector<Value> row;
        row.reserve(r.fields.size());
        for (int i = 0; i < st.columnCount(); ++i)
            row.push_back(st.column(i));
        r.rows.push_back(std::move(row));
    }
    // An expression column takes its kind from the values it holds.
    for (std::size_t i = 0; i < r.fields.size(); ++i) {
        if (known[i])
            continue;
        r.fields[i].kind = FieldKind::String;
        for (const auto& row : r.rows) {
            if (std::holds_alternative<std::int64_t>(row[i])) {
                r.fields[i].kind = FieldKind::Integer;
                break;
            }
            if (std::holds_alternative<double>(row[i])) {
                r.fields[i].kind = FieldKind::Float;
                break;
            }
            if (std::holds_alternative<std::string>(row[i]))
                break;
        }
    }
    return r;
}

std::string Connection::TranslateQuery(std::string_view jetSql) {
    Tokens t = jet::Tokenize(jetSql);
    jet::Normalize(t);
    return jet::Render(t);
}

int Connection::columnLimit() const {
    return sqlite3_limit(handle(), SQLITE_LIMIT_COLUMN, -1);
}

std::vector<std::string> Connection::tables() const {
    Statement st(handle(), "SELECT name FROM sqlite_schema WHERE type IN ('table','view') "
                           "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name");
    std::vector<std::string> names;
    while (st.step())
        names.push_back(std::get<std::string>(st.column(0)));
    return names;
}

bool Connection::hasTable(std::string_view name) const {
    for (const auto& t : tables())
        if (text::EqualNoCase(t, name))
            return true;
    return false;
}

std::vector<ColumnInfo> Connection::columns(std::string_view table) const {
    Statement st(handle(), "SELECT name, type FROM pragma_table_info(?)");
    st.bindText(1, table);
    std::vector<ColumnInfo> cols;
    while (st.step())
        cols.push_back({std::get<std::string>(st.column(0)),
                        IsNull(st.column(1)) ? "" : std::get<std::string>(st.column(1))});
    return cols;
}

int Connection::WaitWhileBusy(void* self, int tries) {
    auto* c = static_cast<Connection*>(self);
    constexpr int kStepMs = 20;
    if (tries * kStepMs >= kBusyWaitMs)
        return 0;
    if (c->mBusyNotice && tries % 25 == 0)
        c->mBusyNotice();
    sqlite3_sleep(kStepMs);
    return 1;
}

void Connection::setBusyNotice(std::function<void()> notice) {
    mBusyNotice = std::move(notice);
}

void Connection::setTick(std::function<void()> tick) {
    mTick = std::move(tick);
    if (!mDb)
        return;
    if (mTick)
        sqlite3_progress_handler(
            mDb, 200000,
            [](void* self) {
                static_cast<Connection*>(self)->mTick();
                return 0;
            },
            this);
    else
        sqlite3_progress_handler(mDb, 0, nullptr, nullptr);
}

void Connection::begin() {
    Exec(handle(), "BEGIN");
}
void Connection::beginImmediate() {
    Exec(handle(), "BEGIN IMMEDIATE");
}
void Connection::commit() {
    Exec(handle(), "COMMIT");
}
void Connection::rollback() {
    Exec(handle(), "ROLLBACK");
}
bool Connection::inTransaction() const {
    return mDb && !sqlite3_get_autocommit(mDb);
}

namespace {

// Ends a transaction whose COMMIT failed. SQLite keeps it open after some
// failures (a full disk among them), its changes half in the database file
// and half in the journal: rolled back now, the file holds the last commit
// whole, also for a copy made without the journal.
void RollBackFailedCommit(Connection& c) noexcept {
    try {
        if (c.inTransaction())
            c.rollback();
    } catch (...) {
    }
}

} // namespace

Transaction::Transaction(Connection& c, Mode mode) : mConnection(c), mMode(mode) {
    if (!c.inTransaction()) {
        if (mode == Immediate)
            c.beginImmediate();
        else
            c.begin();
        mActive = true;
    }
}

Transaction::~Transaction() {
    if (!mActive || !mConnection.inTransaction())
        return;
    try {
        if (mMode == CommitAlways)
            mConnection.commit();
        else
            mConnection.rollback();
    } catch (...) {
        RollBackFailedCommit(mConnection);
    }
}

void Transaction::commit() {
    if (mActive) {
        mActive = false;
        try {
            mConnection.commit();
        } catch (...) {
            RollBackFailedCommit(mConnection);
            throw;
        }
    }
}

void Transaction::rollback() {
    if (mActive) {
        mActive = false;
        if (mConnection.inTransaction())
            mConnection.rollback();
    }
}

Statement Connection::prepare(std::string_view sqliteSql) const {
    return Statement(handle(), sqliteSql);
}

int Connection::LibraryVersion() {
    return sqlite3_libversion_number();
}

} // namespace db

namespace db {

std::int64_t Connection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(handle());
}

} // namespace db

namespace db {

int Connection::Authorize(void* self, int action, const char*, const char* b, const char*,
                          const char*) {
    auto* c = static_cast<Connection*>(self);
    if (c->mUserStatements == 0 || c->mTrusted > 0)
        return SQLITE_OK;
    const char* refused = nullptr;
    switch (action) {
    case SQLITE_ATTACH:
        refused = "ATTACH";
        break;
    case SQLITE_DETACH:
        refused = "DETACH";
        break;
    case SQLITE_CREATE_VTABLE:
        refused = "CREATE VIRTUAL TABLE";
        break;
    case SQLITE_DROP_VTABLE:
        refused = "DROP VIRTUAL TABLE";
        break;
    case SQLITE_FUNCTION:
        if (b && text::EqualNoCase(b, "load_extension"))
            refused = "load_extension";
        break;
    default:
        break;
    }
    if (!refused)
        return SQLITE_OK;
    c->mRefused = refused;
    return SQLITE_DENY;
}

UserStatements::UserStatements(Connection& c) : mConnection(c) {
    if (mConnection.mUserStatements++ == 0) {
        mConnection.mRefused.clear();
        if (mConnection.mDb)
            sqlite3_set_authorizer(mConnection.mDb, &Connection::Authorize, &mConnection);
    }
}

UserStatements::~UserStatements() {
    if (--mConnection.mUserStatements == 0 && mConnection.mDb)
        sqlite3_set_authorizer(mConnection.mDb, nullptr, nullptr);
}

void CheckUserStatement(std::string_view jetSql) {
    Tokens t = jet::Tokenize(jetSql);
    while (!t.empty() && t.back().isPunct(";"))
        t.pop_back();
    for (const Token& token : t)
        if (token.isPunct(";"))
            throw Error("只能执行一条语句: " + std::string(jetSql));
    if (!t.empty() && t.front().is("VACUUM"))
        throw Error("自定义SQL语句不能使用 VACUUM: " + std::string(jetSql));
}

} // namespace db
