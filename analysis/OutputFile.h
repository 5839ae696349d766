#pragma once

#include <filesystem>
#include <string_view>

// Output files written whole or not at all.
namespace analysis {

// A file under construction: written under a short temporary name in the
// target's folder and renamed over the target by commit(). Left uncommitted
// (an exception on the way), the temporary file is removed and the target
// keeps what it had. Throws Error ("文件名太长") when the target's name is
// longer than its folder allows.
class PendingFile {
  public:
    explicit PendingFile(std::filesystem::path target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    [[nodiscard]] const std::filesystem::path& temporary() const { return mTemporary; }
    // Renames the temporary file to the target; throws Error naming the
    // target when that fails.
    void commit();

  private:
    std::filesystem::path mTarget;
    std::filesystem::path mTemporary;
    bool mDone = false;
};

// Throws Error naming the target ("文件名太长") when its name is longer than
// its folder allows: checked for every file of a command before the first
// is written, so that none is written when one cannot be.
void CheckNameFits(const std::filesystem::path& target);

// Writes the bytes as the whole target file, or nothing.
void WriteWhole(const std::filesystem::path& target, std::string_view bytes);

// "试卷分析_" + table + ".txt" / ".xlsx": the names of the reports.
[[nodiscard]] std::string ReportFileName(const std::string& table);
[[nodiscard]] std::string WorkbookFileName(const std::string& table);

} // namespace analysis
