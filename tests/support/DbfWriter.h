#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// Writes dBase tables as answer-sheet readers and other tools do: fixtures
// for the tests and sample tables for the generator. Records stream to the
// output, so a table of a million sheets needs no memory of its own; memo
// values are kept until finish() writes the memo file.
namespace testsupport {

struct DbfColumn {
    std::string name; // UTF-8, written in the table's code page
    char type = 'C';  // C N F I L D, B Y T (binary), M G P W (memo file), V Q (Visual FoxPro)
    // Bytes in the record. A C field longer than 255 is written as FoxPro,
    // Clipper and Harbour write it: the high byte in the decimals byte.
    int length = 10;
    int decimals = 0;
    unsigned char flags = 0; // Visual FoxPro field flags: 0x02 the field may be null
};

// How the header, the end of the table and the memo file are written: the
// variants that real tables show.
struct DbfLayout {
    // 0x30 to 0x32 Visual FoxPro, 0x83 and 0x8B dBase with memo, 0xF5 FoxPro 2.
    unsigned char version = 0x03;
    unsigned char languageDriver = 0x4D;
    int codePage = 936;       // of names and text cells
    char fieldListEnd = 0x0D; // some writers end the field list with 0x0A
    bool endMark = true;      // the 0x1A after the last record
    // The record count the header states; the records written when unset.
    std::optional<std::uint32_t> statedRecords = std::nullopt;
    int memoBlockSize = 0; // left at 0, 64 in .fpt files and 512 in .dbt files
};

// A cell: text for C, V, N, F, D ("20261207"), L ("T"/"F"); decimal text
// for I, B, Y; "2026-12-07 09:30:09.999" for T; the value for M, G, P, W, Q.
// nullopt for a blank cell, or a null one in a field that may be null.
using DbfCell = std::optional<std::string>;

class DbfWriter {
  public:
    // Writes to a file, and the memo values beside it (.fpt for FoxPro
    // versions, else .dbt).
    DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns,
              unsigned char version = 0x03, unsigned char languageDriver = 0x4D);
    DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns, DbfLayout layout);
    // Writes to memory; bytes() and memoBytes() return the files after finish().
    explicit DbfWriter(std::vector<DbfColumn> columns, unsigned char version = 0x03,
                       unsigned char languageDriver = 0x4D);
    DbfWriter(std::vector<DbfColumn> columns, DbfLayout layout);

    void append(const std::vector<DbfCell>& cells, bool deleted = false);
    // Writes the record count and the end mark, and the memo file.
    void finish();
    [[nodiscard]] std::string bytes() const { return mMemory.str(); }
    [[nodiscard]] const std::string& memoBytes() const { return mMemo; }
    [[nodiscard]] std::uint32_t records() const { return mRecords; }
    [[nodiscard]] int recordLength() const { return mRecordLength; }
    // The block number the next memo value gets.
    [[nodiscard]] std::uint32_t nextMemoBlock() const;

  private:
    void start();
    void writeHeader();
    void writeCell(const DbfColumn& c, std::size_t at, const std::string& v, int& bit);
    [[nodiscard]] std::uint32_t addMemo(const DbfColumn& c, const std::string& value);
    [[nodiscard]] std::string encode(const std::string& utf8) const;
    [[nodiscard]] bool foxMemo() const;

    std::vector<DbfColumn> mColumns;
    DbfLayout mLayout;
    std::filesystem::path mPath;
    std::ofstream mFile;
    std::ostringstream mMemory;
    std::ostream* mOut;
    std::uint32_t mRecords = 0;
    int mRecordLength = 1;
    int mNullFlagsAt = -1; // offset of _NullFlags in the record
    std::string mRecord;
    std::string mMemo;
};

// A whole table in one call, for small fixtures.
void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows);
void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows, const DbfLayout& layout);

} // namespace testsupport
