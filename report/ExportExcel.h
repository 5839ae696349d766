#pragma once

#include "platform/db/Query.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

namespace report {

// Writes the rows of an open dataset as a minimal binary worksheet (.xls):
// a beginning-of-file record, one cell record per value (integers as RK
// cells, floating point as number cells, everything else as GBK text, nulls
// as blank cells with format 23), an end-of-file record. Cells stream to the
// file as they are made; the sheet is never held in memory. The dataset is
// not owned; its attached controls are disabled while it is walked and its
// position restored afterwards.
class TDS2Excel {
public:
    explicit TDS2Excel(db::Query& dataSet) : FDataSet(dataSet) {}

    // Replaces the file; throws std::runtime_error naming the file when it
    // cannot be written.
    void SaveToFile(const std::filesystem::path& fileName, bool writeFieldNames);
    void WriteToStream(std::ostream& stream);

private:
    void WriteData();
    void WriteFieldNames();
    void WriteBof();
    void WriteEof();
    void WriteBlankCell();
    void WriteIntegerCell(std::int32_t value);
    void WriteFloatCell(double value);
    void WriteStringCell(const std::string& utf8);
    void NextCell();

    std::uint16_t FCol = 0;
    std::uint16_t FRow = 0;
    db::Query& FDataSet;
    std::ostream* FStream = nullptr;
    bool FWriteFieldNames = false;
    int FBookmark = -1;
};

} // namespace report
