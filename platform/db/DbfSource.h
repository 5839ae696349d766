#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// Where the bytes of a dBase table or of its memo file come from, and how a
// table's file is found by its name.
namespace db {

// The bytes of a file, or of memory (tests, fuzzing).
class DbfSource {
  public:
    virtual ~DbfSource() = default;
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at offset; throws db::Error when it cannot.
    virtual void read(std::uint64_t offset, void* buffer, std::size_t n) const = 0;
};

// Opens a file by its path, whatever characters its name holds. A path that
// is a folder, a pipe, a device or a loop of symbolic links is refused with
// an error that says which of these it is; opening a pipe never blocks.
[[nodiscard]] std::unique_ptr<DbfSource> OpenFileSource(const std::filesystem::path& file);
[[nodiscard]] std::unique_ptr<DbfSource> MemorySource(std::string bytes);

// folder/name, the name compared without regard to ASCII case (A.DBF answers
// for a.dbf); empty when the folder holds no entry of that name. Any kind of
// entry answers, so that opening it can say what it is.
[[nodiscard]] std::filesystem::path FindEntryNoCase(const std::filesystem::path& folder,
                                                    const std::string& name);

} // namespace db
