#pragma once

#include "core/Workspace.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Edits typed into the grid: each one is posted through the table view,
// appended to "编辑记录.log" in the home folder (GBK, CR LF) and kept so that
// it can be undone, newest first, for as long as the table stays open.
namespace core {

// One posted change of one cell, as it is logged and undone. The row is
// known by its rowid, so a sorted or re-sorted view still finds it.
struct CellEdit {
    std::string table;
    std::int64_t rowid = 0;
    std::string examNumber; // the row's value of the exam-number field, "" without one
    std::string column;
    db::Value before;
    db::Value after;
};

enum class EditKind { Edit, Undo };

// The name of the edits log in the home folder.
[[nodiscard]] const char* EditLogName();

// A line of the edits log: time, 编辑 or 撤销, table, exam number, column,
// the value before and the value after, separated by tabs. Tabs and line
// breaks inside a value are written as spaces, so that an entry stays one line.
[[nodiscard]] std::string EditLogLine(const std::tm& when, EditKind kind, const CellEdit& edit);

// The grid's edits of one window session. Owned by the window; every call
// goes through the workspace's table view.
class EditSession {
  public:
    // The clock of the log's time stamps; the local time unless replaced.
    std::function<std::tm()> clock;

    EditSession();

    // The table view is about to show a table anew (opened again, or another
    // one): the edits so far belong to the earlier opening and can no longer
    // be undone; undoLast says so once.
    void tableOpened();

    // Posts `value` into the view's row and column (edit, set, post) and,
    // once that is committed, logs it; the edit is remembered for undo. A
    // value equal to the one there changes and logs nothing (returns false).
    // db::Error and a log that cannot be opened propagate, the row then as
    // it was; a line that cannot be written after the commit throws
    // core::AppError saying that the edit is made but not logged (it can
    // still be undone).
    bool post(Workspace& ws, int row, int column, const db::Value& value);

    // Writes the newest edit's earlier value back into its row, found by
    // rowid in the view as it is sorted now, logs the undo and returns the
    // edit undone with the view's row it was found in (`row`). Throws
    // core::AppError saying why when it cannot: nothing to undo, the table
    // was closed or opened again since (the list is then dropped), the view
    // shows another table or not that row, or the cell no longer holds what
    // the edit left in it (that edit is then dropped from the list).
    struct Undone {
        CellEdit edit;
        int row = -1;
    };
    Undone undoLast(Workspace& ws);

    [[nodiscard]] bool canUndo() const { return !mDone.empty(); }
    [[nodiscard]] const std::vector<CellEdit>& done() const { return mDone; }

  private:
    std::vector<CellEdit> mDone; // oldest first
    bool mStale = false;         // mDone belongs to an earlier opening
    // Posts in one transaction, then logs; keeps mDone as the table is.
    void postAndLog(Workspace& ws, int row, int column, const db::Value& value, EditKind kind,
                    const CellEdit& edit);
};

} // namespace core
