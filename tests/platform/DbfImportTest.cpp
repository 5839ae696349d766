// Importing dBase tables through the connection (`IN "folder" "dbase 5.0;"`):
// what the import tells the user, and what it refuses, leaving nothing.
#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/Query.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using testsupport::DbfColumn;
using testsupport::DbfLayout;
using testsupport::TempHome;
using testsupport::WriteDbf;

class DbfImport : public ::testing::Test {
  protected:
    void SetUp() override {
        db::Connection::CreateDatabase(home / "data.mdb");
        c.open(home / "data.mdb");
        std::filesystem::create_directories(src);
    }

    // Runs the import of `table` from `folder`; the error's text when it fails.
    std::string import(const std::string& table, const std::filesystem::path& folder) {
        try {
            c.execute("select * into t from " + table + " in \"" + folder.string() +
                      "\" \"dbase 5.0;\"");
        } catch (const db::Error& e) {
            return e.what();
        }
        return {};
    }
    std::string import(const std::string& table) { return import(table, src); }

    std::vector<std::string> column(const std::string& sql) {
        std::vector<std::string> out;
        for (const auto& row : c.select(sql).rows)
            out.push_back(db::Query::ToText(row.at(0)));
        return out;
    }

    TempHome home;
    std::filesystem::path src = home / "src";
    db::Connection c;
};

TEST_F(DbfImport, DuplicateNamesImportUnderNewNamesWithANote) {
    WriteDbf(src / "dup.dbf", {{"BH", 'C', 3}, {"XM", 'C', 4}, {"xm", 'C', 4}},
             {{"001", "张三", "李四"}});
    ASSERT_EQ(import("dup"), "");
    EXPECT_EQ(column("select xm_2 from t"), std::vector<std::string>{"李四"});
    EXPECT_EQ(c.takeImportNotes(),
              std::vector<std::string>{"dup.dbf: 字段 xm 与前面的字段同名，导入为 xm_2"});
    EXPECT_TRUE(c.takeImportNotes().empty()) << "taken once";
}

TEST_F(DbfImport, TheStructureCopyAndTheImportOfOneFileGiveOneSetOfNotes) {
    WriteDbf(src / "dup.dbf", {{"A", 'C', 1}, {"a", 'C', 1}, {"D", 'D', 8}},
             {{"1", "2", "20261340"}});
    c.execute("select * into t2 from dup in \"" + src.string() + "\" \"dbase 5.0;\"  where 1 <> 1");
    ASSERT_EQ(import("dup"), "");
    auto reports = c.takeDbfReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].file, (src / "dup.dbf").string());
    EXPECT_EQ(reports[0].unreadableValues, 1u);
    EXPECT_EQ(
        reports[0].notes(),
        (std::vector<std::string>{"dup.dbf: 字段 a 与前面的字段同名，导入为 a_2",
                                  "dup.dbf: 有 1 个值无法读取 (如无效的日期)，已作为空值导入"}));
}

TEST_F(DbfImport, UnreadableValuesAreCountedAndReadAsNull) {
    WriteDbf(src / "bad.dbf", {{"BH", 'C', 3}, {"D", 'D', 8}, {"N", 'N', 4}, {"L", 'L', 1}},
             {{"001", "20261340", "abc", "T"}, // month 13; no number
              {"002", "2026120x", "12", "X"},  // a letter in the date; no logical
              {"003", "20240229", "7", "?"},   // a leap day; '?' is unknown, not unreadable
              {"004", std::nullopt, std::nullopt, std::nullopt},
              {"005", "20230229", "1", "F"}}); // no leap day in 2023
    ASSERT_EQ(import("bad"), "");
    EXPECT_EQ(column("select D from t"), (std::vector<std::string>{"", "", "2024-02-29", "", ""}));
    EXPECT_EQ(column("select N from t"), (std::vector<std::string>{"", "12", "7", "", "1"}));
    EXPECT_EQ(
        c.takeImportNotes(),
        std::vector<std::string>{"bad.dbf: 有 5 个值无法读取 (如无效的日期)，已作为空值导入"});
}

