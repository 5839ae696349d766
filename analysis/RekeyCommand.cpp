#include "analysis/RekeyCommand.h"

#include "analysis/AnalyzeCommand.h"
#include "analysis/OutputFile.h"
#include "analysis/RekeyCheck.h"
#include "core/AppError.h"
#include "core/KillPoint.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/RunFiles.h"
#include "scoring/ScoredSheets.h"
#include "scoring/SheetScoring.h"

#include <optional>
#include <string_view>
#include <vector>

namespace analysis {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == ',' || c == ';';
}

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

RekeyColumns ColumnsOf(const db::Query& view, const core::FieldSettings& f,
                       const scoring::ExamRun& run, int position) {
    scoring::RequireScoreColumns(view, run);
    RekeyColumns c;
    c.score = &view.field(view.fieldIndex(f.Score));
    c.content = view.field(view.fieldIndex(f.Content)).baseColumn;
    c.id = view.field(view.fieldIndex(f.ID)).baseColumn;
    c.question = view.field(view.fieldIndex("f" + std::to_string(position))).baseColumn;
    return c;
}

// Re-scores one sheet after another with the corrected plan and rewrites
// the question's column and the score of the sheets where they differ from
// what is stored; counts into the run's statistics as the scoring run does,
// in the order the sheets come.
class Rescorer {
  public:
    // Without `write` the sheets are only counted: nothing is rewritten.
    Rescorer(core::Workspace& ws, const scoring::ExamRun& run, const core::FieldSettings& f,
             const RekeyColumns& columns, int position, scoring::RunStatistics& stats, bool write)
        : mRun(run), mScore(*columns.score), mPosition(static_cast<std::size_t>(position)),
          mScorer(run, f, stats) {
        if (write)
            mUpdate.emplace(ws.connection.prepare(
                "UPDATE " + db::jet::QuoteName(ws.view.baseTable()) + " SET " +
                db::jet::QuoteName(columns.question) + " = ?, " +
                db::jet::QuoteName(columns.score->baseColumn) + " = ? WHERE rowid = ?"));
    }

    // A sheet read with the question's column and the score as its values.
    void sheet(const scoring::Sheet& s) {
        const std::string_view content = s.content;
        const bool hasMulti = content.size() > static_cast<std::size_t>(mRun.singleCount);
        if (const std::size_t needed = scoring::MarksNeeded(mRun, content.size());
            content.size() < needed)
            throw core::AppError("考号 " + std::string(s.examNumber.value_or("")) + " " +
                                 scoring::ShortContentText(content.size(), needed, "上次评分的") +
                                 "。答案没有改正，没有写入任何分数。");
        const double total = mScorer.score(content, hasMulti);
        // Jet's REAL holds 32-bit floats, as the run writes them.
        const db::Value points =
            static_cast<double>(static_cast<float>(mScorer.points()[mPosition]));
        const db::Value score = scoring::ScoreValue(mScore, total);
        if (mUpdate && (!StoredAs(s.values[0], points) || !StoredAs(s.values[1], score))) {
            mUpdate->bind(1, points);
            mUpdate->bind(2, score);
            mUpdate->bind(3, s.record);
            mUpdate->step();
            mUpdate->reset();
            ++mChanged;
        }
    }
    [[nodiscard]] std::int64_t changed() const { return mChanged; }

  private:
    const scoring::ExamRun& mRun;
    const db::Field& mScore;
    std::size_t mPosition;
    scoring::SheetScorer mScorer;
    std::optional<db::Statement> mUpdate;
    std::int64_t mChanged = 0;
};

constexpr int kProgressStep = 4096;

// The view's sheets in the view's order, read a batch of rowids at a time.
void RescoreInViewOrder(core::Workspace& ws, core::Ui& ui, scoring::TableSheets& sheets,
                        Rescorer& rescorer) {
    const db::Query& view = ws.view;
    std::int64_t done = 0;
    sheets.forEachOfBeforeWriting(scoring::WalkedRowids(ws.view), [&](const scoring::Sheet& s) {
        rescorer.sheet(s);
        if (++done % kProgressStep == 0)
            ui.progress("正在改正答案", done, view.recordCount());
    });
}

