#include "core/ScratchDb.h"

#include "platform/text/Gbk.h"

#include <filesystem>

namespace core {
namespace {

// The pattern with its first %s replaced by a and its second by b.
std::string Format(std::string pattern, const std::string& a, const std::string& b) {
    std::size_t p = pattern.find("%s");
    if (p != std::string::npos) {
        pattern.replace(p, 2, a);
        p = pattern.find("%s", p + a.size());
        if (p != std::string::npos)
            pattern.replace(p, 2, b);
    }
    return pattern;
}

} // namespace

void Execute(db::Query& q, const std::string& sql) {
    q.close();
    q.setSql(sql);
    q.execSql();
}

void Open(db::Query& q, const std::string& sql) {
    q.close();
    q.setSql(sql);
    q.open();
}

bool TableExists(db::Connection& connection, const std::string& name) {
    return connection.hasTable(name);
}

std::string QuestionColumnList() {
    std::string list;
    for (int n = 1; n <= MaxQuestions; ++n) {
        if (n > 1)
            list += ", ";
        list += "f" + std::to_string(n) + " REAL NULL";
    }
    return list;
}

void ImportAnswerTable(db::Query& q, const std::string& folder, const std::string& tableName,
                       const std::string& scoreName) {
    db::Connection& c = q.connection();
    db::Transaction tx(c);
    if (TableExists(c, "t"))
        Execute(q, "Drop table t");
    if (!TableExists(c, tableName)) {
        std::string source = tableName;
        std::error_code ec;
        if (text::HasDoubleByte(tableName) &&
            std::filesystem::exists(std::filesystem::path(folder) / "temp.dbf", ec))
            source = "temp";
        Execute(q, Format("select * into t from %s in \"%s\" \"dbase 5.0;\"", source, folder));
        Execute(q, Format("Select * into %s from t where 1 <> 1", tableName, ""));
    }
    Open(q, "select * from " + tableName + " where 1 <> 1");
    std::string alter;
    if (q.hasField(scoreName)) {
        // Without CLS and the per-question columns such a table could never
        // be scored: add the ones it lacks, keep its own score column.
        std::string missing;
        if (!q.hasField("CLS"))
            missing = "CLS INT NULL";
        for (int n = 1; n <= MaxQuestions; ++n) {
            std::string name = "f" + std::to_string(n);
            if (!q.hasField(name))
                missing += (missing.empty() ? "" : ", ") + name + " REAL NULL";
        }
        if (!missing.empty())
            alter = "Alter Table " + tableName + " ADD " + missing;
    } else {
        alter = "Alter Table " + tableName + " ADD CLS INT NULL, " + scoreName + " REAL NULL, " +
                QuestionColumnList();
    }
    if (!alter.empty())
        Execute(q, alter);
    // t exists only when the .dbf was read above; a table that existed
    // before keeps its rows.
    if (TableExists(c, "t"))
        Execute(q, "INSERT INTO " + tableName + " Select * from t");
    q.close();
    tx.commit();
}

void AddScoreColumns(db::Query& q, const std::string& tableName, const std::string& scoreName) {
    db::Connection& c = q.connection();
    db::Transaction tx(c);
    if (TableExists(c, "t"))
        Execute(q, "Drop table t");
    Execute(q, "select * into t from " + tableName);
    // The rows keep their place; the added columns are empty, as a refill
    // from t would leave them.
    Execute(q, "Alter Table " + tableName + " ADD CLS INT NULL, " + scoreName + " REAL NULL, " +
                   QuestionColumnList());
    q.close();
    tx.commit();
}

} // namespace core
