// The dBase reader on Visual FoxPro tables: binary memo pointers, varchar and
// varbinary fields, null flags, datetimes, binary fields, memo files.
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "tests/platform/DbfFixtures.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

namespace {

using db::Dbf;
using dbftest::Names;
using dbftest::ReadAll;
using dbftest::Text;
using testsupport::DbfColumn;
using testsupport::DbfLayout;
using testsupport::DbfWriter;
using testsupport::TempHome;

DbfLayout Fox(unsigned char version = 0x30) {
    DbfLayout layout;
    layout.version = version;
    layout.languageDriver = 0x7A;
    return layout;
}

TEST(DbfFoxPro, AMemoPointerIsABinaryBlockNumberEvenWhenItsFirstByteIsADigit) {
    TempHome home;
    DbfWriter w(home / "期中.2024.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 4}}, Fox());
    w.append({"001", std::string(2616, 'x')}); // blocks 8 to 48 of 64 bytes
    ASSERT_EQ(w.nextMemoBlock(), 49u) << "block 49 is written 31 00 00 00: '1' first";
    w.append({"002", "第二条备注"});
    w.append({"003", std::nullopt});
    w.finish();
    Dbf d(home / "期中.2024.dbf");
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Text(rows[0][1]).size(), 2616u);
    EXPECT_EQ(Text(rows[1][1]), "第二条备注");
    EXPECT_TRUE(db::IsNull(rows[2][1])) << "block 0 is no memo";
}

TEST(DbfFoxPro, VarcharAndVarbinaryTakeTheirLengthFromTheNullFlags) {
    std::vector<DbfColumn> cols = {{"BH", 'C', 3},           {"V", 'V', 10},
                                   {"VN", 'V', 10, 0, 0x02}, {"Q", 'Q', 6},
                                   {"QN", 'Q', 6, 0, 0x02},  {"N", 'N', 4, 0, 0x02},
                                   {"C", 'C', 4, 0, 0x02},   {"I", 'I', 4, 0, 0x02}};
    auto w = dbftest::Written(
        cols,
        {{{"001", "abc ", "0123456789", std::string("\x01\x00\x02", 3), "ABCDEF", "12", "张", "5"},
          false},
         {{"002", "", std::nullopt, "", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
          false}},
        Fox(0x32));
    Dbf d(db::MemorySource(w.bytes()), "var.dbf");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"BH", "V", "VN", "Q", "QN", "N", "C", "I"}))
        << "_NullFlags is no column";
    EXPECT_EQ(d.fields()[1].declaredType(), "VARCHAR(10)");
    EXPECT_TRUE(d.fields()[3].isBinary());
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Text(rows[0][1]), "abc ") << "a varchar keeps its own trailing blank";
    EXPECT_EQ(Text(rows[0][2]), "0123456789");
    EXPECT_EQ(Text(rows[0][3]), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(Text(rows[0][4]), "ABCDEF");
    EXPECT_EQ(std::get<std::int64_t>(rows[0][5]), 12);
    EXPECT_EQ(Text(rows[0][6]), "张");
    EXPECT_EQ(std::get<std::int64_t>(rows[0][7]), 5);
    EXPECT_EQ(Text(rows[1][1]), "");
    EXPECT_EQ(Text(rows[1][3]), "");
    for (std::size_t f : {2, 4, 5, 6, 7})
        EXPECT_TRUE(db::IsNull(rows[1][f])) << "field " << f << " is flagged null";
    EXPECT_EQ(d.unreadableValues(), 0u);
}

struct Rounding {
    const char* stored;
    const char* shown;
};

class DbfDateTime : public ::testing::TestWithParam<Rounding> {};

