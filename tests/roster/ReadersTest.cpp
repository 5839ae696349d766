#include "roster/Readers.h"
#include "roster/Error.h"
#include "tests/roster/XlsFixture.h"
#include "tests/support/DbfWriter.h"
#include "tests/support/TempHome.h"

#include "platform/text/Gbk.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>
#include <zip.h>

namespace {

using roster::TextRows;
using testsupport::TempHome;
using testsupport::WriteBytes;

const std::string kListUtf8 =
    "考号,姓名,班级\r\n0310101001,张三,高一(3)班\r\n310101002,李四,3班\r\n";
const TextRows kListRows{
    {"考号", "姓名", "班级"}, {"0310101001", "张三", "高一(3)班"}, {"310101002", "李四", "3班"}};

// --- CSV: encodings ----------------------------------------------------------

TEST(CsvEncoding, Utf8WithoutBom) {
    TempHome home;
    WriteBytes(home / "名单.csv", kListUtf8);
    EXPECT_EQ(roster::DecodeText(kListUtf8).encoding, roster::TextEncoding::Utf8);
    EXPECT_EQ(roster::ReadCsv(home / "名单.csv").rows, kListRows);
}

TEST(CsvEncoding, Utf8WithBomLosesTheMark) {
    TempHome home;
    WriteBytes(home / "名单.csv", "\xEF\xBB\xBF" + kListUtf8);
    EXPECT_EQ(roster::DecodeText("\xEF\xBB\xBF" + kListUtf8).encoding,
              roster::TextEncoding::Utf8Bom);
    const TextRows rows = roster::ReadCsv(home / "名单.csv").rows;
    EXPECT_EQ(rows, kListRows) << "the first heading is 考号, not a mark before it";
}

TEST(CsvEncoding, GbkIsToldByDecodingNotByName) {
    TempHome home;
    const std::string gbk = text::ToGbk(kListUtf8);
    ASSERT_NE(gbk, kListUtf8);
    EXPECT_EQ(roster::DecodeText(gbk).encoding, roster::TextEncoding::Gb18030);
    // The same extension for both encodings, and a UTF-8 file named like a GBK export.
    WriteBytes(home / "gbk.csv", gbk);
    WriteBytes(home / "utf8.txt", kListUtf8);
    EXPECT_EQ(roster::ReadCsv(home / "gbk.csv").rows, kListRows);
    EXPECT_EQ(roster::ReadClassList(home / "utf8.txt").rows, kListRows);
}

TEST(CsvEncoding, UnicodeTextOfASpreadsheet) {
    // "考号\t姓名\r\n1\t张三\r\n" as UTF-16LE with its byte-order mark.
    const std::u16string text = u"考号\t姓名\r\n1\t张三\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(roster::DecodeText(bytes).encoding, roster::TextEncoding::Utf16Le);
    TempHome home;
    WriteBytes(home / "名单.txt", bytes);
    EXPECT_EQ(roster::ReadClassList(home / "名单.txt").rows,
              (TextRows{{"考号", "姓名"}, {"1", "张三"}}));
}

// --- CSV: fields -------------------------------------------------------------

TEST(CsvFields, QuotedAsRfc4180Writes) {
    const TextRows rows =
        roster::ParseCsv("a,\"b,c\",\"he said \"\"hi\"\"\",\"two\r\nlines\",\"\",x\"y\r\n"
                         "1,2,3,4,5,6",
                         "t.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (roster::TextRow{"a", "b,c", "he said \"hi\"", "two\r\nlines", "", "x\"y"}));
    EXPECT_EQ(rows[1], (roster::TextRow{"1", "2", "3", "4", "5", "6"}));
}

