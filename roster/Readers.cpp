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
        throw Error(
            ListProblem(file, "不是有效的 Excel 工作簿（文件内容既不是 .xlsx 也不是 .xls）"));
    return ListFormat::Csv;
}

TextRows Dense(const CellRows& cells) {
    TextRows rows(cells.size());
    for (std::size_t r = 0; r < cells.size(); ++r) {
        if (cells[r].empty())
            continue;
        rows[r].resize(cells[r].back().column + std::size_t{1});
        for (const Cell& cell : cells[r])
            rows[r][cell.column] = cell.text;
    }
    return rows;
}

std::vector<std::string> SheetNames(const std::filesystem::path& file) {
    switch (FormatOf(file)) {
    case ListFormat::Xlsx:
        return XlsxSheetNames(file);
    case ListFormat::Xls:
        return XlsSheetNames(file);
    case ListFormat::Dbf:
    case ListFormat::Csv:
        break;
    }
    return {};
}

ListRows ReadClassList(const std::filesystem::path& file, const std::optional<std::string>& sheet) {
    const ListFormat format = FormatOf(file);
    if (sheet && (format == ListFormat::Csv || format == ListFormat::Dbf))
        throw Error(ListProblem(file, "不是工作簿，没有工作表“" + *sheet + "”"));
    ListRows list;
    switch (format) {
    case ListFormat::Xlsx:
        list.sheets = XlsxSheetNames(file);
        list.rows = Dense(ReadXlsx(file, sheet));
        break;
    case ListFormat::Xls:
        list.sheets = XlsSheetNames(file);
        list.rows = Dense(ReadXls(file, sheet));
        break;
    case ListFormat::Dbf:
        list.rows = ReadDbfList(file);
        break;
    case ListFormat::Csv: {
        CsvText csv = ReadCsv(file);
        list.rows = std::move(csv.rows);
        list.decoding = std::move(csv.decoding);
        break;
    }
    }
    return list;
}

} // namespace roster
