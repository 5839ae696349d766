// Code pages: the one a dBase header names, the setting that overrides it,
// and Chinese text as GB18030, read and written.
#include "platform/db/DbfCodePage.h"
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "platform/text/Gbk.h"
#include "tests/platform/DbfFixtures.h"

#include <gtest/gtest.h>

namespace {

using db::Dbf;
using dbftest::ReadAll;
using dbftest::Text;
using testsupport::DbfLayout;

struct Driver {
    unsigned char byte;
    int codePage;
    const char* word; // written in that code page, read back
};

class DbfDriverByte : public ::testing::TestWithParam<Driver> {};

TEST_P(DbfDriverByte, ChoosesTheCodePageOfTheText) {
    const Driver& p = GetParam();
    EXPECT_EQ(db::CodePageOfDriver(p.byte), p.codePage);
    DbfLayout layout;
    layout.languageDriver = p.byte;
    layout.codePage = p.codePage;
    auto w = dbftest::Written({{"NAME", 'C', 12}}, {{{p.word}, false}}, layout);
    Dbf d(db::MemorySource(w.bytes()), "cp.dbf");
    EXPECT_EQ(d.codePage(), p.codePage);
    EXPECT_EQ(d.headerCodePage(), p.codePage);
    EXPECT_EQ(Text(ReadAll(d).at(0).at(0)), p.word);
}

INSTANTIATE_TEST_SUITE_P(Common, DbfDriverByte,
                         ::testing::Values(Driver{0x4D, 936, "张三"}, Driver{0x7A, 936, "李四"},
                                           Driver{0x4E, 949, "김민준"}, Driver{0x4F, 950, "陳國強"},
                                           Driver{0x7B, 932, "山田太郎"}, Driver{0x13, 932, "ｶﾀｶﾅ"},
                                           Driver{0x01, 437, "Müller"}, Driver{0x02, 850, "Ørsted"},
                                           Driver{0x03, 1252, "José"}, Driver{0x57, 1252, "Zoë"},
                                           Driver{0x58, 1252, "Noël"}, Driver{0x59, 1252, "Peña"},
                                           Driver{0x26, 866, "Иван"}, Driver{0x65, 866, "Пётр"},
                                           Driver{0xC9, 1251, "Олег"}, Driver{0x64, 852, "Łukasz"},
                                           Driver{0xC8, 1250, "Dvořák"}, Driver{0x7D, 1255, "דוד"},
                                           Driver{0x7E, 1256, "محمد"}, Driver{0x7C, 874, "สมชาย"}),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Byte%02X", info.param.byte);
                             return std::string(name);
                         });

TEST(DbfCodePage, NoByteOrAnUnknownOneMeansChinese) {
    for (unsigned char byte : {0x00, 0x99, 0xF0}) {
        EXPECT_EQ(db::CodePageOfDriver(byte), 0);
        DbfLayout layout;
        layout.languageDriver = byte;
        auto w = dbftest::Written({{"XM", 'C', 6}}, {{{"王五"}, false}}, layout);
        Dbf d(db::MemorySource(w.bytes()), "x.dbf");
        EXPECT_EQ(d.codePage(), 936);
        EXPECT_EQ(d.headerCodePage(), 0);
        EXPECT_EQ(Text(ReadAll(d).at(0).at(0)), "王五");
        EXPECT_TRUE(d.report().notes().empty());
    }
}

TEST(DbfCodePage, TheSettingOverridesAHeaderThatNamesTheWrongCodePage) {
    // Written as GBK by a tool that marks every table 0x57 (code page 1252).
    DbfLayout layout;
    layout.languageDriver = 0x57;
    auto w = dbftest::Written({{"姓名", 'C', 6}}, {{{"赵六"}, false}}, layout);

    Dbf header(db::MemorySource(w.bytes()), "错.dbf");
    EXPECT_EQ(header.codePage(), 1252);
    EXPECT_NE(Text(ReadAll(header).at(0).at(0)), "赵六");
    EXPECT_EQ(header.report().notes(),
              std::vector<std::string>{"错.dbf: 文字按文件头指定的代码页 1252 读取；如有乱码，请在 "
                                       "config.ini 的 [General] 中设置 CodePage=936"});

    Dbf set(db::MemorySource(w.bytes()), "错.dbf", db::DbfOptions{936});
    EXPECT_EQ(set.codePage(), 936);
    EXPECT_EQ(set.headerCodePage(), 1252);
    EXPECT_EQ(set.fields()[0].name, "姓名");
    EXPECT_EQ(Text(ReadAll(set).at(0).at(0)), "赵六");
    EXPECT_TRUE(set.report().notes().empty());
}

