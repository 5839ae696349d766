#include "core/TableSources.h"

#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <vector>

namespace core {
namespace {

using db::jet::QuoteName;

constexpr const char* RunsTableName = "quillory_runs";

// The table, created on first use; a table of an earlier version gets the
// digest and import-time columns (empty for the sources it already holds).
void CreateSourcesTable(db::Connection& c) {
    db::Statement create =
        c.prepare("CREATE TABLE IF NOT EXISTS " + QuoteName(SourcesTableName) +
                  " (table_name TEXT PRIMARY KEY COLLATE NOCASE,"
                  " path TEXT NOT NULL, size INTEGER NOT NULL,"
                  " modified INTEGER NOT NULL, records INTEGER NOT NULL, digest INTEGER,"
                  " imported TEXT)");
    create.step();
    bool digest = false, imported = false;
    for (const db::ColumnInfo& column : c.columns(SourcesTableName)) {
        digest = digest || column.name == "digest";
        imported = imported || column.name == "imported";
    }
    if (!digest)
        c.execute("ALTER TABLE " + QuoteName(SourcesTableName) + " ADD COLUMN digest INTEGER");
    if (!imported)
        c.execute("ALTER TABLE " + QuoteName(SourcesTableName) + " ADD COLUMN imported TEXT");
}

std::int64_t ModifiedNanoseconds(const std::filesystem::path& file) {
    const auto written = std::filesystem::last_write_time(file);
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count();
}

// The record count of a dBase header (bytes 4 to 7, least significant
// first); 0 for a file too short to hold one.
std::int64_t StatedRecords(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char h[8] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h))
        return 0;
    return static_cast<std::int64_t>(h[4]) | static_cast<std::int64_t>(h[5]) << 8 |
           static_cast<std::int64_t>(h[6]) << 16 | static_cast<std::int64_t>(h[7]) << 24;
}

} // namespace

std::optional<std::int64_t> ContentDigest(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 0x100000001b3ULL;
    }
    if (in.bad())
        return std::nullopt;
    return static_cast<std::int64_t>(hash);
}

TableSource SourceOf(const std::filesystem::path& file) {
    TableSource source;
    source.path = std::filesystem::absolute(file).lexically_normal().string();
    source.size = std::filesystem::file_size(file);
    source.modified = ModifiedNanoseconds(file);
    source.records = StatedRecords(file);
    return source;
}

std::optional<TableSource> SourceIfThere(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    try {
        return SourceOf(file);
    } catch (const std::filesystem::filesystem_error&) {
        return std::nullopt;
    }
}

std::optional<TableSource> StoredSource(db::Connection& c, const std::string& table) {
    if (!c.hasTable(SourcesTableName))
        return std::nullopt;
    CreateSourcesTable(c);
    db::Statement select =
        c.prepare("SELECT path, size, modified, records, digest, imported FROM " +
                  QuoteName(SourcesTableName) + " WHERE table_name = ?");
    select.bindText(1, table);
    if (!select.step())
        return std::nullopt;
    TableSource source;
    source.path = std::get<std::string>(select.column(0));
    source.size = static_cast<std::uintmax_t>(select.columnInt(1));
    source.modified = select.columnInt(2);
    source.records = select.columnInt(3);
    if (!db::IsNull(select.column(4)))
        source.digest = select.columnInt(4);
    if (!db::IsNull(select.column(5)))
        source.imported = std::get<std::string>(select.column(5));
    return source;
}

void RecordSource(db::Connection& c, const std::string& table, const TableSource& source) {
    CreateSourcesTable(c);
    db::Statement insert = c.prepare(
        "INSERT INTO " + QuoteName(SourcesTableName) +
        " (table_name, path, size, modified, records, digest) VALUES (?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (table_name) DO UPDATE SET path = excluded.path, size = excluded.size,"
        " modified = excluded.modified, records = excluded.records, digest = excluded.digest");
    insert.bindText(1, table);
    insert.bindText(2, source.path);
    insert.bind(3, static_cast<std::int64_t>(source.size));
    insert.bind(4, source.modified);
    insert.bind(5, source.records);
    if (const auto digest = ContentDigest(source.path))
        insert.bind(6, *digest);
    else
        insert.bind(6, db::Value{});
    insert.step();
}

void RecordImport(db::Connection& c, const std::string& table) {
    CreateSourcesTable(c);
    db::Statement update = c.prepare("UPDATE " + QuoteName(SourcesTableName) +
                                     " SET imported = ? WHERE table_name = ?");
    update.bindText(1, text::LocalTimeNow());
    update.bindText(2, table);
    update.step();
}

bool SameSource(const TableSource& stored, const TableSource& now) {
    return stored.path == now.path && stored.size == now.size && stored.modified == now.modified;
}

bool TouchedOnly(const TableSource& stored, const TableSource& now) {
    return stored.path == now.path && stored.size == now.size && stored.records == now.records &&
           stored.digest && stored.digest == ContentDigest(now.path);
}

int DropScoringRuns(db::Connection& c, const std::string& table) {
    if (!c.hasTable(RunsTableName))
        return 0;
    db::Statement drop = c.prepare("DELETE FROM " + QuoteName(RunsTableName) +
                                   " WHERE table_name = ? COLLATE NOCASE");
    drop.bindText(1, table);
    drop.step();
    db::Statement changes = c.prepare("SELECT changes()");
    changes.step();
    return static_cast<int>(changes.columnInt(0));
}

std::string ReimportQuestion(const std::string& table, const TableSource& stored,
                             const TableSource& now, const std::string& alsoLost) {
    return "数据表 " + table + " 已导入过（来自 " + stored.path + "，" +
           std::to_string(stored.records) + " 条记录）。现在打开的文件不同（" + now.path + "，" +
           std::to_string(now.records) + " 条记录）。是否重新导入？已有的评分会被清除。" + alsoLost;
}

std::string ReimportNotice(const std::string& table, const TableSource& now, int droppedRuns) {
    std::string notice = "数据表 " + table + " 已从 " + now.path + " 重新导入（" +
                         std::to_string(now.records) + " 条记录），已有的评分已清除";
    if (droppedRuns > 0)
        notice += "（删除了 " + std::to_string(droppedRuns) + " 次评分的记录）";
    return notice + "。";
}

} // namespace core
