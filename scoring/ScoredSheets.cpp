#include "scoring/ScoredSheets.h"

#include "platform/db/JetSql.h"
#include "platform/db/PackedReals.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"

#include <algorithm>
#include <unordered_map>

namespace scoring {
namespace {

using db::jet::QuoteName;

constexpr std::int64_t kProgressStep = 4096;
// Rows read whole at a time in storage order before they are visited.
constexpr int kStorageBatch = 4096;
// Rowids asked for at a time by a walk of given rowids.
constexpr int kRowidBatch = 256;

// Where the parts of a sheet are among the result columns of a walk: the
// rowid and the exam number first, then the content, the score, the
// roster's class and name as asked for (-1 when not), the values asked for,
// and the packed points last.
struct ResultColumns {
    static constexpr int rowid = 0, examNumber = 1;
    int content = -1, score = -1, rosterClass = -1, rosterName = -1, values = 0, points = 0;

    explicit ResultColumns(const SheetColumns& c) {
        int next = examNumber + 1;
        auto place = [&next](bool read) { return read ? next++ : -1; };
        content = place(!c.content.empty());
        score = place(!c.score.empty());
        rosterClass = place(c.rosterClass || c.rosterName);
        rosterName = place(c.rosterClass || c.rosterName);
        values = next;
        points = next + static_cast<int>(c.values.size());
    }
};

// The roster, one entry per exam number, joined as the class statistics
// join it (sheet number = ids.id).
std::string RosterJoin(const SheetColumns& c) {
    if (!c.rosterClass && !c.rosterName)
        return {};
    return " LEFT JOIN (SELECT id AS rid, " + std::string(c.rosterClass ? "StudClass" : "NULL") +
           " AS rclass, " + std::string(c.rosterName ? "StudName" : "NULL") +
           " AS rname FROM ids GROUP BY id) AS r ON t." + QuoteName(c.examNumber) + " = r.rid";
}

// The rows of the table, or of the rowids in `chosen`, in exam-number
// order, ties by rowid. Only the rowids are sorted; the LIMIT keeps the
// subquery's order, and CROSS JOIN keeps it the outer loop.
std::string InExamOrder(const std::string& columnList, const SheetColumns& c,
                        const char* chosen = nullptr) {
    const std::string table = QuoteName(c.table), examNumber = QuoteName(c.examNumber);
    const std::string rowids =
        chosen ? std::string("SELECT s.rowid AS r FROM ") + chosen + " AS k CROSS JOIN " + table +
                     " AS s ON s.rowid = k.rowid ORDER BY s." + examNumber + ", s.rowid"
               : "SELECT rowid AS r FROM " + table + " ORDER BY " + examNumber + ", rowid";
    return "SELECT " + columnList + " FROM (" + rowids + " LIMIT -1) AS o CROSS JOIN " + table +
           " AS t ON t.rowid = o.r" + RosterJoin(c);
}

std::string Placeholders(int n) {
    std::string s = "?";
    for (int i = 1; i < n; ++i)
        s += ",?";
    return s;
}

// The score columns f1 .. f(run.columnCount()) of a run.
std::vector<std::string> ScoreColumnNames(const ExamRun& run) {
    std::vector<std::string> names;
    for (int k = 1; k <= run.columnCount(); ++k)
        names.push_back("f" + std::to_string(k));
    return names;
}

constexpr const char* kChosen = "temp.quillory_chosen_sheets";

// The temporary table of chosen rowids, dropped however the walk ends.
class ChosenRowids {
  public:
    ChosenRowids(db::Connection& connection, const std::vector<std::int64_t>& rowids)
        : mConnection(connection) {
        mConnection
            .prepare(std::string("CREATE TEMP TABLE ") + kChosen + " (rowid INTEGER PRIMARY KEY)")
            .step();
        db::Transaction tx(mConnection);
        db::Statement add =
            mConnection.prepare(std::string("INSERT INTO ") + kChosen + " VALUES (?)");
        for (std::int64_t r : rowids) {
            add.bind(1, r);
            add.step();
            add.reset();
        }
        tx.commit();
    }
    ~ChosenRowids() {
        try {
            mConnection.prepare(std::string("DROP TABLE ") + kChosen).step();
        } catch (...) {
        }
    }
    ChosenRowids(const ChosenRowids&) = delete;
    ChosenRowids& operator=(const ChosenRowids&) = delete;

