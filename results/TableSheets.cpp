#include "results/TableSheets.h"

#include "platform/db/JetSql.h"
#include "platform/db/Query.h"

#include <cmath>
#include <limits>

namespace results {
namespace {

using db::jet::QuoteName;

// The columns of both passes: the exam number, the score, the roster class
// and name; the rows pass adds the points from here on.
constexpr int kExam = 0, kScore = 1, kClass = 2, kName = 3, kFirstPoint = 4;

// The roster, one entry per exam number, joined as the class statistics
// join it (sheet number = ids.id).
std::string RosterJoin(const TableLayout& l) {
    return " LEFT JOIN (SELECT id AS rid, " + std::string(l.rosterClasses ? "StudClass" : "NULL") +
           " AS rclass, " + std::string(l.rosterNames ? "StudName" : "NULL") +
           " AS rname FROM ids GROUP BY id) AS r ON t." + QuoteName(l.examNumber) + " = r.rid";
}

} // namespace

TableSheets::TableSheets(db::Connection& connection, const TableLayout& layout,
                         const stats::ClassAssignment& classes,
                         std::function<void(const std::string&)> beforeSorting)
    : mConnection(connection), mLayout(layout), mClasses(classes),
      mBeforeSorting(std::move(beforeSorting)),
      mPoints(static_cast<std::size_t>(layout.questions)) {}

std::string TableSheets::selectText(Pass pass) const {
    const bool roster = mLayout.rosterClasses || mLayout.rosterNames;
    std::string sql = "SELECT t." + QuoteName(mLayout.examNumber) + ", t." +
                      QuoteName(mLayout.score) + (roster ? ", r.rclass, r.rname" : ", NULL, NULL");
    if (pass == Pass::Rows)
        for (int k = 1; k <= mLayout.questions; ++k)
            sql += ", t.f" + std::to_string(k);
    sql += " FROM " + QuoteName(mLayout.table) + " AS t";
    if (roster)
        sql += RosterJoin(mLayout);
    if (pass == Pass::Rows)
        sql += " ORDER BY t." + QuoteName(mLayout.examNumber) + ", t.rowid";
    return sql;
}

void TableSheets::rewind(Pass pass) {
    mStatement.reset();
    mPass = pass;
    if (pass == Pass::Scores)
        mScoredClasses.assign(mClasses.codes().size(), false);
    mStatement.emplace(mConnection.prepare(selectText(pass)));
    mFirstStep = true;
}

const SheetRow* TableSheets::next() {
    if (!mStatement)
        return nullptr;
    if (mFirstStep && mPass == Pass::Rows && mBeforeSorting)
        mBeforeSorting("按考号排序");
    mFirstStep = false;
    if (!mStatement->step()) {
        mStatement.reset();
        return nullptr;
    }
    const db::Statement& st = *mStatement;
    const db::Value exam = st.column(kExam);
    const db::Value score = st.column(kScore);
    mRow.classIndex = static_cast<int>(mClasses.classOf(
        exam, mLayout.rosterClasses ? stats::AsClassColumn(st.column(kClass)) : db::Value{}));
    mRow.score =
        db::IsNull(score) ? std::nullopt : std::optional<double>(db::Query::ToFloat(score));
    if (mPass == Pass::Scores) {
        if (mRow.score && mRow.classIndex >= 0 &&
            static_cast<std::size_t>(mRow.classIndex) < mScoredClasses.size())
            mScoredClasses[static_cast<std::size_t>(mRow.classIndex)] = true;
        mRow.examNumber = {};
        mRow.name = {};
        mRow.points = {};
        return &mRow;
    }
    mExam = db::Query::ToText(exam);
    mName = mLayout.rosterNames ? db::Query::ToText(st.column(kName)) : std::string();
    for (int k = 0; k < mLayout.questions; ++k) {
        const db::Value v = st.column(kFirstPoint + k);
        mPoints[static_cast<std::size_t>(k)] =
            db::IsNull(v) ? std::numeric_limits<double>::quiet_NaN() : db::Query::ToFloat(v);
    }
    mRow.examNumber = mExam;
    mRow.name = mName;
    mRow.points = mPoints;
    return &mRow;
}

std::vector<int> TableSheets::classesWithScores() const {
    std::vector<int> classes;
    for (std::size_t i = 0; i < mScoredClasses.size(); ++i)
        if (mScoredClasses[i])
            classes.push_back(static_cast<int>(i));
    return classes;
}

} // namespace results
