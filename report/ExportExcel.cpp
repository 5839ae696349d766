#include "report/ExportExcel.h"

#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace report {
namespace {

void Put16(char* p, std::uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

void Put32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Record head: identifier, data length, then row, column and format index.
void Cell(char* p, std::uint16_t id, std::uint16_t length, std::uint16_t row, std::uint16_t col,
          std::uint16_t format) {
    Put16(p, id);
    Put16(p + 2, length);
    Put16(p + 4, row);
    Put16(p + 6, col);
    Put16(p + 8, format);
}

// Length of the longest run of whole GBK characters within `limit` bytes: a
// lead byte of 0x81 or above starts a two-byte character.
std::size_t GbkCut(const std::string& gbk, std::size_t limit) {
    std::size_t at = 0;
    while (at < gbk.size()) {
        const std::size_t width = static_cast<unsigned char>(gbk[at]) >= 0x81 ? 2 : 1;
        if (at + width > limit)
            break;
        at += width;
    }
    return std::min(at, gbk.size());
}

} // namespace

std::string XlsText(const std::string& utf8) {
    std::string bytes = text::ToGbk(utf8);
    if (bytes.size() > kXlsTextLimit)
        bytes.resize(GbkCut(bytes, kXlsTextLimit));
    return bytes;
}

bool TDS2Excel::Fits(bool writeFieldNames) const {
    return static_cast<long long>(FDataSet.recordCount()) + (writeFieldNames ? 1 : 0) <= FRowLimit;
}

void TDS2Excel::CheckRows(const std::string& target) const {
    if (Fits(FWriteFieldNames))
        return;
    const long long rows =
        static_cast<long long>(FDataSet.recordCount()) + (FWriteFieldNames ? 1 : 0);
    throw TooManyRows("数据有 " + std::to_string(rows) +
                          (FWriteFieldNames ? " 行（含字段名行）" : " 行") +
                          "，超过 .xls 工作表最多 " + std::to_string(FRowLimit) + " 行的限制，" +
                          target + "没有写入。",
                      rows, FRowLimit);
}

void TDS2Excel::SaveToFile(const std::filesystem::path& fileName, bool writeFieldNames) {
    FWriteFieldNames = writeFieldNames;
    CheckRows("文件 " + fileName.string() + " ");
    // Whole or not at all: an earlier file of the name stays until the new
    // one is complete, and no half-written worksheet is left to be opened.
    std::ostringstream bytes;
    WriteToStream(bytes);
    text::WriteWhole(fileName, bytes.str());
}

void TDS2Excel::WriteToStream(std::ostream& stream) {
    CheckRows("");
    FCol = 0;
    FRow = 0;
    FStream = &stream;
    WriteData();
}

void TDS2Excel::WriteData() {
    WriteBof();
    if (FWriteFieldNames)
        WriteFieldNames();
    FDataSet.disableControls();
    FBookmark = FDataSet.bookmark();
    const int fields = FDataSet.fieldCount();
    for (FDataSet.first(); !FDataSet.eof(); FDataSet.next()) {
        for (int f = 0; f < fields; ++f) {
            const db::Value v = FDataSet.value(f);
            if (db::IsNull(v)) {
                WriteBlankCell();
                continue;
            }
            switch (FDataSet.field(f).kind) {
            case db::FieldKind::SmallInt:
            case db::FieldKind::Integer:
                WriteIntegerCell(db::Query::ToInteger(v));
                break;
            case db::FieldKind::Float:
            case db::FieldKind::Currency:
            case db::FieldKind::Bcd:
                WriteFloatCell(db::Query::ToFloat(v));
                break;
            default:
                WriteStringCell(db::Query::ToText(v));
            }
        }
    }
    WriteEof();
    if (FBookmark >= 0 && FBookmark < FDataSet.recordCount())
        FDataSet.gotoBookmark(FBookmark);
    FDataSet.enableControls();
}

void TDS2Excel::WriteFieldNames() {
    for (int f = 0; f < FDataSet.fieldCount(); ++f)
        WriteStringCell(FDataSet.field(f).name);
}

void TDS2Excel::WriteBof() {
    static const char bof[12] = {0x09, 0x08, 0x08, 0x00, 0x00, 0x00,
                                 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    FStream->write(bof, sizeof bof);
}

void TDS2Excel::WriteEof() {
    static const char eof[4] = {0x0A, 0x00, 0x00, 0x00};
    FStream->write(eof, sizeof eof);
}

void TDS2Excel::WriteBlankCell() {
    char r[10];
    Cell(r, 0x0201, 6, static_cast<std::uint16_t>(FRow), FCol, 23);
    FStream->write(r, sizeof r);
    NextCell();
}

void TDS2Excel::WriteIntegerCell(std::int64_t value) {
    if (value < kRkMin || value > kRkMax) {
        WriteFloatCell(static_cast<double>(value));
        return;
    }
    char r[14];
    Cell(r, 0x027E, 10, static_cast<std::uint16_t>(FRow), FCol, 0);
    Put32(r + 10, (static_cast<std::uint32_t>(value) << 2) | 2);
    FStream->write(r, 10);
    FStream->write(r + 10, 4);
    NextCell();
}

void TDS2Excel::WriteFloatCell(double value) {
    char r[18];
    Cell(r, 0x0203, 14, static_cast<std::uint16_t>(FRow), FCol, 0);
    std::memcpy(r + 10, &value, 8);
    FStream->write(r, 10);
    FStream->write(r + 10, 8);
    NextCell();
}

void TDS2Excel::WriteStringCell(const std::string& utf8) {
    const std::string bytes = XlsText(utf8);
    const auto n = static_cast<std::uint16_t>(bytes.size());
    char r[12];
    Cell(r, 0x0204, static_cast<std::uint16_t>(8 + n), static_cast<std::uint16_t>(FRow), FCol, 0);
    Put16(r + 10, n);
    FStream->write(r, sizeof r);
    FStream->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    NextCell();
}

void TDS2Excel::NextCell() {
    if (FCol == FDataSet.fieldCount() - 1) {
        ++FRow;
        FCol = 0;
    } else {
        ++FCol;
    }
}

} // namespace report
