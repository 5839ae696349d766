#include "scoring/RunLog.h"

#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scoring/PanelRules.h"

#include <ctime>

namespace scoring {
namespace {

// The columns after id, in the order they are written and read.
constexpr const char* kColumns =
    "table_name, run_time, segments, count1, points1, count2, points2, count3, points3, "
    "count4, points4, single_key, multi_count, full_points, partial_points, multi_key, "
    "full_match, yuwen_m";

void CreateRunsTable(db::Connection& c) {
    db::Statement create = c.prepare(
        "CREATE TABLE IF NOT EXISTS " + db::jet::QuoteName(RunsTableName) +
        " (id INTEGER PRIMARY KEY, table_name TEXT NOT NULL, run_time TEXT NOT NULL,"
        " segments INTEGER NOT NULL,"
        " count1 INTEGER NOT NULL, points1 TEXT NOT NULL, count2 INTEGER NOT NULL,"
        " points2 TEXT NOT NULL, count3 INTEGER NOT NULL, points3 TEXT NOT NULL,"
        " count4 INTEGER NOT NULL, points4 TEXT NOT NULL, single_key TEXT NOT NULL,"
        " multi_count INTEGER NOT NULL, full_points TEXT NOT NULL, partial_points TEXT NOT NULL,"
        " multi_key TEXT NOT NULL, full_match INTEGER NOT NULL, yuwen_m INTEGER NOT NULL)");
    create.step();
}

bool SegmentRead(const ScoringSettings& st, std::size_t i) {
    return i == 0 || st.enabled[i];
}

} // namespace

ExamRun RunRecordOf(const std::string& table, const ScoringSettings& typed,
                    const core::FieldSettings& fields) {
    ExamRun run;
    run.table = table;
    run.time = text::LocalTimeNow();
    run.settings = typed;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!SegmentRead(typed, i)) {
            run.settings.counts[i] = 0;
            run.settings.points[i] = "0";
        }
    }
    run.fullMatch = fields.FullMatch;
    run.yuwenM = fields.YuwenM;
    return run;
}

void RecordRun(db::Connection& connection, const ExamRun& run) {
    CreateRunsTable(connection);
    db::Statement insert =
        connection.prepare("INSERT INTO " + db::jet::QuoteName(RunsTableName) + " (" + kColumns +
                           ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const ScoringSettings& st = run.settings;
    int at = 1;
    insert.bindText(at++, run.table);
    insert.bindText(at++, run.time);
    insert.bind(at++, std::int64_t{st.segmentChoice});
    for (std::size_t i = 0; i < 4; ++i) {
        insert.bind(at++, std::int64_t{st.counts[i]});
        insert.bindText(at++, st.points[i]);
    }
    insert.bindText(at++, st.singleKey);
    insert.bind(at++, std::int64_t{st.multiCount});
    insert.bindText(at++, st.full);
    insert.bindText(at++, st.partial);
    insert.bindText(at++, st.multiKey);
    insert.bind(at++, std::int64_t{run.fullMatch ? 1 : 0});
    insert.bind(at, std::int64_t{run.yuwenM ? 1 : 0});
    insert.step();
}

std::optional<ExamRun> LastRun(db::Connection& connection, const std::string& table) {
    if (!connection.hasTable(RunsTableName))
        return std::nullopt;
    db::Statement last = connection.prepare(
        std::string("SELECT id, ") + kColumns + " FROM " + db::jet::QuoteName(RunsTableName) +
        " WHERE table_name = ? COLLATE NOCASE ORDER BY id DESC LIMIT 1");
    last.bindText(1, table);
    if (!last.step())
        return std::nullopt;
    auto text = [&](int i) { return db::Query::ToText(last.column(i)); };
    auto number = [&](int i) { return static_cast<int>(last.columnInt(i)); };
    ExamRun run;
    run.id = last.columnInt(0);
    run.table = text(1);
    run.time = text(2);
    ScoringSettings& st = run.settings;
    st.segmentChoice = number(3);
    st.enabled = SegmentsEnabled(st.segmentChoice);
    for (std::size_t i = 0; i < 4; ++i) {
        st.counts[i] = number(4 + 2 * static_cast<int>(i));
        st.points[i] = text(5 + 2 * static_cast<int>(i));
    }
    st.singleKey = text(12);
    st.multiCount = number(13);
    st.full = text(14);
    st.partial = text(15);
    st.multiKey = text(16);
    run.fullMatch = last.columnInt(17) != 0;
    run.yuwenM = last.columnInt(18) != 0;
    return run;
}

} // namespace scoring
