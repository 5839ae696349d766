#include "platform/db/Query.h"

#include "platform/db/BatchReader.h"

#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace db {
namespace {

constexpr int kWindow = 64;

std::string Placeholders(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += i ? ",?" : "?";
    return s;
}

} // namespace

// The rows of a single-table SELECT, addressed by rowid.
struct Query::Keyset {
    std::string table;
    std::vector<std::int64_t> keys;
    std::unique_ptr<BatchReader> fetch;
    std::unique_ptr<Statement> fetchOne; // one row by rowid, after a post
    int windowStart = -1;
    std::vector<std::vector<Value>> window;
    std::vector<bool> stale; // posted rows of the window, read back when next wanted
    std::map<std::vector<int>, Statement> writes; // by kind (-1 update, -2 insert) and columns
};

Query::Query(Connection& connection) : mConnection(connection) {}

Query::~Query() = default;

void Query::setSql(std::string_view text) {
    mSqlLines.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        if (nl != std::string_view::npos || stop > start)
            mSqlLines.emplace_back(text.substr(start, stop - start));
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
}

void Query::addSql(std::string_view line) {
    mSqlLines.emplace_back(line);
}

std::string Query::sqlText() const {
    std::string s;
    for (const auto& line : mSqlLines)
        s += line + "\r\n";
    return s;
}

void Query::setParam(const std::string& name, Value value) {
    std::string key = !name.empty() && name[0] == ':' ? name.substr(1) : name;
    for (auto& [k, v] : mParams) {
        if (text::EqualNoCase(k, key)) {
            v = std::move(value);
            return;
        }
    }
    mParams.emplace_back(key, std::move(value));
}

void Query::prepare() {
    std::string sql = Connection::TranslateQuery(sqlText());
    Statement st(mConnection.handle(), sql);
    for (int i = 1; i <= st.parameterCount(); ++i) {
        std::string name = st.parameterName(i);
        if (name.size() > 1)
            name = name.substr(1);
        bool have = false;
        for (const auto& p : mParams)
            have = have || text::EqualNoCase(p.first, name);
        if (!have)
            mParams.emplace_back(name, std::monostate{});
    }
}

void Query::open() {
    close();
    std::string jetText = sqlText();
    jet::Tokens t = jet::Tokenize(jetText);
    jet::Normalize(t);
    std::optional<jet::SimpleSelect> simple;
    if (jet::FindExternals(t).empty())
        simple = jet::AsSimpleSelect(t);
    if (simple) {
        try {
            auto ks = std::make_unique<Keyset>();
            ks->table = simple->table;
            std::string keysSql = "SELECT " + simple->rowidRef + " FROM " + simple->from;
            if (!simple->rest.empty())
                keysSql += " " + simple->rest;
            Statement keys(mConnection.handle(), keysSql);
            mConnection.bindParams(keys, mParams);
            while (keys.step())
                ks->keys.push_back(keys.columnInt(0));
            ks->fetch = std::make_unique<BatchReader>(mConnection, simple->selectList, simple->from,
                                                      simple->rowidRef, kWindow);
            ks->fetchOne = std::make_unique<Statement>(
                mConnection.handle(), "SELECT " + simple->selectList + " FROM " + simple->from +
                                          " WHERE " + simple->rowidRef + " = ?");
            const Statement& fetch = ks->fetch->statement();
            sqlite3_stmt* fs = fetch.handle();
            std::vector<int> unknown;
            for (int i = 1; i < fetch.columnCount(); ++i) {
                Field f;
                f.name = fetch.columnName(i);
                f.declaredType = fetch.columnDeclType(i);
                bool known = false;
                f.kind = KindFromDeclared(f.declaredType, &known);
                if (!known)
                    unknown.push_back(i - 1);
                const char* origin = sqlite3_column_origin_name(fs, i);
                const char* table = sqlite3_column_table_name(fs, i);
                if (origin && table && text::EqualNoCase(table, ks->table))
                    f.baseColumn = origin;
                f.single = IsSinglePrecision(f.declaredType);
                mFields.push_back(std::move(f));
            }
            mKeyset = std::move(ks);
            // An expression column takes its kind from the value it holds.
            for (int f : unknown) {
                Value v = recordCount() > 0 ? row(0)[static_cast<std::size_t>(f)] : Value{};
                mFields[static_cast<std::size_t>(f)].kind =
                    std::holds_alternative<std::int64_t>(v) ? FieldKind::Integer
                    : std::holds_alternative<double>(v)     ? FieldKind::Float
                                                            : FieldKind::String;
            }
        } catch (const Error&) {
            // A view or a table without rowids: read the result whole below,
            // which also reports a genuine error of the statement.
            mFields.clear();
            mKeyset.reset();
        }
    }
    if (!mKeyset) {
        ResultSet r = mConnection.select(jetText, mParams);
        mFields = std::move(r.fields);
        mRows = std::move(r.rows);
    }
    mState = State::Browse;
    if (recordCount() > 0) {
        mRow = 0;
        mBof = true;
        mEof = false;
    } else {
        mRow = -1;
        mBof = mEof = true;
    }
    notifyChanged();
}

