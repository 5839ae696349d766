#include "roster/Readers.h"

#include "roster/Error.h"

#include "platform/text/Gbk.h"

#include <fstream>

namespace roster {

std::string ListProblem(const std::filesystem::path& file, std::string_view problem) {
    return "学生名单 " + file.string() + ": " + std::string(problem);
}

ListFormat FormatOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(ListProblem(file, "无法打开文件"));
    char magic[8] = {};
    in.read(magic, sizeof magic);
    const std::string head(magic, static_cast<std::size_t>(in.gcount()));
    if (head.rfind("PK\x03\x04", 0) == 0)
        return ListFormat::Xlsx;
    if (head == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return ListFormat::Xls;
    const std::string ext = text::Lower(file.extension().string());
    if (ext == ".dbf")
        return ListFormat::Dbf;
    if (ext == ".xls" || ext == ".xlsx" || ext == ".xlsm")
        throw Error(ListProblem(file, "不是有效的 Excel 工作簿（文件内容既不是 .xlsx 也不是 .xls）"));
    return ListFormat::Csv;
}

TextRows ReadClassList(const std::filesystem::path& file, const std::optional<std::string>& sheet) {
    const ListFormat format = FormatOf(file);
    if (sheet && (format == ListFormat::Csv || format == ListFormat::Dbf))
        throw Error(ListProblem(file, "不是工作簿，没有工作表“" + *sheet + "”"));
    switch (format) {
    case ListFormat::Xlsx: return ReadXlsx(file, sheet);
    case ListFormat::Xls: return ReadXls(file, sheet);
    case ListFormat::Dbf: return ReadDbfList(file);
    case ListFormat::Csv: break;
    }
    return ReadCsv(file);
}

} // namespace roster
