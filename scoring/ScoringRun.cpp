#include "scoring/ScoringRun.h"

#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/db/BatchReader.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/Global.h"
#include "scoring/RunLog.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <unordered_map>

namespace scoring {
namespace {

using core::Icon;

// The platform's decimal conversion: the whole text must be a number.
double ToFloat(const std::string& text) {
    std::string t = text::Trim(text);
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno == ERANGE)
        throw core::AppError("'" + text + "' is not a valid floating point value");
    return v;
}

// The number a text holds, or nullopt when it holds none.
std::optional<double> ParsedNumber(const std::string& text) {
    try {
        return ToFloat(text);
    } catch (const core::AppError&) {
        return std::nullopt;
    }
}

bool IsKeyLetter(char c) { return (c >= 'A' && c <= 'F') || c == 'x' || c == 'z'; }

// The codes "A" to "F" (65 to 70) are marks of several options (A+E, B+E,
// A+B+E, ...), not letters: they are never a single mark.
bool LetterLookingMultiMark(char code) { return code >= 'A' && code <= 'F'; }

// A content that cannot hold the questions the settings name: the run is
// rolled back and stops before anything is written.
struct ShortContent {
    std::string id;
    std::size_t length;
    std::size_t needed;
};

// The partial-credit and full-credit texts, converted when first used.
class LazyNumber {
public:
    explicit LazyNumber(const std::string& text) : mText(text) {}
    double get() {
        if (!mValue)
            mValue = ToFloat(mText);
        return *mValue;
    }

private:
    std::string mText;
    std::optional<double> mValue;
};

// Reads the content and exam number of the view's sheets, a batch of rows
// at a time and nothing else of them.
class SheetReader {
public:
    SheetReader(const db::Query& view, db::Connection& c, const std::string& content,
                const std::string& id)
        : mView(view),
          mRead(c, db::jet::QuoteName(content) + ", " + db::jet::QuoteName(id),
                db::jet::QuoteName(view.baseTable()), "rowid", kBatch) {}

    // The content and exam number of the view's row, as text.
    std::pair<std::string_view, std::string_view> sheet(int row) {
        if (row < mFirst || row >= mFirst + static_cast<int>(mRows.size()))
            fetch(row);
        const std::size_t at = static_cast<std::size_t>(row - mFirst);
        return {mTexts[at].first, mTexts[at].second};
    }

private:
    static constexpr int kBatch = 256;

    void fetch(int row) {
        const int count = std::min(kBatch, mView.recordCount() - row);
        mRowids.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            mRowids[static_cast<std::size_t>(i)] = mView.rowidAt(row + i);
        mFirst = -1;
        mRead.read(mRowids.data(), count, mRows);
        mTexts.resize(mRows.size());
        for (std::size_t i = 0; i < mRows.size(); ++i)
            mTexts[i] = {db::Query::ToText(mRows[i][0]), db::Query::ToText(mRows[i][1])};
        mFirst = row;
    }

    const db::Query& mView;
    db::BatchReader mRead;
    std::vector<std::int64_t> mRowids;
    std::vector<std::vector<db::Value>> mRows;
    std::vector<std::pair<std::string, std::string>> mTexts;
    int mFirst = -1;
};

} // namespace

std::string KeyCharacters(const std::string& typed) {
    std::string k;
    for (char c : text::Trim(typed))
        if (c != ' ' && c != ',' && c != ';')
            k += c;
    return k;
}

bool SingleRight(char code, char key, bool fullMatch) {
    if (key == 'x' || key == 'z')
        return false; // left out or worth nothing, whatever the sheet holds
    if (LetterLookingMultiMark(code))
        return false;
    const char letter = SingleMarkLetter(code);
    if (IsKeyLetter(key))
        return letter == key;
    if (fullMatch) // the sheet's text (its letter, or the code itself) is the key
        return letter ? false : code == key && code != '0';
    const std::string answer = letter ? std::string(1, letter) : MarkToLetter(code);
    return MarkToLetters(key).find(answer) != std::string::npos;
}

Credit MultiCredit(const std::string& answer, const std::string& key, bool yuwenM) {
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
    if (yuwenM && answer.size() == 2 && key.size() == 2 && hits == 1)
        return Credit::Partial;
    return Credit::None;
}

