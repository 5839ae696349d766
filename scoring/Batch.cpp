#include "scoring/Batch.h"

#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/Global.h"
#include "scoring/ScoringRun.h"

#include <algorithm>
#include <cmath>

namespace scoring {
namespace {

constexpr const char* kTestMask = "20111229德育";
constexpr const char* kTest2Mask = "20111230科任";

struct TableResult {
    std::string summary; // TEST's summary line
};

TableResult SurveyTable(core::Workspace& ws, os::Shell& shell, BatchKind kind, int M,
                        const std::filesystem::path& file) {
    ws.connect();
    const std::string folder = file.parent_path().string();
    const std::string name = core::TableNameOf(file.filename().string());
    core::ImportAnswerTable(ws.aqy2, folder, name, ws.Fields.Score);
    db::Query& adt = ws.adt;
    adt.close();
    adt.setSql("select * from " + name);
    adt.open();
    const int Q = kind == BatchKind::Test ? 30 : 81;
    scoring::RunStatistics stats;
    stats.S = Q;
    stats.M = M;
    stats.key = std::string(static_cast<std::size_t>(Q), ' '); // no answer key: every share is 0%
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(static_cast<std::size_t>(Q + M + 1), 0);
    stats.fullCount.assign(static_cast<std::size_t>(M + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(M + 1), 0.0);

    const bool scoring = kind == BatchKind::Test;
    int scoreField = -1;
    db::FieldKind scoreKind = db::FieldKind::Other;
    if (scoring) {
        scoreField = adt.fieldIndex(ws.Fields.Score);
        scoreKind = adt.field(scoreField).kind;
    }
    db::Transaction tx(ws.ADOConnection2, db::Transaction::CommitAlways);
    adt.disableControls();
    try {
        for (adt.first(); !adt.eof(); adt.next()) {
            const std::string content = adt.asText(ws.Fields.Content);
            if (content.size() < static_cast<std::size_t>(Q))
                throw core::AppError("客观题只有 " + std::to_string(content.size()) + " 个字符，需要 " +
                                    std::to_string(Q) + " 个。");
            if (scoring)
                adt.edit();
            double points = 0;
            for (int k = 1; k <= Q; ++k) {
                const char letter = scoring::SingleMarkLetter(content[static_cast<std::size_t>(k - 1)]);
                const auto i = static_cast<std::size_t>(k);
                if (letter == 'A') ++stats.countA[i];
                else if (letter == 'B') ++stats.countB[i];
                else if (letter == 'C') ++stats.countC[i];
                else if (letter == 'D') ++stats.countD[i];
                if (scoring) {
                    const double p = SurveyPoints(k, letter);
                    adt.setValue("f" + std::to_string(k), p);
                    points += p;
                }
            }
            if (scoring) {
                stats.runTotal += points;
                if (scoreKind == db::FieldKind::Integer)
                    adt.setValue(scoreField, static_cast<std::int64_t>(std::trunc(points)));
                else if (scoreKind == db::FieldKind::Float)
                    adt.setValue(scoreField, scoring::RoundTo(points, 2));
                adt.post();
            }
        }
    } catch (...) {
        adt.cancel();
        adt.enableControls();
        throw;
    }
    adt.enableControls();
    tx.commit();
    stats.records = adt.recordCount();

    std::vector<std::string> lines = scoring::StatisticsLines(stats);
    TableResult result;
    result.summary = name + "    " + lines[lines.size() - 2];
    if (kind == BatchKind::Test2) {
        // Tab-separated single-choice columns, no closing empty line.
        lines[2] = "题目\t选A\t选B\t选C\t选D\t答对";
        for (int k = 1; k <= Q; ++k) {
            const auto i = static_cast<std::size_t>(k);
            lines[2 + i] = std::to_string(k) + "\t" + std::to_string(stats.countA[i]) + "\t" +
                           std::to_string(stats.countB[i]) + "\t" + std::to_string(stats.countC[i]) +
                           "\t" + std::to_string(stats.countD[i]) + "\t0%";
        }
        lines.pop_back();
    }
    const auto out = os::ProgramFolder() / ("统计_" + name + ".txt");
    text::SaveLines(out, lines);
    adt.close();
    shell.open(out.string());
    return result;
}

} // namespace

double SurveyPoints(int k, char letter) {
    static const int high[] = {2, 3, 10, 11, 12, 13, 17, 21};
    const bool isHigh = std::find(std::begin(high), std::end(high), k) != std::end(high);
    switch (letter) {
    case 'A': return isHigh ? 4 : 3;
    case 'B': return isHigh ? 3.5 : 2.5;
    case 'C': return isHigh ? 3 : 0;
    default: return 0;
    }
}

int RunBatch(core::Workspace& ws, core::Ui& ui, os::Shell& shell, BatchKind kind, int multiCount) {
    const std::string prefix = kind == BatchKind::Test ? kTestMask : kTest2Mask;
    const auto folder = os::ProgramFolder();
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string lower = text::Lower(name);
        if (name.rfind(prefix, 0) == 0 && lower.size() >= 4 && lower.ends_with(".dbf"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> summary;
    int count = 0;
    for (const auto& file : files) {
        ++count;
        try {
            TableResult r = SurveyTable(ws, shell, kind, multiCount, file);
            summary.push_back(r.summary);
        } catch (const std::exception&) {
            ws.Caption = file.string(); // the table that failed; the batch goes on
        }
    }
    if (kind == BatchKind::Test)
        text::SaveLines(folder / "统计_合计.txt", summary);
    ui.message("处理完毕。已处理文件个数: " + std::to_string(count), ws.Caption, core::Icon::Information);
    return count;
}

} // namespace scoring
