#pragma once

#include "platform/db/Connection.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Where each imported answer table came from: the .dbf's path, size,
// modification time and stated record count, kept in the scratch database's
// table quillory_sources (one row per answer table). Opening a file of a
// known name compares it with the row, so that a changed or different file
// is not shown silently as the stored table.
namespace core {

inline constexpr const char* SourcesTableName = "quillory_sources";

struct TableSource {
    std::string path;          // absolute, as opened
    std::uintmax_t size = 0;   // bytes
    std::int64_t modified = 0; // nanoseconds since 1970-01-01 UTC
    std::int64_t records = 0;  // records stated by the file's header
    // A digest of the file's bytes, kept when the source is recorded, so that
    // a file only touched (saved again, copied back) is known as the same;
    // nothing for a source recorded without it.
    std::optional<std::int64_t> digest;
    // When the table was last imported from its file, local time as the logs
    // write it; empty when not known (a source recorded before this was kept).
    std::string imported;
};

// The digest of a file's bytes (64-bit FNV-1a); nothing when it cannot be read.
[[nodiscard]] std::optional<std::int64_t> ContentDigest(const std::filesystem::path& file);

// The facts of the .dbf file now. Throws std::filesystem::filesystem_error
// when there is no such file.
[[nodiscard]] TableSource SourceOf(const std::filesystem::path& file);

// The same, or nothing when the file cannot be found or read.
[[nodiscard]] std::optional<TableSource> SourceIfThere(const std::filesystem::path& file);

// The recorded source of the answer table `table`, if any.
[[nodiscard]] std::optional<TableSource> StoredSource(db::Connection& connection,
                                                      const std::string& table);

// Records (or replaces) the source of the answer table `table`, with the
// digest of the file's bytes as they are now.
void RecordSource(db::Connection& connection, const std::string& table, const TableSource& source);

// Notes that `table` was imported (or re-imported) from its recorded source
// now; the changes logged before this time were made on an earlier import.
void RecordImport(db::Connection& connection, const std::string& table);

// The same file as recorded: same path, same size, same modification time.
[[nodiscard]] bool SameSource(const TableSource& stored, const TableSource& now);

// The file at the recorded path with the recorded size whose modification
// time alone changed, and whose bytes still have the recorded digest: the
// same contents, touched.
[[nodiscard]] bool TouchedOnly(const TableSource& stored, const TableSource& now);

// Deletes the scoring runs recorded for `table` (rows of quillory_runs, when
// that table exists); returns how many there were.
int DropScoringRuns(db::Connection& connection, const std::string& table);

// "数据表 <名> 已导入过（来自 <旧路径>，<n> 条记录）。现在打开的文件不同（<新路径>，<m> 条记录）。
// 是否重新导入？已有的评分会被清除。" and `alsoLost`, what else the re-import
// loses (LostChangesText).
[[nodiscard]] std::string ReimportQuestion(const std::string& table, const TableSource& stored,
                                           const TableSource& now,
                                           const std::string& alsoLost = {});

// What a re-import did, for the user.
[[nodiscard]] std::string ReimportNotice(const std::string& table, const TableSource& now,
                                         int droppedRuns);

} // namespace core
