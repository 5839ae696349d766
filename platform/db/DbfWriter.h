#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes a dBase III table record by record, as answer-sheet readers write
// them: character and numeric fields, the text in GBK. The records stream
// to a temporary file beside the table, renamed into place by commit(), so
// that a run ended half way leaves no half table under the table's name;
// a writer destroyed without commit() removes its temporary file.
namespace db {

struct DbfFieldSpec {
    std::string name; // ASCII, at most ten bytes
    char type = 'C';  // 'C' or 'N'
    int length = 1;   // 1 to 254
    int decimals = 0; // 'N' only
};

class DbfTableWriter {
  public:
    // Throws std::invalid_argument for a field the format cannot hold, and
    // std::runtime_error naming the file when its folder cannot be written.
    DbfTableWriter(const std::filesystem::path& file, std::vector<DbfFieldSpec> fields,
                   unsigned char languageDriver = 0x4D);
    ~DbfTableWriter();
    DbfTableWriter(const DbfTableWriter&) = delete;
    DbfTableWriter& operator=(const DbfTableWriter&) = delete;

    // One record: a value per field, UTF-8; a C value is cut to the field's
    // bytes, a N value right-aligned; an empty value leaves the cell blank.
    void append(const std::vector<std::string>& values);
    // The record count, the end mark, the file synced and renamed into
    // place. Throws std::runtime_error naming the file.
    void commit();

    [[nodiscard]] std::uint32_t records() const { return mRecords; }

  private:
    void writeHeader();
    void write(const std::string& bytes);

    std::filesystem::path mFile;
    std::filesystem::path mTemp;
    std::vector<DbfFieldSpec> mFields;
    unsigned char mLanguageDriver;
    int mFd = -1;
    int mRecordLength = 1;
    std::uint32_t mRecords = 0;
};

// Why a name cannot be a dBase field name (longer than ten bytes, not
// ASCII, empty, or holding a blank or control character); empty when it can.
[[nodiscard]] std::string DbfFieldNameProblem(const std::string& name);

} // namespace db
