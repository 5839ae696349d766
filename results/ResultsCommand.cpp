#include "results/ResultsCommand.h"

#include "core/AppError.h"
#include "core/ScratchDb.h"
#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "results/Results.h"
#include "scoring/RunLog.h"
#include "scoring/ScoredSheets.h"
#include "stats/ClassAssignment.h"
#include "stats/ClassMemory.h"
#include "stats/ClassSplit.h"

#include <algorithm>

namespace results {
namespace {

using db::jet::QuoteName;

void Refuse(core::Ui& ui, const std::string& text) {
    ui.message(text, kResultsTitle, core::Icon::Error);
}

bool HasColumn(const std::vector<db::ColumnInfo>& columns, const std::string& name) {
    const std::string wanted = text::Lower(name);
    return std::any_of(columns.begin(), columns.end(),
                       [&](const db::ColumnInfo& c) { return text::Lower(c.name) == wanted; });
}

// Where the sheets of a scored answer table are and what goes with them.
struct TableLayout {
    std::string table;
    std::string examNumber; // the exam-number column
    std::string score;      // the score column
    int questions = 0;      // f1 .. f<questions>
    // The roster `ids` joined on the exam number: for its StudClass (the
    // predefined classes) and, when it has the column, its StudName.
    bool rosterClasses = false;
    bool rosterNames = false;
};

// The open table's columns as the command reads them: the exam number and
// score columns must be there; the questions are f1..fN as far as they go.
TableLayout LayoutOf(core::Workspace& ws, const stats::ClassSettings& classes, bool roster) {
    const auto columns = ws.connection.columns(ws.TableName);
    for (const std::string& name : {ws.Fields.ID, ws.Fields.Score})
        if (!HasColumn(columns, name))
            throw core::AppError("表 " + ws.TableName + " 中没有字段 " + name + "。");
    TableLayout l;
    l.table = ws.TableName;
    l.examNumber = ws.Fields.ID;
    l.score = ws.Fields.Score;
    while (l.questions < classes.questions &&
           HasColumn(columns, "f" + std::to_string(l.questions + 1)))
        ++l.questions;
    l.rosterClasses = classes.predefined;
    if (roster) {
        const auto rosterColumns = ws.connection.columns("ids");
        l.rosterNames = HasColumn(rosterColumns, "id") && HasColumn(rosterColumns, "StudName");
    }
    return l;
}

// What one aggregate read of the table tells: the sheets with a score, and
// every question with the most any sheet scored on it as its full points, up
// to the last question with points on any sheet (the columns after it were
// not scored).
struct ColumnFigures {
    long long scored = 0;
    std::vector<Question> questions;
};

ColumnFigures ReadColumnFigures(db::Connection& c, const TableLayout& l) {
    std::string sql = "SELECT COUNT(" + QuoteName(l.score) + ")";
    for (int k = 1; k <= l.questions; ++k)
        sql += ", MAX(f" + std::to_string(k) + ")";
    db::Statement st = c.prepare(sql + " FROM " + QuoteName(l.table));
    ColumnFigures f;
    if (!st.step())
        return f;
    f.scored = st.columnInt(0);
    std::size_t scoredColumns = 0;
    for (int k = 1; k <= l.questions; ++k) {
        const db::Value most = st.column(k);
        if (!db::IsNull(most))
            scoredColumns = static_cast<std::size_t>(k);
        const double full = db::IsNull(most) ? 0.0 : db::Query::ToFloat(most);
        f.questions.push_back({"f" + std::to_string(k), std::max(0.0, full)});
    }
    f.questions.resize(scoredColumns);
    return f;
}

// The columns the workbook reads: the exam number, the score, the points
// of every question as stored, and the roster's class and name.
scoring::SheetColumns ColumnsOf(const TableLayout& l) {
    scoring::SheetColumns c;
    c.table = l.table;
    c.examNumber = l.examNumber;
    c.score = l.score;
    for (int k = 1; k <= l.questions; ++k)
        c.values.push_back("f" + std::to_string(k));
    c.rosterClass = l.rosterClasses;
    c.rosterName = l.rosterNames;
    return c;
}

// The sheets of the table, telling the user before the walk in exam-number
// order sorts them.
class SortingTold : public scoring::SheetSource {
  public:
    SortingTold(scoring::SheetSource& inner, core::Ui& ui) : mInner(inner), mUi(ui) {}
    void forEach(const scoring::SheetVisit& visit) override {
        mUi.progress("按考号排序", 0, -1);
        mInner.forEach(visit);
    }
    void forEachInAnyOrder(const scoring::SheetVisit& visit) override {
        mInner.forEachInAnyOrder(visit);
    }

