#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "tests/platform/DbfFixtures.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using db::Dbf;
using db::Value;
using dbftest::ReadAll;
using dbftest::Table;
using testsupport::DbfColumn;
using testsupport::DbfWriter;

TEST(Dbf, ReadsKindsTrimsTextAndSkipsDeletedRecords) {
    std::string bytes =
        Table({{"BH", 'C', 9},
               {"姓名", 'C', 8},
               {"N1", 'N', 3, 0},
               {"N2", 'N', 5, 1},
               {"F", 'F', 8, 2},
               {"I", 'I', 4},
               {"L", 'L', 1},
               {"D", 'D', 8}},
              {{{"202601001", "张三 ", "7", "89.5", "-1.25", "-3", "T", "20261207"}, false},
               {{"gone", "x", "1", "1", "1", "1", "F", ""}, true},
               {{"202601002", std::nullopt, std::nullopt, std::nullopt, "1e2", "5", "?", "2026120"},
                false}});
    Dbf d(db::MemorySource(bytes), "a.dbf");
    ASSERT_EQ(d.fields().size(), 8u);
    EXPECT_EQ(d.fields()[1].name, "姓名");
    EXPECT_EQ(d.recordCount(), 3u);
    auto rows = ReadAll(d);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<std::string>(rows[0][0]), "202601001");
    EXPECT_EQ(std::get<std::string>(rows[0][1]), "张三");
    EXPECT_EQ(std::get<std::int64_t>(rows[0][2]), 7);
    EXPECT_DOUBLE_EQ(std::get<double>(rows[0][3]), 89.5);
    EXPECT_DOUBLE_EQ(std::get<double>(rows[0][4]), -1.25);
    EXPECT_EQ(std::get<std::int64_t>(rows[0][5]), -3);
    EXPECT_EQ(std::get<std::int64_t>(rows[0][6]), 1);
    EXPECT_EQ(std::get<std::string>(rows[0][7]), "2026-12-07");
    EXPECT_EQ(std::get<std::string>(rows[1][1]), "");
    EXPECT_TRUE(db::IsNull(rows[1][2]));
    EXPECT_DOUBLE_EQ(std::get<double>(rows[1][4]), 100.0);
    EXPECT_TRUE(db::IsNull(rows[1][6]));
    EXPECT_TRUE(db::IsNull(rows[1][7])) << "a date of 7 digits is no date";
}

TEST(Dbf, DeclaredTypesFollowTheFieldKinds) {
    std::string bytes = Table({{"A", 'C', 12},
                               {"B", 'N', 9, 0},
                               {"C", 'N', 10, 0},
                               {"D", 'N', 5, 1},
                               {"E", 'F', 8, 0},
                               {"F", 'I', 4},
                               {"G", 'L', 1},
                               {"H", 'D', 8}},
                              {});
    Dbf d(db::MemorySource(bytes), "t.dbf");
    std::vector<std::string> types;
    for (const auto& f : d.fields())
        types.push_back(f.declaredType());
    EXPECT_EQ(types, (std::vector<std::string>{"VARCHAR(12)", "INTEGER", "DOUBLE", "DOUBLE",
                                               "DOUBLE", "INTEGER", "BIT", "DATE"}));
}

TEST(Dbf, TextComesFromTheHeadersCodePage) {
    // 0x03 names code page 1252: byte 0xE9 is é. No code page (0) means GBK.
    std::string latin = Table({{"N", 'C', 4}}, {{{std::nullopt}, false}}, 0x03, 0x03);
    latin[latin.size() - 5] = '\xE9';
    Dbf d1(db::MemorySource(latin), "l.dbf");
    EXPECT_EQ(std::get<std::string>(ReadAll(d1)[0][0]), "é");

    std::string gbk = Table({{"N", 'C', 4}}, {{{"中"}, false}}, 0x03, 0x00);
    Dbf d2(db::MemorySource(gbk), "g.dbf");
    EXPECT_EQ(std::get<std::string>(ReadAll(d2)[0][0]), "中");
}

// FoxPro tables: version 0x30, binary integer, double, currency and datetime.
TEST(Dbf, ReadsFoxProBinaryFields) {
    std::string bytes = Table({{"I", 'I', 4}, {"B", 'B', 8}, {"Y", 'Y', 8}, {"T", 'T', 8}},
                              {{{"42", "12.75", "12.3456", "2026-12-07 07:42:06"}, false}}, 0x30);
    // The datetime as FoxPro keeps it: Julian day 2461382, milliseconds.
    const std::size_t record = 32 + 32 * 4 + 1 + 263;
    EXPECT_EQ(bytes.substr(record + 21, 8), std::string("\xC6\x8E\x25\x00\xB0\x10\xA7\x01", 8));
    Dbf d(db::MemorySource(bytes), "fox.dbf");
    EXPECT_EQ(d.fields()[2].declaredType(), "CURRENCY");
    EXPECT_EQ(d.fields()[3].declaredType(), "DATETIME");
    auto row = ReadAll(d).at(0);
    EXPECT_EQ(std::get<std::int64_t>(row[0]), 42);
    EXPECT_DOUBLE_EQ(std::get<double>(row[1]), 12.75);
    EXPECT_DOUBLE_EQ(std::get<double>(row[2]), 12.3456);
    EXPECT_EQ(std::get<std::string>(row[3]), "2026-12-07 07:42:06");
}