TEST_F(DbfImport, TheCodePageSettingReachesEveryTable) {
    WriteDbf(src / "gbk.dbf", {{"姓名", 'C', 6}}, {{"周七"}}, DbfLayout{0x03, 0x57});
    ASSERT_EQ(import("gbk"), "");
    EXPECT_NE(column("select * from t"), std::vector<std::string>{"周七"});
    EXPECT_EQ(c.takeImportNotes(),
              std::vector<std::string>{"gbk.dbf: 文字按文件头指定的代码页 1252 读取；"
                                       "如有乱码，请在 config.ini 的 [General] 中设置 "
                                       "CodePage=936"});
    c.execute("drop table t");
    c.setDbfCodePage(936);
    EXPECT_EQ(c.dbfCodePage(), 936);
    ASSERT_EQ(import("gbk"), "");
    EXPECT_EQ(column("select 姓名 from t"), std::vector<std::string>{"周七"});
    EXPECT_TRUE(c.takeImportNotes().empty());
    EXPECT_THROW(c.setDbfCodePage(12345), db::Error);
    EXPECT_EQ(c.dbfCodePage(), 936);
}

TEST_F(DbfImport, AMissingMemoFileImportsNothing) {
    WriteDbf(src / "memo.dbf", {{"BH", 'C', 3}, {"NOTE", 'M', 4}}, {{"001", "备注"}},
             DbfLayout{0x30, 0x7A});
    std::filesystem::remove(src / "memo.fpt");
    std::string error = import("memo");
    EXPECT_EQ(error.rfind("找不到备注文件 " + (src / "memo.fpt").string(), 0), 0u) << error;
    EXPECT_FALSE(c.hasTable("t"));
}

TEST_F(DbfImport, BinaryFieldsImportAsBlobs) {
    WriteDbf(src / "g.dbf", {{"BH", 'C', 3}, {"G", 'G', 4}, {"Q", 'Q', 4, 0, 0x02}},
             {{"001", std::string("\x00\x01", 2), std::string("\xFF", 1)},
              {"002", std::nullopt, std::nullopt}},
             DbfLayout{0x32, 0x7A});
    ASSERT_EQ(import("g"), "");
    EXPECT_EQ(
        column("select typeof(G) || ',' || hex(G) || ',' || typeof(Q) || ',' || hex(Q) from t"),
        (std::vector<std::string>{"blob,0001,blob,FF", "null,,null,"}));
    EXPECT_EQ(column("select count(*) from t where G is null and Q is null"),
              std::vector<std::string>{"1"});
}

TEST_F(DbfImport, AFileIsReadWhereverItsNameAndFolderLead) {
    const auto folder = home / "成绩 (2024)'s, 期中";
    std::filesystem::create_directories(folder);
    WriteDbf(folder / "九班.dbf", {{"BH", 'C', 3}}, {{"901"}});
    ASSERT_EQ(import("九班", folder), "");
    EXPECT_EQ(column("select BH from t"), std::vector<std::string>{"901"});
    EXPECT_FALSE(std::filesystem::exists(folder / "temp.dbf"));
}

TEST_F(DbfImport, APathThatIsNoFileSaysWhatItIs) {
    std::filesystem::create_directories(src / "dir.dbf");
    ASSERT_EQ(::mkfifo((src / "pipe.dbf").c_str(), 0600), 0);
    std::filesystem::create_symlink("loop.dbf", src / "loop.dbf");
    std::filesystem::create_symlink("gone.dbf", src / "dangling.dbf");
    const std::pair<const char*, std::string> cases[] = {
        {"dir", "不能打开 " + (src / "dir.dbf").string() + ": 它是一个文件夹，不是数据表文件"},
        {"pipe",
         "不能打开 " + (src / "pipe.dbf").string() + ": 它是一个管道 (FIFO)，不是数据表文件"},
        {"loop",
         "不能打开文件 " + (src / "loop.dbf").string() + ": 它是循环的符号链接，指不到任何文件"},
        {"dangling",
         "不能打开文件 " + (src / "dangling.dbf").string() + ": 它是符号链接，指向的文件不存在"},
        {"DIR", "不能打开 " + (src / "dir.dbf").string() + ": 它是一个文件夹，不是数据表文件"}};
    for (const auto& [table, expected] : cases) {
        EXPECT_EQ(import(table), expected) << table;
        EXPECT_FALSE(c.hasTable("t"));
    }
    EXPECT_EQ(import("nothing"), "找不到数据表文件 '" + (src / "nothing.dbf").string() + "'。");
}

TEST_F(DbfImport, LeftoverRecordsAreNoted) {
    DbfLayout layout;
    layout.statedRecords = 1;
    WriteDbf(src / "few.dbf", {{"BH", 'C', 3}}, {{"001"}, {"002"}, {"003"}}, layout);
    ASSERT_EQ(import("few"), "");
    EXPECT_EQ(column("select BH from t"), std::vector<std::string>{"001"});
    auto reports = c.takeDbfReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].leftoverBytes, 8u);
    EXPECT_EQ(reports[0].notes(),
              std::vector<std::string>{"few.dbf: 文件头声明的记录之后还有 8 字节，没有导入"});
}

} // namespace
