// The dBase reader on tables from other tools: field names, field lengths
// and the variants of the header and of the table's end.
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "platform/db/UniqueName.h"
#include "tests/platform/DbfFixtures.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using db::Dbf;
using dbftest::Names;
using dbftest::ReadAll;
using dbftest::Table;
using dbftest::Text;
using testsupport::DbfColumn;
using testsupport::DbfLayout;
using testsupport::TempHome;

// --- names ---

TEST(DbfNames, TheFreeNameSkipsEveryTakenOneWithoutRegardToCase) {
    EXPECT_EQ(db::FreeName("BH", {"XM", "CONTENT"}), "BH");
    EXPECT_EQ(db::FreeName("BH", {"bh"}), "BH_2");
    EXPECT_EQ(db::FreeName("ID", {"id", "ID_2", "Id_3"}), "ID_4");
    EXPECT_EQ(db::FreeName("姓名", {"姓名", "姓名_2"}), "姓名_3");
}

TEST(DbfNames, ASecondFieldOfTheSameNameGetsTheFirstFreeSuffix) {
    // "bh" repeats BH: BH_2 is taken by a later field, so it becomes bh_3;
    // that later BH_2 keeps its own name.
    std::string bytes =
        Table({{"BH", 'C', 3}, {"bh", 'C', 3}, {"BH_2", 'C', 3}, {"Xm", 'C', 2}, {"XM", 'C', 2}},
              {{{"1", "2", "3", "4", "5"}, false}});
    Dbf d(db::MemorySource(bytes), "重名.dbf");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"BH", "bh_3", "BH_2", "Xm", "XM_2"}));
    EXPECT_EQ(d.fields()[1].headerName, "bh");
    EXPECT_EQ(d.fields()[0].headerName, "");
    EXPECT_EQ(Text(ReadAll(d).at(0).at(4)), "5") << "the renamed field keeps its values";
    auto report = d.report();
    EXPECT_EQ(report.renamedFields,
              (std::vector<std::pair<std::string, std::string>>{{"bh", "bh_3"}, {"XM", "XM_2"}}));
    EXPECT_EQ(report.notes(),
              (std::vector<std::string>{"重名.dbf: 字段 bh 与前面的字段同名，导入为 bh_3",
                                        "重名.dbf: 字段 XM 与前面的字段同名，导入为 XM_2"}));
    EXPECT_NE(d.createTableSql("x").find("\"bh_3\" VARCHAR(3)"), std::string::npos);
}

TEST(DbfNames, ChineseNamesRepeatedGetASuffixToo) {
    std::string bytes = Table({{"姓名", 'C', 4}, {"姓名", 'C', 4}}, {{{"张三", "李四"}, false}});
    Dbf d(db::MemorySource(bytes), "x.dbf");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"姓名", "姓名_2"}));
    EXPECT_EQ(Text(ReadAll(d).at(0).at(1)), "李四");
}

TEST(DbfNames, TableNamesWithDigitsAndDotsFindTheirFiles) {
    TempHome home;
    for (std::string name : {"期中.2024", "801", "2024", "060", "9班", "初三2班"})
        testsupport::WriteDbf(home / (name + ".dbf"), {{"BH", 'C', 3}},
                              {{name == "801" ? "801" : "x"}});
    testsupport::WriteDbf(home / "期中.DBF", {{"BH", 'C', 3}}, {{"x"}});
    EXPECT_EQ(Dbf::FindTable(home.path(), "期中.2024"), home / "期中.2024.dbf");
    EXPECT_EQ(Dbf::FindTable(home.path(), "801"), home / "801.dbf");
    EXPECT_EQ(Dbf::FindTable(home.path(), "2024"), home / "2024.dbf");
    EXPECT_EQ(Dbf::FindTable(home.path(), "期中"), home / "期中.DBF");
    EXPECT_EQ(Dbf::OpenTable(home.path(), "060")->recordCount(), 1u);
    EXPECT_EQ(Text(ReadAll(*Dbf::OpenTable(home.path(), "801")).at(0).at(0)), "801");
    EXPECT_EQ(Names(*Dbf::OpenTable(home.path(), "初三2班")), std::vector<std::string>{"BH"});
}

// --- lengths ---

TEST(DbfLengths, ACharacterFieldOf300BytesIsReadWhole) {
    const std::string answers = std::string(150, 'A') + std::string(149, 'B') + "C";
    std::string bytes = Table({{"BH", 'C', 9}, {"CONTENT", 'C', 300}, {"SCORE", 'N', 5, 1}},
                              {{{"202601001", answers, "88.5"}, false}});
    // As FoxPro writes it: length byte 44, decimals byte 1; record 1 + 9 + 300 + 5.
    EXPECT_EQ(static_cast<unsigned char>(bytes[32 + 32 + 16]), 44);
    EXPECT_EQ(static_cast<unsigned char>(bytes[32 + 32 + 17]), 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8,
              315);
    Dbf d(db::MemorySource(bytes), "long.dbf");
    EXPECT_EQ(d.fields()[1].length, 300);
    EXPECT_EQ(d.fields()[1].declaredType(), "VARCHAR(300)");
    EXPECT_EQ(d.fields()[2].offset, 310);
    auto row = ReadAll(d).at(0);
    EXPECT_EQ(Text(row[1]), answers);
    EXPECT_DOUBLE_EQ(std::get<double>(row[2]), 88.5) << "decimals of N fields are no length";
}

