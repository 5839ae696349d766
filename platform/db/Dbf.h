#pragma once

#include "platform/db/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Reader of dBase III/IV/5 and FoxPro tables, the files the answer-sheet
// reader writes. Every length and count of the header is checked against the
// file before it is used: a damaged file gives a db::Error that names the
// file and the damage, never a crash or an endless loop.
namespace db {

// Where the table's bytes come from: a file, or memory (tests, fuzzing).
class DbfSource {
public:
    virtual ~DbfSource() = default;
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at offset; throws db::Error when it cannot.
    virtual void read(std::uint64_t offset, void* buffer, std::size_t n) const = 0;
};

[[nodiscard]] std::unique_ptr<DbfSource> OpenFileSource(const std::filesystem::path& file);
[[nodiscard]] std::unique_ptr<DbfSource> MemorySource(std::string bytes);

struct DbfField {
    std::string name; // UTF-8
    char type = 'C';  // C N F I B Y D T L M, or another letter read as text
    int length = 0;
    int decimals = 0;
    int offset = 0; // within the record, after the deletion flag

    // The column type the field gets in the scratch database.
    [[nodiscard]] std::string declaredType() const;
};

class Dbf {
public:
    // Opens folder/name.dbf, the file name compared without regard to case.
    [[nodiscard]] static std::unique_ptr<Dbf> OpenTable(const std::filesystem::path& folder,
                                                        const std::string& tableName);

    explicit Dbf(const std::filesystem::path& file);
    Dbf(std::unique_ptr<DbfSource> source, std::string displayName);
    ~Dbf();

    [[nodiscard]] const std::vector<DbfField>& fields() const { return mFields; }
    // Records announced by the header, deleted ones included.
    [[nodiscard]] std::uint32_t recordCount() const { return mRecordCount; }
    [[nodiscard]] int recordLength() const { return mRecordLength; }
    [[nodiscard]] const std::string& displayName() const { return mName; }
    [[nodiscard]] const char* codePage() const { return mCodePage; }

    // Reads record `index` (0-based) into the buffer; false when it is
    // marked deleted.
    bool readRecord(std::uint32_t index, std::string& buffer) const;

    // The value of field `f` of a record read by readRecord.
    [[nodiscard]] Value value(const std::string& record, std::size_t f) const;

    // "CREATE TABLE name (...)" with the fields' declared types.
    [[nodiscard]] std::string createTableSql(const std::string& quotedName) const;

private:
    void parseHeader();
    [[noreturn]] void damaged(const std::string& what) const;
    [[nodiscard]] std::string memo(const std::string& pointer) const;

    std::unique_ptr<DbfSource> mSource;
    std::string mName;
    std::filesystem::path mFile;
    std::vector<DbfField> mFields;
    std::uint32_t mRecordCount = 0;
    int mHeaderLength = 0;
    int mRecordLength = 0;
    unsigned char mVersion = 0;
    const char* mCodePage = "GBK";
    // Buffered block of records, so a scan reads the file in large pieces.
    mutable std::string mBlock;
    mutable std::uint32_t mBlockFirst = 0;
    mutable std::uint32_t mBlockCount = 0;
    mutable std::unique_ptr<DbfSource> mMemo;
    mutable bool mMemoLooked = false;
    mutable int mMemoBlockSize = 512;
    mutable bool mMemoFox = false;
};

} // namespace db
