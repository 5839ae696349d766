#pragma once

#include "platform/db/DbfReport.h"
#include "platform/db/DbfSource.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Reader of dBase III/IV/5, FoxPro and Visual FoxPro tables, the files the
// answer-sheet reader writes. Every length and count of the header is checked
// against the file before it is used: a damaged file gives a db::Error that
// names the file and the damage, never a crash or an endless loop. What other
// readers accept (a field list ended by 0x0A, character fields longer than 255
// bytes, two fields of one name, a missing end mark) is read, and the report
// says what was unusual.
namespace db {

class DbfMemo;

struct DbfField {
    std::string name;       // UTF-8, unique among the table's fields
    std::string headerName; // as the header spells it, when the name had to change
    char type = 'C';        // C N F I B Y D T L M V Q G P W, or another letter read as text
    int length = 0;         // bytes in the record; a C field may hold more than 255
    int decimals = 0;
    int offset = 0;     // within the record, after the deletion flag
    int nullBit = -1;   // Visual FoxPro: bit of _NullFlags set when the value is null
    int lengthBit = -1; // V, Q: bit set when the value is shorter than the field

    // The column type the field gets in the scratch database.
    [[nodiscard]] std::string declaredType() const;
    // G, P, W, Q: values are bytes, not text.
    [[nodiscard]] bool isBinary() const;
    // M, G, P, W: the record holds a block number of the memo file.
    [[nodiscard]] bool inMemoFile() const;
};

struct DbfOptions {
    // Code page of the table's text, whatever its header names; 0 lets the
    // header's language-driver byte decide (Chinese when it names none).
    int codePage = 0;
};

class Dbf {
  public:
    // folder/tableName.dbf, the name compared without regard to case and cut
    // nowhere (the table 期中.2024 is the file 期中.2024.dbf). Throws a
    // db::Error naming the folder or the file when there is none.
    [[nodiscard]] static std::filesystem::path FindTable(const std::filesystem::path& folder,
                                                         const std::string& tableName);
    [[nodiscard]] static std::unique_ptr<Dbf> OpenTable(const std::filesystem::path& folder,
                                                        const std::string& tableName,
                                                        DbfOptions options = {});

    // Opens the file by its path, whatever its name. A table with memo
    // fields needs its memo file (.fpt or .dbt of the same name) beside it.
    explicit Dbf(const std::filesystem::path& file, DbfOptions options = {});
    // A table in memory; `memo` is its memo file, if any.
    Dbf(std::unique_ptr<DbfSource> source, std::string displayName, DbfOptions options = {},
        std::unique_ptr<DbfSource> memo = nullptr);
    ~Dbf();
    Dbf(const Dbf&) = delete;
    Dbf& operator=(const Dbf&) = delete;

    [[nodiscard]] const std::vector<DbfField>& fields() const { return mFields; }
    // Records stated by the header, deleted ones included.
    [[nodiscard]] std::uint32_t recordCount() const { return mRecordCount; }
    [[nodiscard]] int recordLength() const { return mRecordLength; }
    [[nodiscard]] const std::string& displayName() const { return mName; }
    // The code page the text is decoded with, and the one the header names
    // (0: none the reader knows).
    [[nodiscard]] int codePage() const { return mCodePage; }
    [[nodiscard]] int headerCodePage() const { return mHeaderCodePage; }
    // Bytes after the stated records (the end mark not counted): rows the
    // header does not state, or debris.
    [[nodiscard]] std::uint64_t leftoverBytes() const { return mLeftover; }
    // Values read so far that were neither blank nor readable (an invalid
    // date, a number of letters): they read as NULL.
    [[nodiscard]] std::uint64_t unreadableValues() const { return mUnreadable; }
    // What the reading so far noticed, for the user.
    [[nodiscard]] DbfReadReport report() const;

    // Reads record `index` (0-based) into the buffer; false when it is
    // marked deleted.
    bool readRecord(std::uint32_t index, std::string& buffer) const;

    // The value of field `f` of a record read by readRecord. A binary field's
    // value (isBinary) is its bytes in the string.
    [[nodiscard]] Value value(const std::string& record, std::size_t f) const;

    // "CREATE TABLE name (...)" with the fields' declared types.
    [[nodiscard]] std::string createTableSql(const std::string& quotedName) const;

  private:
    struct RawField;
    void parseHeader();
    [[nodiscard]] std::vector<RawField> readDescriptors(const std::string& header);
    void layOutFields(std::vector<RawField> raw);
    void assignNullBits(const std::vector<RawField>& raw);
    void makeNamesUnique();
    void checkRecordSpace(std::uint64_t fileSize);
    void openMemoBeside(const std::filesystem::path& file);
    [[noreturn]] void damaged(const std::string& what) const;

    [[nodiscard]] bool flagged(const std::string& record, int bit) const;
    [[nodiscard]] Value unreadable() const;
    [[nodiscard]] std::string decode(std::string_view raw) const;
    [[nodiscard]] Value textValue(const DbfField& f, const char* p) const;
    [[nodiscard]] Value varValue(const DbfField& f, const std::string& record) const;
    [[nodiscard]] Value dateValue(const char* p, int length) const;
    [[nodiscard]] Value dateTimeValue(const unsigned char* p) const;
    [[nodiscard]] Value memoValue(const DbfField& f, const char* p) const;

    std::unique_ptr<DbfSource> mSource;
    std::string mName;
    DbfOptions mOptions;
    std::vector<DbfField> mFields;
    std::uint32_t mRecordCount = 0;
    int mHeaderLength = 0;
    int mRecordLength = 0;
    unsigned char mVersion = 0;
    int mCodePage = 936;
    int mHeaderCodePage = 0;
    int mNullFlagsOffset = -1;
    int mNullFlagsLength = 0;
    std::uint64_t mLeftover = 0;
    std::unique_ptr<DbfMemo> mMemo;
    mutable std::uint64_t mUnreadable = 0;
    mutable bool mNonAscii = false;
    // Buffered block of records, so a scan reads the file in large pieces.
    mutable std::string mBlock;
    mutable std::uint32_t mBlockFirst = 0;
    mutable std::uint32_t mBlockCount = 0;
};

} // namespace db
