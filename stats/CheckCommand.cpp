#include "stats/CheckCommand.h"

#include "core/OpenTable.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

namespace stats {

CheckResult CheckMissingNumbers(core::Workspace& ws, core::Ui& ui, os::Shell& shell) {
    db::Query& v = ws.view;
    if (!v.isOpen() || v.recordCount() < 3)
        return {core::Outcome::Done, CheckResult::Found::NothingToCheck, {}};
    v.first();
    const std::string offered = std::to_string(v.asInteger(ws.Fields.ID));
    const std::optional<std::string> typed = ui.input("检查缺漏考号", "输入开始考号", offered);
    if (!typed || text::Trim(*typed).empty())
        return {core::Outcome::Stopped, CheckResult::Found::NothingToCheck, {}};
    std::int64_t previous = db::Query::ToInteger(*typed);
    std::vector<std::string> lines;
    for (v.next(); !v.eof(); v.next()) {
        const std::int64_t value = db::Query::ToInteger(v.value(0));
        if (value - previous != 1)
            lines.push_back(std::to_string(previous) + " ~ " + std::to_string(value));
        previous = value;
    }
    if (lines.empty()) {
        ui.message("没有检查到缺漏考号，所有考号均为连续。", core::Title(ws),
                   core::Icon::Information);
        return {core::Outcome::Done, CheckResult::Found::NoGaps, {}};
    }
    lines.insert(lines.begin(), {"检查缺漏考号结果", ""});
    const auto log = ws.file("CheckLog.txt");
    text::SaveLines(log, lines, ws.Fields.TextEncoding);
    shell.open(log.string());
    return {core::Outcome::Done, CheckResult::Found::Gaps, log};
}

} // namespace stats
