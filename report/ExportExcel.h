#pragma once

#include "platform/db/Query.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

namespace report {

// The dataset has more rows than the worksheet holds; nothing was written.
class TooManyRows : public std::runtime_error {
  public:
    TooManyRows(const std::string& text, long long rows, long long limit)
        : std::runtime_error(text), mRows(rows), mLimit(limit) {}
    [[nodiscard]] long long rows() const { return mRows; }
    [[nodiscard]] long long limit() const { return mLimit; }

  private:
    long long mRows;
    long long mLimit;
};

// Bytes of text a text record holds: its 16-bit data length less the row,
// column, format and text-length fields.
inline constexpr std::size_t kXlsTextLimit = 0xFFFF - 8;

// A text as a text cell of the worksheet holds it: GBK, cut at a character
// boundary to kXlsTextLimit bytes.
[[nodiscard]] std::string XlsText(const std::string& utf8);

// Writes the rows of an open dataset as a minimal binary worksheet (.xls):
// a beginning-of-file record, one cell record per value (integers as RK
// cells, floating point as number cells, everything else as GBK text, nulls
// as blank cells with format 23), an end-of-file record. Cells stream to the
// file as they are made; the sheet is never held in memory. The dataset is
// not owned; its attached controls are disabled while it is walked and its
// position restored afterwards.
//
// Row numbers are 16 bits: a dataset with more rows than `rowLimit` (the
// field-name row counted) is refused with TooManyRows before a byte is
// written. Whole numbers outside the 30 bits of an RK cell become number
// cells; a text longer than a text record holds is cut (XlsText).
class TDS2Excel {
  public:
    // Rows a worksheet holds, the field-name row included.
    static constexpr long long kRowLimit = 65536;
    // Whole numbers an RK cell holds: 30 bits with sign.
    static constexpr std::int64_t kRkMin = -(std::int64_t{1} << 29);
    static constexpr std::int64_t kRkMax = (std::int64_t{1} << 29) - 1;

    explicit TDS2Excel(db::Query& dataSet, long long rowLimit = kRowLimit)
        : FDataSet(dataSet), FRowLimit(rowLimit) {}

    // Replaces the file; throws std::runtime_error naming the file when it
    // cannot be written, TooManyRows (the file untouched) when the rows do
    // not fit.
    void SaveToFile(const std::filesystem::path& fileName, bool writeFieldNames);
    // Throws TooManyRows, the stream untouched, when the rows do not fit.
    void WriteToStream(std::ostream& stream);
    // True when the dataset's rows, with the field-name row when asked for,
    // fit the worksheet.
    [[nodiscard]] bool Fits(bool writeFieldNames) const;

  private:
    void WriteData();
    void WriteFieldNames();
    void WriteBof();
    void WriteEof();
    void WriteBlankCell();
    void WriteIntegerCell(std::int64_t value);
    void WriteFloatCell(double value);
    void WriteStringCell(const std::string& utf8);
    void NextCell();
    void CheckRows(const std::string& target) const;

    std::uint16_t FCol = 0;
    std::uint32_t FRow = 0;
    db::Query& FDataSet;
    long long FRowLimit;
    std::ostream* FStream = nullptr;
    bool FWriteFieldNames = false;
    int FBookmark = -1;
};

} // namespace report
