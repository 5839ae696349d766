#include "scoring/BatchCommand.h"

#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/db/JetSql.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/MarkCodes.h"
#include "scoring/NumberText.h"
#include "scoring/ScoreCommand.h"

#include <algorithm>
#include <cmath>

namespace scoring {
namespace {

constexpr const char* kTestMask = "20111229德育";
constexpr const char* kTest2Mask = "20111230科任";

struct TableResult {
    std::string summary; // TEST's summary line
};

RunStatistics EmptySurveyStatistics(int Q, int M) {
    RunStatistics stats;
    stats.S = Q;
    stats.M = M;
    stats.key = std::string(static_cast<std::size_t>(Q), ' '); // no answer key: every share is 0%
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(static_cast<std::size_t>(Q + M + 1), 0);
    stats.fullCount.assign(static_cast<std::size_t>(M + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(M + 1), 0.0);
    return stats;
}

// Counts the single marks of the first Q questions of one row; with scoring,
// posts the fixed points of every question and their total.
void SurveyRow(db::Query& table, const core::FieldSettings& f, int Q, bool scoring,
               RunStatistics& stats) {
    const std::string content = table.asText(f.Content);
    if (content.size() < static_cast<std::size_t>(Q))
        throw core::AppError("客观题只有 " + std::to_string(content.size()) + " 个字符，需要 " +
                             std::to_string(Q) + " 个。");
    if (scoring)
        table.edit();
    double points = 0;
    for (int k = 1; k <= Q; ++k) {
        const char letter = SingleMarkLetter(content[static_cast<std::size_t>(k - 1)]);
        const auto i = static_cast<std::size_t>(k);
        if (letter == 'A')
            ++stats.countA[i];
        else if (letter == 'B')
            ++stats.countB[i];
        else if (letter == 'C')
            ++stats.countC[i];
        else if (letter == 'D')
            ++stats.countD[i];
        if (scoring) {
            const double p = SurveyPoints(k, letter);
            table.setValue("f" + std::to_string(k), p);
            points += p;
        }
    }
    if (!scoring)
        return;
    stats.runTotal += points;
    const int scoreField = table.fieldIndex(f.Score);
    const db::FieldKind scoreKind = table.field(scoreField).kind;
    if (scoreKind == db::FieldKind::Integer)
        table.setValue(scoreField, static_cast<std::int64_t>(std::trunc(points)));
    else if (scoreKind == db::FieldKind::Float)
        table.setValue(scoreField, RoundTo(points, 2));
    table.post();
}

// Walks the imported table in one transaction, committed also when an error
// ends the walk.
RunStatistics SurveyRows(core::Workspace& ws, const std::string& name, BatchKind kind, int M) {
    db::Query table(ws.connection);
    table.setSql("select * from " + db::jet::Bracket(name));
    table.open();
    const int Q = kind == BatchKind::Test ? 30 : 81;
    RunStatistics stats = EmptySurveyStatistics(Q, M);
    const bool scoring = kind == BatchKind::Test;
    if (scoring)
        (void)table.fieldIndex(ws.Fields.Score);
    db::Transaction tx(ws.connection, db::Transaction::CommitAlways);
    table.disableControls();
    try {
        for (table.first(); !table.eof(); table.next())
            SurveyRow(table, ws.Fields, Q, scoring, stats);
    } catch (...) {
        table.cancel();
        table.enableControls();
        throw;
    }
    table.enableControls();
    tx.commit();
    stats.records = table.recordCount();
    return stats;
}

// The statistics file in the scoring run's layout; TEST2's single-choice
// columns are tab-separated, without the closing empty line.
std::filesystem::path WriteSurveyFile(const std::string& name, BatchKind kind, RunStatistics& stats,
                                      text::Encoding encoding, std::string& summary) {
    std::vector<std::string> lines = StatisticsLines(stats);
    summary = name + "    " + lines[lines.size() - 2];
    if (kind == BatchKind::Test2) {
        lines[2] = "题目\t选A\t选B\t选C\t选D\t答对";
        for (int k = 1; k <= stats.S; ++k) {
            const auto i = static_cast<std::size_t>(k);
            lines[2 + i] = std::to_string(k) + "\t" + std::to_string(stats.countA[i]) + "\t" +
                           std::to_string(stats.countB[i]) + "\t" +
                           std::to_string(stats.countC[i]) + "\t" +
                           std::to_string(stats.countD[i]) + "\t0%";
        }
        lines.pop_back();
    }
    const auto out = os::ProgramFolder() / ("统计_" + name + ".txt");
    text::SaveLines(out, lines, encoding);
    return out;
}

TableResult SurveyTable(core::Workspace& ws, os::Shell& shell, BatchKind kind, int M,
                        const std::filesystem::path& file) {
    ws.connect();
    const std::string name = core::TableNameOf(file.filename().string());
    core::ImportAnswerTable(ws.connection, file.parent_path().string(), name, ws.Fields.Score);
    RunStatistics stats = SurveyRows(ws, name, kind, M);
    TableResult result;
    const auto out = WriteSurveyFile(name, kind, stats, ws.Fields.TextEncoding, result.summary);
    shell.open(out.string());
    return result;
}

} // namespace

double SurveyPoints(int k, char letter) {
    static const int high[] = {2, 3, 10, 11, 12, 13, 17, 21};
    const bool isHigh = std::find(std::begin(high), std::end(high), k) != std::end(high);
    switch (letter) {
    case 'A':
        return isHigh ? 4 : 3;
    case 'B':
        return isHigh ? 3.5 : 2.5;
    case 'C':
        return isHigh ? 3 : 0;
    default:
        return 0;
    }
}

BatchResult RunBatch(core::Workspace& ws, core::Ui& ui, os::Shell& shell, BatchKind kind,
                     int multiCount) {
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
    BatchResult result;
    for (const auto& file : files) {
        try {
            TableResult r = SurveyTable(ws, shell, kind, multiCount, file);
            summary.push_back(r.summary);
            result.scored.push_back(file);
        } catch (const std::exception& e) {
            result.failed.push_back({file, e.what()}); // the batch goes on
        }
    }
    if (kind == BatchKind::Test) {
        result.summary = folder / "统计_合计.txt";
        text::SaveLines(result.summary, summary, ws.Fields.TextEncoding);
    }
    // The closing message carries the last failed table as its title.
    const std::string title =
        result.failed.empty() ? core::Title(ws) : result.failed.back().file.string();
    ui.message("处理完毕。已处理文件个数: " + std::to_string(files.size()), title,
               core::Icon::Information);
    result.outcome = core::Outcome::Done;
    return result;
}

} // namespace scoring
