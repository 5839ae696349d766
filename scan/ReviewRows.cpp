#include "scan/ReviewRows.h"

#include "platform/db/Statement.h"

namespace scan::rows {

std::string Text(const db::Value& v) {
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    return {};
}

double Real(const db::Value& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    return 0;
}

// "q3 浅色标记; id2 考号不可读" -> its (label, words) pairs.
std::vector<std::pair<std::string, std::string>> ParseReasons(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> parts;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("; ", at);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = text.substr(at, end - at);
        const std::size_t blank = part.find(' ');
        if (blank != std::string::npos)
            parts.emplace_back(part.substr(0, blank), part.substr(blank + 1));
        at = end + 2;
    }
    return parts;
}

bool Located(const std::string& status) {
    return status == "ok" || status == "review" || status == "duplicate";
}

AllItems LoadAll(db::Connection& c) {
    AllItems all;
    std::map<std::pair<std::size_t, std::string>, std::size_t> at;
    auto items = c.prepare(
        "SELECT page, item, question, reading, field_only FROM scan_items ORDER BY rowid");
    while (items.step()) {
        const auto page = static_cast<std::size_t>(items.columnInt(0));
        auto& list = all.byPage[page];
        at[{page, Text(items.column(1))}] = list.size();
        list.push_back({Text(items.column(1)),
                        Text(items.column(3)),
                        static_cast<int>(items.columnInt(2)),
                        {},
                        items.columnInt(4) != 0});
    }
    auto bubbles =
        c.prepare("SELECT page, item, value, darkness, marked FROM scan_bubbles ORDER BY rowid");
    while (bubbles.step()) {
        const auto page = static_cast<std::size_t>(bubbles.columnInt(0));
        const auto it = at.find({page, Text(bubbles.column(1))});
        if (it == at.end())
            continue;
        all.byPage[page][it->second].bubbles.push_back(
            {Text(bubbles.column(2)), Real(bubbles.column(3)), bubbles.columnInt(4) != 0});
    }
    return all;
}

std::string DoubtWords(const std::vector<Doubt>& doubts) {
    std::string words;
    for (Doubt d : doubts)
        words += (words.empty() ? "" : " ") + std::string(DoubtText(d));
    return words;
}

} // namespace scan::rows
