#include "core/ViewOrder.h"

#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"

namespace core {

void SortView(Workspace& ws, const std::string& column, SortOrder order) {
    db::Query& v = ws.view;
    if (!v.isOpen())
        return;
    std::string sql = v.sqlText();
    std::size_t p = text::Lower(sql).find("order by ");
    if (p != std::string::npos)
        sql.erase(p);
    v.close();
    v.setSql(sql + " order by " + db::jet::Bracket(column) +
             (order == SortOrder::Descending ? " DESC" : ""));
    v.open();
}

ViewOrder CurrentOrder(const db::Query& view) {
    const std::string sql = view.sqlText();
    const std::size_t p = text::Lower(sql).rfind("order by ");
    if (p == std::string::npos)
        return {};
    std::string rest = text::Trim(std::string_view(sql).substr(p + 9));
    ViewOrder found;
    std::size_t end = 0;
    if (!rest.empty() && rest.front() == '[') {
        end = rest.find(']');
        if (end == std::string::npos)
            return {};
        found.column = rest.substr(1, end - 1);
        ++end;
    } else {
        end = rest.find_first_of(" \t,");
        found.column = rest.substr(0, end);
        if (end == std::string::npos)
            end = rest.size();
    }
    const std::string direction = text::Lower(text::Trim(std::string_view(rest).substr(end)));
    if (direction == "desc")
        found.order = SortOrder::Descending;
    else if (!direction.empty() && direction != "asc")
        return {}; // several columns, or more than an order
    return found;
}

} // namespace core
