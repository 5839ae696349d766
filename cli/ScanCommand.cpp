#include "cli/ScanCommand.h"

#include "scan/ScanCommand.h"

#include <cstdio>
#include <filesystem>

namespace cli {

int RunScanCommand(const Args& a, core::Workspace& ws, core::Ui& ui) {
    if (a.inputs.empty())
        throw UsageError{"scan needs INPUT... (image files, PDFs or folders)"};
    const auto layout = a.option("--layout");
    const auto out = a.option("--out");
    if (!layout || !out)
        throw UsageError{"scan needs --layout FILE|DIR and --out TABLE.dbf"};
    scan::ScanSettings s;
    for (const auto& input : a.inputs)
        s.inputs.emplace_back(input);
    s.layout = *layout;
    s.out = std::filesystem::absolute(*out).lexically_normal();
    if (s.out.extension() != ".dbf" && s.out.extension() != ".DBF")
        throw UsageError{"--out names a .dbf file, not '" + *out + "'"};
    s.subject = a.option("--subject").value_or("");
    s.idLabel = a.option("--id-label").value_or("");
    if (auto csv = a.option("--csv"))
        s.csv = std::filesystem::absolute(*csv);
    if (auto jobs = a.option("--jobs")) {
        s.jobs = Number(*jobs, "--jobs");
        if (s.jobs < 1)
            throw UsageError{"--jobs is at least 1"};
    }
    const scan::ScanResult r = scan::RunScan(ws, s, ui);
    for (const auto& line : r.problems)
        std::fprintf(stderr, "%s\n", line.c_str());
    for (const auto& file : r.written)
        std::printf("wrote %s\n", file.c_str());
    if (r.outcome == core::Outcome::Done)
        std::printf("页数:%zu  记录数:%zu  待复核:%zu  空白:%zu  重复:%zu  失败:%zu\n", r.pages,
                    r.records, r.review, r.blank, r.duplicates, r.failed);
    std::fflush(stdout);
    if (r.outcome == core::Outcome::Stopped)
        return r.problems.empty() ? kStopped : kError;
    return r.failed == 0 ? kDone : kError;
}

} // namespace cli