  private:
    db::Connection& mConnection;
};

// Resets a statement however a read ends, so that no read stays open on the
// table while a visitor writes.
struct ResetOnExit {
    db::Statement& st;
    ~ResetOnExit() { st.reset(); }
};

} // namespace

// One row as read, kept until its sheet has been visited.
struct TableSheets::Row {
    ResultColumns at;
    std::int64_t rowid = 0;
    db::Value exam, score, rosterClass;
    std::string examText, content, rosterName;
    std::vector<std::optional<float>> points;
    std::vector<db::Value> values;

    explicit Row(const SheetColumns& c) : at(c), points(c.points.size()), values(c.values.size()) {}

    void read(const db::Statement& st) {
        rowid = st.columnInt(ResultColumns::rowid);
        exam = st.column(ResultColumns::examNumber);
        if (at.content >= 0) {
            db::Value marks = st.column(at.content);
            if (auto* text = std::get_if<std::string>(&marks))
                content.swap(*text);
            else
                content = db::IsNull(marks) ? std::string() : db::Query::ToText(marks);
        }
        if (at.score >= 0)
            score = st.column(at.score);
        if (at.rosterClass >= 0) {
            rosterClass = st.column(at.rosterClass);
            const db::Value name = st.column(at.rosterName);
            rosterName = db::IsNull(name) ? std::string() : db::Query::ToText(name);
        }
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = st.column(at.values + static_cast<int>(i));
        if (!points.empty())
            db::ReadPackedReals(st, at.points, points);
    }

    // The row of a rowid no longer in the table.
    void clear(std::int64_t id) {
        rowid = id;
        exam = score = rosterClass = db::Value{};
        content.clear();
        rosterName.clear();
        std::fill(points.begin(), points.end(), std::nullopt);
        std::fill(values.begin(), values.end(), db::Value{});
    }

