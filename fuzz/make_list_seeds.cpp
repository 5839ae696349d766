// Writes the seed workbooks of the .xls class-list target from the test
// fixture's writer: `fuzz-xls-seeds fuzz/seeds/xls-list`.
#include "tests/roster/XlsFixture.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-xls-seeds FOLDER\n");
        return 2;
    }
    using testsupport::RkInt;
    using testsupport::WriteXls;
    using testsupport::XlsSheet;
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    WriteXls(folder / "one-sheet.xls",
             {XlsSheet{"名单",
                       {{std::string("考号"), std::string("姓名"), std::string("班级")},
                        {310101001.0, std::string("张三"), std::string("高一(3)班")},
                        {RkInt{310101002}, std::string("李四"), RkInt{3}}}}});
    WriteXls(folder / "two-sheets.xls", {XlsSheet{"说明", {{std::string("高一学生名单")}}},
                                         XlsSheet{"名单",
                                                  {{std::string("学号"), std::string("姓名")},
                                                   {std::monostate{}, std::string("空")},
                                                   {85.5, std::string("王五")}}}});
    WriteXls(folder / "title-row.xls",
             {XlsSheet{"Sheet1",
                       {{std::string("2024 级")},
                        {},
                        {std::string("准考证号"), std::string("科目"), std::string("考号")},
                        {RkInt{1}, std::string("物理"), std::string("0310101001")}}}});
    WriteXls(folder / "empty.xls", {XlsSheet{"空", {}}});
    WriteXls(
        folder / "wide.xls",
        {XlsSheet{"宽",
                  {{std::string("考号"), std::monostate{}, std::monostate{}, std::string("姓名")},
                   {RkInt{9}, std::monostate{}, 1e300, std::string("x")}}}});
    return 0;
}
