#pragma once

#include "core/TableSources.h"
#include "platform/db/Connection.h"

#include <optional>
#include <string>

// The scratch database's tables: the check for a table, the import of a
// .dbf answer table into its scratch answer table, and the addition of the
// class, score and per-question columns. Statements are Jet text with every
// name in brackets; each import or addition is one transaction.
namespace core {

// The highest question number: f1 to f105 are added.
inline constexpr int MaxQuestions = 105;

[[nodiscard]] bool TableExists(db::Connection& connection, const std::string& name);

// "f1 REAL NULL, f2 REAL NULL, ..., f105 REAL NULL"
[[nodiscard]] std::string QuestionColumnList();

// Imports folder/tableName.dbf as the scratch answer table `tableName`,
// read where it is, adding CLS, the score column and f1..f105 when it has no score
// column, and CLS and the f-columns it lacks when it has one. A table that
// already exists keeps its rows and only receives the columns it lacks.
// A table read from its file gets its source recorded (`source`, or the
// facts of folder/tableName.dbf when there is such a file) in the same
// transaction.
void ImportAnswerTable(db::Connection& connection, const std::string& folder,
                       const std::string& tableName, const std::string& scoreName,
                       const std::optional<TableSource>& source = std::nullopt);

// Replaces the answer table `tableName` by a new import of its file, in one
// transaction: the stored table is dropped only once the file has been read,
// and stays as it was when the import fails. The table's source becomes
// `source`; its scoring runs are deleted. Returns how many runs there were.
int ReimportAnswerTable(db::Connection& connection, const std::string& folder,
                        const std::string& tableName, const std::string& scoreName,
                        const TableSource& source);

// Adds CLS, the score column and f1..f105 to the scratch answer table; the
// rows stay as they are, the new columns empty. The table `t` is left
// holding a copy of the table as it was.
void AddScoreColumns(db::Connection& connection, const std::string& tableName,
                     const std::string& scoreName);

} // namespace core