TEST(DbfLengths, ALengthByteOfZeroIsFineWhenTheDecimalsByteHoldsTheHighByte) {
    const std::string text = std::string(255, 'x') + "yz";
    std::string bytes = dbftest::Table({{"A", 'C', 256}, {"B", 'C', 512}}, {{{text, "b"}, false}});
    EXPECT_EQ(bytes[32 + 16], '\0');
    EXPECT_EQ(bytes[32 + 32 + 16], '\0');
    Dbf d(db::MemorySource(bytes), "zero.dbf");
    EXPECT_EQ(d.fields()[1].length, 512);
    auto row = ReadAll(d).at(0);
    EXPECT_EQ(Text(row[0]), text.substr(0, 256));
    EXPECT_EQ(Text(row[1]), "b");
}

TEST(DbfLengths, DecimalsOfShortTextFieldsCountOnlyWhenThePlainLengthsMiss) {
    // A writer that leaves junk in a C field's decimals byte: the plain
    // lengths meet the record length, so they win.
    std::string bytes = Table({{"BH", 'C', 4, 2}, {"XM", 'C', 6}}, {{{"0801", "张三"}, false}});
    Dbf d(db::MemorySource(bytes), "junk.dbf");
    EXPECT_EQ(d.fields()[0].length, 4);
    EXPECT_EQ(d.fields()[1].offset, 5);
    EXPECT_EQ(Text(ReadAll(d).at(0).at(1)), "张三");
}

TEST(DbfLengths, ARecordLengthThatFitsNoReadingIsRefused) {
    std::string bytes = Table({{"BH", 'C', 9}, {"CONTENT", 'C', 300}}, {{{"1", "A"}, false}});
    bytes[10] = 0x20; // a record length of 288 fits neither 1 + 9 + 44 nor 1 + 9 + 300
    bytes[11] = 0x01;
    try {
        Dbf d(db::MemorySource(bytes), "坏.dbf");
        FAIL() << "accepted";
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("坏.dbf: 记录长度 288 与字段长度之和 54 不符"),
                  std::string::npos)
            << e.what();
    }
}

// --- header variants ---

TEST(DbfHeader, AFieldListEndedBy0x0AIsRead) {
    DbfLayout layout;
    layout.fieldListEnd = 0x0A;
    auto w = dbftest::Written({{"BH", 'C', 3}, {"N", 'N', 2}},
                              {{{"001", "7"}, false}, {{"002", "8"}, false}}, layout);
    Dbf d(db::MemorySource(w.bytes()), "lf.dbf");
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Text(rows[1][0]), "002");
    EXPECT_EQ(std::get<std::int64_t>(rows[1][1]), 8);
}

TEST(DbfHeader, TheLastRecordWithoutItsEndMarkIsRead) {
    DbfLayout layout;
    layout.endMark = false;
    layout.fieldListEnd = 0x0A;
    auto w = dbftest::Written({{"BH", 'C', 3}}, {{{"001"}, false}, {{"002"}, false}}, layout);
    EXPECT_EQ(w.bytes().size(), 32u + 32 + 1 + 2 * 4);
    Dbf d(db::MemorySource(w.bytes()), "noeof.dbf");
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Text(rows[1][0]), "002");
    EXPECT_EQ(d.leftoverBytes(), 0u);
}

TEST(DbfHeader, AHeaderStatingFewerRecordsReadsThoseAndCountsTheRest) {
    DbfLayout layout;
    layout.statedRecords = 2;
    auto w = dbftest::Written({{"BH", 'C', 3}},
                              {{{"001"}, false}, {{"002"}, false}, {{"003"}, false}}, layout);
    Dbf d(db::MemorySource(w.bytes()), "few.dbf");
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Text(rows[1][0]), "002");
    EXPECT_EQ(d.leftoverBytes(), 4u) << "one record of 4 bytes; the end mark is not counted";
    EXPECT_EQ(d.report().notes(),
              std::vector<std::string>{"few.dbf: 文件头声明的记录之后还有 4 字节，没有导入"});
}

TEST(DbfHeader, DebrisShorterThanARecordIsCountedWithoutANote) {
    auto bytes = Table({{"BH", 'C', 3}}, {{{"001"}, false}});
    bytes += std::string(2, '\0');
    Dbf d(db::MemorySource(bytes), "pad.dbf");
    EXPECT_EQ(d.leftoverBytes(), 2u);
    EXPECT_TRUE(d.report().notes().empty());
}

TEST(DbfHeader, AHeaderLongerThanTheFileIsStillRefused) {
    DbfLayout layout;
    layout.endMark = false;
    auto w = dbftest::Written({{"BH", 'C', 3}}, {}, layout);
    std::string bytes = w.bytes();
    bytes[8] = static_cast<char>(bytes.size() + 1);
    try {
        Dbf d(db::MemorySource(bytes), "short.dbf");
        FAIL() << "accepted";
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find("short.dbf: 文件头长度 66 超出文件大小 65"),
                  std::string::npos)
            << e.what();
    }
}

} // namespace
