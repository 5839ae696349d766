#include "stats/ClassMemory.h"

#include "stats/ClassAssignment.h"

#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "platform/db/Statement.h"

namespace stats {
namespace {

// The columns after table_name, in the order they are written and read.
constexpr const char* kColumns = "predefined, prefix_mode, prefix, start_position, total_length, "
                                 "code_length, first_class, last_class";

void CreateSettingsTable(db::Connection& c) {
    c.prepare(
         "CREATE TABLE IF NOT EXISTS " + db::jet::QuoteName(ClassSettingsTableName) +
         " (table_name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE, predefined INTEGER NOT NULL,"
         " prefix_mode INTEGER NOT NULL, prefix TEXT NOT NULL, start_position INTEGER NOT NULL,"
         " total_length INTEGER NOT NULL, code_length INTEGER NOT NULL, first_class INTEGER NOT "
         "NULL,"
         " last_class INTEGER NOT NULL)")
        .step();
}

} // namespace

void RememberClassSettings(db::Connection& connection, const std::string& table,
                           const ClassSettings& s) {
    if (!s.predefined && ClassPatternProblem(s))
        return; // settings no class run could use would only stop the next one
    CreateSettingsTable(connection);
    db::Statement put =
        connection.prepare("INSERT OR REPLACE INTO " + db::jet::QuoteName(ClassSettingsTableName) +
                           " (table_name, " + kColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int at = 1;
    put.bindText(at++, table);
    put.bind(at++, std::int64_t{s.predefined ? 1 : 0});
    put.bind(at++, std::int64_t{s.prefixMode ? 1 : 0});
    put.bindText(at++, s.prefix);
    for (int number : {s.startPosition, s.totalLength, s.codeLength, s.firstClass, s.lastClass})
        put.bind(at++, std::int64_t{number});
    put.step();
}

std::optional<ClassSettings> RememberedClassSettings(db::Connection& connection,
                                                     const std::string& table) {
    if (!connection.hasTable(ClassSettingsTableName))
        return std::nullopt;
    db::Statement get = connection.prepare(std::string("SELECT ") + kColumns + " FROM " +
                                           db::jet::QuoteName(ClassSettingsTableName) +
                                           " WHERE table_name = ? COLLATE NOCASE");
    get.bindText(1, table);
    if (!get.step())
        return std::nullopt;
    auto number = [&](int i) { return static_cast<int>(get.columnInt(i)); };
    ClassSettings s;
    s.predefined = get.columnInt(0) != 0;
    s.prefixMode = get.columnInt(1) != 0;
    s.prefix = db::Query::ToText(get.column(2));
    s.startPosition = number(3);
    s.totalLength = number(4);
    s.codeLength = number(5);
    s.firstClass = number(6);
    s.lastClass = number(7);
    return s;
}

ClassSettings OpeningSettings(const std::optional<ClassSettings>& remembered,
                              const DialogGuess& guess) {
    ClassSettings s;
    if (remembered) {
        s = *remembered;
    } else {
        s.prefix = guess.prefix;
        s.totalLength = guess.totalLength;
    }
    s.questions = guess.questions;
    return s;
}

} // namespace stats