TEST(DbfCodePage, ASettingOtherThanChineseIsNamedWhenTheTextIsNotAscii) {
    DbfLayout layout;
    layout.codePage = 1251;
    auto w = dbftest::Written({{"NAME", 'C', 6}}, {{{"Олег"}, false}}, layout);
    Dbf d(db::MemorySource(w.bytes()), "ru.dbf", db::DbfOptions{1251});
    EXPECT_EQ(Text(ReadAll(d).at(0).at(0)), "Олег");
    EXPECT_EQ(d.report().notes(),
              std::vector<std::string>{"ru.dbf: 文字按 config.ini 设置的代码页 1251 读取"});
}

TEST(DbfCodePage, PlainAsciiTextUnderAnotherCodePageNeedsNoNote) {
    DbfLayout layout;
    layout.languageDriver = 0x03;
    auto w = dbftest::Written({{"BH", 'C', 9}}, {{{"202601001"}, false}}, layout);
    Dbf d(db::MemorySource(w.bytes()), "a.dbf");
    (void)ReadAll(d);
    EXPECT_FALSE(d.report().nonAsciiText);
    EXPECT_TRUE(d.report().notes().empty());
}

TEST(DbfCodePage, RareCharactersOfNamesAreReadAsGb18030) {
    // 䶮 (U+4DAE) is FE 9F, beyond GBK; 𠮷 (U+20BB7) takes four bytes.
    std::string bytes = dbftest::Table({{"XM", 'C', 8}}, {{{std::nullopt}, false}});
    bytes.replace(bytes.size() - 9, 8, "\xFE\x9F\x95\x34\xB2\x35\xC0\xEE");
    Dbf d(db::MemorySource(bytes), "x.dbf");
    EXPECT_EQ(Text(ReadAll(d).at(0).at(0)), "䶮𠮷李");
}

// --- Chinese text written by the program ---

TEST(Gb18030, ACharacterGbkLacksIsWrittenInGb18030InsteadOfAQuestionMark) {
    EXPECT_EQ(text::ToGbk("刘䶮"), "\xC1\xF5\xFE\x9F");
    EXPECT_EQ(text::ToGbk("𠮷"), "\x95\x34\xB2\x35");
    EXPECT_EQ(text::ToGbk("a😀b"), "a\x94\x39\xFC\x36"
                                  "b");
    EXPECT_EQ(text::FromGbk(text::ToGbk("刘䶮𠮷😀")), "刘䶮𠮷😀");
}

TEST(Gb18030, WhereGbkAndGb18030DifferGbksBytesAreKept) {
    // The euro sign: GBK's single byte 0x80, where GB18030 would write A2 E3.
    EXPECT_EQ(text::ToGbk("€5"), "\x80"
                                 "5");
    EXPECT_EQ(text::FromGbk("\x80"
                            "5"),
              "€5");
    EXPECT_EQ(text::FromGbk("\xA2\xE3"), "€");
    // Characters both have keep their common bytes.
    EXPECT_EQ(text::ToGbk("中·—"), "\xD6\xD0\xA1\xA4\xA1\xAA");
}

TEST(Gb18030, EveryTwoByteCharacterReadsBackToItsOwnBytesButTheEuroSign) {
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = text::FromGbk(bytes);
            if (utf8 == "\xEF\xBF\xBD" || bytes == "\xA2\xE3") // € is written as GBK's 0x80
                continue;
            ASSERT_EQ(text::ToGbk(utf8), bytes) << std::hex << lead << trail;
            ++checked;
        }
    EXPECT_GT(checked, 21000) << "GBK holds 21886 characters";
}

TEST(Gb18030, WidthCountsEveryChineseCharacterAsTwoColumns) {
    EXPECT_EQ(text::GbkWidth("刘䶮"), 4u);
    EXPECT_EQ(text::GbkWidth("a𠮷b"), 4u);
    EXPECT_EQ(text::GbkWidth("€"), 1u);
}

TEST(Gb18030, UnknownCodePagesAreRefused) {
    EXPECT_TRUE(text::CodePageSupported(936));
    EXPECT_TRUE(text::CodePageSupported(1252));
    EXPECT_FALSE(text::CodePageSupported(12345));
    EXPECT_FALSE(text::CodePageSupported(0));
    DbfLayout layout;
    auto w = dbftest::Written({{"A", 'C', 1}}, {}, layout);
    EXPECT_THROW(Dbf(db::MemorySource(w.bytes()), "x.dbf", db::DbfOptions{12345}), db::Error);
}

} // namespace
