#include "stats/MissingNumbers.h"

#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

namespace stats {

CheckOutcome CheckMissingNumbers(core::Workspace& ws, core::Ui& ui, os::Shell& shell) {
    db::Query& v = ws.ADOQuery2;
    if (!v.isOpen() || v.recordCount() < 3)
        return CheckOutcome::NothingToCheck;
    v.first();
    const std::string offered = std::to_string(v.asInteger(ws.Fields.ID));
    const std::string typed = ui.input("检查缺漏考号", "输入开始考号", offered);
    if (text::Trim(typed).empty())
        return CheckOutcome::Stopped;
    std::int64_t previous = db::Query::ToInteger(typed);
    std::vector<std::string> lines;
    for (v.next(); !v.eof(); v.next()) {
        const std::int64_t value = db::Query::ToInteger(v.value(0));
        if (value - previous != 1)
            lines.push_back(std::to_string(previous) + " ~ " + std::to_string(value));
        previous = value;
    }
    if (lines.empty()) {
        ui.message("没有检查到缺漏考号，所有考号均为连续。", ws.Caption, core::Icon::Information);
        return CheckOutcome::NoGaps;
    }
    lines.insert(lines.begin(), {"检查缺漏考号结果", ""});
    const auto log = ws.file("CheckLog.txt");
    text::SaveLines(log, lines);
    shell.open(log.string());
    return CheckOutcome::GapsWritten;
}

} // namespace stats
