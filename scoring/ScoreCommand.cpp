#include "scoring/ScoreCommand.h"

#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TemporaryName.h"
#include "platform/text/TextFile.h"
#include "scoring/ExamRun.h"
#include "scoring/MarkCodes.h"
#include "scoring/RunChecks.h"
#include "scoring/RunFiles.h"
#include "scoring/RunLog.h"
#include "scoring/ScoredSheets.h"
#include "scoring/SheetScoring.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace scoring {
namespace {

using core::Icon;

bool IsKeyLetter(char c) {
    return (c >= 'A' && c <= 'F') || c == 'x' || c == 'z';
}

// The codes "A" to "F" (65 to 70) are marks of several options (A+E, B+E,
// A+B+E, ...), not letters: they are never a single mark.
bool LetterLookingMultiMark(char code) {
    return code >= 'A' && code <= 'F';
}

// A content that cannot hold the questions the settings name: the run is
// rolled back and stops before anything is written.
struct ShortContent {
    std::string id;
    std::size_t length;
    std::size_t needed;
};

} // namespace

std::string KeyCharacters(const std::string& typed) {
    std::string k;
    for (char c : text::Trim(typed))
        if (c != ' ' && c != ',' && c != ';')
            k += c;
    return k;
}

bool SingleRight(char code, char key, KeyMatch match) {
    if (key == 'x' || key == 'z')
        return false; // left out or worth nothing, whatever the sheet holds
    if (LetterLookingMultiMark(code))
        return false;
    const char letter = SingleMarkLetter(code);
    if (IsKeyLetter(key))
        return letter == key;
    if (match ==
        KeyMatch::WholeCode) // the sheet's text (its letter, or the code itself) is the key
        return letter ? false : code == key && code != '0';
    const std::string answer = letter ? std::string(1, letter) : MarkToLetter(code);
    return MarkToLetters(key).find(answer) != std::string::npos;
}

Credit MultiCredit(const std::string& answer, const std::string& key, TwoLetterKeys twoLetters) {
    if (key == "x")
        return Credit::None; // left out, whatever the sheet holds
    if (answer == key)
        return Credit::Full;
    std::size_t hits = 0;
    for (char c : answer)
        if (key.find(c) != std::string::npos)
            ++hits;
    if (hits == answer.size())
        return Credit::Partial;
    if (twoLetters == TwoLetterKeys::OneRightEarnsPartial && answer.size() == 2 &&
        key.size() == 2 && hits == 1)
        return Credit::Partial;
    return Credit::None;
}

