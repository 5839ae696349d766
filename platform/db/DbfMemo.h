#pragma once

#include "platform/db/DbfSource.h"

#include <cstdint>
#include <memory>
#include <string>

namespace db {

// The memo file of a dBase table (.dbt) or of a FoxPro table (.fpt): the
// text and the bytes that memo, general, picture and blob fields point to by
// block number. Owns its source.
class DbfMemo {
  public:
    enum class Layout {
        DBase3, // blocks of 512 bytes, text up to the 0x1A end mark
        DBase4, // block size in the header, blocks that state their length
        FoxPro, // block size in the header, blocks with a big-endian type and length
    };

    DbfMemo(std::unique_ptr<DbfSource> source, std::string name, Layout layout);

    // The bytes stored at the block; throws db::Error naming the file when
    // the block or its stated length lies outside the file.
    [[nodiscard]] std::string read(std::uint64_t block) const;
    [[nodiscard]] const std::string& name() const { return mName; }

  private:
    [[noreturn]] void damaged(std::uint64_t block, const std::string& what) const;
    [[nodiscard]] std::string readToEndMark(std::uint64_t at) const;

    std::unique_ptr<DbfSource> mSource;
    std::string mName;
    Layout mLayout;
    std::uint64_t mBlockSize = 512;
};

} // namespace db
