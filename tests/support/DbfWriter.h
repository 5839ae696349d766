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

// Writes dBase III tables as an answer-sheet reader does: fixtures for the
// tests and sample tables for the generator. Records stream to the output,
// so a table of a million sheets needs no memory of its own.
namespace testsupport {

struct DbfColumn {
    std::string name; // UTF-8, written as GBK
    char type = 'C';  // C N F I L D
    int length = 10;
    int decimals = 0;
};

// A cell: text for C, N, F, D ("20261207"), L ("T"/"F"), decimal text for I;
// nullopt for a blank cell.
using DbfCell = std::optional<std::string>;

class DbfWriter {
public:
    // Writes to a file.
    DbfWriter(const std::filesystem::path& file, std::vector<DbfColumn> columns,
              unsigned char version = 0x03, unsigned char languageDriver = 0x4D);
    // Writes to memory; bytes() returns the table after finish().
    explicit DbfWriter(std::vector<DbfColumn> columns, unsigned char version = 0x03,
                       unsigned char languageDriver = 0x4D);

    void append(const std::vector<DbfCell>& cells, bool deleted = false);
    // Writes the record count and the end mark.
    void finish();
    [[nodiscard]] std::string bytes() const { return mMemory.str(); }
    [[nodiscard]] std::uint32_t records() const { return mRecords; }
    [[nodiscard]] int recordLength() const { return mRecordLength; }

private:
    void writeHeader();
    std::vector<DbfColumn> mColumns;
    unsigned char mVersion;
    unsigned char mDriver;
    std::ofstream mFile;
    std::ostringstream mMemory;
    std::ostream* mOut;
    std::uint32_t mRecords = 0;
    int mRecordLength = 1;
    std::string mRecord;
};

// A whole table in one call, for small fixtures.
void WriteDbf(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
              const std::vector<std::vector<DbfCell>>& rows);

} // namespace testsupport
