#include "report/ReportCopy.h"

#include "core/AppError.h"
#include "platform/text/TextFile.h"

#include <fstream>
#include <iterator>

namespace report {

std::string ClosingText(const ReportResult& written) {
    std::string text = "报表已写入 " + written.workbook.string();
    if (written.workbook != written.file)
        text += "（由 " + written.file.string() + " 排版而成）";
    text += "。";
    if (!written.notice.empty())
        text += "\r" + written.notice + "\r";
    text += "这个文件在临时文件夹中，下一次生成报表时会被覆盖。";
    return text;
}

std::string CopyName(const std::string& table, const std::filesystem::path& workbook) {
    return table + "_成绩" + workbook.extension().string();
}

std::string ClosingNotice(const ReportResult& written, const std::string& table,
                          const std::filesystem::path& folder) {
    return ClosingText(written) + "要保留它，请复制一份，例如复制为 " +
           (folder / CopyName(table, written.workbook)).string() + "。";
}

void SaveCopy(const std::filesystem::path& workbook, const std::filesystem::path& target) {
    std::ifstream in(workbook, std::ios::binary);
    std::string bytes;
    if (in)
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in || in.bad())
        throw core::AppError("不能读取报表 " + workbook.string() + "，没有另存。");
    try {
        text::WriteWhole(target, bytes);
    } catch (const std::exception& e) {
        throw core::AppError(std::string(e.what()) + "\r报表没有另存。");
    }
}

} // namespace report
