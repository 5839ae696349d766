#include "platform/db/DbfModule.h"

#include "platform/db/Dbf.h"
#include "platform/db/Error.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace db {
namespace {

struct DbfVtab {
    sqlite3_vtab base{};
    std::unique_ptr<Dbf> dbf;
    DbfReads* reads = nullptr;
};

struct DbfCursor {
    sqlite3_vtab_cursor base{};
    std::uint32_t index = 0;
    std::string record;
};

std::string Unquote(std::string s) {
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
        char q = s.front();
        std::string r;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            r += s[i];
            if (s[i] == q && i + 2 < s.size() && s[i + 1] == q)
                ++i;
        }
        return r;
    }
    return s;
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
            char** err) {
    if (argc < 4) {
        *err = sqlite3_mprintf("dbf: 缺少文件名");
        return SQLITE_ERROR;
    }
    auto vt = std::make_unique<DbfVtab>();
    vt->reads = static_cast<DbfReads*>(aux);
    try {
        DbfOptions options;
        if (vt->reads)
            options.codePage = vt->reads->codePage();
        vt->dbf = std::make_unique<Dbf>(std::filesystem::path(Unquote(argv[3])), options);
        const int limit = sqlite3_limit(db, SQLITE_LIMIT_COLUMN, -1);
        if (vt->dbf->fields().size() > static_cast<std::size_t>(limit)) {
            *err = sqlite3_mprintf(
                "数据表 %s 有 %d 个字段，多于数据库一张表最多能有的 %d 列，不能读取",
                vt->dbf->displayName().c_str(), static_cast<int>(vt->dbf->fields().size()), limit);
            return SQLITE_ERROR;
        }
        std::string schema = vt->dbf->createTableSql("x");
        if (sqlite3_declare_vtab(db, schema.c_str()) != SQLITE_OK) {
            *err = sqlite3_mprintf("%s: %s", vt->dbf->displayName().c_str(), sqlite3_errmsg(db));
            return SQLITE_ERROR;
        }
    } catch (const std::exception& e) {
        *err = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
    *out = &vt.release()->base;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* v) {
    auto* vt = reinterpret_cast<DbfVtab*>(v);
    if (vt->reads) {
        try {
            vt->reads->record(vt->dbf->report());
        } catch (const std::exception&) {
            // a report lost for want of memory loses no data
        }
    }
    delete vt;
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vt, sqlite3_index_info* info) {
    auto* t = reinterpret_cast<DbfVtab*>(vt);
    info->estimatedCost = static_cast<double>(t->dbf->recordCount()) + 1;
    info->estimatedRows = t->dbf->recordCount();
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = &(new DbfCursor)->base;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* c) {
    delete reinterpret_cast<DbfCursor*>(c);
    return SQLITE_OK;
}

int SetError(sqlite3_vtab_cursor* c, const std::exception& e) {
    sqlite3_free(c->pVtab->zErrMsg);
    c->pVtab->zErrMsg = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
}

// Moves to the first live record at or after cursor->index.
int Settle(sqlite3_vtab_cursor* c) {
    auto* cur = reinterpret_cast<DbfCursor*>(c);
    const Dbf& dbf = *reinterpret_cast<DbfVtab*>(c->pVtab)->dbf;
    try {
        while (cur->index < dbf.recordCount() && !dbf.readRecord(cur->index, cur->record))
            ++cur->index;
    } catch (const std::exception& e) {
        return SetError(c, e);
    }
    return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**) {
    reinterpret_cast<DbfCursor*>(c)->index = 0;
    return Settle(c);
}

int Next(sqlite3_vtab_cursor* c) {
    ++reinterpret_cast<DbfCursor*>(c)->index;
    return Settle(c);
}

int Eof(sqlite3_vtab_cursor* c) {
    auto* cur = reinterpret_cast<DbfCursor*>(c);
    return cur->index >= reinterpret_cast<DbfVtab*>(c->pVtab)->dbf->recordCount();
}

int Column(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int i) {
    auto* cur = reinterpret_cast<DbfCursor*>(c);
    const Dbf& dbf = *reinterpret_cast<DbfVtab*>(c->pVtab)->dbf;
    try {
        const auto f = static_cast<std::size_t>(i);
        Value v = dbf.value(cur->record, f);
        auto* s = std::get_if<std::string>(&v);
        if (s && dbf.fields()[f].isBinary())
            sqlite3_result_blob64(ctx, s->data(), s->size(), SQLITE_TRANSIENT);
        else if (auto* n = std::get_if<std::int64_t>(&v))
            sqlite3_result_int64(ctx, *n);
        else if (auto* d = std::get_if<double>(&v))
            sqlite3_result_double(ctx, *d);
        else if (s)
            sqlite3_result_text(ctx, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
        else
            sqlite3_result_null(ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
        return SQLITE_ERROR;
    }
    return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
    *rowid = reinterpret_cast<DbfCursor*>(c)->index + 1;
    return SQLITE_OK;
}

sqlite3_module MakeModule() {
    sqlite3_module m{};
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = Rowid;
    return m;
}

const sqlite3_module kModule = MakeModule();

} // namespace

void RegisterDbfModule(sqlite3* db, DbfReads* reads) {
    if (sqlite3_create_module(db, "dbf", &kModule, reads) != SQLITE_OK)
        throw Error(sqlite3_errmsg(db));
}

} // namespace db