namespace {

// The table is open and has its score, content and exam-number columns; a
// missing score column is added when the user agrees.
core::Outcome CheckTable(core::Workspace& ws, core::Ui& ui) {
    db::Query& view = ws.view;
    const core::FieldSettings& f = ws.Fields;
    if (!view.isOpen()) {
        ui.message("请先打开卷面数据表DBF文件。", core::Title(ws), Icon::Information);
        return core::Outcome::Stopped;
    }
    RequireShownColumn(ws, f.Score, "分数字段");
    RequireShownColumn(ws, f.Content, "客观题字段");
    RequireShownColumn(ws, f.ID, "考号字段");
    if (!view.hasField(f.Score)) {
        if (!ui.question(
                "表中没有检测到学生的分数字段 " + f.Score +
                    "，是否现在自动在表中添加此字段？\r如果选择否，请稍后使用\"设置字段名\""
                    "设置和要评分的表中一样的分数字段。",
                "Quillory"))
            return core::Outcome::Stopped;
        std::string kept = view.sqlText();
        view.close();
        core::AddScoreColumns(ws.connection, ws.TableName, f.Score);
        view.setSql(kept);
        view.open();
    }
    if (!view.hasField(f.Content))
        throw core::AppError("表中没有此客观题字段：" + f.Content +
                             "。请使用\"设置字段名\"设置相符合的字段名。");
    if (!view.hasField(f.ID))
        throw core::AppError("表中没有此考号字段：" + f.ID +
                             "。请使用\"设置字段名\"设置相符合的字段名。");
    return core::Outcome::Done;
}

constexpr const char* kKeyLengthText =
    "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一个分隔符号，末尾没有。";

// The questions the user can still answer: lower-case keys, the table's
// question count, the key lengths, the segment number and zero points.
bool CheckCountsAndKeys(core::Workspace& ws, core::Ui& ui, const ScoringSettings& st,
                        const ExamRun& run) {
    const std::string title = core::Title(ws);
    const int S = run.singleCount, M = run.multiSet;
    if (std::any_of(st.singleKey.begin(), st.singleKey.end(),
                    [](char ch) { return ch >= 'a' && ch <= 'z'; }) &&
        !ui.question("发现输入了小写字符。标准答案对大小写敏感。是否要继续？", "错误"))
        return false;
    if (S + M != ws.QuestionCount &&
        ui.question("设置的选择题数目总和 " + std::to_string(S + M) + " 和表中的客观题个数 " +
                        std::to_string(ws.QuestionCount) + " 不相符合，是否现在退出？",
                    "检测到错误", core::GoOn::WithNo))
        return false;
    if (text::Trim(st.singleKey).size() != static_cast<std::size_t>(S + (S - 1) / 5)) {
        ui.message(std::string(kKeyLengthText) + "\r" + KeyLengthDetail(st.singleKey, S), title,
                   Icon::Warning);
        return false;
    }
    const auto multiKeys = std::count(st.multiKey.begin(), st.multiKey.end(), ';') + 1;
    if (M > 0 && multiKeys != M) {
        ui.message("不定项选择题数目和标准答案个数不一致。请确认每个答案之间只有一个分隔符号，末尾"
                   "没有。\r" +
                       CountDetail(M, multiKeys),
                   title, Icon::Warning);
        return false;
    }
    if (st.segmentChoice < 0) {
        ui.message("请选择题目的分段数。", title, Icon::Information);
        return false;
    }
    bool zero = false;
    for (std::size_t i = 0; i < 4; ++i)
        zero = zero || (st.enabled[i] && st.points[i] == "0");
    if (M > 0 && ToFloat(st.full, "全对分数") == 0)
        zero = true;
    return !(zero && ui.question("检测到有分值设置为零分，可能需要重新设置。是否现在退出评分？",
                                 "评分", core::GoOn::WithNo));
}

// Checks the settings in the order the user meets them; nullopt when a
// message or a question stopped the run.
std::optional<ExamRun> PlanRun(core::Workspace& ws, core::Ui& ui, const ScoringSettings& st) {
    ExamRun run;
    run.table = ws.TableName;
    run.settings = st;
    run.fullMatch = ws.Fields.FullMatch;
    run.yuwenM = ws.Fields.YuwenM;
    const Segments segments = ReadSegments(st);
    for (int count : segments.counts)
        run.singleCount += count;
    run.multiSet = st.multiCount;
    if (!CheckCountsAndKeys(ws, ui, st, run))
        return std::nullopt;
    run.singleKeys = KeyCharacters(st.singleKey);
    if (run.singleKeys.size() != static_cast<std::size_t>(run.singleCount)) {
        ui.message(std::string(kKeyLengthText) + "\r" +
                       KeyLengthDetail(st.singleKey, run.singleCount),
                   core::Title(ws), Icon::Warning);
        return std::nullopt;
    }
    const std::vector<std::string> multiKeys = SplitMultiKeys(st, run.multiSet);
    if (const auto notes = NonOptionNotes(st.singleKey);
        !notes.empty() && ui.question(NonOptionQuestion(notes), "检测到错误", core::GoOn::WithNo))
        return std::nullopt;
    if (!multiKeys.empty()) // a text that is no number at all is reported when it is first
                            // needed, as before
        for (const auto& [text, field] :
             {std::pair{st.full, "全对分数"}, std::pair{st.partial, "少选分数"}})
            if (auto value = ParsedNumber(text))
                CheckPointsRange(*value, field, text);
    ListQuestions(run, segments, multiKeys, ParsedNumber(st.full).value_or(0));
    return run;
}

// The two prepared UPDATEs, one per sheet: with the multiple-choice columns
// for a sheet whose content goes on past the single-choice part, without
// them for one that stops there. Questions keyed "x" keep their fields.
class SheetWriter {
  public:
    SheetWriter(db::Connection& connection, const db::Query& view, const db::Field& score,
                const ExamRun& run) {
        for (int part = 0; part < 2; ++part) {
            std::string sql = "UPDATE " + db::jet::QuoteName(view.baseTable()) + " SET ";
            for (const RunQuestion& q : run.questions)
                if (q.key != "x" && (part == 1 || q.kind == QuestionKind::Single))
                    mWritten[part].push_back(q.position);
            for (int k : mWritten[part])
                sql += db::jet::QuoteName(
                           view.field(view.fieldIndex("f" + std::to_string(k))).baseColumn) +
                       " = ?, ";
            sql += db::jet::QuoteName(score.baseColumn) + " = ? WHERE rowid = ?";
            mUpdate[part].emplace(connection.prepare(sql));
        }
    }
    ~SheetWriter() {
        for (auto& st : mUpdate)
            if (st)
                st->reset();
    }
    SheetWriter(const SheetWriter&) = delete;
    SheetWriter& operator=(const SheetWriter&) = delete;

