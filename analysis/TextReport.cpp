#include "analysis/TextReport.h"

#include "analysis/OutputFile.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/NumberText.h"

namespace analysis {
namespace {

// A figure with `decimals` decimals, "-" when undefined.
std::string Decimals(const Figure& v, int decimals) {
    return v ? scoring::FixedText(*v, decimals) : "-";
}

std::string Percent(const Figure& v) {
    return v ? scoring::FixedText(*v * 100, 1) + "%" : "-";
}

std::string Points(double v) {
    return scoring::NumberText(scoring::RoundTo(v, 2));
}

// Left-aligned in a column `width` GBK bytes wide (at least one space after).
std::string Cell(const std::string& text, std::size_t width) {
    std::string s = text;
    std::size_t w = text::GbkWidth(s);
    do {
        s += ' ';
        ++w;
    } while (w < width);
    return s;
}

std::string Row(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += i + 1 < cells.size() ? Cell(cells[i], widths[i]) : cells[i];
    return text::TrimRight(line);
}

std::string ShortLabel(const ItemFigures& item) {
    return (item.type == QuestionType::Single ? "单选" : "不定项") + std::to_string(item.number);
}

std::string LeftOutReason(const LeftOutQuestion& q) {
    switch (q.reason) {
    case LeftOut::KeyX:
        return "答案为 x，不评分";
    case LeftOut::KeyZ:
        return "答案为 z，不给分";
    case LeftOut::ZeroPoints:
        return "分值为 0";
    case LeftOut::No:
        break;
    }
    return "";
}

std::string MisKeyReason(const ItemFigures& item) {
    const char s = *item.suspect;
    const std::string key = item.key;
    const auto& options = item.single->options;
    const OptionFigures& o = options[static_cast<std::size_t>(s - 'A')];
    const OptionFigures& k = options[static_cast<std::size_t>(key[0] - 'A')];
    std::string reason = "疑为 " + std::string(1, s) + "（高分组 " + Percent(o.upper) +
                         "，低分组 " + Percent(o.lower) + "）：";
    std::vector<std::string> why;
    if (o.r && *o.r > 0 && (!k.r || *o.r > *k.r))
        why.push_back("选 " + std::string(1, s) + " 的学生总分更高（r = " + Decimals(o.r, 3) +
                      "，答案 " + key + " 的 r = " + Decimals(k.r, 3) + "）");
    if (o.upper && k.upper && *o.upper > *k.upper)
        why.push_back("高分组选 " + std::string(1, s) + " 的占 " + Percent(o.upper) + "，选 " +
                      key + " 的只占 " + Percent(k.upper));
    for (std::size_t i = 0; i < why.size(); ++i)
        reason += (i ? "；" : "") + why[i];
    return reason + "。答案可能录错了，请核对。";
}

void FlaggedSection(const ExamAnalysis& a, std::vector<std::string>& lines) {
    lines.push_back("一、需要复查的题目");
    bool any = false;
    for (const ItemFigures& item : a.items) {
        for (Flag f : item.flags) {
            lines.push_back(Cell(QuestionLabel(item.type, item.number), 16) + FlagReason(item, f));
            any = true;
        }
    }
    if (!any)
        lines.push_back("没有需要复查的题目。");
    for (const LeftOutQuestion& q : a.leftOut)
        lines.push_back(Cell(QuestionLabel(q.type, q.number), 16) + "不参加分析：" +
                        LeftOutReason(q) + "。");
    lines.push_back("");
}

void TestSection(const ExamAnalysis& a, std::vector<std::string>& lines) {
    lines.push_back("二、整体情况");
    const std::vector<std::pair<std::string, std::string>> figures = {
        {"答卷数", std::to_string(a.sheets)},
        {"满分", Points(a.full)},
        {"平均分", Points(a.mean)},
        {"标准差", Points(a.sd)},
        {"中位数", Points(a.median)},
        {"最低分", Points(a.min)},
        {"最高分", Points(a.max)},
        {"信度 α", a.alpha ? Decimals(a.alpha, 3) : "无法计算（计分的题少于 2 道或总分全相同）"},
        {"测量标准误", a.sem ? Points(*a.sem) : "-"},
        {"高分组、低分组", "各 " + std::to_string(a.groupSize) + " 份（" +
                               scoring::NumberText(a.groupPercent) + "%）"}};
    for (const auto& [name, value] : figures)
        lines.push_back(Cell(name, 16) + value);
    lines.push_back("");
    const std::vector<std::size_t> w = {20, 8, 10};
    lines.push_back(Row({"分数段", "人数", "比例", "累计（本段及以上）"}, w));
    for (std::size_t b = 0; b < a.bands.size(); ++b) {
        const Band& band = a.bands[b];
        const bool last = b + 1 == a.bands.size();
        const std::string range =
            Points(band.from) + " - " + Points(band.to) + (last ? "（含）" : "");
        lines.push_back(Row({range, std::to_string(band.count), Percent(band.share),
                             std::to_string(band.cumulative)},
                            w));
    }
    lines.push_back("");
}

void ItemSection(const ExamAnalysis& a, std::vector<std::string>& lines) {
    lines.push_back("三、各题指标（P 难度即得分率，D 区分度 = 高分组 P - 低分组 P）");
    const std::vector<std::size_t> w = {10, 6, 8, 6, 8, 8, 8, 8, 8, 6, 8, 8, 10};
    lines.push_back(Row({"题目", "位置", "答案", "分值", "平均分", "P", "高分组P", "低分组P", "D",
                         "评价", "r", "r_rest", "删题后α", "标记"},
                        w));
    for (const ItemFigures& item : a.items) {
        std::string flags;
        for (Flag f : item.flags)
            flags += (flags.empty() ? "" : ",") + FlagShortText(f);
        lines.push_back(
            Row({ShortLabel(item), std::to_string(item.position), item.key, Points(item.max),
                 Points(item.mean), Decimals(item.p, 3), Decimals(item.pUpper, 3),
                 Decimals(item.pLower, 3), Decimals(item.d, 3),
                 item.rating ? std::string(RatingText(*item.rating)) : "-", Decimals(item.r, 3),
                 Decimals(item.rRest, 3), Decimals(item.alphaIfDeleted, 3), flags},
                w));
    }
    lines.push_back("");
}

void OptionSection(const ExamAnalysis& a, std::vector<std::string>& lines) {
    lines.push_back("四、单选题选项分析（* 为给分的选项）");
    static const char* const Names[] = {"A", "B", "C", "D", "E", "F", "多选", "未答", "其他"};
    const std::vector<std::size_t> w = {8, 8, 8, 8, 8, 10};
    for (const ItemFigures& item : a.items) {
        if (!item.single)
            continue;
        lines.push_back(QuestionLabel(item.type, item.number) + "  答案 " + item.key);
        lines.push_back(Row({"  选项", "人数", "比例", "高分组", "低分组", "平均总分", "r"}, w));
        for (std::size_t c = 0; c < CategoryCount; ++c) {
            const OptionFigures& o = item.single->options[c];
            lines.push_back(
                Row({(o.earns ? " *" : "  ") + std::string(Names[c]), std::to_string(o.count),
                     Percent(o.share), Percent(o.upper), Percent(o.lower),
                     o.meanTotal ? Points(*o.meanTotal) : "-", Decimals(o.r, 3)},
                    w));
        }
        lines.push_back("");
    }
}

} // namespace

std::string FlagShortText(Flag flag) {
    switch (flag) {
    case Flag::MisKey:
        return "答案存疑";
    case Flag::NegativeDiscrimination:
        return "负区分";
    case Flag::LowDiscrimination:
        return "区分低";
    case Flag::TooHard:
        return "偏难";
    case Flag::TooEasy:
        return "偏易";
    }
    return "";
}

std::string QuestionLabel(QuestionType type, int number) {
    return (type == QuestionType::Single ? "单选第 " : "不定项第 ") + std::to_string(number) +
           " 题";
}

std::string FlagReason(const ItemFigures& item, Flag flag) {
    switch (flag) {
    case Flag::MisKey:
        return MisKeyReason(item);
    case Flag::NegativeDiscrimination:
        return "区分度为负（D = " + Decimals(item.d, 3) +
               "）：低分组的得分率反而高于高分组，请检查题目和答案。";
    case Flag::LowDiscrimination:
        return "区分度低（D = " + Decimals(item.d, 3) + "）：高分组和低分组的得分率相差不大。";
    case Flag::TooHard:
        return "太难（P = " + Decimals(item.p, 3) + "）：平均得分率不到 20%。";
    case Flag::TooEasy:
        return "太容易（P = " + Decimals(item.p, 3) + "）：平均得分率超过 90%。";
    }
    return "";
}

std::vector<std::string> ReportLines(const ExamAnalysis& a) {
    std::vector<std::string> lines;
    std::size_t single = 0;
    for (const ItemFigures& item : a.items)
        single += item.type == QuestionType::Single;
    lines.push_back("试卷分析  " + a.table);
    lines.push_back("答卷 " + std::to_string(a.sheets) + " 份，参加分析的题 " +
                    std::to_string(a.items.size()) + " 道（单选 " + std::to_string(single) +
                    " 道，不定项 " + std::to_string(a.items.size() - single) + " 道），满分 " +
                    Points(a.full) + " 分。");
    lines.push_back("");
    FlaggedSection(a, lines);
    TestSection(a, lines);
    ItemSection(a, lines);
    OptionSection(a, lines);
    return lines;
}

void WriteTextReport(const ExamAnalysis& analysis, const std::filesystem::path& file,
                     text::Encoding encoding) {
    WriteWhole(file, text::EncodeLines(ReportLines(analysis), encoding));
}

} // namespace analysis
