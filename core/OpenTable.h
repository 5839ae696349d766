#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

#include <filesystem>
#include <string>
#include <vector>

namespace core {

// The opened file's name up to the first ".dbf", found without regard to
// case (A.DBF gives A, x.dbf.bak gives x).
[[nodiscard]] std::string TableNameOf(const std::string& fileName);

// The title of the window and of the commands' messages: "Quillory", or
// "Quillory - <table>" once a table has been opened (also when its opening
// failed after the name was known).
[[nodiscard]] std::string Title(const Workspace& ws);

// What an opening leaves for the front end to show.
struct OpenedTable {
    std::string status;                 // "记录数:45  题目数:60"
    bool scoringEnabled = true;         // scoring is offered
    std::vector<std::string> sortItems; // the columns the view can be sorted by
    // Set when the table is shown but cannot be scored (a score field of the
    // wrong type): an error for the front end to show.
    std::string scoringProblem;
    // What reading the .dbf noticed, one line each naming the file: the code
    // page used when it is not the Chinese one, renamed fields, values that
    // could not be read. For the status bar or stderr.
    std::vector<std::string> notes;
};

// Opens a .dbf answer table: imports it on first sight, shows it ordered by
// exam number in the table view, counts records and questions. Sets the
// workspace's TableName and QuestionCount. When it returns, the window
// resets the answer-key panels and the sort submenu. Database errors
// propagate as db::Error, a name that cannot be used as AppError.
[[nodiscard]] OpenedTable OpenAnswerTable(Workspace& ws, Ui& ui, const std::filesystem::path& file);

// The length in bytes of the longest answers text among the first records:
// stops at the first non-empty one once ten records have been visited. The
// dataset's current record stays where the scan stopped.
[[nodiscard]] int CountQuestions(db::Query& ds, const std::string& contentName);

// "记录数:45  题目数:60", or "请设置字段名" without a Content column.
[[nodiscard]] std::string StatusText(Workspace& ws);

} // namespace core
