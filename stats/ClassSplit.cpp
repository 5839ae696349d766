#include "stats/ClassSplit.h"

#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "scoring/RunLog.h"
#include "stats/ClassAssignment.h"
#include "stats/Like.h"

#include <algorithm>
#include <map>
#include <set>

namespace stats {
namespace {

using db::jet::QuoteName;

// Keeps the message a check would show, for the preview to show instead.
class KeptMessage : public core::Ui {
  public:
    void message(const std::string& text, const std::string&, core::Icon) override { kept = text; }
    bool question(const std::string&, const std::string&, core::GoOn) override { return false; }
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string&) override {
        return std::nullopt;
    }
    bool editFieldNames(core::FieldSettings&) override { return false; }
    std::string kept;
};

// The sheets' exam numbers and, with predefined classes, the class value CLS
// will hold once the run has copied the roster's StudClass: the roster's
// where the exam number is in `ids`, the stored one elsewhere.
std::string SheetKeysSql(const core::Workspace& ws, bool predefined) {
    const std::string id = "t." + QuoteName(ws.Fields.ID);
    std::string sql = "SELECT " + id;
    if (predefined)
        sql += ", CASE WHEN EXISTS (SELECT 1 FROM ids WHERE ids.id = " + id +
               ") THEN (SELECT StudClass FROM ids WHERE ids.id = " + id + ") ELSE t.CLS END";
    return sql + " FROM " + QuoteName(ws.TableName) + " AS t";
}

// Every exam number of the table, as the class statistics read it.
template <typename Each> void ForEachExamNumber(core::Workspace& ws, Each&& each) {
    db::Statement st = ws.connection.prepare(SheetKeysSql(ws, false));
    while (st.step())
        each(st.column(0));
}

void Count(ClassSplit& split, const ClassSettings& s, const ClassAssignment& classes,
           const std::string& shape, std::map<long long, long long>& perClass, const db::Value& id,
           const db::Value& cls) {
    ++split.sheets;
    const long long index = classes.classOf(id, cls);
    if (index >= 0) {
        ++split.inClasses;
        ++perClass[index];
    } else if (!s.predefined && !db::IsNull(id) && Like(shape, db::Query::ToText(id))) {
        ++split.outsideRange;
    } else {
        ++split.otherShape;
    }
}

std::string CommonPrefix(const std::string& a, const std::string& b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    while (n > 0 && n < a.size() && (static_cast<unsigned char>(a[n]) & 0xC0) == 0x80)
        --n; // never half a character
    return a.substr(0, n);
}

std::string WithoutLastChar(std::string s) {
    while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80)
        s.pop_back();
    if (!s.empty())
        s.pop_back();
    return s;
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The class numbers that `code` digits after a prefix give, for the exam
// numbers of `length` characters. A prefix ending in "0" may hold the common
// leading zero of the class codes (classes 01 to 09 share their "0"): the
// zero is given back to the codes when the codes read after the whole prefix
// are scattered (seat digits in them) and the codes read with it are not.
// The prefix is shortened accordingly; nullopt when no code is a number.
std::optional<std::pair<int, int>> RangeAfterPrefix(core::Workspace& ws, std::size_t length,
                                                    std::size_t code, std::string& prefix) {
    std::size_t zeros = 0;
    while (zeros + 1 < code && zeros < prefix.size() && prefix[prefix.size() - 1 - zeros] == '0')
        ++zeros;
    std::vector<std::set<int>> found(zeros + 1); // by the zeros given back
    ForEachExamNumber(ws, [&](const db::Value& v) {
        const std::string id = db::IsNull(v) ? std::string() : db::Query::ToText(v);
        if (text::CharCount(id) != length || id.compare(0, prefix.size(), prefix) != 0)
            return;
        for (std::size_t back = 0; back <= zeros; ++back) {
            const std::string digits = id.substr(prefix.size() - back, code);
            if (AllDigits(digits) && digits.size() <= 9)
                found[back].insert(std::stoi(digits));
        }
    });
    auto density = [](const std::set<int>& codes) {
        return codes.empty()
                   ? 0.0
                   : static_cast<double>(codes.size()) / (*codes.rbegin() - *codes.begin() + 1);
    };
    constexpr double kDense = 0.9; // a range of classes with few of them missing
    std::size_t chosen = 0;
    for (std::size_t back = 1; back <= zeros && density(found[chosen]) < kDense; ++back)
        if (density(found[back]) > density(found[chosen]))
            chosen = back;
    prefix.resize(prefix.size() - chosen);
    if (found[chosen].empty())
        return std::nullopt;
    return std::pair{*found[chosen].begin(), *found[chosen].rbegin()};
}

} // namespace