// True when the view shows every row of its table in storage (rowid)
// order, so that the table read in storage order gives the sheets in the
// view's order.
bool ViewIsTableInStorageOrder(db::Connection& connection, const db::Query& view) {
    db::Statement count =
        connection.prepare("SELECT count(*) FROM " + db::jet::QuoteName(view.baseTable()));
    if (!count.step() || count.columnInt(0) != view.recordCount())
        return false;
    for (int row = 1; row < view.recordCount(); ++row)
        if (view.rowidAt(row) <= view.rowidAt(row - 1))
            return false;
    return true;
}

// Re-scores every sheet of the view with the corrected plan, in the view's
// order (so the run's statistics are summed as a full run sums them).
// Returns the rows rewritten (none without `write`); `stats` receives the
// run's counts.
std::int64_t RescoreSheets(core::Workspace& ws, core::Ui& ui, const scoring::ExamRun& run,
                           const core::FieldSettings& f, int position,
                           scoring::RunStatistics& stats, bool write) {
    const RekeyColumns columns = ColumnsOf(ws.view, ws.Fields, run, position);
    Rescorer rescorer(ws, run, f, columns, position, stats, write);
    scoring::SheetColumns read;
    read.table = ws.view.baseTable();
    read.examNumber = columns.id;
    read.content = columns.content;
    read.values = {columns.question, columns.score->baseColumn};
    scoring::TableSheets sheets(ws.connection, read);
    // The table in storage order gives the sheets in the view's order when
    // the view shows every row so.
    if (ViewIsTableInStorageOrder(ws.connection, ws.view))
        sheets.forEachBeforeWriting(
            [&rescorer](const scoring::Sheet& s) { rescorer.sheet(s); },
            [&](std::int64_t done) { ui.progress("正在改正答案", done, ws.view.recordCount()); });
    else
        RescoreInViewOrder(ws, ui, sheets, rescorer);
    return rescorer.changed();
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
    throw RekeyRefused("单选题答案只有 " + std::to_string(seen) + " 个，没有第 " +
                       std::to_string(question) + " 题。");
}

CheckedRekey CheckRekey(core::Workspace& ws, const RekeyRequest& request) {
    if (!ws.view.isOpen() || ws.TableName.empty())
        throw RekeyRefused("请先打开卷面数据表DBF文件。");
    auto run = scoring::LastRun(ws.connection, ws.TableName);
    if (!run)
        throw RekeyRefused("表 " + ws.TableName +
                           " 还没有评过分，没有可以改正的答案。请先评分（开始评分）。");
    const std::string keys = scoring::KeyCharacters(run->settings.singleKey);
    const int S = static_cast<int>(keys.size());
    if (request.question < 1 || request.question > S)
        throw RekeyRefused("没有第 " + std::to_string(request.question) +
                           " 道单选题：上次评分的单选题是第 1 到第 " + std::to_string(S) + " 题。");
    if (request.key < 'A' || request.key > 'F')
        throw RekeyRefused("新的答案必须是 A 到 F 中的一个字母，不能是 \"" +
                           std::string(1, request.key) + "\"。");
    CheckedRekey checked;
    checked.position = request.question;
    checked.oldKey = keys[static_cast<std::size_t>(request.question - 1)];
    if (checked.oldKey == 'x' || checked.oldKey == 'z')
        throw RekeyRefused("第 " + std::to_string(request.question) + " 题的答案是 \"" +
                           std::string(1, checked.oldKey) + "\"（" +
                           (checked.oldKey == 'x' ? "不评分" : "给零分") +
                           "），不能单独改正，请重新评分。");
    checked.run = *run;
    checked.corrected = *run;
    if (checked.oldKey == request.key) {
        checked.unchanged = true;
        checked.notice = "第 " + std::to_string(request.question) + " 题的答案已经是 " +
                         std::string(1, request.key) + "，没有改动。";
        return checked;
    }
    checked.corrected.settings.singleKey =
        CorrectedKey(run->settings.singleKey, request.question, request.key);
    return checked;
}