namespace {

// What the checks make of the settings: the segments, the key characters and
// the multiple-choice keys the run scores with.
struct RunPlan {
    std::array<int, 4> counts{};
    std::array<float, 4> points{};
    int S = 0; // single-choice questions
    int M = 0; // multiple-choice questions as set
    int N = 0; // multiple-choice keys typed
    std::string K;
    std::vector<std::string> keys;
};

// The table is open and has its score, content and exam-number columns; a
// missing score column is added when the user agrees.
core::Outcome CheckTable(core::Workspace& ws, core::Ui& ui) {
    db::Query& view = ws.view;
    const core::FieldSettings& f = ws.Fields;
    if (!view.isOpen()) {
        ui.message("请先打开卷面数据表DBF文件。", core::Title(ws), Icon::Information);
        return core::Outcome::Stopped;
    }
    if (!view.hasField(f.Score)) {
        if (!ui.question("表中没有检测到学生的分数字段 " + f.Score +
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
        throw core::AppError("表中没有此考号字段：" + f.ID + "。请使用\"设置字段名\"设置相符合的字段名。");
    return core::Outcome::Done;
}

constexpr double kMostPoints = 1000;

// Points must be a finite number from 0 to 1000: anything else would give
// scores no field can hold.
void CheckPointsRange(double value, const std::string& field, const std::string& text) {
    if (!(value >= 0 && value <= kMostPoints))
        throw core::AppError(field + "必须是 0 到 1000 之间的数：'" + text + "'");
}

// Segment 1 is read always, the others while enabled.
void ReadSegments(const ScoringSettings& st, RunPlan& plan) {
    static const char* const names[] = {"每题分数（第一段）", "每题分数（第二段）", "每题分数（第三段）",
                                        "每题分数（第四段）"};
    for (std::size_t i = 0; i < 4; ++i) {
        if (i == 0 || st.enabled[i]) {
            plan.counts[i] = st.counts[i];
            const double points = ToFloat(st.points[i]);
            CheckPointsRange(points, names[i], st.points[i]);
            plan.points[i] = static_cast<float>(points);
        }
    }
    plan.S = plan.counts[0] + plan.counts[1] + plan.counts[2] + plan.counts[3];
    plan.M = st.multiCount;
}

constexpr const char* kKeyLengthText =
    "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一个分隔符号，末尾没有。";

// The questions the user can still answer: lower-case keys, the table's
// question count, the key lengths, the segment number and zero points.
bool CheckCountsAndKeys(core::Workspace& ws, core::Ui& ui, const ScoringSettings& st,
                        const RunPlan& plan) {
    const std::string title = core::Title(ws);
    const int S = plan.S, M = plan.M;
    if (std::any_of(st.singleKey.begin(), st.singleKey.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; }) &&
        !ui.question("发现输入了小写字符。标准答案对大小写敏感。是否要继续？", "错误"))
        return false;
    if (S + M != ws.QuestionCount &&
        ui.question("设置的选择题数目总和 " + std::to_string(S + M) + " 和表中的客观题个数 " +
                        std::to_string(ws.QuestionCount) + " 不相符合，是否现在退出？",
                    "检测到错误", core::GoOn::WithNo))
        return false;
    if (text::Trim(st.singleKey).size() != static_cast<std::size_t>(S + (S - 1) / 5)) {
        ui.message(kKeyLengthText, title, Icon::Warning);
        return false;
    }
    if (M > 0 && std::count(st.multiKey.begin(), st.multiKey.end(), ';') + 1 != M) {
        ui.message("不定项选择题数目和标准答案个数不一致。请确认每个答案之间只有一个分隔符号，末尾没有。",
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
    if (M > 0 && ToFloat(st.full) == 0)
        zero = true;
    return !(zero && ui.question("检测到有分值设置为零分，可能需要重新设置。是否现在退出评分？", "评分",
                                 core::GoOn::WithNo));
}

// The multiple-choice keys: the typed text split at ";", each 1 to 4 letters.
std::vector<std::string> SplitMultiKeys(const ScoringSettings& st, int M) {
    std::vector<std::string> keys;
    const std::string multi = text::Trim(st.multiKey);
    if (M <= 0 || multi.empty())
        return keys;
    std::size_t start = 0;
    for (;;) {
        std::size_t semi = multi.find(';', start);
        std::string piece =
            multi.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        if (piece.empty() || piece.size() > 4)
            throw core::AppError("不定项标准答案输入错误");
        keys.push_back(piece);
        if (semi == std::string::npos)
            return keys;
        start = semi + 1;
    }
}

// Checks the settings in the order the user meets them; nullopt when a
// message or a question stopped the run.
std::optional<RunPlan> PlanRun(core::Workspace& ws, core::Ui& ui, const ScoringSettings& st) {
    RunPlan plan;
    ReadSegments(st, plan);
    if (!CheckCountsAndKeys(ws, ui, st, plan))
        return std::nullopt;
    plan.K = KeyCharacters(st.singleKey);
    if (plan.K.size() != static_cast<std::size_t>(plan.S)) {
        ui.message(kKeyLengthText, core::Title(ws), Icon::Warning);
        return std::nullopt;
    }
    plan.keys = SplitMultiKeys(st, plan.M);
    plan.N = static_cast<int>(plan.keys.size());
    if (plan.N > 0) // a text that is no number at all is reported when it is first needed, as before
        for (const auto& [text, field] : {std::pair{st.full, "全对分数"}, std::pair{st.partial, "少选分数"}})
            if (auto value = ParsedNumber(text))
                CheckPointsRange(*value, field, text);
    return plan;
}

// Every decision depends only on the byte at a position: each is worked out
// once for all 256 bytes.
struct DecisionTables {
    std::vector<std::array<float, 256>> singleEarns; // by question 1..S
    std::vector<std::array<Credit, 256>> multiCredit; // by question 1..N

    DecisionTables(const RunPlan& plan, const core::FieldSettings& f)
        : singleEarns(static_cast<std::size_t>(plan.S + 1)),
          multiCredit(static_cast<std::size_t>(plan.N + 1)) {
        const auto& c = plan.counts;
        const auto& p = plan.points;
        for (int k = 1; k <= plan.S; ++k) {
            const float worth = k <= c[0]                 ? p[0]
                                : k <= c[0] + c[1]        ? p[1]
                                : k <= c[0] + c[1] + c[2] ? p[2]
                                                          : p[3];
            for (int b = 0; b < 256; ++b)
                singleEarns[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] =
                    SingleRight(static_cast<char>(b), plan.K[static_cast<std::size_t>(k - 1)], f.FullMatch)
                        ? worth
                        : 0.0f;
        }
        for (int b = 0; b < 256; ++b) {
            const std::string letters = MarkToLetters(static_cast<char>(b));
            for (int j = 1; j <= plan.N; ++j)
                multiCredit[static_cast<std::size_t>(j)][static_cast<std::size_t>(b)] =
                    MultiCredit(letters, plan.keys[static_cast<std::size_t>(j - 1)], f.yuwen_m);
        }
    }
};

// The two prepared UPDATEs, one per sheet: with the multiple-choice columns
// for a sheet whose content goes on past the single-choice part, without
// them for one that stops there. Questions keyed "x" keep their fields.
class SheetWriter {
public:
    SheetWriter(db::Connection& connection, const db::Query& view, const db::Field& score,
                const RunPlan& plan) {
        for (int part = 0; part < 2; ++part) {
            std::string sql = "UPDATE " + db::jet::QuoteName(view.baseTable()) + " SET ";
            for (int k = 1; k <= plan.S; ++k)
                if (plan.K[static_cast<std::size_t>(k - 1)] != 'x')
                    mWritten[part].push_back(k);
            for (int j = 1; part == 1 && j <= plan.N; ++j)
                if (plan.keys[static_cast<std::size_t>(j - 1)] != "x")
                    mWritten[part].push_back(plan.S + j);
            for (int k : mWritten[part])
                sql += db::jet::QuoteName(view.field(view.fieldIndex("f" + std::to_string(k))).baseColumn) +
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

    void write(bool hasMulti, const std::vector<double>& points, const db::Value& score, std::int64_t rowid) {
        db::Statement& st = *mUpdate[hasMulti ? 1 : 0];
        struct ResetAfterStep { // also when the step fails, so no statement stays open
            db::Statement& st;
            ~ResetAfterStep() { st.reset(); }
        } resetting{st};
        int at = 1;
        for (int k : mWritten[hasMulti ? 1 : 0])
            st.bind(at++, static_cast<double>(static_cast<float>(points[static_cast<std::size_t>(k)]))); // Jet's REAL holds 32-bit floats
        st.bind(at++, score);
        st.bind(at, rowid);
        st.step();
    }

private:
    std::vector<int> mWritten[2];
    std::optional<db::Statement> mUpdate[2];
};

} // namespace

namespace {

// The score field's value of a total: truncated for a whole-number field,
// rounded to one decimal for a real one (held as a float when the field is
// single precision).
db::Value ScoreValue(const db::Field& score, double total) {
    if (score.kind == db::FieldKind::Integer)
        return static_cast<std::int64_t>(std::trunc(total));
    if (score.kind == db::FieldKind::Float)
        return score.single ? static_cast<double>(static_cast<float>(RoundTo(total, 1))) : RoundTo(total, 1);
    throw core::AppError("分数字段数据类型错误，不能写入分数。");
}

RunStatistics EmptyStatistics(const RunPlan& plan, int records) {
    RunStatistics stats;
    stats.S = plan.S;
    stats.M = plan.M;
    stats.key = plan.K;
    const int multi = std::max(plan.M, plan.N);
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(static_cast<std::size_t>(plan.S + multi + 1), 0);
    stats.fullCount.assign(static_cast<std::size_t>(multi + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(multi + 1), 0.0);
    stats.records = records;
    return stats;
}

// Scores one sheet's content: the points of every question and the total,
// counted into the run's statistics.
class SheetScorer {
public:
    SheetScorer(const RunPlan& plan, const core::FieldSettings& f, const ScoringSettings& st,
                RunStatistics& stats)
        : mPlan(plan), mTables(plan, f), mFull(st.full), mPartial(st.partial), mStats(stats),
          mPoints(static_cast<std::size_t>(plan.S + plan.N + 1), 0.0) {}

    [[nodiscard]] const std::vector<double>& points() const { return mPoints; }

    double score(std::string_view content, bool hasMulti) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
        double total = 0;
        for (int k = 1; k <= mPlan.S; ++k)
            total += single(k, bytes[k - 1]);
        if (hasMulti)
            for (int j = 1; j <= mPlan.N; ++j)
                total += multi(j, bytes[mPlan.S + j - 1]);
        mStats.runTotal += total;
        return total;
    }

private:
    double single(int k, unsigned char code) {
        const auto i = static_cast<std::size_t>(k);
        const float earned = mTables.singleEarns[i][code];
        mPoints[i] = static_cast<double>(earned);
        switch (SingleMarkLetter(static_cast<char>(code))) {
        case 'A': ++mStats.countA[i]; break;
        case 'B': ++mStats.countB[i]; break;
        case 'C': ++mStats.countC[i]; break;
        case 'D': ++mStats.countD[i]; break;
        default: break;
        }
        return static_cast<double>(earned);
    }

    double multi(int j, unsigned char code) {
        double earned = 0;
        switch (mTables.multiCredit[static_cast<std::size_t>(j)][code]) {
        case Credit::Full:
            earned = mFull.get();
            ++mStats.fullCount[static_cast<std::size_t>(j)];
            break;
        case Credit::Partial: earned = mPartial.get(); break;
        case Credit::None: break;
        }
        mStats.pointSum[static_cast<std::size_t>(j)] += earned;
        const auto i = static_cast<std::size_t>(mPlan.S + j);
        mPoints[i] = earned;
        const unsigned options = OptionBits(static_cast<char>(code));
        mStats.countA[i] += options & 1;
        mStats.countB[i] += (options >> 1) & 1;
        mStats.countC[i] += (options >> 2) & 1;
        mStats.countD[i] += (options >> 3) & 1;
        return earned;
    }

    const RunPlan& mPlan;
    DecisionTables mTables;
    LazyNumber mFull, mPartial;
    RunStatistics& mStats;
    std::vector<double> mPoints;
};

// The grid stops following the view while the run walks it, and shows the
// stored rows again when the run ends, however it ends.
class ViewPause {
public:
    ViewPause(db::Query& view, core::Ui& ui) : mView(view), mUi(ui) { mView.disableControls(); }
    ~ViewPause() {
        try {
            mView.refresh();
        } catch (...) {
        }
        mView.enableControls();
        mUi.progress("", 0, 0);
    }
    ViewPause(const ViewPause&) = delete;
    ViewPause& operator=(const ViewPause&) = delete;

private:
    db::Query& mView;
    core::Ui& mUi;
};

// Scores every sheet of the view in one transaction. A content too short for
// the questions rolls it back before anything is written; any other error
// keeps the sheets scored so far.
RunStatistics ScoreSheets(core::Workspace& ws, core::Ui& ui, const RunPlan& plan,
                          const ScoringSettings& st) {
    db::Query& view = ws.view;
    const core::FieldSettings& f = ws.Fields;
    const db::Field& score = view.field(view.fieldIndex(f.Score));
    for (int k = 1; k <= plan.S + plan.N; ++k) // every question of the run must have its field
        (void)view.fieldIndex("f" + std::to_string(k));
    RunStatistics stats = EmptyStatistics(plan, view.recordCount());
    SheetScorer scorer(plan, f, st, stats);
    SheetWriter writer(ws.connection, view, score, plan);
    SheetReader reader(view, ws.connection, view.field(view.fieldIndex(f.Content)).baseColumn,
                       view.field(view.fieldIndex(f.ID)).baseColumn);
    ViewPause pause(view, ui);
    db::Transaction tx(ws.connection, db::Transaction::CommitAlways);
    long long done = 0;
    for (view.first(); !view.eof(); view.next()) {
        const auto [content, id] = reader.sheet(view.recNo());
        const bool hasMulti = content.size() > static_cast<std::size_t>(plan.S);
        const std::size_t needed = static_cast<std::size_t>(hasMulti ? plan.S + plan.N : plan.S);
        if (content.size() < needed) {
            tx.rollback();
            throw core::AppError("考号 " + std::string(id) + " 的客观题只有 " +
                                 std::to_string(content.size()) + " 个字符，设置的题目需要 " +
                                 std::to_string(needed) + " 个。评分没有进行，没有写入任何分数。");
        }
        const double total = scorer.score(content, hasMulti);
        writer.write(hasMulti, scorer.points(), ScoreValue(score, total), view.rowid());
        if (++done % 4096 == 0)
            ui.progress("正在评分", done, stats.records);
    }
    RecordRun(ws.connection, RunRecordOf(ws.TableName, st, f));
    tx.commit();
    return stats;
}

// The statistics file, the messages and offers that follow a run, and the
// answer-key history.
ScoringResult WriteResults(core::Workspace& ws, core::Ui& ui, os::Shell& shell, const ScoringSettings& st,
                           const RunStatistics& stats, const ScoringFollowUps& followUps) {
    ScoringResult result;
    result.outcome = core::Outcome::Done;
    result.sheets = stats.records;
    result.statistics = ws.file("统计_" + ws.TableName + ".txt");
    text::SaveLines(result.statistics, StatisticsLines(stats), ws.Fields.TextEncoding);
    ui.message("评分完成。\r\r下一步进行分班统计、综合科统计。", core::Title(ws), Icon::Information);
    if (followUps.classStatistics)
        followUps.classStatistics();
    if (ui.question("是否现在生成报表?", "Quillory", core::GoOn::Offer) && followUps.report)
        followUps.report();
    shell.open(result.statistics.string());
    result.history = ws.file("标准答案历史.log");
    text::AppendLines(result.history, HistoryLines(ws.TableName, st.singleKey, st.multiKey, HistoryTime()));
    return result;
}

} // namespace

ScoringResult ScoreAll(core::Workspace& ws, core::Ui& ui, os::Shell& shell, const ScoringSettings& st,
                       const ScoringFollowUps& followUps) {
    if (CheckTable(ws, ui) == core::Outcome::Stopped)
        return {};
    auto plan = PlanRun(ws, ui, st);
    if (!plan)
        return {};
    const RunStatistics stats = ScoreSheets(ws, ui, *plan, st);
    return WriteResults(ws, ui, shell, st, stats, followUps);
}

} // namespace scoring
