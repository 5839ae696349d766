#include "platform/text/TextFile.h"
#include "scoring/NumberText.h"
#include "scoring/ScoreCommand.h"
#include "scoring/TextColumns.h"

#include <ctime>

namespace scoring {
namespace {

std::int32_t CountOf(const RunStatistics& s, int k, char key) {
    switch (key) {
    case 'A':
        return s.countA[static_cast<std::size_t>(k)];
    case 'B':
        return s.countB[static_cast<std::size_t>(k)];
    case 'C':
        return s.countC[static_cast<std::size_t>(k)];
    case 'D':
        return s.countD[static_cast<std::size_t>(k)];
    default:
        return 0;
    }
}

} // namespace

std::vector<std::string> StatisticsLines(const RunStatistics& s) {
    std::vector<std::string> lines = {"统计结果 - 所有考号", "单选题部分",
                                      "题目  选A   选B   选C   选D    答对"};
    for (int k = 1; k <= s.S; ++k) {
        const auto i = static_cast<std::size_t>(k);
        std::string row = PadNumber(k) + PadNumber(s.countA[i]) + PadNumber(s.countB[i]) +
                          PadNumber(s.countC[i]) + PadNumber(s.countD[i]);
        if (s.records == 0) {
            row += "0%";
        } else {
            // 100 x G is formed as an integer before the division.
            std::int32_t hundredG = 100 * CountOf(s, k, s.key[static_cast<std::size_t>(k - 1)]);
            row += NumberText(RoundTo(static_cast<double>(hundredG) / s.records, 2)) + "%";
        }
        lines.push_back(row);
    }
    lines.emplace_back();
    if (s.M > 0) {
        lines.emplace_back("多选题部分");
        lines.emplace_back("题目   全对  A     B     C     D    平均分");
        for (int j = 1; j <= s.M; ++j) {
            const auto p = static_cast<std::size_t>(s.S + j);
            const auto q = static_cast<std::size_t>(j);
            std::string row = PadNumber(j) + PadNumber(s.fullCount[q]) + PadNumber(s.countA[p]) +
                              PadNumber(s.countB[p]) + PadNumber(s.countC[p]) +
                              PadNumber(s.countD[p]);
            if (s.records == 0)
                row += " ??";
            else
                row += " " + NumberText(RoundTo(s.pointSum[q] / s.records, 2));
            lines.push_back(row);
        }
    }
    lines.emplace_back();
    std::string summary =
        "统计人数: " + std::to_string(s.records) + "  总分: " + NumberText(s.runTotal);
    if (s.records < 1)
        summary += "  平均分: ??";
    else
        summary += "  平均分: " + NumberText(RoundTo(s.runTotal / s.records, 2));
    lines.push_back(summary);
    lines.emplace_back();
    return lines;
}

std::vector<std::string> HistoryLines(const std::string& table, const std::string& singleKey,
                                      const std::string& multiKey, const std::string& now) {
    std::vector<std::string> lines = {text::LogField(table) + "  " + now};
    if (!singleKey.empty())
        lines.push_back(text::LogField(singleKey));
    if (!multiKey.empty())
        lines.push_back(text::LogField(multiKey));
    lines.emplace_back();
    return lines;
}

std::string HistoryTime() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

} // namespace scoring