    void write(bool hasMulti, const std::vector<double>& points, const db::Value& score,
               std::int64_t rowid) {
        db::Statement& st = *mUpdate[hasMulti ? 1 : 0];
        struct ResetAfterStep { // also when the step fails, so no statement stays open
            db::Statement& st;
            ~ResetAfterStep() { st.reset(); }
        } resetting{st};
        int at = 1;
        for (int k : mWritten[hasMulti ? 1 : 0])
            st.bind(at++,
                    static_cast<double>(static_cast<float>(
                        points[static_cast<std::size_t>(k)]))); // Jet's REAL holds 32-bit floats
        st.bind(at++, score);
        st.bind(at, rowid);
        st.step();
    }

  private:
    std::vector<int> mWritten[2];
    std::optional<db::Statement> mUpdate[2];
};

// Scores every sheet of the view in one transaction. A content too short for
// the questions rolls it back before anything is written; any other error
// keeps the sheets scored so far.
RunStatistics ScoreSheets(core::Workspace& ws, core::Ui& ui, const ExamRun& run) {
    db::Query& view = ws.view;
    const core::FieldSettings& f = ws.Fields;
    const db::Field& score = view.field(view.fieldIndex(f.Score));
    RequireScoreColumns(view, run);
    RunStatistics stats = EmptyStatistics(run, view.recordCount());
    SheetScorer scorer(run, f, stats);
    SheetWriter writer(ws.connection, view, score, run);
    SheetColumns columns;
    columns.table = view.baseTable();
    columns.examNumber = view.field(view.fieldIndex(f.ID)).baseColumn;
    columns.content = view.field(view.fieldIndex(f.Content)).baseColumn;
    TableSheets sheets(ws.connection, columns);
    ViewPause pause(view, ui);
    db::Transaction tx(ws.connection, db::Transaction::CommitAlways);
    long long done = 0;
    sheets.forEachOfBeforeWriting(WalkedRowids(view), [&](const Sheet& sheet) {
        const std::string_view content = sheet.content;
        const bool hasMulti = content.size() > static_cast<std::size_t>(run.singleCount);
        if (const std::size_t needed = MarksNeeded(run, content.size()); content.size() < needed) {
            tx.rollback();
            throw core::AppError("考号 " + std::string(sheet.examNumber.value_or("")) + " " +
                                 ShortContentText(content.size(), needed, "设置的") +
                                 "。评分没有进行，没有写入任何分数。");
        }
        const double total = scorer.score(content, hasMulti);
        writer.write(hasMulti, scorer.points(), ScoreValue(score, total), sheet.record);
        if (++done % 4096 == 0)
            ui.progress("正在评分", done, stats.records);
    });
    RecordRun(ws.connection, RunRecordOf(ws.TableName, run.settings, f));
    tx.commit();
    return stats;
}

// The statistics file, the messages and offers that follow a run, and the
// answer-key history.
ScoringResult WriteResults(core::Workspace& ws, core::Ui& ui, os::Shell& shell,
                           const ScoringSettings& st, const RunStatistics& stats,
                           const ScoringFollowUps& followUps) {
    ScoringResult result;
    result.outcome = core::Outcome::Done;
    result.sheets = stats.records;
    result.statistics = StatisticsFile(ws);
    text::SaveLines(result.statistics, StatisticsLines(stats), ws.Fields.TextEncoding);
    ui.message("评分完成。\r\r下一步进行分班统计、综合科统计。", core::Title(ws),
               Icon::Information);
    if (followUps.classStatistics)
        followUps.classStatistics();
    if (ui.question("是否现在生成报表?", "Quillory", core::GoOn::Offer) && followUps.report)
        followUps.report();
    shell.open(result.statistics.string());
    result.history = HistoryFile(ws);
    text::AppendLines(result.history,
                      HistoryLines(ws.TableName, st.singleKey, st.multiKey, HistoryTime()));
    return result;
}

// The history entry of the table's last run, when a program ended between
// that run's commit and its entry left it out: it goes in before the entry
// of the run that starts now.
void WriteMissingHistory(core::Workspace& ws) {
    const auto last = LastRun(ws.connection, ws.TableName);
    if (last && FilesBehind(ws, *last).history)
        text::AppendLines(HistoryFile(ws), HistoryLinesOf(*last));
}

} // namespace

ScoringResult ScoreAll(core::Workspace& ws, core::Ui& ui, os::Shell& shell,
                       const ScoringSettings& st, const ScoringFollowUps& followUps) {
    if (CheckTable(ws, ui) == core::Outcome::Stopped)
        return {};
    WriteMissingHistory(ws);
    const auto run = PlanRun(ws, ui, st);
    if (!run)
        return {};
    text::CheckNameFits(ws.file("统计_" + ws.TableName + ".txt")); // before any score is written
    const RunStatistics stats = ScoreSheets(ws, ui, *run);
    return WriteResults(ws, ui, shell, st, stats, followUps);
}

} // namespace scoring