std::vector<std::filesystem::path> ReportsOutOfDate(const core::Workspace& ws) {
    const std::string& t = ws.TableName;
    std::vector<std::filesystem::path> out;
    for (const std::string& name :
         {"分班统计_" + t + ".txt", "综合科统计_" + t + ".txt", "成绩分析_" + t + ".xlsx",
          ReportFileName(t), WorkbookFileName(t)}) {
        std::error_code ec;
        if (std::filesystem::exists(ws.file(name), ec))
            out.push_back(ws.file(name));
    }
    return out;
}

namespace {

// Says which of the files left behind by the last run were written.
std::string WrittenAgainText(const RekeyResult& r) {
    std::string names;
    for (const std::filesystem::path* file : {&r.statistics, &r.history})
        if (!file->empty())
            names += (names.empty() ? "" : "、") + file->filename().string();
    return "上次评分或改正答案后没有写完的 " + names + " 已经补写。";
}

} // namespace

RekeyResult ApplyRekey(core::Workspace& ws, core::Ui& ui, const RekeyRequest& request) {
    RekeyResult result;
    CheckedRekey checked;
    scoring::RunFilesBehind behind;
    scoring::RunStatistics stats;
    {
        std::optional<scoring::ViewPause> pause; // ends after the transaction
        // The last run is read under the write lock that the correction
        // writes under, so that a run another program commits meanwhile is
        // the one corrected.
        db::Transaction tx(ws.connection, db::Transaction::Immediate);
        checked = CheckRekey(ws, request);
        behind = scoring::FilesBehind(ws, checked.run);
        if (checked.unchanged && !behind.any()) {
            result.unchanged = true;
            result.notice = checked.notice;
            return result;
        }
        // An unchanged key whose files are behind is re-scored only to count
        // the statistics file again: nothing is written to the table.
        const scoring::ExamRun run = scoring::AcceptedRun(checked.corrected);
        core::FieldSettings fields = ws.Fields; // the switches the stored points were made with
        fields.FullMatch = checked.run.fullMatch;
        fields.YuwenM = checked.run.yuwenM;
        stats = scoring::EmptyStatistics(run, ws.view.recordCount());
        pause.emplace(ws.view, ui);
        result.rowsChanged =
            RescoreSheets(ws, ui, run, fields, checked.position, stats, !checked.unchanged);
        if (!checked.unchanged) {
            result.run = scoring::RunRecordOf(ws.TableName, checked.corrected.settings, fields);
            scoring::RecordRun(ws.connection, result.run);
        }
        tx.commit();
    }
    core::KillPoint("rekey-after-commit");
    if (checked.unchanged)
        result.run = checked.run;
    else if (auto recorded = scoring::LastRun(ws.connection, ws.TableName))
        result.run = *recorded;
    result.statistics = scoring::StatisticsFile(ws);
    text::SaveLines(result.statistics, scoring::StatisticsLines(stats), ws.Fields.TextEncoding);
    if (behind.history) // the last run's own entry first
        text::AppendLines(scoring::HistoryFile(ws), scoring::HistoryLinesOf(checked.run));
    if (!checked.unchanged)
        text::AppendLines(scoring::HistoryFile(ws),
                          scoring::HistoryLines(ws.TableName, checked.corrected.settings.singleKey,
                                                checked.corrected.settings.multiKey,
                                                scoring::HistoryTime()));
    if (behind.history || !checked.unchanged)
        result.history = scoring::HistoryFile(ws);
    if (checked.unchanged) {
        result.unchanged = true;
        result.notice = checked.notice + WrittenAgainText(result);
        return result;
    }
    result.outOfDate = ReportsOutOfDate(ws);
    return result;
}

} // namespace analysis
