// Class lists that are damaged, oddly encoded or hostile: each is decoded
// without shifting what follows a bad unit, or refused with a message that
// names the file; a workbook reader that crashes or runs away ends its child
// process and not the program.
#include "roster/Error.h"
#include "roster/Import.h"
#include "roster/Readers.h"
#include "tests/support/TempHome.h"

#include "platform/text/Gbk.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <csignal>
#include <cstring>
#include <ostream>
#include <vector>

namespace {

using roster::TextEncoding;
using roster::TextRows;
using testsupport::TempHome;
using testsupport::WriteBytes;

constexpr std::size_t kStudents = 40;

// "考号,姓名,班级" and kStudents students named 学生1, 学生2, ...
std::u32string ListText() {
    std::string utf8 = "考号,姓名,班级\r\n";
    for (std::size_t i = 1; i <= kStudents; ++i)
        utf8 += std::to_string(310101000 + i) + ",学生" + std::to_string(i) + ",3班\r\n";
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? b : b & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += cp;
        i += n;
    }
    return out;
}

std::string Utf16(const std::u32string& text, bool little) {
    std::string bytes;
    auto unit = [&](char32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        bytes += little ? lo : hi;
        bytes += little ? hi : lo;
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return bytes;
}

std::string Utf32(const std::u32string& text, bool little) {
    std::string bytes;
    for (char32_t c : text)
        for (int k = 0; k < 4; ++k)
            bytes += static_cast<char>(c >> (8 * (little ? k : 3 - k)));
    return bytes;
}

std::string Utf8(const std::u32string& text) {
    std::string s;
    for (char32_t c : text) {
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return s;
}

// The list with the name of the third student (on line 4) damaged.
std::string DamageThirdName(std::string bytes, const std::string& name, const std::string& bad) {
    const std::size_t at = bytes.find(name);
    return bytes.insert(at + name.size(), bad);
}

struct EncodingCase {
    const char* label;
    std::string bytes;
    TextEncoding encoding;
    bool withoutMark;
    std::size_t undecodable;
    friend void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.label; }
};

std::vector<EncodingCase> EncodingCases() {
    const std::u32string text = ListText();
    const std::string utf8 = Utf8(text);
    const std::string gbk = text::ToGbk(utf8);
    return {
        {"Utf8WithOneInvalidByte", DamageThirdName(utf8, "学生3", "\xFF"), TextEncoding::Utf8,
         false, 1},
        {"Utf8BomWithACutSequence", "\xEF\xBB\xBF" + DamageThirdName(utf8, "学生3", "\xE5\xAD"),
         TextEncoding::Utf8Bom, false, 1},
        {"Utf16WithALoneSurrogate",
         "\xFF\xFE" +
             DamageThirdName(Utf16(text, true), Utf16(U"学生3", true), std::string("\x00\xD8", 2)),
         TextEncoding::Utf16Le, false, 1},
        {"Utf16BigEndian", "\xFE\xFF" + Utf16(text, false), TextEncoding::Utf16Be, false, 0},
        {"Utf16WithoutMark", Utf16(text, true), TextEncoding::Utf16Le, true, 0},
        {"Utf32WithMark", std::string("\xFF\xFE\0\0", 4) + Utf32(text, true), TextEncoding::Utf32Le,
         false, 0},
        {"Utf32BigEndianWithoutMark", Utf32(text, false), TextEncoding::Utf32Be, true, 0},
        {"GbkWithAStrayByte", DamageThirdName(gbk, text::ToGbk("学生3"), "\x80"),
         TextEncoding::Gb18030, false, 1},
        {"Gbk", gbk, TextEncoding::Gb18030, false, 0},
    };
}

class ListEncoding : public ::testing::TestWithParam<EncodingCase> {};

// Every student is read, each name whole; a damaged unit is one U+FFFD in
// its own field, counted, and the summary says the encoding.
TEST_P(ListEncoding, EveryStudentIsReadAndTheDamageStaysInItsField) {
    const EncodingCase& c = GetParam();
    TempHome home;
    WriteBytes(home / "名单.csv", c.bytes);
    const roster::ImportResult r = roster::ImportClassList(home / "名单.csv");
    ASSERT_TRUE(r.decoding);
    EXPECT_EQ(r.decoding->encoding, c.encoding);
    EXPECT_EQ(r.decoding->withoutMark, c.withoutMark);
    EXPECT_EQ(r.decoding->undecodable, c.undecodable);
    ASSERT_EQ(r.taken(), kStudents);
    for (std::size_t i = 0; i < kStudents; ++i) {
        std::string name = "学生" + std::to_string(i + 1);
        if (i == 2 && c.undecodable)
            name += "\xEF\xBF\xBD";
        EXPECT_EQ(r.roster.name(i), name) << i;
        EXPECT_EQ(r.roster.id(i), std::to_string(310101001 + i));
        EXPECT_EQ(r.roster.className(i), "3");
    }
    std::string summary;
    for (const auto& line : roster::ImportSummary(r, "名单.csv"))
        summary += line + "\n";
    EXPECT_NE(summary.find("文字编码: " + roster::EncodingText(*r.decoding)), std::string::npos)
        << summary;
    if (c.undecodable) {
        EXPECT_NE(summary.find("有 1 处无法解码的字符"), std::string::npos) << summary;
        EXPECT_NE(summary.find("文件第 4 行"), std::string::npos) << summary;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ListEncoding, ::testing::ValuesIn(EncodingCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ListDecoding, ZeroBytesInNoPatternAreNotText) {
    TempHome home;
    std::string bytes = "考号,姓名\r\n";
    bytes += std::string(40, '\0') + "1,a\r\n";
    WriteBytes(home / "名单.csv", bytes);
    try {
        (void)roster::ImportClassList(home / "名单.csv");
        FAIL() << "read as text";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("名单.csv"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("不是文本文件"), std::string::npos) << e.what();
    }
}

// A name keeps nothing a workbook cannot hold; two columns with one heading
// are named in the summary with the one that was used.
TEST(ListFields, NamesLoseUnwritableCharactersAndTwinHeadingsAreNamed) {
    const TextRows rows{{"考号", "姓名", "班级", "考号"},
                        {"1", std::string("张\xEF\xBF\xBF三\x01", 10), "3班", "9"},
                        {"2", std::string("李\0四\tX", 9), "3班", "8"},
                        {"3", "王\xEF\xBF\xBE五", "3班", "7"}};
    const roster::ImportResult r = roster::BuildRoster(rows, {}, "名单.csv");
    ASSERT_EQ(r.taken(), 3u);
    EXPECT_EQ(r.roster.name(0), "张三");
    EXPECT_EQ(r.roster.name(1), "李四\tX") << "a tab is kept, and so are a Latin name's blanks";
    EXPECT_EQ(r.roster.name(2), "王五");
    EXPECT_EQ(r.roster.id(0), "1") << "the first of the twin columns is used";
    const auto lines = roster::ImportSummary(r, "名单.csv");
    EXPECT_NE(lines[1].find("考号列“考号”（第 1 列；第 4 列的表头相同，未使用）"),
              std::string::npos)
        << lines[1];
}

// ---- the confined reader ---------------------------------------------------

roster::ListRows SomeRows() {
    roster::ListRows list;
    list.rows = {{"考号", "姓名"}, {}, {"1", std::string("a\0b", 3)}};
    list.sheets = {"名单", "说明"};
    roster::TextDecoding d;
    d.encoding = TextEncoding::Utf16Be;
    d.undecodable = 2;
    d.undecodableLines = {3, 9};
    list.decoding = d;
    return list;
}

enum class Failure { Crash, Abort, Allocation, Endless, Throw };

class ConfinedReader : public ::testing::TestWithParam<Failure> {};

// Whatever the reader does wrong in its child, the program goes on and the
// user reads that the file is damaged or too large.
TEST_P(ConfinedReader, AFailingReaderBecomesTheDamagedFileMessage) {
    const std::filesystem::path file = "坏名单.xls";
    os::ChildLimits limits;
    limits.memoryBytes = std::size_t{64} << 20;
    limits.seconds = 1;
    const Failure failure = GetParam();
    auto read = [failure]() -> roster::ListRows {
        switch (failure) {
        case Failure::Crash:
            std::raise(SIGSEGV);
            break;
        case Failure::Abort:
            std::abort();
        case Failure::Allocation: {
            std::vector<std::string> cells(std::size_t{1} << 24, std::string(40, 'x'));
            return roster::ListRows{{cells}, {}, {}};
        }
        case Failure::Endless:
            for (volatile unsigned long n = 0;;)
                n = n + 1;
        case Failure::Throw:
            throw std::runtime_error("not a roster error");
        }
        return {};
    };
    try {
        (void)roster::ReadConfined(file, read, limits);
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_STREQ(e.what(), "文件已损坏或过大，无法读取：坏名单.xls");
    }
}

std::string FailureName(const ::testing::TestParamInfo<Failure>& info) {
    static const char* const kNames[] = {"Crash", "Abort", "Allocation", "Endless", "Throw"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Failures, ConfinedReader,
                         ::testing::Values(Failure::Crash, Failure::Abort, Failure::Allocation,
                                           Failure::Endless, Failure::Throw),
                         FailureName);

TEST(ConfinedReading, RowsAndProblemsComeBackAsTheChildReadThem) {
    const roster::ListRows got = roster::ReadConfined("名单.xlsx", SomeRows);
    const roster::ListRows want = SomeRows();
    EXPECT_EQ(got.rows, want.rows);
    EXPECT_EQ(got.sheets, want.sheets);
    ASSERT_TRUE(got.decoding);
    EXPECT_EQ(got.decoding->encoding, TextEncoding::Utf16Be);
    EXPECT_EQ(got.decoding->undecodable, 2u);
    EXPECT_EQ(got.decoding->undecodableLines, (std::vector<std::size_t>{3, 9}));
    try {
        (void)roster::ReadConfined("名单.xlsx", []() -> roster::ListRows {
            throw roster::Error("学生名单 名单.xlsx: 没有名为“三班”的工作表");
        });
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_STREQ(e.what(), "学生名单 名单.xlsx: 没有名为“三班”的工作表");
    }
}

// ---- hostile workbooks -----------------------------------------------------

void AddPart(zip_t* z, const char* name, std::string&& text, std::vector<std::string>& keep) {
    keep.push_back(std::move(text));
    zip_source_t* src = zip_source_buffer(z, keep.back().data(), keep.back().size(), 0);
    ASSERT_NE(src, nullptr);
    ASSERT_GE(zip_file_add(z, name, src, ZIP_FL_ENC_UTF_8), 0);
}

void WriteXlsx(const std::filesystem::path& file, std::string sharedStrings,
               std::string sheetData) {
    std::vector<std::string> keep;
    keep.reserve(4);
    int error = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    AddPart(z, "xl/workbook.xml",
            R"(<workbook><sheets><sheet name="名单" r:id="r1"/></sheets></workbook>)", keep);
    AddPart(
        z, "xl/_rels/workbook.xml.rels",
        R"(<Relationships><Relationship Id="r1" Type=".../worksheet" Target="worksheets/s1.xml"/>)"
        R"(<Relationship Id="r2" Type=".../sharedStrings" Target="sharedStrings.xml"/></Relationships>)",
        keep);
    AddPart(z, "xl/sharedStrings.xml", std::move(sharedStrings), keep);
    AddPart(z, "xl/worksheets/s1.xml",
            "<worksheet><sheetData>" + sheetData + "</sheetData></worksheet>", keep);
    ASSERT_EQ(zip_close(z), 0);
}

// Rows of students with a cell at column XFD in every row: the import keeps
// only the columns the headings name, within a child of 64 MB.
TEST(HostileWorkbook, ACellAtTheLastColumnCostsNothing) {
    TempHome home;
    std::string rows = R"(<row r="1"><c r="A1" t="inlineStr"><is><t>考号</t></is></c>)"
                       R"(<c r="B1" t="inlineStr"><is><t>姓名</t></is></c></row>)";
    constexpr int kRows = 3000;
    for (int r = 2; r <= kRows; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + std::to_string(310100000 + r) +
                "</v></c><c r=\"B" + n + "\" t=\"inlineStr\"><is><t>学生</t></is></c><c r=\"XFD" +
                n + "\"><v>1</v></c></row>";
    }
    WriteXlsx(home / "宽.xlsx", "<sst/>", rows);
    os::ChildLimits limits;
    limits.memoryBytes = std::size_t{64} << 20;
    const roster::ListRows list = roster::ReadConfined(
        home / "宽.xlsx", [&] { return roster::ReadListHere(home / "宽.xlsx", {}); }, limits);
    ASSERT_EQ(list.rows.size(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(list.rows[20], (roster::TextRow{"310100021", "学生"}));
    const roster::ImportResult r = roster::ImportClassList(home / "宽.xlsx");
    EXPECT_EQ(r.taken(), static_cast<std::size_t>(kRows - 1));
}

// Ten million empty shared strings packed into a small file: the table is
// bounded by the file's size, and reading stops with a message naming the
// file, within a child of 64 MB.
TEST(HostileWorkbook, MoreSharedStringsThanTheFileHoldsAreRefused) {
    TempHome home;
    std::string sst = "<sst>";
    sst.reserve(std::size_t{60} << 20);
    for (int i = 0; i < 10'000'000; ++i)
        sst += "<si/>";
    sst += "</sst>";
    WriteXlsx(home / "串.xlsx", std::move(sst),
              R"(<row r="1"><c r="A1" t="inlineStr"><is><t>考号</t></is></c></row>)");
    ASSERT_LT(std::filesystem::file_size(home / "串.xlsx"), std::uintmax_t{1} << 20);
    os::ChildLimits limits;
    limits.memoryBytes = std::size_t{64} << 20;
    try {
        (void)roster::ReadConfined(
            home / "串.xlsx", [&] { return roster::ReadListHere(home / "串.xlsx", {}); }, limits);
        FAIL() << "read";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("串.xlsx"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("共享字符串"), std::string::npos) << e.what();
    }
}

} // namespace
