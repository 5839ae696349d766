#include "cli/ScanCommand.h"

#include "scan/Review.h"
#include "scan/ScanCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

namespace cli {
namespace {

struct SetOption {
    std::size_t page = 0;
    std::string item, value;
};

// "SOURCE:ITEM=VALUE": split at the last "=", then at the last ":" before it.
SetOption ParseSet(const std::string& text, const scan::Review& review) {
    const std::size_t eq = text.rfind('=');
    const std::size_t colon = eq == std::string::npos ? eq : text.rfind(':', eq);
    if (colon == std::string::npos)
        throw UsageError{"--set wants SOURCE:ITEM=VALUE, not '" + text + "'"};
    SetOption set;
    const std::string source = text.substr(0, colon);
    set.item = text.substr(colon + 1, eq - colon - 1);
    set.value = text.substr(eq + 1);
    const auto& pages = review.pages();
    const auto page = std::find_if(pages.begin(), pages.end(),
                                   [&](const scan::ReviewPage& p) { return p.source == source; });
    if (page == pages.end())
        throw scan::ReviewError("扫描记录中没有这一页: " + source);
    set.page = static_cast<std::size_t>(page - pages.begin());
    if (auto why = review.refusal(set.page, set.item, set.value); !why.empty())
        throw scan::ReviewError(why);
    return set;
}

} // namespace

int RunScanReviewCommand(const Args& a, core::Workspace& ws, core::Ui& ui) {
    const std::filesystem::path table = std::filesystem::absolute(a.table).lexically_normal();
    std::optional<int> sensitivity;
    if (auto s = a.option("--sensitivity")) {
        sensitivity = Number(*s, "--sensitivity");
        if (*sensitivity < 1 || *sensitivity > 9)
            throw UsageError{"--sensitivity is 1 to 9, not '" + *s + "'"};
    }
    ws.connect();
    try {
        scan::Review review(ws, table);
        std::vector<SetOption> sets;
        if (auto it = a.options.find("--set"); it != a.options.end())
            for (const auto& text : it->second)
                sets.push_back(ParseSet(text, review));
        if (sensitivity) {
            const scan::SensitivityPreview p = review.preview(*sensitivity);
            review.applySensitivity(*sensitivity);
            std::printf("灵敏度 %d: %lld 个答案改变，待复核 %lld 项 -> %lld 项\n", *sensitivity,
                        p.answersChanged, p.itemsBefore, p.itemsAfter);
        }
        for (const auto& set : sets)
            review.decide(set.page, set.item, set.value);
        if (a.flags.count("--write")) {
            if (review.writeTable(ui) != core::Outcome::Done)
                return kStopped;
            std::printf("wrote %s\n", table.c_str());
        }
        if (a.flags.count("--list"))
            for (const scan::ReviewItem& item : review.items()) {
                if (review.decided(item))
                    continue;
                std::printf("%s\t%s\t%s\t%s\t%s\n", review.pages()[item.page].source.c_str(),
                            item.item.c_str(), scan::ReasonText(item.reason),
                            review.reading(item).c_str(), review.darknessText(item).c_str());
            }
        std::fflush(stdout);
        return kDone;
    } catch (const scan::ReviewError& e) {
        ui.message(e.what(), "扫描复核", core::Icon::Error);
        return kError;
    }
}

} // namespace cli
