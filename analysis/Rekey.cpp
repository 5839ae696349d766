#include "analysis/Rekey.h"

#include "analysis/OutputFile.h"
#include "analysis/RekeyCheck.h"
#include "analysis/TableAnalysis.h"
#include "core/AppError.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/SheetScoring.h"

namespace analysis {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == ';'; }

// A stored value as the number it holds; NULL and text hold none.
std::optional<double> StoredNumber(const db::Value& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    return std::nullopt;
}

// SQLite keeps a number by the column's affinity whatever kind it was bound
// as, so a stored value equal in number to what a run would write is what
// that run would leave.
bool StoredAs(const db::Value& stored, const db::Value& written) {
    const auto a = StoredNumber(stored), b = StoredNumber(written);
    return a && b && *a == *b;
}

// The columns a correction reads and writes, by their names in the table.
struct RekeyColumns {
    const db::Field* score = nullptr;
    std::string content, id, question;
};

RekeyColumns ColumnsOf(const db::Query& view, const core::FieldSettings& f, const scoring::RunPlan& plan,
                       int position) {
    for (int k = 1; k <= plan.S + plan.N; ++k) // every question of the run must have its field
        (void)view.fieldIndex("f" + std::to_string(k));
    RekeyColumns c;
    c.score = &view.field(view.fieldIndex(f.Score));
    c.content = view.field(view.fieldIndex(f.Content)).baseColumn;
    c.id = view.field(view.fieldIndex(f.ID)).baseColumn;
    c.question = view.field(view.fieldIndex("f" + std::to_string(position))).baseColumn;
    return c;
}

// Re-scores every sheet of the view with the corrected plan, rewriting the
// question's column and the score of the sheets where they differ from what
// is stored. Returns the rows rewritten; `stats` receives the run's counts.
std::int64_t RescoreSheets(core::Workspace& ws, core::Ui& ui, const scoring::RunPlan& plan,
                           const scoring::ScoringSettings& st, const core::FieldSettings& f, int position,
                           scoring::RunStatistics& stats) {
    db::Query& view = ws.view;
    const RekeyColumns columns = ColumnsOf(view, ws.Fields, plan, position);
    scoring::SheetScorer scorer(plan, f, st, stats);
    scoring::SheetReader reader(view, ws.connection, columns.content, columns.id,
                                {columns.question, columns.score->baseColumn});
    db::Statement update = ws.connection.prepare(
        "UPDATE " + db::jet::QuoteName(view.baseTable()) + " SET " + db::jet::QuoteName(columns.question) +
        " = ?, " + db::jet::QuoteName(columns.score->baseColumn) + " = ? WHERE rowid = ?");
    std::int64_t changed = 0, done = 0;
    for (view.first(); !view.eof(); view.next()) {
        const int row = view.recNo();
        const auto [content, id] = reader.sheet(row);
        const bool hasMulti = content.size() > static_cast<std::size_t>(plan.S);
        const std::size_t needed = static_cast<std::size_t>(hasMulti ? plan.S + plan.N : plan.S);
        if (content.size() < needed)
            throw core::AppError("考号 " + std::string(id) + " 的客观题只有 " + std::to_string(content.size()) +
                                 " 个字符，上次评分的题目需要 " + std::to_string(needed) +
                                 " 个。答案没有改正，没有写入任何分数。");
        const double total = scorer.score(content, hasMulti);
        // Jet's REAL holds 32-bit floats, as the run writes them.
        const db::Value points =
            static_cast<double>(static_cast<float>(scorer.points()[static_cast<std::size_t>(position)]));
        const db::Value score = scoring::ScoreValue(*columns.score, total);
        if (!StoredAs(reader.extra(row, 0), points) || !StoredAs(reader.extra(row, 1), score)) {
            update.bind(1, points);
            update.bind(2, score);
            update.bind(3, view.rowid());
            update.step();
            update.reset();
            ++changed;
        }
        if (++done % 4096 == 0)
            ui.progress("正在改正答案", done, stats.records);
    }
    return changed;
}

} // namespace

