#include "scoring/ScoringRun.h"

#include "core/AppError.h"
#include "core/ScratchDb.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scoring/Global.h"

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

std::string StripSeparators(const std::string& key) {
    std::string k;
    for (char c : text::Trim(key))
        if (c != ' ' && c != ',' && c != ';')
            k += c;
    return k;
}

// Reads the content and exam number of the view's sheets, a batch of rows
// at a time and nothing else of them.
class SheetReader {
public:
    SheetReader(const db::Query& view, db::Connection& c, const std::string& content,
                const std::string& id)
        : mView(view),
          mRead(c.handle(), "SELECT rowid, " + db::jet::QuoteName(content) + ", " +
                                db::jet::QuoteName(id) + " FROM " +
                                db::jet::QuoteName(view.baseTable()) + " WHERE rowid IN (" +
                                Placeholders() + ")") {}

    const std::pair<std::string, std::string>& sheet(int row) {
        if (row < mFirst || row >= mFirst + static_cast<int>(mSheets.size()))
            fetch(row);
        return mSheets[static_cast<std::size_t>(row - mFirst)];
    }

private:
    static constexpr int kBatch = 256;
    static std::string Placeholders() {
        std::string s = "?";
        for (int i = 1; i < kBatch; ++i)
            s += ",?";
        return s;
    }

    void fetch(int row) {
        const int count = std::min(kBatch, mView.recordCount() - row);
        mSlot.clear();
        for (int i = 0; i < kBatch; ++i) {
            if (i < count) {
                const std::int64_t rowid = mView.rowidAt(row + i);
                mRead.bind(i + 1, rowid);
                mSlot[rowid] = i;
            } else {
                mRead.bind(i + 1, std::monostate{});
            }
        }
        mSheets.assign(static_cast<std::size_t>(count), {});
        while (mRead.step()) {
            auto it = mSlot.find(mRead.columnInt(0));
            if (it != mSlot.end())
                mSheets[static_cast<std::size_t>(it->second)] = {
                    db::Query::ToText(mRead.column(1)), db::Query::ToText(mRead.column(2))};
        }
        mRead.reset();
        mFirst = row;
    }

    const db::Query& mView;
    db::Statement mRead;
    std::unordered_map<std::int64_t, int> mSlot;
    std::vector<std::pair<std::string, std::string>> mSheets;
    int mFirst = -1;
};

} // namespace

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