    // The sheet of the row; a text exam number is handed over as stored.
    [[nodiscard]] Sheet sheet() {
        Sheet s;
        s.record = rowid;
        if (const auto* text = std::get_if<std::string>(&exam))
            s.examNumber = *text;
        else if (!db::IsNull(exam))
            s.examNumber = examText = db::Query::ToText(exam);
        s.storedExamNumber = &exam;
        s.content = content;
        s.score = &score;
        s.points = points;
        s.values = values;
        s.rosterClass = &rosterClass;
        s.rosterName = rosterName;
        return s;
    }
};

void RequireScoreColumns(const db::Query& view, const ExamRun& run) {
    for (const std::string& f : ScoreColumnNames(run))
        (void)view.fieldIndex(f);
}

SheetColumns FindSheetColumns(db::Connection& connection, const std::string& table,
                              const std::string& examNumber, const std::string& content,
                              const ExamRun& run) {
    const std::vector<db::ColumnInfo> present = connection.columns(table);
    std::vector<std::string> missing;
    auto find = [&](const std::string& name) {
        for (const db::ColumnInfo& c : present)
            if (text::EqualNoCase(c.name, name))
                return c.name;
        missing.push_back(name);
        return name;
    };
    SheetColumns columns;
    columns.table = table;
    columns.examNumber = find(examNumber);
    columns.content = find(content);
    for (const std::string& f : ScoreColumnNames(run))
        columns.points.push_back(find(f));
    if (!missing.empty()) {
        std::string names;
        for (const std::string& m : missing)
            names += (names.empty() ? "" : "、") + m;
        throw RunError("表 " + table + " 中已没有上次评分用到的字段：" + names +
                       "。表已不符合上次评分的设置，分析没有进行。");
    }
    return columns;
}

TableSheets::TableSheets(db::Connection& connection, SheetColumns columns)
    : mConnection(connection), mColumns(std::move(columns)) {
    mColumnList = "t.rowid, t." + QuoteName(mColumns.examNumber);
    if (!mColumns.content.empty())
        mColumnList += ", t." + QuoteName(mColumns.content);
    if (!mColumns.score.empty())
        mColumnList += ", t." + QuoteName(mColumns.score);
    if (mColumns.rosterClass || mColumns.rosterName)
        mColumnList += ", r.rclass, r.rname";
    for (const std::string& v : mColumns.values)
        mColumnList += ", t." + QuoteName(v);
    // The score columns come packed, a hundred to a result column: reading
    // them one by one would cost most of the walk.
    if (!mColumns.points.empty()) {
        db::RegisterPackedReals(mConnection);
        std::vector<std::string> points;
        for (const std::string& f : mColumns.points)
            points.push_back("t." + QuoteName(f));
        mColumnList += ", " + db::PackedRealsList(points);
    }
    mFrom = " FROM " + QuoteName(mColumns.table) + " AS t" + RosterJoin(mColumns);
}

std::int64_t TableSheets::sizeHint() const {
    if (!mCount) {
        db::Statement count =
            mConnection.prepare("SELECT count(*) FROM " + QuoteName(mColumns.table));
        mCount = count.step() ? count.columnInt(0) : 0;
    }
    return *mCount;
}

void TableSheets::onProgress(std::function<void(int, std::int64_t)> progress) {
    mProgress = std::move(progress);
}

void TableSheets::forEach(const SheetVisit& visit) {
    stream(InExamOrder(mColumnList, mColumns), visit);
}

void TableSheets::forEachInAnyOrder(const SheetVisit& visit) {
    stream("SELECT " + mColumnList + mFrom + " ORDER BY t.rowid", visit);
}

void TableSheets::forEachRecord(const std::vector<std::int64_t>& records, const SheetVisit& visit) {
    if (records.empty())
        return;
    ChosenRowids chosen(mConnection, records);
    stream(InExamOrder(mColumnList, mColumns, kChosen), visit);
}

void TableSheets::stream(const std::string& select, const SheetVisit& visit) {
    const int walk = mWalks++;
    db::Statement rows = mConnection.prepare(select);
    Row row(mColumns);
    std::int64_t done = 0;
    while (rows.step()) {
        row.read(rows);
        visit(row.sheet());
        if (++done % kProgressStep == 0 && mProgress)
            mProgress(walk, done);
    }
}

void TableSheets::forEachBeforeWriting(const SheetVisit& visit,
                                       const std::function<void(std::int64_t)>& batchDone) {
    const std::string select = "SELECT " + mColumnList + mFrom;
    const std::string limit = " ORDER BY t.rowid LIMIT " + std::to_string(kStorageBatch);
    db::Statement first = mConnection.prepare(select + limit);
    db::Statement next = mConnection.prepare(select + " WHERE t.rowid > ?" + limit);
    std::vector<Row> batch(static_cast<std::size_t>(kStorageBatch), Row(mColumns));
    std::int64_t done = 0;
    for (db::Statement* read = &first;; read = &next) {
        if (read == &next)
            next.bind(1, batch.back().rowid);
        std::size_t count = 0;
        {
            ResetOnExit resetting{*read};
            while (count < batch.size() && read->step())
                batch[count++].read(*read);
        }
        for (std::size_t i = 0; i < count; ++i)
            visit(batch[i].sheet());
        done += static_cast<std::int64_t>(count);
        if (batchDone)
            batchDone(done);
        if (count < batch.size())
            return;
    }
}

void TableSheets::forEachOfBeforeWriting(const RowidFeed& feed, const SheetVisit& visit) {
    db::Statement read = mConnection.prepare(
        "SELECT " + mColumnList + mFrom + " WHERE t.rowid IN (" + Placeholders(kRowidBatch) + ")");
    std::vector<Row> batch(static_cast<std::size_t>(kRowidBatch), Row(mColumns));
    std::vector<std::int64_t> rowids(static_cast<std::size_t>(kRowidBatch));
    std::unordered_map<std::int64_t, std::size_t> slot;
    while (const std::size_t count = std::min(feed(rowids), rowids.size())) {
        slot.clear();
        {
            ResetOnExit resetting{read};
            for (std::size_t i = 0; i < rowids.size(); ++i) {
                if (i < count) {
                    read.bind(static_cast<int>(i) + 1, rowids[i]);
                    slot[rowids[i]] = i;
                    batch[i].clear(rowids[i]);
                } else {
                    read.bind(static_cast<int>(i) + 1, std::monostate{});
                }
            }
            while (read.step())
                if (auto it = slot.find(read.columnInt(ResultColumns::rowid)); it != slot.end())
                    batch[it->second].read(read);
        }
        for (std::size_t i = 0; i < count; ++i)
            visit(batch[i].sheet());
    }
}

} // namespace scoring