TEST(CsvFields, LineEndsAndEmptyFields) {
    EXPECT_EQ(roster::ParseCsv("a,b\rc,d\ne,f\r\n", "t"),
              (TextRows{{"a", "b"}, {"c", "d"}, {"e", "f"}}));
    EXPECT_EQ(roster::ParseCsv("a,,c\n,\n", "t"), (TextRows{{"a", "", "c"}, {"", ""}}));
    EXPECT_EQ(roster::ParseCsv("a,\"\"", "t"), (TextRows{{"a", ""}})) << "last field quoted, empty";
    EXPECT_TRUE(roster::ParseCsv("", "t").empty());
}

TEST(CsvFields, SeparatorFromTheFirstRecord) {
    EXPECT_EQ(roster::ParseCsv("考号\t姓名\n1,2\t张三\n", "t"),
              (TextRows{{"考号", "姓名"}, {"1,2", "张三"}}));
    EXPECT_EQ(roster::ParseCsv("\"a,b\";c;d\n", "t"), (TextRows{{"a,b", "c", "d"}}))
        << "commas inside quotes do not count";
}

TEST(CsvFields, AQuoteLeftOpenNamesFileAndRow) {
    try {
        (void)roster::ParseCsv("考号,姓名\n1,\"张三\n2,李四\n", "名单.csv");
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("名单.csv"), std::string::npos) << what;
        EXPECT_NE(what.find("第 2 行"), std::string::npos) << what;
    }
}

// --- .xlsx -------------------------------------------------------------------

void WriteListSheet(lxw_worksheet* ws) {
    worksheet_write_string(ws, 0, 0, "准考证号", nullptr);
    worksheet_write_string(ws, 0, 1, "姓名", nullptr);
    worksheet_write_string(ws, 0, 2, "班级", nullptr);
    worksheet_write_string(ws, 0, 3, "成绩", nullptr);
    worksheet_write_number(ws, 1, 0, 310101001, nullptr);
    worksheet_write_string(ws, 1, 1, "张三", nullptr);
    worksheet_write_string(ws, 1, 2, "高一(3)班", nullptr);
    worksheet_write_number(ws, 1, 3, 85.5, nullptr);
    worksheet_write_string(ws, 2, 0, "0310101002", nullptr);
    worksheet_write_string(ws, 2, 1, "李四", nullptr);
    worksheet_write_number(ws, 2, 2, 3, nullptr);
    // Row 4 left out; row 5 has a cell in column C only.
    worksheet_write_string(ws, 4, 2, "实验班", nullptr);
}

const TextRows kXlsxRows{{"准考证号", "姓名", "班级", "成绩"},
                         {"310101001", "张三", "高一(3)班", "85.5"},
                         {"0310101002", "李四", "3"},
                         {},
                         {"", "", "实验班"}};

void WriteWorkbook(const std::filesystem::path& file, bool inlineStrings) {
    lxw_workbook_options options{};
    options.constant_memory = inlineStrings ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* wb = workbook_new_opt(file.c_str(), &options);
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* cover = workbook_add_worksheet(wb, "说明");
    worksheet_write_string(cover, 0, 0, "高一学生名单", nullptr);
    WriteListSheet(workbook_add_worksheet(wb, "名单"));
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
}

TEST(Xlsx, SharedStringsAndNumbers) {
    TempHome home;
    WriteWorkbook(home / "名单.xlsx", false);
    EXPECT_EQ(roster::XlsxSheetNames(home / "名单.xlsx"),
              (std::vector<std::string>{"说明", "名单"}));
    EXPECT_EQ(roster::Dense(roster::ReadXlsx(home / "名单.xlsx", "名单")), kXlsxRows);
    EXPECT_EQ(roster::ReadClassList(home / "名单.xlsx").rows, (TextRows{{"高一学生名单"}}))
        << "the first sheet when none is named";
}

TEST(Xlsx, InlineStrings) {
    TempHome home;
    WriteWorkbook(home / "inline.xlsx", true);
    EXPECT_EQ(roster::ReadClassList(home / "inline.xlsx", "名单").rows, kXlsxRows);
}

