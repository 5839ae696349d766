#include "core/ViewCommands.h"

#include "platform/text/Gbk.h"

namespace core {

void SortByColumn(Workspace& ws, const std::string& column) {
    db::Query& v = ws.ADOQuery2;
    if (!v.isOpen())
        return;
    std::string sql = v.sqlText();
    std::size_t p = text::Lower(sql).find("order by ");
    if (p != std::string::npos)
        sql.erase(p);
    v.close();
    v.setSql(sql + " order by " + column);
    v.open();
}

void ReadingOrder(Workspace& ws) {
    db::Query& v = ws.ADOQuery2;
    if (!v.isOpen())
        return;
    v.close();
    v.setSql("SELECT * FROM " + ws.TableName);
    v.open();
}

bool RequireOpenView(Workspace& ws, Ui& ui) {
    if (ws.ADOQuery2.isOpen())
        return true;
    ui.message("请先打开卷面数据表DBF文件。", ws.Caption, Icon::Information);
    return false;
}

int CustomSql(Workspace& ws, Ui& ui, const std::string& statement, bool returnsRows) {
    db::Query& v = ws.ADOQuery2;
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
