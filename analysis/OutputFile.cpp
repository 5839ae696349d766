#include "analysis/OutputFile.h"

#include "analysis/Run.h"
#include "platform/text/TemporaryName.h"
#include "platform/text/TextFile.h"

#include <system_error>

namespace analysis {

void CheckNameFits(const std::filesystem::path& target) {
    try {
        text::CheckNameFits(target);
    } catch (const std::runtime_error& e) {
        throw Error(e.what());
    }
}

PendingFile::PendingFile(std::filesystem::path target) : mTarget(std::move(target)) {
    CheckNameFits(mTarget);
    mTemporary = text::TemporaryBeside(mTarget);
}

PendingFile::~PendingFile() {
    if (!mDone) {
        std::error_code ignored;
        std::filesystem::remove(mTemporary, ignored);
    }
}

void PendingFile::commit() {
    std::error_code e;
    std::filesystem::rename(mTemporary, mTarget, e);
    if (e)
        throw Error("不能写入 " + mTarget.string() + "：" + e.message());
    mDone = true;
}

void WriteWhole(const std::filesystem::path& target, std::string_view bytes) {
    try {
        text::WriteWhole(target, bytes);
    } catch (const std::runtime_error& e) {
        throw Error(e.what());
    }
}

std::string ReportFileName(const std::string& table) {
    return "试卷分析_" + table + ".txt";
}

std::string WorkbookFileName(const std::string& table) {
    return "试卷分析_" + table + ".xlsx";
}

} // namespace analysis
