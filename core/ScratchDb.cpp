#include "core/ScratchDb.h"

#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"

#include <filesystem>

namespace core {
namespace {

using db::jet::Bracket;

// The external-table clause of the Jet dialect: folder/name.dbf.
std::string DbaseSource(const std::string& name, const std::string& folder) {
    return Bracket(name) + " in \"" + folder + "\" \"dbase 5.0;\"";
}

void DropIfExists(db::Connection& c, const std::string& name) {
    if (TableExists(c, name))
        c.execute("Drop table " + Bracket(name));
}

bool HasColumn(const std::vector<db::ColumnInfo>& columns, const std::string& name) {
    for (const auto& c : columns)
        if (text::EqualNoCase(c.name, name))
            return true;
    return false;
}

// The columns a table that already has its score column lacks: without CLS
// and the per-question columns it could never be scored.
std::string MissingScoringColumns(const std::vector<db::ColumnInfo>& columns) {
    std::string missing;
    if (!HasColumn(columns, "CLS"))
        missing = "CLS INT NULL";
    for (int n = 1; n <= MaxQuestions; ++n) {
        std::string name = "f" + std::to_string(n);
        if (!HasColumn(columns, name))
            missing += (missing.empty() ? "" : ", ") + name + " REAL NULL";
    }
    return missing;
}

// Reads folder/tableName.dbf into t, where the file is.
void ReadIntoT(db::Connection& c, const std::string& folder, const std::string& tableName) {
    c.execute("select * into t from " + DbaseSource(tableName, folder));
}

// Adds the columns scoring needs to the answer table, then fills it from t
// when the .dbf was read into t: a table that existed before keeps its rows.
void CompleteAndFill(db::Connection& c, const std::string& tableName,
                     const std::string& scoreName) {
    const auto columns = c.columns(tableName);
    std::string alter;
    if (HasColumn(columns, scoreName)) {
        if (std::string missing = MissingScoringColumns(columns); !missing.empty())
            alter = "Alter Table " + Bracket(tableName) + " ADD " + missing;
    } else {
        alter = "Alter Table " + Bracket(tableName) + " ADD CLS INT NULL, " + Bracket(scoreName) +
                " REAL NULL, " + QuestionColumnList();
    }
    if (!alter.empty())
        c.execute(alter);
    if (TableExists(c, "t"))
        c.execute("INSERT INTO " + Bracket(tableName) + " Select * from t");
}

} // namespace

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

void ImportAnswerTable(db::Connection& c, const std::string& folder, const std::string& tableName,
                       const std::string& scoreName, const std::optional<TableSource>& source) {
    db::Transaction tx(c);
    DropIfExists(c, "t");
    if (!TableExists(c, tableName)) {
        ReadIntoT(c, folder, tableName);
        c.execute("Select * into " + Bracket(tableName) + " from t where 1 <> 1");
        if (auto found =
                source ? source : SourceIfThere(os::FindFileNoCase(folder, tableName + ".dbf"))) {
            RecordSource(c, tableName, *found);
            RecordImport(c, tableName);
        }
    }
    CompleteAndFill(c, tableName, scoreName);
    tx.commit();
}

int ReimportAnswerTable(db::Connection& c, const std::string& folder, const std::string& tableName,
                        const std::string& scoreName, const TableSource& source) {
    db::Transaction tx(c);
    DropIfExists(c, "t");
    ReadIntoT(c, folder, tableName);
    // The stored table goes only once the file has been read whole.
    DropIfExists(c, tableName);
    c.execute("Select * into " + Bracket(tableName) + " from t where 1 <> 1");
    RecordSource(c, tableName, source);
    RecordImport(c, tableName);
    CompleteAndFill(c, tableName, scoreName);
    const int dropped = DropScoringRuns(c, tableName);
    tx.commit();
    return dropped;
}

void AddScoreColumns(db::Connection& c, const std::string& tableName,
                     const std::string& scoreName) {
    db::Transaction tx(c);
    DropIfExists(c, "t");
    c.execute("select * into t from " + Bracket(tableName));
    // The rows keep their place; the added columns are empty, as a refill
    // from t would leave them.
    c.execute("Alter Table " + Bracket(tableName) + " ADD CLS INT NULL, " + Bracket(scoreName) +
              " REAL NULL, " + QuestionColumnList());
    tx.commit();
}

} // namespace core
