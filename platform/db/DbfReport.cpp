#include "platform/db/DbfReport.h"

#include "platform/db/UniqueName.h"

#include "platform/text/Gbk.h"

#include <algorithm>
#include <filesystem>

namespace db {

std::vector<std::string> DbfReadReport::notes() const {
    const std::string name = std::filesystem::path(file).filename().string();
    std::vector<std::string> notes;
    for (const auto& [from, to] : renamedFields)
        notes.push_back(name + ": 字段 " + from +
                        (IsRowidName(from) ? " 与数据库隐含的行号 (rowid) 同名，导入为 "
                                           : " 与前面的字段同名，导入为 ") +
                        to);
    if (nonAsciiText && codePage != text::kChineseCodePage) {
        if (codePageFromSetting)
            notes.push_back(name + ": 文字按 config.ini 设置的代码页 " + std::to_string(codePage) +
                            " 读取");
        else
            notes.push_back(name + ": 文字按文件头指定的代码页 " + std::to_string(codePage) +
                            " 读取；如有乱码，请在 config.ini 的 [General] 中设置 CodePage=936");
    }
    if (unreadableValues > 0)
        notes.push_back(name + ": 有 " + std::to_string(unreadableValues) +
                        " 个值无法读取 (如无效的日期)，已作为空值导入");
    if (leftoverBytes >= static_cast<std::uint64_t>(recordLength))
        notes.push_back(name + ": 文件头声明的记录之后还有 " + std::to_string(leftoverBytes) +
                        " 字节，没有导入");
    return notes;
}

void DbfReads::record(const DbfReadReport& report) {
    if (!mReports.empty() && mReports.back().file == report.file &&
        mReports.back().codePage == report.codePage) {
        DbfReadReport& last = mReports.back();
        last.nonAsciiText = last.nonAsciiText || report.nonAsciiText;
        last.unreadableValues = std::max(last.unreadableValues, report.unreadableValues);
        return;
    }
    mReports.push_back(report);
}

std::vector<DbfReadReport> DbfReads::take() {
    std::vector<DbfReadReport> taken;
    taken.swap(mReports);
    return taken;
}

} // namespace db
