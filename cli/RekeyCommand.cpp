#include "cli/RekeyCommand.h"

#include "analysis/RekeyCommand.h"
#include "analysis/TextReport.h"

#include <cstdio>

namespace cli {
namespace {

std::string Fixed(double v, int digits) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
    return buffer;
}

std::string Figure(const analysis::Figure& f, int digits) {
    return f ? Fixed(*f, digits) : "--";
}

std::string Change(double v) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%+g", v);
    return buffer;
}

void PrintItem(const analysis::RekeyPreview& p) {
    const std::string label = analysis::QuestionLabel(analysis::QuestionType::Single, p.question);
    if (!p.item) {
        std::printf("%s 不计分（0 分），不参加分析。\n", label.c_str());
        return;
    }
    const analysis::ItemFigures& item = *p.item;
    std::printf("%s: 难度 P %s  区分度 D %s  r_rest %s\n", label.c_str(), Fixed(item.p, 3).c_str(),
                Figure(item.d, 3).c_str(), Figure(item.rRest, 3).c_str());
    if (item.flags.empty())
        std::printf("  没有需要注意的标记。\n");
    for (analysis::Flag flag : item.flags)
        std::printf("  %s\n", analysis::FlagReason(item, flag).c_str());
}

void PrintPreview(const analysis::RekeyPreview& p) {
    std::printf("单选第 %d 题的答案: %c -> %c\n", p.question, p.oldKey, p.newKey);
    std::printf("改正后的单选题答案: %s\n", p.correctedKey.c_str());
    std::printf("总分改变的答卷: %lld / %lld\n", static_cast<long long>(p.changed),
                static_cast<long long>(p.sheets));
    for (const auto& [change, sheets] : p.differences)
        std::printf("  %s 分: %lld 份\n", Change(change).c_str(), static_cast<long long>(sheets));
    std::printf("平均分: %s（%s）\n", Fixed(p.analysis.mean, 2).c_str(),
                Change(p.meanChange).c_str());
    std::printf("信度 alpha: %s\n", Figure(p.analysis.alpha, 3).c_str());
    PrintItem(p);
}

} // namespace

int RunRekey(core::Workspace& ws, core::Ui& ui, int question, const std::string& key,
             bool preview) {
    if (key.size() != 1)
        throw analysis::RekeyRefused("新的答案必须是 A 到 F 中的一个字母，不能是 \"" + key +
                                     "\"。");
    const analysis::RekeyRequest request{question, key[0]};
    if (preview) {
        const analysis::RekeyPreview p = analysis::PreviewRekey(ws, ui, request);
        if (p.unchanged)
            std::fprintf(stderr, "%s\n", p.notice.c_str());
        else
            PrintPreview(p);
        return 0;
    }
    const analysis::RekeyResult r = analysis::ApplyRekey(ws, ui, request);
    if (r.unchanged) {
        std::fprintf(stderr, "%s\n", r.notice.c_str());
        for (const auto* file : {&r.statistics, &r.history})
            if (!file->empty())
                std::printf("wrote %s\n", file->c_str());
        return 0;
    }
    std::fprintf(stderr, "答案已改正，改写了 %lld 份答卷的分数。\n",
                 static_cast<long long>(r.rowsChanged));
    std::printf("wrote %s\nwrote %s\n", r.statistics.c_str(), r.history.c_str());
    for (const auto& stale : r.outOfDate)
        std::fprintf(stderr, "已过时，需要重新生成: %s\n", stale.c_str());
    return 0;
}

} // namespace cli