std::string CorrectedKey(const std::string& typed, int question, char key) {
    std::size_t begin = 0, end = typed.size();
    while (begin < end && static_cast<unsigned char>(typed[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(typed[end - 1]) <= 0x20)
        --end;
    std::string corrected = typed;
    int seen = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (!IsSeparator(typed[i]) && ++seen == question) {
            corrected[i] = key;
            return corrected;
        }
    }
    throw RekeyRefused("单选题答案只有 " + std::to_string(seen) + " 个，没有第 " + std::to_string(question) +
                       " 题。");
}

CheckedRekey CheckRekey(core::Workspace& ws, const RekeyRequest& request) {
    if (!ws.view.isOpen() || ws.TableName.empty())
        throw RekeyRefused("请先打开卷面数据表DBF文件。");
    auto run = scoring::LastRun(ws.connection, ws.TableName);
    if (!run)
        throw RekeyRefused("表 " + ws.TableName + " 还没有评过分，没有可以改正的答案。请先评分（开始评分）。");
    const std::string keys = scoring::KeyCharacters(run->settings.singleKey);
    const int S = static_cast<int>(keys.size());
    if (request.question < 1 || request.question > S)
        throw RekeyRefused("没有第 " + std::to_string(request.question) + " 道单选题：上次评分的单选题是第 1 到第 " +
                           std::to_string(S) + " 题。");
    if (request.key < 'A' || request.key > 'F')
        throw RekeyRefused("新的答案必须是 A 到 F 中的一个字母，不能是 \"" + std::string(1, request.key) + "\"。");
    CheckedRekey checked;
    checked.position = request.question;
    checked.oldKey = keys[static_cast<std::size_t>(request.question - 1)];
    if (checked.oldKey == 'x' || checked.oldKey == 'z')
        throw RekeyRefused("第 " + std::to_string(request.question) + " 题的答案是 \"" +
                           std::string(1, checked.oldKey) + "\"（" +
                           (checked.oldKey == 'x' ? "不评分" : "给零分") + "），不能单独改正，请重新评分。");
    checked.run = *run;
    checked.corrected = run->settings;
    if (checked.oldKey == request.key) {
        checked.unchanged = true;
        checked.notice = "第 " + std::to_string(request.question) + " 题的答案已经是 " +
                         std::string(1, request.key) + "，没有改动。";
        return checked;
    }
    checked.corrected.singleKey = CorrectedKey(run->settings.singleKey, request.question, request.key);
    return checked;
}

std::vector<std::filesystem::path> ReportsOutOfDate(const core::Workspace& ws) {
    const std::string& t = ws.TableName;
    std::vector<std::filesystem::path> out;
    for (const std::string& name : {"分班统计_" + t + ".txt", "综合科统计_" + t + ".txt", "成绩分析_" + t + ".xlsx",
                                    ReportFileName(t), WorkbookFileName(t)}) {
        std::error_code ec;
        if (std::filesystem::exists(ws.file(name), ec))
            out.push_back(ws.file(name));
    }
    return out;
}

RekeyResult ApplyRekey(core::Workspace& ws, core::Ui& ui, const RekeyRequest& request) {
    const CheckedRekey checked = CheckRekey(ws, request);
    RekeyResult result;
    if (checked.unchanged) {
        result.unchanged = true;
        result.notice = checked.notice;
        return result;
    }
    const scoring::RunPlan plan = scoring::PlanOfAccepted(checked.corrected);
    core::FieldSettings fields = ws.Fields; // the switches the stored points were made with
    fields.FullMatch = checked.run.fullMatch;
    fields.yuwen_m = checked.run.yuwenM;
    scoring::RunStatistics stats = scoring::EmptyStatistics(plan, ws.view.recordCount());
    {
        scoring::ViewPause pause(ws.view, ui);
        db::Transaction tx(ws.connection, db::Transaction::Immediate);
        result.rowsChanged = RescoreSheets(ws, ui, plan, checked.corrected, fields, checked.position, stats);
        result.run = scoring::RunRecordOf(ws.TableName, checked.corrected, fields);
        scoring::RecordRun(ws.connection, result.run);
        tx.commit();
    }
    if (auto recorded = scoring::LastRun(ws.connection, ws.TableName))
        result.run = *recorded;
    result.statistics = ws.file("统计_" + ws.TableName + ".txt");
    text::SaveLines(result.statistics, scoring::StatisticsLines(stats), ws.Fields.TextEncoding);
    result.history = ws.file("标准答案历史.log");
    text::AppendLines(result.history, scoring::HistoryLines(ws.TableName, checked.corrected.singleKey,
                                                            checked.corrected.multiKey, scoring::HistoryTime()));
    result.outOfDate = ReportsOutOfDate(ws);
    return result;
}

} // namespace analysis