TEST_P(DbfDateTime, RoundsToTheNearestSecondAsFoxProShowsIt) {
    auto w = dbftest::Written({{"T", 'T', 8}}, {{{GetParam().stored}, false}}, Fox());
    Dbf d(db::MemorySource(w.bytes()), "t.dbf");
    EXPECT_EQ(Text(ReadAll(d).at(0).at(0)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DbfDateTime,
    ::testing::Values(Rounding{"2026-12-07 09:30:09.999", "2026-12-07 09:30:10"},
                      Rounding{"2026-12-07 09:30:09.500", "2026-12-07 09:30:10"},
                      Rounding{"2026-12-07 09:30:09.499", "2026-12-07 09:30:09"},
                      Rounding{"2026-12-31 23:59:59.600", "2027-01-01 00:00:00"},
                      Rounding{"2024-02-28 23:59:59.999", "2024-02-29 00:00:00"}));

TEST(DbfFoxPro, ABlankDateTimeIsNullAndNotUnreadable) {
    auto w = dbftest::Written({{"T", 'T', 8}}, {{{std::nullopt}, false}}, Fox());
    Dbf d(db::MemorySource(w.bytes()), "t.dbf");
    EXPECT_TRUE(db::IsNull(ReadAll(d).at(0).at(0)));
    EXPECT_EQ(d.unreadableValues(), 0u);
}

TEST(DbfFoxPro, GeneralPictureAndBlobFieldsAreBytesOrNull) {
    const std::string ole("\x00\x01OLE\xFF", 6), png("\x89PNG\r\n\x1A\n", 8), blob("b\x00lob", 5);
    auto w = dbftest::Written({{"BH", 'C', 3}, {"G", 'G', 4}, {"P", 'P', 4}, {"W", 'W', 4}},
                              {{{"001", ole, png, blob}, false},
                               {{"002", std::nullopt, std::nullopt, std::nullopt}, false}},
                              Fox(0x32));
    Dbf d(db::MemorySource(w.bytes()), "g.dbf", {}, db::MemorySource(w.memoBytes()));
    for (std::size_t f = 1; f <= 3; ++f) {
        EXPECT_TRUE(d.fields()[f].isBinary());
        EXPECT_EQ(d.fields()[f].declaredType(), "LONGBINARY");
    }
    auto rows = ReadAll(d);
    EXPECT_EQ(Text(rows[0][1]), ole);
    EXPECT_EQ(Text(rows[0][2]), png);
    EXPECT_EQ(Text(rows[0][3]), blob);
    for (std::size_t f = 1; f <= 3; ++f)
        EXPECT_TRUE(db::IsNull(rows[1][f]));
}

TEST(DbfFoxPro, FoxPro2GeneralFieldsPointByDigits) {
    auto w = dbftest::Written({{"G", 'G', 10}, {"M", 'M', 10}},
                              {{{std::string("\x01\x02", 2), "备注"}, false}}, Fox(0xF5));
    Dbf d(db::MemorySource(w.bytes()), "f2.dbf", {}, db::MemorySource(w.memoBytes()));
    auto row = ReadAll(d).at(0);
    EXPECT_EQ(Text(row[0]), std::string("\x01\x02", 2));
    EXPECT_EQ(Text(row[1]), "备注");
}

TEST(DbfMemoFile, AMissingMemoFileIsNamedBeforeAnyRowIsRead) {
    TempHome home;
    testsupport::WriteDbf(home / "名单.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 4}}, {{"001", "x"}},
                          Fox());
    testsupport::WriteDbf(home / "old.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 10}}, {{"001", "x"}},
                          DbfLayout{0x83, 0x4D});
    std::filesystem::remove(home / "名单.fpt");
    std::filesystem::remove(home / "old.dbt");
    for (auto [table, memo] :
         {std::pair{"名单.dbf", "名单.fpt"}, std::pair{"old.dbf", "old.dbt"}}) {
        try {
            Dbf d(home / table);
            FAIL() << table << " opened without its memo file";
        } catch (const db::Error& e) {
            EXPECT_EQ(std::string(e.what()), "找不到备注文件 " + (home / memo).string() +
                                                 ": 数据表 " + (home / table).string() +
                                                 " 的备注字段 NOTE 存放在其中，没有导入任何记录");
        }
    }
}

TEST(DbfMemoFile, AMemoFileOfTheOtherKindIsAcceptedAndItsNameIgnoresCase) {
    TempHome home;
    testsupport::WriteDbf(home / "a.dbf", {{"NOTE", 'M', 4}}, {{"甲"}}, Fox());
    std::filesystem::rename(home / "a.fpt", home / "A.FPT");
    EXPECT_EQ(Text(ReadAll(Dbf(home / "a.dbf")).at(0).at(0)), "甲");
}

TEST(DbfMemoFile, ABlockPastTheMemoFileIsDamageNamingTheMemoFile) {
    TempHome home;
    testsupport::WriteDbf(home / "m.dbf", {{"NOTE", 'M', 4}}, {{std::string(100, 'y')}}, Fox());
    std::string fpt = testsupport::ReadBytes(home / "m.fpt");
    testsupport::WriteBytes(home / "m.fpt", fpt.substr(0, 520));
    Dbf d(home / "m.dbf");
    std::string rec;
    d.readRecord(0, rec);
    try {
        (void)d.value(rec, 0);
        FAIL() << "read past the memo file";
    } catch (const db::Error& e) {
        EXPECT_EQ(std::string(e.what()), "备注文件已损坏: " + (home / "m.fpt").string() +
                                             ": 备注块 8 声明的长度 100 超出文件末尾");
    }
}

} // namespace
