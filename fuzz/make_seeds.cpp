// Writes the seed tables of the fuzz target, one per kind of table the
// reader knows: `fuzz-dbf-seeds fuzz/seeds/dbf`. A table with memo fields is written
// with its memo file after it, as the fuzz target splits its input.
#include "tests/support/DbfWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using testsupport::DbfCell;
using testsupport::DbfColumn;
using testsupport::DbfLayout;
using testsupport::DbfWriter;

void Seed(const std::filesystem::path& file, const std::vector<DbfColumn>& columns,
          const std::vector<std::vector<DbfCell>>& rows, const DbfLayout& layout) {
    DbfWriter w(columns, layout);
    for (const auto& row : rows)
        w.append(row);
    w.finish();
    std::string bytes = w.bytes();
    for (const auto& c : columns)
        if (c.type == 'M' || c.type == 'G' || c.type == 'P' || c.type == 'W') {
            bytes += w.memoBytes();
            break;
        }
    std::ofstream(file, std::ios::binary) << bytes;
}

DbfLayout Layout(unsigned char version, unsigned char driver = 0x4D) {
    DbfLayout layout;
    layout.version = version;
    layout.languageDriver = driver;
    return layout;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-dbf-seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    Seed(dir / "long-text.dbf", {{"BH", 'C', 9}, {"CONTENT", 'C', 300}, {"S", 'N', 5, 1}},
         {{"202601001", std::string(300, 'A'), "88.5"}}, Layout(0x03));
    DbfLayout lf = Layout(0x03);
    lf.fieldListEnd = 0x0A;
    lf.endMark = false;
    Seed(dir / "lf-no-end.dbf", {{"BH", 'C', 3}, {"bh", 'C', 3}, {"D", 'D', 8}},
         {{"001", "002", "20261340"}, {"003", "004", "20240229"}}, lf);
    DbfLayout few = Layout(0x03, 0x57);
    few.statedRecords = 1;
    Seed(dir / "few-records.dbf", {{"XM", 'C', 6}, {"L", 'L', 1}}, {{"张三", "T"}, {"李四", "?"}},
         few);
    Seed(dir / "vfp-memo.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 4}, {"T", 'T', 8}},
         {{"001", "第一条", "2026-12-07 09:30:09.999"}, {"002", std::nullopt, std::nullopt}},
         Layout(0x30, 0x7A));
    Seed(dir / "vfp-var.dbf",
         {{"V", 'V', 10},
          {"VN", 'V', 10, 0, 0x02},
          {"Q", 'Q', 6},
          {"N", 'N', 4, 0, 0x02},
          {"I", 'I', 4, 0, 0x02}},
         {{"abc", "0123456789", "\x01\x02", "12", "5"},
          {"", std::nullopt, "", std::nullopt, std::nullopt}},
         Layout(0x32, 0x7A));
    Seed(dir / "vfp-binary.dbf", {{"G", 'G', 4}, {"P", 'P', 4}, {"W", 'W', 4}, {"Y", 'Y', 8}},
         {{"OLE", "PNG", "blob", "12.3456"}}, Layout(0x32, 0x7A));
    Seed(dir / "dbase4-memo.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 10}}, {{"001", "dBase IV"}},
         Layout(0x8B, 0x03));
    Seed(dir / "dbase3-memo.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 10}}, {{"001", "dBase III"}},
         Layout(0x83, 0x00));
    Seed(dir / "foxpro2-general.dbf", {{"G", 'G', 10}, {"M", 'M', 10}}, {{"\x01\x02", "备注"}},
         Layout(0xF5, 0x4D));
    DbfLayout ru = Layout(0x03, 0x26);
    ru.codePage = 866;
    Seed(dir / "cp866.dbf", {{"NAME", 'C', 8}}, {{"Иван"}}, ru);
    return 0;
}