ClassSplit SplitTable(core::Workspace& ws, const ClassSettings& s) {
    ClassSplit split;
    split.predefined = s.predefined;
    KeptMessage refusal;
    if (!s.predefined && !ClassSettingsAreSound(s, refusal, "")) {
        split.problem = refusal.kept;
        return split;
    }
    try {
        ws.connect();
        std::vector<std::string> predefinedCodes;
        if (s.predefined) {
            if (!core::TableExists(ws.connection, "ids")) {
                split.problem = "找不到表 ids 。请检查 data.mdb。";
                return split;
            }
            predefinedCodes = PredefinedClassCodes(ws.connection);
        }
        const ClassAssignment classes(s, std::move(predefinedCodes));
        const std::string shape =
            s.predefined
                ? std::string()
                : PatternOf(ClassPattern(s),
                            std::string(static_cast<std::size_t>(std::max(0, s.codeLength)), '_'));
        std::map<long long, long long> perClass;
        db::Statement st = ws.connection.prepare(SheetKeysSql(ws, s.predefined));
        while (st.step())
            Count(split, s, classes, shape, perClass, st.column(0),
                  s.predefined ? AsClassColumn(st.column(1)) : db::Value{});
        for (const auto& [index, count] : perClass)
            split.classes.emplace_back(classes.codes()[static_cast<std::size_t>(index)], count);
    } catch (const db::Error& e) {
        split = ClassSplit{};
        split.problem = e.what();
    }
    return split;
}

std::string SplitSummary(const ClassSplit& split) {
    if (!split.problem.empty())
        return "按当前设置不能分班：" + split.problem;
    std::string text = "按当前设置：" + std::to_string(split.inClasses) + " 份答卷分入 " +
                       std::to_string(split.classes.size()) + " 个班";
    if (split.withoutClass() == 0)
        return text + "，没有不属于任何班的答卷。";
    text += "，" + std::to_string(split.withoutClass()) + " 份不属于任何班";
    if (split.predefined)
        return text + "（名单 ids 中没有它们的考号或班别）。";
    return text + "（班别范围以外 " + std::to_string(split.outsideRange) +
           " 份，考号前缀或长度不符 " + std::to_string(split.otherShape) + " 份）。";
}

std::string SplitClasses(const ClassSplit& split) {
    std::string text;
    for (const auto& [code, count] : split.classes)
        text += (text.empty() ? "找到的班级：" : "、") + code + " (" + std::to_string(count) + ")";
    return text;
}

std::optional<ClassSuggestion> SuggestClasses(core::Workspace& ws, int codeLength) {
    ws.connect();
    struct Shape {
        long long count = 0;
        std::string least, most;
    };
    std::map<std::size_t, Shape> byLength;
    ForEachExamNumber(ws, [&](const db::Value& v) {
        if (db::IsNull(v))
            return;
        const std::string id = db::Query::ToText(v);
        Shape& shape = byLength[text::CharCount(id)];
        if (shape.count++ == 0 || id < shape.least)
            shape.least = id;
        if (shape.count == 1 || id > shape.most)
            shape.most = id;
    });
    auto common =
        std::max_element(byLength.begin(), byLength.end(), [](const auto& a, const auto& b) {
            return a.second.count < b.second.count;
        });
    if (common == byLength.end() || common->first == 0)
        return std::nullopt;
    ClassSuggestion g;
    g.totalLength = static_cast<int>(common->first);
    const std::size_t code = static_cast<std::size_t>(std::max(0, codeLength));
    std::string prefix = CommonPrefix(common->second.least, common->second.most);
    while (!prefix.empty() && text::CharCount(prefix) + code + 1 > common->first)
        prefix = WithoutLastChar(prefix);
    if (code > 0)
        g.range = RangeAfterPrefix(ws, common->first, code, prefix);
    g.prefix = prefix;
    g.prefixMode = !prefix.empty();
    return g;
}

ClassSettings Applied(ClassSettings s, const ClassSuggestion& g) {
    s.predefined = false;
    s.prefixMode = g.prefixMode;
    s.prefix = g.prefix;
    if (!g.prefixMode)
        s.startPosition = 1;
    s.totalLength = g.totalLength;
    if (g.range) {
        s.firstClass = g.range->first;
        s.lastClass = g.range->second;
    }
    return s;
}

std::string WithoutClassNotice(long long sheets, bool predefined) {
    return "有 " + std::to_string(sheets) + " 份答卷不属于任何班级" +
           (predefined ? "（名单 ids 中没有它们的考号或班别）"
                       : "（考号的前缀、长度或班别不在设置的范围内）") +
           "，只计入了所有考生的人数和总分，没有计入任何班。";
}

bool GoOnWithoutScores(core::Workspace& ws, core::Ui& ui) {
    if (scoring::LastRun(ws.connection, ws.TableName))
        return true;
    return ui.question("表 " + ws.TableName +
                           " 还没有评分，分班统计的总分和平均分将都是 0。\r"
                           "是否仍然进行分班统计？",
                       core::Title(ws), core::GoOn::WithYes);
}

} // namespace stats
