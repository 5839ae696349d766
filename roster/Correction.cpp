#include "roster/Correction.h"

#include "platform/text/TextFile.h"
#include "roster/CellText.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace roster {
namespace {

bool IsBlank(std::string_view id) {
    for (char c : id)
        if (static_cast<unsigned char>(c) > 0x20)
            return false;
    return true;
}

// Sheets with this number (a blank OLD matches every sheet without one).
std::vector<std::uint32_t> SheetsWith(const SheetList& sheets, std::string_view id) {
    std::vector<std::uint32_t> found;
    const bool blank = IsBlank(id);
    for (std::uint32_t i = 0; i < sheets.size(); ++i)
        if (blank ? IsBlank(sheets.id(i)) : sheets.id(i) == id)
            found.push_back(i);
    return found;
}

bool HasControl(std::string_view id) {
    for (char c : id)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

std::string Shown(std::string_view id) {
    return IsBlank(id) ? std::string("（空）") : std::string(id);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t tab = line.find('\t');
        parts.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return parts;
        line.remove_prefix(tab + 1);
    }
}

} // namespace

std::optional<Correction> ParseCorrection(std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    Correction c;
    c.oldId = TrimCell(text.substr(0, eq));
    c.newId = TrimCell(text.substr(eq + 1));
    return c;
}

CorrectionCheck CheckCorrection(const SheetList& sheets, const Correction& c) {
    CorrectionCheck check;
    auto refuse = [&check](std::string why) {
        check.refusal = std::move(why);
        return check;
    };
    if (IsBlank(c.newId))
        return refuse("新考号为空");
    if (HasControl(c.newId))
        return refuse("新考号中有制表符、换行等控制字符: " + text::LogField(c.newId));
    if (c.newId == c.oldId)
        return refuse("新考号与原考号相同: " + c.newId);
    if (!SheetsWith(sheets, c.newId).empty())
        return refuse("考号 " + c.newId + " 已经有答卷，不能改成这个考号");
    const std::vector<std::uint32_t> old = SheetsWith(sheets, c.oldId);
    if (old.empty())
        return refuse("没有考号为 " + Shown(c.oldId) + " 的答卷");
    if (c.record) {
        for (std::uint32_t i : old)
            if (sheets.record(i) == *c.record) {
                check.sheet = i;
                return check;
            }
        return refuse("第 " + std::to_string(*c.record) + " 条答卷的考号不是 " + Shown(c.oldId));
    }
    if (old.size() > 1) {
        std::string places;
        for (std::uint32_t i : old)
            places += (places.empty() ? "" : "、") + std::to_string(sheets.record(i));
        return refuse("考号 " + Shown(c.oldId) + " 有 " + std::to_string(old.size()) +
                      " 份答卷（第 " + places + " 条），请指明改哪一条");
    }
    check.sheet = old.front();
    return check;
}

std::string CorrectionLogLine(const std::tm& when, CorrectionKind kind, std::string_view table,
                              std::string_view oldId, std::string_view newId,
                              std::optional<double> score) {
    char time[80];
    std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    std::string line = time;
    line += kind == CorrectionKind::Correct ? "\t更正\t" : "\t撤销\t";
    line.append(text::LogField(table)).append("\t").append(text::LogField(oldId)).append("\t");
    line.append(text::LogField(newId)).append("\t");
    if (score)
        line += FormatNumber(*score);
    return line;
}

std::optional<CorrectionLogEntry> ParseCorrectionLogLine(std::string_view line) {
    const std::vector<std::string_view> parts = SplitTabs(line);
    if (parts.size() != 6 || (parts[1] != "更正" && parts[1] != "撤销"))
        return std::nullopt;
    CorrectionLogEntry e;
    e.time = parts[0];
    e.kind = parts[1] == "更正" ? CorrectionKind::Correct : CorrectionKind::Undo;
    e.table = parts[2];
    e.oldId = parts[3];
    e.newId = parts[4];
    if (!parts[5].empty()) {
        double v = 0;
        auto [end, ec] = std::from_chars(parts[5].data(), parts[5].data() + parts[5].size(), v);
        if (ec != std::errc() || end != parts[5].data() + parts[5].size())
            return std::nullopt;
        e.score = v;
    }
    return e;
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace roster