struct Damage {
    const char* name;
    std::function<void(std::string&)> harm;
    const char* expected; // part of the error text
};

class DbfDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(DbfDamage, IsRefusedWithAnErrorNamingFileAndDamage) {
    std::string bytes = Table({{"BH", 'C', 9}, {"CONTENT", 'C', 20}},
                              {{{"1", "1248"}, false}, {{"2", "8421"}, false}});
    GetParam().harm(bytes);
    try {
        Dbf d(db::MemorySource(bytes), "坏表.dbf");
        (void)ReadAll(d);
        FAIL() << "damage not detected";
    } catch (const db::Error& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("坏表.dbf"), std::string::npos) << what;
        EXPECT_NE(what.find(GetParam().expected), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DbfDamage,
    ::testing::Values(
        Damage{"ShorterThanAHeader", [](std::string& b) { b.resize(20); }, "32 字节"},
        Damage{"HeaderLengthPastTheFile",
               [](std::string& b) {
                   b[8] = '\xFF';
                   b[9] = '\x7F';
               },
               "超出文件大小"},
        Damage{"NoFieldTerminator",
               [](std::string& b) {
                   b[8] = 96;
                   b[9] = 0;
               },
               "结束符"},
        Damage{"DescriptorsRunPastTheFile",
               [](std::string& b) {
                   b.resize(72);
                   b[8] = 72;
                   b[9] = 0;
                   b[4] = 0;
               },
               "字段描述"},
        Damage{"RecordLengthDisagrees", [](std::string& b) { b[10] = 40; }, "字段长度之和"},
        Damage{"FewerRecordBytesThanAnnounced", [](std::string& b) { b[4] = 3; }, "3 条记录"},
        Damage{"NotADbaseFile", [](std::string& b) { b[0] = 'P'; }, "不是 dBase"},
        Damage{"IntegerFieldOfWrongLength", [](std::string& b) { b[32 + 11] = 'I'; },
               "长度应为 4"}),
    [](const auto& info) { return info.param.name; });

TEST(Dbf, ReadsMemoTextFromTheDbtFile) {
    auto dir = std::filesystem::temp_directory_path() / "quillory-dbf-memo";
    std::filesystem::create_directories(dir);
    testsupport::WriteDbf(dir / "m.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 10}},
                          {{"001", "x"}, {"002", std::nullopt}});
    // The memo file as dBase III writes it, its name in capitals: block 1
    // holds the first memo, up to its end mark.
    std::filesystem::remove(dir / "m.dbt");
    std::string dbt(512, '\0');
    dbt += std::string("\xB1\xB8\xD7\xA2 0123") + "\x1A\x1A"; // "备注 0123" in GBK
    testsupport::WriteBytes(dir / "M.DBT", dbt);
    Dbf d(dir / "m.dbf");
    EXPECT_EQ(d.fields()[1].declaredType(), "LONGTEXT");
    auto rows = ReadAll(d);
    EXPECT_EQ(std::get<std::string>(rows.at(0).at(1)), "备注 0123");
    EXPECT_TRUE(db::IsNull(rows.at(1).at(1)));
    std::filesystem::remove(dir / "M.DBT");
    try {
        Dbf without(dir / "m.dbf");
        FAIL() << "a table with memo fields needs its memo file";
    } catch (const db::Error& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "m.dbt").string()), std::string::npos)
            << e.what();
    }
    std::filesystem::remove_all(dir);
}

TEST(Dbf, OpensTheFileWithoutRegardToCase) {
    auto dir = std::filesystem::temp_directory_path() / "quillory-dbf-case";
    std::filesystem::create_directories(dir);
    testsupport::WriteDbf(dir / "A.DBF", {{"X", 'C', 2}}, {{"ab"}});
    auto d = Dbf::OpenTable(dir, "a");
    EXPECT_EQ(d->recordCount(), 1u);
    EXPECT_THROW((void)Dbf::OpenTable(dir, "b"), db::Error);
    EXPECT_THROW((void)Dbf::OpenTable(dir / "missing", "a"), db::Error);
    std::filesystem::remove_all(dir);
}

} // namespace