  private:
    scoring::SheetSource& mInner;
    core::Ui& mUi;
};

double SumOfFullPoints(const std::vector<Question>& questions) {
    double sum = 0;
    for (const Question& q : questions)
        sum += q.full;
    return sum;
}

Options EngineOptions(const ResultsSettings& s, double fullMarks, core::Ui& ui) {
    Options o;
    o.fullMarks = fullMarks;
    o.pass = s.pass;
    o.excellent = s.excellent;
    o.low = s.low;
    o.bandWidth = s.bandWidth;
    o.rowsPerSheet = s.rowsPerSheet;
    o.progress = [&ui](const std::string& what, long long done, long long total) {
        ui.progress(what, done, total);
    };
    return o;
}

// The full marks of the table's last scoring run: the points of the
// questions that count (keys "x" and "z" and questions worth nothing left
// out, as the analysis leaves them out); nullopt for a table never scored or
// a run whose settings no longer hold together.
std::optional<double> FullMarksOfLastRun(core::Workspace& ws) {
    auto last = scoring::LastRun(ws.connection, ws.TableName);
    if (!last)
        return std::nullopt;
    try {
        double full = 0;
        for (const scoring::RunQuestion& q : scoring::AcceptedRun(*last).questions)
            if (q.leftOut == scoring::LeftOut::No)
                full += static_cast<double>(q.points);
        return full;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The checks before anything is read; false after the message.
bool ReadyToWrite(core::Workspace& ws, core::Ui& ui, const stats::ClassSettings& classes) {
    if (ws.TableName.empty() || !core::TableExists(ws.connection, ws.TableName)) {
        ui.message("请先打开卷面数据库DBF文件并评好分。", kResultsTitle, core::Icon::Information);
        return false;
    }
    if (!classes.predefined && !stats::ClassSettingsAreSound(classes, ui, kResultsTitle))
        return false;
    if (classes.predefined && !core::TableExists(ws.connection, "ids")) {
        Refuse(ui, "找不到表 ids 。请检查 data.mdb。");
        return false;
    }
    return true;
}

// True when `ids` can give the classes and holds at least half of the
// table's distinct exam numbers, joined as the workbook joins it.
bool RosterCoversTable(core::Workspace& ws) {
    if (!core::TableExists(ws.connection, "ids"))
        return false;
    const auto columns = ws.connection.columns("ids");
    if (!HasColumn(columns, "id") || !HasColumn(columns, "StudClass"))
        return false;
    const std::string id = "t." + QuoteName(ws.Fields.ID);
    db::Statement st = ws.connection.prepare(
        "SELECT COUNT(DISTINCT " + id + "), COUNT(DISTINCT r.rid) FROM " + QuoteName(ws.TableName) +
        " AS t LEFT JOIN (SELECT DISTINCT id AS rid FROM ids) AS r ON " + id + " = r.rid");
    if (!st.step())
        return false;
    const std::int64_t distinct = st.columnInt(0), onRoster = st.columnInt(1);
    return distinct > 0 && 2 * onRoster >= distinct;
}

// "所有答卷都分在同一个班（20），…" when every scored sheet fell into one
// class while the settings the class dialog suggests split the table into
// several; empty otherwise.
std::string OneClassNotice(core::Workspace& ws, const stats::ClassSettings& used,
                           const std::string& onlyClass) {
    const auto suggestion = stats::SuggestClasses(ws, used.codeLength > 0 ? used.codeLength : 2);
    if (!suggestion)
        return {};
    stats::ClassSettings suggested = stats::Applied(stats::ClassSettings{}, *suggestion);
    suggested.codeLength = used.codeLength > 0 ? used.codeLength : 2;
    const stats::ClassSplit split = stats::SplitTable(ws, suggested);
    if (!split.problem.empty() || split.classes.size() < 2)
        return {};
    return "所有答卷都分在同一个班（" + onlyClass + "），考号显示可能有 " +
           std::to_string(split.classes.size()) + " 个班；请设置考号特征或导入学生名单。";
}

} // namespace

stats::ClassSettings ClassesForResults(core::Workspace& ws, const stats::ClassSettings& opening) {
    ws.connect();
    stats::ClassSettings chosen = opening;
    if (RosterCoversTable(ws))
        chosen.predefined = true;
    else if (auto remembered = stats::RememberedClassSettings(ws.connection, ws.TableName))
        chosen = *remembered;
    else if (auto suggestion = stats::SuggestClasses(ws, opening.codeLength))
        chosen = stats::Applied(opening, *suggestion);
    chosen.questions = opening.questions;
    chosen.comprehensive = false;
    return chosen;
}

ResultsRun WriteResults(core::Workspace& ws, core::Ui& ui, const stats::ClassSettings& classes,
                        const ResultsSettings& settings) {
    ResultsRun run;
    ws.connect();
    if (!ReadyToWrite(ws, ui, classes))
        return run;
    TableLayout layout = LayoutOf(ws, classes, core::TableExists(ws.connection, "ids"));
    if (layout.questions < 1) {
        Refuse(ui,
               "选择题数目为 " + std::to_string(classes.questions) + "，表中没有可分析的题目 f1。");
        return run;
    }
    ColumnFigures figures = ReadColumnFigures(ws.connection, layout);
    if (figures.scored == 0) {
        Refuse(ui, "表 " + ws.TableName + " 中没有评过分的答卷。请先评分。");
        return run;
    }
    run.questions = std::move(figures.questions);
    layout.questions = static_cast<int>(run.questions.size());
    if (settings.fullMarks) {
        run.fullMarksFrom = FullMarksFrom::Given;
        run.fullMarks = *settings.fullMarks;
    } else if (auto fromRun = FullMarksOfLastRun(ws)) {
        run.fullMarksFrom = FullMarksFrom::LastRun;
        run.fullMarks = *fromRun;
    } else {
        run.fullMarksFrom = FullMarksFrom::ScoreColumns;
        run.fullMarks = SumOfFullPoints(run.questions);
    }
    const Options options = EngineOptions(settings, run.fullMarks, ui);
    if (const std::string bad = CheckOptions(options); !bad.empty()) {
        Refuse(ui, bad);
        return run;
    }
    const stats::ClassAssignment assignment(
        classes, classes.predefined ? stats::PredefinedClassCodes(ws.connection)
                                    : std::vector<std::string>{});
    scoring::TableSheets table(ws.connection, ColumnsOf(layout));
    SortingTold sheets(table, ui);
    // The classes that hold a sheet with a score.
    std::vector<bool> scored(assignment.codes().size(), false);
    const ClassOf classOf = [&](const scoring::Sheet& s) {
        const int c = static_cast<int>(assignment.classOf(
            *s.storedExamNumber,
            layout.rosterClasses ? stats::AsClassColumn(*s.rosterClass) : db::Value{}));
        if (c >= 0 && static_cast<std::size_t>(c) < scored.size() && !db::IsNull(*s.score))
            scored[static_cast<std::size_t>(c)] = true;
        return c;
    };
    run.written = WriteResultsWorkbook(ws.file(WorkbookName(ws.TableName)), sheets, classOf,
                                       assignment.codes(), run.questions, options);
    run.outcome = core::Outcome::Done;
    stats::RememberClassSettings(ws.connection, ws.TableName, classes);
    if (std::count(scored.begin(), scored.end(), true) == 1 && run.written.unclassed == 0)
        run.oneClassNotice =
            OneClassNotice(ws, classes,
                           assignment.codes()[static_cast<std::size_t>(
                               std::find(scored.begin(), scored.end(), true) - scored.begin())]);
    return run;
}

} // namespace results