TEST(Xlsx, RichTextJoinsItsRuns) {
    TempHome home;
    lxw_workbook* wb = workbook_new((home / "rich.xlsx").c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    lxw_format* bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_rich_string_tuple a{nullptr, const_cast<char*>("高一")};
    lxw_rich_string_tuple b{bold, const_cast<char*>("(3)班")};
    lxw_rich_string_tuple* runs[] = {&a, &b, nullptr};
    worksheet_write_rich_string(ws, 0, 0, runs, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    EXPECT_EQ(roster::Dense(roster::ReadXlsx(home / "rich.xlsx", std::nullopt)),
              (TextRows{{"高一(3)班"}}));
}

void AddPart(zip_t* z, const char* name, const std::string& text) {
    zip_source_t* src = zip_source_buffer(z, text.data(), text.size(), 0);
    ASSERT_NE(src, nullptr);
    ASSERT_GE(zip_file_add(z, name, src, ZIP_FL_ENC_UTF_8), 0);
}

// A package as other programs write it: prefixed elements, a sheet part
// in another folder, phonetic runs, number texts with exponents.
TEST(Xlsx, PrefixesPhoneticRunsAndOtherPlaces) {
    TempHome home;
    const std::string rels =
        R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="r1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="book/wb.xml"/></Relationships>)";
    const std::string workbook =
        R"(<x:workbook xmlns:x="urn:x" xmlns:r="urn:r"><x:sheets><x:sheet name="Roster" sheetId="7" r:id="rS"/></x:sheets></x:workbook>)";
    const std::string wbRels =
        R"(<Relationships><Relationship Id="rS" Type=".../worksheet" Target="../sheets/s.xml"/>)"
        R"(<Relationship Id="rT" Type=".../sharedStrings" Target="strings.xml"/></Relationships>)";
    const std::string strings =
        R"(<sst><si><t>考号</t></si><si><r><t>张</t></r><r><t>三</t></r><rPh sb="0" eb="1"><t>ちょう</t></rPh></si></sst>)";
    const std::string sheet =
        R"(<x:worksheet xmlns:x="urn:x"><x:sheetData><x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c></x:row>)"
        R"(<x:row r="2"><x:c r="A2"><x:v>3.10101001E8</x:v></x:c><x:c r="B2" t="s"><x:v>1</x:v></x:c>)"
        R"(<x:c r="C2" t="str"><x:f>A2&amp;""</x:f><x:v>310101001</x:v></x:c><x:c r="D2" t="b"><x:v>1</x:v></x:c></x:row>)"
        R"(</x:sheetData></x:worksheet>)";
    int error = 0;
    zip_t* z = zip_open((home / "other.xlsx").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    AddPart(z, "_rels/.rels", rels);
    AddPart(z, "book/wb.xml", workbook);
    AddPart(z, "book/_rels/wb.xml.rels", wbRels);
    AddPart(z, "book/strings.xml", strings);
    AddPart(z, "sheets/s.xml", sheet);
    ASSERT_EQ(zip_close(z), 0);
    EXPECT_EQ(roster::ReadClassList(home / "other.xlsx", "roster").rows,
              (TextRows{{"考号"}, {"310101001", "张三", "310101001", "TRUE"}}))
        << "sheet names compared without regard to case when none matches exactly";
}

TEST(Xlsx, ProblemsNameTheFile) {
    TempHome home;
    WriteWorkbook(home / "名单.xlsx", false);
    try {
        (void)roster::ReadXlsx(home / "名单.xlsx", "学生");
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("名单.xlsx"), std::string::npos) << what;
        EXPECT_NE(what.find("学生"), std::string::npos) << what;
        EXPECT_NE(what.find("说明、名单"), std::string::npos) << "lists the sheets: " << what;
    }
    WriteBytes(home / "bad.xlsx", "PK\x03\x04 not really a zip");
    EXPECT_THROW((void)roster::ReadClassList(home / "bad.xlsx").rows, roster::Error);
    WriteBytes(home / "text.xlsx", "考号\n1\n");
    EXPECT_THROW((void)roster::ReadClassList(home / "text.xlsx").rows, roster::Error)
        << "named .xlsx but neither workbook format";
}

// --- .xls --------------------------------------------------------------------

TEST(Xls, StringsNumbersAndSheets) {
    using testsupport::RkInt;
    TempHome home;
    const std::vector<testsupport::XlsSheet> book{
        {"说明", {{std::string("高一学生名单")}}},
        {"名单",
         {{std::string("学号"), std::string("姓名"), std::string("班级")},
          {310101001.0, std::string("张三"), RkInt{3}},
          {std::string("0310101002"), std::string("李四"), std::string("高一(3)班")},
          {3.10101003e8, std::monostate{}, 3.0}}}};
    testsupport::WriteXls(home / "名单.xls", book);
    EXPECT_EQ(roster::FormatOf(home / "名单.xls"), roster::ListFormat::Xls);
    EXPECT_EQ(roster::XlsSheetNames(home / "名单.xls"), (std::vector<std::string>{"说明", "名单"}));
    EXPECT_EQ(roster::ReadClassList(home / "名单.xls", "名单").rows,
              (TextRows{{"学号", "姓名", "班级"},
                        {"310101001", "张三", "3"},
                        {"0310101002", "李四", "高一(3)班"},
                        {"310101003", "", "3"}}));
    EXPECT_EQ(roster::Dense(roster::ReadXls(home / "名单.xls", std::nullopt)),
              (TextRows{{"高一学生名单"}}));
    EXPECT_THROW((void)roster::ReadXls(home / "名单.xls", "三班"), roster::Error);
}

TEST(Xls, ADamagedFileNamesItself) {
    TempHome home;
    WriteBytes(home / "坏.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest");
    try {
        (void)roster::ReadClassList(home / "坏.xls").rows;
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("坏.xls"), std::string::npos) << e.what();
    }
}

// --- dBase -------------------------------------------------------------------

TEST(DbfList, FieldNamesThenRecords) {
    TempHome home;
    testsupport::WriteDbf(
        home / "ids.dbf",
        {{"ID", 'C', 10}, {"STUDCLASS", 'N', 3}, {"STUDNAME", 'C', 8}, {"NUMID", 'N', 11}},
        {{std::string("0310101001"), std::string("3"), std::string("张三"),
          std::string("31010100101")},
         {std::string("310101002"), std::nullopt, std::string("李四"), std::nullopt}});
    EXPECT_EQ(roster::FormatOf(home / "ids.dbf"), roster::ListFormat::Dbf);
    const TextRows rows = roster::ReadClassList(home / "ids.dbf").rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (roster::TextRow{"ID", "STUDCLASS", "STUDNAME", "NUMID"}));
    EXPECT_EQ(rows[1], (roster::TextRow{"0310101001", "3", "张三", "31010100101"}));
    EXPECT_EQ(rows[2][0], "310101002");
    EXPECT_EQ(rows[2][2], "李四");
    EXPECT_THROW((void)roster::ReadClassList(home / "ids.dbf", "Sheet1").rows, roster::Error)
        << "a table has no sheets";
}

TEST(DbfList, ADamagedTableNamesItself) {
    TempHome home;
    WriteBytes(home / "ids.dbf", std::string("\x03\x7E\x0C\x07", 4));
    try {
        (void)roster::ReadClassList(home / "ids.dbf").rows;
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("ids.dbf"), std::string::npos) << e.what();
    }
}

TEST(ClassList, AMissingFileNamesItself) {
    TempHome home;
    try {
        (void)roster::ReadClassList(home / "没有.csv").rows;
        FAIL() << "no error";
    } catch (const roster::Error& e) {
        EXPECT_NE(std::string(e.what()).find("没有.csv"), std::string::npos) << e.what();
    }
}

} // namespace
