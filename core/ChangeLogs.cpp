#include "core/ChangeLogs.h"

#include "core/GridEdits.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

#include <algorithm>
#include <string_view>
#include <system_error>

namespace core {
namespace {

// The changes of `table` in one log: lines of `changeKind` less the undo
// lines ("撤销"), counted from `since`. Table names are compared without
// regard to case, as the scratch database compares them.
long long CountChanges(const std::filesystem::path& log, const std::string& table,
                       const std::string& since, std::string_view changeKind) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(log, ec))
        return 0;
    const std::string wanted = text::Lower(table);
    long long count = 0;
    for (const std::string& line : text::LoadLines(log)) {
        const std::size_t kindAt = line.find('\t');
        const std::size_t tableAt =
            kindAt == std::string::npos ? kindAt : line.find('\t', kindAt + 1);
        if (tableAt == std::string::npos)
            continue;
        const std::size_t tableEnd = line.find('\t', tableAt + 1);
        const std::string_view time(line.data(), kindAt);
        const std::string_view kind(line.data() + kindAt + 1, tableAt - kindAt - 1);
        const std::string name =
            line.substr(tableAt + 1,
                        tableEnd == std::string::npos ? std::string::npos : tableEnd - tableAt - 1);
        if (time < since || text::Lower(name) != wanted)
            continue;
        if (kind == changeKind)
            ++count;
        else if (kind == "撤销")
            --count;
    }
    return std::max(0LL, count);
}

} // namespace

LoggedChanges ChangesSince(const std::filesystem::path& home, const std::string& table,
                           const std::string& since) {
    LoggedChanges changes;
    changes.corrections = CountChanges(home / CorrectionLogName, table, since, "更正");
    changes.edits = CountChanges(home / EditLogName(), table, since, "编辑");
    return changes;
}

std::string LostChangesText(const LoggedChanges& changes) {
    if (changes.corrections == 0 && changes.edits == 0)
        return {};
    return "考号更正（" + std::to_string(changes.corrections) + " 条）和表格编辑（" +
           std::to_string(changes.edits) + " 条）也会丢失。";
}

} // namespace core