void Query::close() {
    if (mState == State::Inactive && !mKeyset && mRows.empty())
        return;
    mState = State::Inactive;
    mKeyset.reset();
    mRows.clear();
    mFields.clear();
    mBuffer.clear();
    mChanged.clear();
    mRow = -1;
    mBof = mEof = true;
    notifyChanged();
}

int Query::execSql() {
    return mConnection.execute(sqlText(), mParams);
}

int Query::recordCount() const {
    if (mKeyset)
        return static_cast<int>(mKeyset->keys.size());
    return static_cast<int>(mRows.size());
}

void Query::first() {
    autoPost();
    if (recordCount() == 0) {
        mRow = -1;
        mBof = mEof = true;
    } else {
        mRow = 0;
        mBof = true;
        mEof = false;
    }
    notifyCurrent();
}

void Query::next() {
    autoPost();
    if (mRow + 1 < recordCount()) {
        ++mRow;
        mBof = mEof = false;
        notifyCurrent();
    } else {
        mEof = true;
    }
}

void Query::prior() {
    autoPost();
    if (mRow > 0) {
        --mRow;
        mBof = mEof = false;
        notifyCurrent();
    } else {
        mBof = true;
    }
}

void Query::last() {
    autoPost();
    int n = recordCount();
    mRow = n - 1;
    mEof = true;
    mBof = n == 0;
    notifyCurrent();
}

void Query::moveTo(int r) {
    if (r < 0 || r >= recordCount())
        throw Error("记录号超出范围: " + std::to_string(r + 1));
    autoPost();
    mRow = r;
    mBof = mEof = false;
    notifyCurrent();
}

