#include "core/ViewCommands.h"
#include "core/OpenTable.h"
#include "core/ViewOrder.h"

#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"

namespace core {

void SortByColumn(Workspace& ws, const std::string& column) {
    SortView(ws, column, SortOrder::Ascending);
}

void ReadingOrder(Workspace& ws) {
    db::Query& v = ws.view;
    if (!v.isOpen())
        return;
    v.close();
    v.setSql("SELECT * FROM " + db::jet::Bracket(ws.TableName));
    v.open();
}

bool RequireOpenView(Workspace& ws, Ui& ui) {
    if (ws.view.isOpen())
        return true;
    ui.message("请先打开卷面数据表DBF文件。", Title(ws), Icon::Information);
    return false;
}

namespace {

// Runs the user's statement on the scratch database only; a statement that
// fails leaves the previous view open.
int RunUserStatement(db::Query& v, const std::string& statement, bool returnsRows) {
    db::CheckUserStatement(statement);
    db::UserStatements own(v.connection());
    const std::string kept = v.sqlText();
    v.close();
    v.setSql(statement);
    try {
        int changed = 0;
        if (returnsRows) {
            v.open();
            return 0;
        }
        changed = v.execSql();
        v.close();
        v.setSql(kept);
        v.open();
        return changed;
    } catch (const db::Error& e) {
        v.close();
        v.setSql(kept);
        v.open();
        const std::string& refused = v.connection().refusedAction();
        if (!refused.empty())
            throw db::Error("自定义SQL语句只作用于临时数据库，不能使用 " + refused +
                            "。\n语句: " + statement);
        throw;
    }
}

} // namespace

int CustomSql(Workspace& ws, Ui& ui, const std::string& statement, bool returnsRows) {
    if (!RequireOpenView(ws, ui))
        return -1;
    return RunUserStatement(ws.view, statement, returnsRows);
}

} // namespace core