Outcome ScoreAll(core::Workspace& ws, core::Ui& ui, os::Shell& shell, const ScoringSettings& st,
                 const ScoringFollowUps& followUps) {
    db::Query& view = ws.ADOQuery2;
    const core::FieldSettings& f = ws.Fields;

    // 1 to 4: the table and its fields.
    if (!view.isOpen()) {
        ui.message("请先打开卷面数据表DBF文件。", ws.Caption, Icon::Information);
        return Outcome::Stopped;
    }
    if (!view.hasField(f.Score)) {
        if (!ui.question("表中没有检测到学生的分数字段 " + f.Score +
                             "，是否现在自动在表中添加此字段？\r如果选择否，请稍后使用\"设置字段名\""
                             "设置和要评分的表中一样的分数字段。",
                         "Quillory"))
            return Outcome::Stopped;
        std::string kept = view.sqlText();
        core::AddScoreColumns(view, ws.TableName, f.Score);
        view.setSql(kept);
        view.open();
    }
    if (!view.hasField(f.Content))
        throw core::AppError("表中没有此客观题字段：" + f.Content +
                            "。请使用\"设置字段名\"设置相符合的字段名。");
    if (!view.hasField(f.ID))
        throw core::AppError("表中没有此考号字段：" + f.ID + "。请使用\"设置字段名\"设置相符合的字段名。");

    // 5: segments. Segment 1 is read always, the others while enabled.
    std::array<int, 4> c{};
    std::array<float, 4> p{};
    for (int i = 0; i < 4; ++i) {
        if (i == 0 || st.enabled[static_cast<std::size_t>(i)]) {
            c[static_cast<std::size_t>(i)] = st.counts[static_cast<std::size_t>(i)];
            p[static_cast<std::size_t>(i)] =
                static_cast<float>(ToFloat(st.points[static_cast<std::size_t>(i)]));
        }
    }
    const int S = c[0] + c[1] + c[2] + c[3];
    const int M = st.multiCount;

    // 6: lower-case letters in the single-choice key.
    for (char ch : st.singleKey) {
        if (ch >= 'a' && ch <= 'z') {
            if (!ui.question("发现输入了小写字符。标准答案对大小写敏感。是否要继续？", "错误"))
                return Outcome::Stopped;
            break;
        }
    }
    // 7: the table's question count.
    if (S + M != ws.QuestionCount &&
        ui.question("设置的选择题数目总和 " + std::to_string(S + M) + " 和表中的客观题个数 " +
                        std::to_string(ws.QuestionCount) + " 不相符合，是否现在退出？",
                    "检测到错误", core::GoOn::WithNo))
        return Outcome::Stopped;
    // 8: the single-choice key's length with its separators.
    const char* keyLengthText =
        "单选题数目和标准答案个数不一致。请确认每五个答案之间只有一个分隔符号，末尾没有。";
    if (text::Trim(st.singleKey).size() != static_cast<std::size_t>(S + (S - 1) / 5)) {
        ui.message(keyLengthText, ws.Caption, Icon::Warning);
        return Outcome::Stopped;
    }
    // 9: the number of multiple-choice keys.
    if (M > 0) {
        long separators = std::count(st.multiKey.begin(), st.multiKey.end(), ';');
        if (separators + 1 != M) {
            ui.message("不定项选择题数目和标准答案个数不一致。请确认每个答案之间只有一个分隔符号，末尾没有。",
                       ws.Caption, Icon::Warning);
            return Outcome::Stopped;
        }
    }
    // 10: a segment number.
    if (st.segmentChoice < 0) {
        ui.message("请选择题目的分段数。", ws.Caption, Icon::Information);
        return Outcome::Stopped;
    }
    // 11: zero points.
    bool zero = false;
    for (int i = 0; i < 4; ++i)
        zero = zero || (st.enabled[static_cast<std::size_t>(i)] &&
                        st.points[static_cast<std::size_t>(i)] == "0");
    if (M > 0 && ToFloat(st.full) == 0)
        zero = true;
    if (zero && ui.question("检测到有分值设置为零分，可能需要重新设置。是否现在退出评分？", "评分",
                            core::GoOn::WithNo))
        return Outcome::Stopped;
    // 12: the key characters.
    const std::string K = StripSeparators(st.singleKey);
    if (K.size() != static_cast<std::size_t>(S)) {
        ui.message(keyLengthText, ws.Caption, Icon::Warning);
        return Outcome::Stopped;
    }
    // 13: the multiple-choice keys.
    std::vector<std::string> keys;
    const std::string multi = text::Trim(st.multiKey);
    if (M > 0 && !multi.empty()) {
        std::size_t start = 0;
        for (;;) {
            std::size_t semi = multi.find(';', start);
            std::string piece = multi.substr(start, semi == std::string::npos ? std::string::npos
                                                                                : semi - start);
            if (piece.empty() || piece.size() > 4)
                throw core::AppError("不定项标准答案输入错误");
            keys.push_back(piece);
            if (semi == std::string::npos)
                break;
            start = semi + 1;
        }
    }
    const int N = static_cast<int>(keys.size());

    // The sheet loop.
    RunStatistics stats;
    stats.S = S;
    stats.M = M;
    stats.key = K;
    const auto positions = static_cast<std::size_t>(S + std::max(M, N) + 1);
    for (auto* v : {&stats.countA, &stats.countB, &stats.countC, &stats.countD})
        v->assign(positions, 0);
    stats.fullCount.assign(static_cast<std::size_t>(std::max(M, N) + 1), 0);
    stats.pointSum.assign(static_cast<std::size_t>(std::max(M, N) + 1), 0.0);
    stats.records = view.recordCount();
    LazyNumber full(st.full), partial(st.partial);

    const int contentField = view.fieldIndex(f.Content);
    const int idField = view.fieldIndex(f.ID);
    const int scoreField = view.fieldIndex(f.Score);
    const db::Field& score = view.field(scoreField);
    // Every question of the run must have its field.
    for (int k = 1; k <= S + N; ++k)
        (void)view.fieldIndex("f" + std::to_string(k));

    // One UPDATE per sheet with its per-question points and its total; the
    // questions keyed "x" keep their fields. A sheet whose content stops at S
    // leaves the multiple-choice fields alone.
    db::Connection& connection = ws.ADOConnection2;
    std::vector<int> written[2];
    std::optional<db::Statement> update[2];
    for (int part = 0; part < 2; ++part) {
        std::string sql = "UPDATE " + db::jet::QuoteName(view.baseTable()) + " SET ";
        for (int k = 1; k <= S; ++k)
            if (K[static_cast<std::size_t>(k - 1)] != 'x')
                written[part].push_back(k);
        for (int j = 1; part == 1 && j <= N; ++j)
            if (keys[static_cast<std::size_t>(j - 1)] != "x")
                written[part].push_back(S + j);
        for (int k : written[part])
            sql += db::jet::QuoteName(view.field(view.fieldIndex("f" + std::to_string(k))).baseColumn) +
                   " = ?, ";
        sql += db::jet::QuoteName(score.baseColumn) + " = ? WHERE rowid = ?";
        update[part].emplace(connection.handle(), sql);
    }

    SheetReader reader(view, connection, view.field(contentField).baseColumn,
                       view.field(idField).baseColumn);

    const bool ownTransaction = !connection.inTransaction();
    view.disableControls();
    if (ownTransaction)
        connection.begin();
    auto restoreView = [&] {
        view.refresh();
        view.enableControls();
        ui.progress("", 0, 0);
    };
    try {
        std::vector<double> points(static_cast<std::size_t>(S + N + 1), 0.0);
        // Every decision depends only on the byte at a position: work each
        // out once for all 256 bytes.
        std::vector<std::array<float, 256>> singleEarns(static_cast<std::size_t>(S + 1));
        for (int k = 1; k <= S; ++k) {
            const float worth = k <= c[0]                 ? p[0]
                                : k <= c[0] + c[1]        ? p[1]
                                : k <= c[0] + c[1] + c[2] ? p[2]
                                                          : p[3];
            for (int b = 0; b < 256; ++b)
                singleEarns[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] =
                    SingleRight(static_cast<char>(b), K[static_cast<std::size_t>(k - 1)], f.FullMatch)
                        ? worth
                        : 0.0f;
        }
        std::vector<std::array<Credit, 256>> multiCredit(static_cast<std::size_t>(N + 1));
        for (int b = 0; b < 256; ++b) {
            const std::string letters = MarkToLetters(static_cast<char>(b));
            for (int j = 1; j <= N; ++j)
                multiCredit[static_cast<std::size_t>(j)][static_cast<std::size_t>(b)] =
                    MultiCredit(letters, keys[static_cast<std::size_t>(j - 1)], f.yuwen_m);
        }
        long long done = 0;
        for (view.first(); !view.eof(); view.next()) {
            const auto& [content, id] = reader.sheet(view.recNo());
            const bool hasMulti = content.size() > static_cast<std::size_t>(S);
            const std::size_t needed = static_cast<std::size_t>(hasMulti ? S + N : S);
            if (content.size() < needed)
                throw ShortContent{id, content.size(), needed};
            const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
            double total = 0;
            for (int k = 1; k <= S; ++k) {
                const unsigned char code = bytes[k - 1];
                const float earned = singleEarns[static_cast<std::size_t>(k)][code];
                total += static_cast<double>(earned);
                points[static_cast<std::size_t>(k)] = static_cast<double>(earned);
                const auto i = static_cast<std::size_t>(k);
                switch (SingleMarkLetter(static_cast<char>(code))) {
                case 'A': ++stats.countA[i]; break;
                case 'B': ++stats.countB[i]; break;
                case 'C': ++stats.countC[i]; break;
                case 'D': ++stats.countD[i]; break;
                default: break;
                }
            }
            if (hasMulti) {
                for (int j = 1; j <= N; ++j) {
                    const unsigned char code = bytes[S + j - 1];
                    double earned = 0;
                    switch (multiCredit[static_cast<std::size_t>(j)][code]) {
                    case Credit::Full:
                        earned = full.get();
                        ++stats.fullCount[static_cast<std::size_t>(j)];
                        break;
                    case Credit::Partial:
                        earned = partial.get();
                        break;
                    case Credit::None:
                        break;
                    }
                    total += earned;
                    stats.pointSum[static_cast<std::size_t>(j)] += earned;
                    points[static_cast<std::size_t>(S + j)] = earned;
                    const auto i = static_cast<std::size_t>(S + j);
                    const unsigned options = OptionBits(static_cast<char>(code));
                    stats.countA[i] += options & 1;
                    stats.countB[i] += (options >> 1) & 1;
                    stats.countC[i] += (options >> 2) & 1;
                    stats.countD[i] += (options >> 3) & 1;
                }
            }
            stats.runTotal += total;
            db::Value scoreValue;
            if (score.kind == db::FieldKind::Integer)
                scoreValue = static_cast<std::int64_t>(std::trunc(total));
            else if (score.kind == db::FieldKind::Float)
                scoreValue = score.single ? static_cast<double>(static_cast<float>(RoundTo(total, 1)))
                                          : RoundTo(total, 1);
            else
                throw core::AppError("分数字段数据类型错误，不能写入分数。");
            const int part = hasMulti ? 1 : 0;
            db::Statement& st = *update[part];
            int at = 1;
            for (int k : written[part]) {
                const double v = points[static_cast<std::size_t>(k)];
                // Jet's REAL holds 32-bit floats.
                st.bind(at++, static_cast<double>(static_cast<float>(v)));
            }
            st.bind(at++, scoreValue);
            st.bind(at, view.rowid());
            st.step();
            st.reset();
            if (++done % 4096 == 0)
                ui.progress("正在评分", done, stats.records);
        }
    } catch (const ShortContent& s) {
        if (ownTransaction)
            connection.rollback();
        restoreView();
        throw core::AppError("考号 " + s.id + " 的客观题只有 " + std::to_string(s.length) +
                            " 个字符，设置的题目需要 " + std::to_string(s.needed) +
                            " 个。评分没有进行，没有写入任何分数。");
    } catch (...) {
        for (auto& st : update)
            st->reset();
        if (ownTransaction)
            connection.commit();
        restoreView();
        throw;
    }
    for (auto& st : update)
        st.reset();
    if (ownTransaction)
        connection.commit();
    restoreView();

    // After the loop.
    const auto statistics = ws.file("统计_" + ws.TableName + ".txt");
    text::SaveLines(statistics, StatisticsLines(stats));
    ui.message("评分完成。\r\r下一步进行分班统计、综合科统计。", ws.Caption, Icon::Information);
    if (followUps.classStatistics)
        followUps.classStatistics();
    if (ui.question("是否现在生成报表?", "Quillory", core::GoOn::Offer) && followUps.report)
        followUps.report();
    shell.open(statistics.string());
    const auto history = ws.file("标准答案历史.log");
    text::AppendLines(history, HistoryLines(ws.TableName, st.singleKey, st.multiKey, HistoryTime()));
    return Outcome::Done;
}

} // namespace scoring
