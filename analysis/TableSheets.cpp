#include "analysis/TableSheets.h"

#include "analysis/Run.h"
#include "platform/db/JetSql.h"
#include "platform/db/PackedReals.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace analysis {
namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr std::int64_t kProgressStep = 4096;

// The rows of the table, or of the rowids in `chosen`, in exam-number
// order, ties by rowid. Only the rowids are sorted; the LIMIT keeps the
// subquery's order, and CROSS JOIN keeps it the outer loop.
std::string InExamOrder(const std::string& columnList, const std::string& table,
                        const std::string& examNumber, const char* chosen = nullptr) {
    const std::string rowids =
        chosen ? std::string("SELECT s.rowid AS r FROM ") + chosen + " AS k CROSS JOIN " + table +
                     " AS s ON s.rowid = k.rowid ORDER BY s." + examNumber + ", s.rowid"
               : "SELECT rowid AS r FROM " + table + " ORDER BY " + examNumber + ", rowid";
    return "SELECT " + columnList + " FROM (" + rowids + " LIMIT -1) AS o CROSS JOIN " + table +
           " AS t ON t.rowid = o.r";
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

} // namespace

SheetColumns FindSheetColumns(db::Connection& connection, const std::string& table,
                              const std::string& examNumber, const std::string& content,
                              int scoreColumns) {
    const std::vector<db::ColumnInfo> present = connection.columns(table);
    std::vector<std::string> missing;
    auto find = [&](const std::string& name) {
        for (const db::ColumnInfo& c : present)
            if (SameName(c.name, name))
                return c.name;
        missing.push_back(name);
        return name;
    };
    SheetColumns columns;
    columns.table = table;
    columns.examNumber = find(examNumber);
    columns.content = find(content);
    for (int k = 1; k <= scoreColumns; ++k)
        columns.points.push_back(find("f" + std::to_string(k)));
    if (!missing.empty()) {
        std::string names;
        for (const std::string& m : missing)
            names += (names.empty() ? "" : "、") + m;
        throw Error("表 " + table + " 中已没有上次评分用到的字段：" + names +
                    "。表已不符合上次评分的设置，分析没有进行。");
    }
    return columns;
}

TableSheets::TableSheets(db::Connection& connection, SheetColumns columns, core::Ui& ui)
    : mConnection(connection), mColumns(std::move(columns)), mUi(ui) {
    using db::jet::QuoteName;
    const std::string table = QuoteName(mColumns.table);
    // The score columns come packed, a hundred to a result column: reading
    // them one by one would cost most of the walk.
    db::RegisterPackedReals(mConnection);
    std::vector<std::string> points;
    for (const std::string& f : mColumns.points)
        points.push_back("t." + QuoteName(f));
    mColumnList =
        "t.rowid, t." + QuoteName(mColumns.examNumber) + ", t." + QuoteName(mColumns.content);
    if (!points.empty())
        mColumnList += ", " + db::PackedRealsList(points);
    mInStorageOrder = "SELECT " + mColumnList + " FROM " + table + " AS t ORDER BY t.rowid";
    mInExamOrder = InExamOrder(mColumnList, table, QuoteName(mColumns.examNumber));
    db::Statement count = mConnection.prepare("SELECT count(*) FROM " + QuoteName(mColumns.table));
    if (count.step())
        mCount = count.columnInt(0);
}

void TableSheets::forEach(const std::function<void(const Sheet&)>& visit) {
    walk(mInExamOrder, visit);
}

void TableSheets::forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) {
    walk(mInStorageOrder, visit);
}

void TableSheets::forEachRecord(const std::vector<std::int64_t>& records,
                                const std::function<void(const Sheet&)>& visit) {
    if (records.empty())
        return;
    ChosenRowids chosen(mConnection, records);
    walk(InExamOrder(mColumnList, db::jet::QuoteName(mColumns.table),
                     db::jet::QuoteName(mColumns.examNumber), kChosen),
         visit);
}

void TableSheets::walk(const std::string& select, const std::function<void(const Sheet&)>& visit) {
    const std::int64_t base = mCount * std::min(mWalks++, 1);
    const std::int64_t whole = mCount * 2;
    db::Statement rows = mConnection.prepare(select);
    std::vector<std::optional<float>> points(mColumns.points.size());
    std::string examNumber, content;
    std::int64_t done = 0;
    while (rows.step()) {
        Sheet sheet;
        sheet.record = rows.columnInt(0);
        const db::Value id = rows.column(1);
        if (!db::IsNull(id)) {
            examNumber = db::Query::ToText(id);
            sheet.examNumber = examNumber;
        }
        db::Value marks = rows.column(2);
        if (auto* text = std::get_if<std::string>(&marks))
            content.swap(*text);
        else
            content = db::IsNull(marks) ? std::string() : db::Query::ToText(marks);
        sheet.content = content;
        // NULL is nullopt; a value that is no number becomes NaN, which the
        // analysis refuses as a point no scoring run writes.
        db::ReadPackedReals(rows, 3, points);
        sheet.points = points;
        visit(sheet);
        if (++done % kProgressStep == 0)
            mUi.progress("正在进行试卷分析", base + done, std::max(whole, base + done));
    }
}

} // namespace analysis
