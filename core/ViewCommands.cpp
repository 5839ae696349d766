#include "core/ViewCommands.h"
#include "core/OpenTable.h"

#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"

namespace core {

void SortByColumn(Workspace& ws, const std::string& column) {
    db::Query& v = ws.view;
    if (!v.isOpen())
        return;
    std::string sql = v.sqlText();
    std::size_t p = text::Lower(sql).find("order by ");
    if (p != std::string::npos)
        sql.erase(p);
    v.close();
    v.setSql(sql + " order by " + db::jet::Bracket(column));
    v.open();
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

int CustomSql(Workspace& ws, Ui& ui, const std::string& statement, bool returnsRows) {
    db::Query& v = ws.view;
    if (!RequireOpenView(ws, ui))
        return -1;
    std::string kept = v.sqlText();
    v.close();
    v.setSql(statement);
    int changed = 0;
    if (!returnsRows) {
        changed = v.execSql();
        v.close();
        v.setSql(kept);
    }
    v.open();
    return changed;
}

} // namespace core