int Query::findField(std::string_view name) const {
    for (std::size_t i = 0; i < mFields.size(); ++i)
        if (text::EqualNoCase(mFields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

int Query::fieldIndex(std::string_view name) const {
    int i = findField(name);
    if (i < 0)
        throw Error("找不到字段 '" + std::string(name) + "'。");
    return i;
}

void Query::fetchWindow(int r) const {
    Keyset& ks = *mKeyset;
    int n = static_cast<int>(ks.keys.size());
    int start = r;
    if (ks.windowStart >= 0 && r == ks.windowStart - 1)
        start = std::max(0, r - kWindow + 1);
    int count = std::min(kWindow, n - start);
    ks.windowStart = -1;
    ks.fetch->read(ks.keys.data() + start, count, ks.window);
    ks.stale.assign(static_cast<std::size_t>(count), false);
    ks.windowStart = start;
}

// Marks a posted row of the window to be read back as stored when it is
// next wanted (a scoring walk never wants it again).
void Query::markStale(int r) {
    Keyset& ks = *mKeyset;
    if (ks.windowStart >= 0 && r >= ks.windowStart &&
        r < ks.windowStart + static_cast<int>(ks.window.size()))
        ks.stale[static_cast<std::size_t>(r - ks.windowStart)] = true;
}

void Query::refreshRow(int r) const {
    Keyset& ks = *mKeyset;
    Statement& st = *ks.fetchOne;
    st.reset();
    st.bind(1, ks.keys[static_cast<std::size_t>(r)]);
    auto& row = ks.window[static_cast<std::size_t>(r - ks.windowStart)];
    try {
        if (st.step())
            for (std::size_t f = 0; f < mFields.size(); ++f)
                row[f] = st.column(static_cast<int>(f));
    } catch (...) {
        st.reset();
        ks.windowStart = -1;
        throw;
    }
    st.reset();
    ks.stale[static_cast<std::size_t>(r - ks.windowStart)] = false;
}

const std::vector<Value>& Query::row(int r) const {
    if (r < 0 || r >= recordCount())
        throw Error("没有当前记录。");
    if (!mKeyset)
        return mRows[static_cast<std::size_t>(r)];
    Keyset& ks = *mKeyset;
    if (ks.windowStart < 0 || r < ks.windowStart ||
        r >= ks.windowStart + static_cast<int>(ks.window.size()))
        fetchWindow(r);
    if (ks.stale[static_cast<std::size_t>(r - ks.windowStart)])
        refreshRow(r);
    return ks.window[static_cast<std::size_t>(r - ks.windowStart)];
}

Value Query::value(int field) const {
    if (field < 0 || field >= fieldCount())
        throw Error("字段序号超出范围。");
    if (mState == State::Edit || mState == State::Insert)
        return mBuffer[static_cast<std::size_t>(field)];
    if (mRow < 0)
        return std::monostate{};
    return row(mRow)[static_cast<std::size_t>(field)];
}

Value Query::valueAt(int r, int field) const {
    if ((mState == State::Edit && r == mRow) || (mState == State::Insert && r == recordCount()))
        return mBuffer.at(static_cast<std::size_t>(field));
    return row(r).at(static_cast<std::size_t>(field));
}

void Query::checkEditable() const {
    if (mState == State::Inactive)
        throw Error("数据集没有打开。");
    if (!mKeyset)
        throw Error("这个结果集是只读的，不能修改。");
}

void Query::edit() {
    checkEditable();
    if (mState == State::Edit || mState == State::Insert)
        return;
    if (mRow < 0)
        throw Error("没有当前记录，不能修改。");
    mBuffer = row(mRow);
    mChanged.assign(mFields.size(), false);
    mState = State::Edit;
}

void Query::append() {
    checkEditable();
    autoPost();
    mBuffer.assign(mFields.size(), std::monostate{});
    mChanged.assign(mFields.size(), false);
    mState = State::Insert;
}

void Query::setValue(int field, Value v) {
    if (mState != State::Edit && mState != State::Insert)
        throw Error("数据集不在编辑或插入状态。");
    const Field& f = mFields.at(static_cast<std::size_t>(field));
    if (f.baseColumn.empty())
        throw Error("字段 '" + f.name + "' 不能修改。");
    if (auto* d = std::get_if<double>(&v); d && f.single)
        v = static_cast<double>(static_cast<float>(*d));
    mBuffer[static_cast<std::size_t>(field)] = std::move(v);
    mChanged[static_cast<std::size_t>(field)] = true;
}

void Query::post() {
    if (mState != State::Edit && mState != State::Insert)
        return;
    Keyset& ks = *mKeyset;
    std::vector<int>& key = mWriteKey;
    key.assign(1, mState == State::Edit ? -1 : -2);
    for (std::size_t i = 0; i < mFields.size(); ++i)
        if (mChanged[i])
            key.push_back(static_cast<int>(i));
    const std::vector<int> cols(key.begin() + 1, key.end());
    if (mState == State::Edit && cols.empty()) {
        mState = State::Browse;
        return;
    }
    auto it = ks.writes.find(key);
    if (it == ks.writes.end()) {
        std::string sql;
        std::string table = jet::QuoteName(ks.table);
        if (mState == State::Edit) {
            sql = "UPDATE " + table + " SET ";
            for (std::size_t i = 0; i < cols.size(); ++i)
                sql += (i ? ", " : "") +
                       jet::QuoteName(mFields[static_cast<std::size_t>(cols[i])].baseColumn) +
                       " = ?";
            sql += " WHERE rowid = ?";
        } else if (cols.empty()) {
            sql = "INSERT INTO " + table + " DEFAULT VALUES";
        } else {
            std::string names;
            for (std::size_t i = 0; i < cols.size(); ++i)
                names += (i ? ", " : "") +
                         jet::QuoteName(mFields[static_cast<std::size_t>(cols[i])].baseColumn);
            sql = "INSERT INTO " + table + " (" + names + ") VALUES (" +
                  Placeholders(static_cast<int>(cols.size())) + ")";
        }
        it = ks.writes.emplace(key, Statement(mConnection.handle(), sql)).first;
    }
    Statement& st = it->second;
    st.reset();
    int p = 1;
    for (int c : cols)
        st.bind(p++, mBuffer[static_cast<std::size_t>(c)]);
    if (mState == State::Edit)
        st.bind(p, ks.keys[static_cast<std::size_t>(mRow)]);
    try {
        st.step();
    } catch (const Error& e) {
        st.reset();
        throw Error(std::string("不能保存记录: ") + e.what());
    }
    st.reset();
    if (mState == State::Insert) {
        ks.keys.push_back(mConnection.lastInsertRowid());
        mRow = static_cast<int>(ks.keys.size()) - 1;
        mBof = mEof = false;
    }
    markStale(mRow);
    mState = State::Browse;
    mBuffer.clear();
    notifyRow(mRow);
}

void Query::cancel() {
    if (mState == State::Edit || mState == State::Insert) {
        mState = State::Browse;
        mBuffer.clear();
    }
}

void Query::autoPost() {
    if (mState == State::Edit || mState == State::Insert)
        post();
}

std::string Query::baseTable() const {
    if (!mKeyset)
        throw Error("这个结果集不对应一个表。");
    return mKeyset->table;
}

std::int64_t Query::rowidAt(int row) const {
    if (!mKeyset)
        throw Error("这个结果集不对应一个表。");
    if (row < 0 || row >= recordCount())
        throw Error("没有当前记录。");
    return mKeyset->keys[static_cast<std::size_t>(row)];
}

void Query::refresh() {
    if (mKeyset) {
        mKeyset->windowStart = -1;
        mKeyset->window.clear();
    }
    notifyChanged();
}

void Query::disableControls() {
    if (mDisabled++ == 0)
        for (auto* o : mObservers)
            o->controlsChanged(true);
}

void Query::enableControls() {
    if (mDisabled > 0 && --mDisabled == 0) {
        for (auto* o : mObservers)
            o->controlsChanged(false);
        notifyChanged();
    }
}

void Query::addObserver(QueryObserver* o) {
    mObservers.push_back(o);
}

void Query::removeObserver(QueryObserver* o) {
    std::erase(mObservers, o);
}

void Query::notifyChanged() {
    if (mDisabled == 0)
        for (auto* o : mObservers)
            o->datasetChanged();
}

void Query::notifyCurrent() {
    if (mDisabled == 0)
        for (auto* o : mObservers)
            o->currentChanged(mRow);
}

void Query::notifyRow(int r) {
    if (mDisabled == 0)
        for (auto* o : mObservers)
            o->rowChanged(r);
}

std::string Query::ToText(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (auto* s = std::get_if<std::string>(&v))
        return *s;
    return "";
}

std::int64_t Query::ToInteger(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (auto* d = std::get_if<double>(&v))
        return static_cast<std::int64_t>(std::nearbyint(*d));
    if (auto* s = std::get_if<std::string>(&v)) {
        std::string t = text::Trim(*s);
        char* end = nullptr;
        errno = 0;
        long long n = std::strtoll(t.c_str(), &end, 10);
        if (t.empty() || *end != '\0' || errno == ERANGE)
            throw Error("'" + *s + "' is not a valid integer value");
        return n;
    }
    return 0;
}

double Query::ToFloat(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v))
        return *d;
    if (auto* s = std::get_if<std::string>(&v)) {
        std::string t = text::Trim(*s);
        char* end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (t.empty() || *end != '\0')
            throw Error("'" + *s + "' is not a valid floating point value");
        return d;
    }
    return 0;
}

} // namespace db
