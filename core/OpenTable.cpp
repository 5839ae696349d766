#include "core/OpenTable.h"

#include "core/AppError.h"
#include "core/ScratchDb.h"
#include "platform/db/Error.h"
#include "platform/text/Gbk.h"

#include <cctype>
#include <system_error>

namespace core {
namespace {

void RemoveTemp(const std::filesystem::path& folder) {
    std::error_code ec;
    auto temp = folder / "temp.dbf";
    if (std::filesystem::exists(temp, ec) && !std::filesystem::remove(temp, ec))
        throw AppError("不能删除文件 " + temp.string() + ": " + ec.message());
}

// Names go into SQL text unquoted: letters, digits, "_" and Chinese only.
bool UsableInSql(const std::string& name) {
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (!(c >= 0x80 || std::isalnum(c) || c == '_'))
            return false;
    return true;
}

} // namespace

std::string TableNameOf(const std::string& fileName) {
    std::string lower = text::Lower(fileName);
    std::size_t p = lower.find(".dbf");
    return p == std::string::npos ? fileName : fileName.substr(0, p);
}

int CountQuestions(db::Query& ds, const std::string& contentName) {
    if (!ds.isOpen())
        ds.open();
    ds.first();
    int most = 0;
    int visited = 0;
    while (!ds.eof()) {
        ++visited;
        std::string content = text::Trim(ds.asText(contentName));
        if (!content.empty()) {
            int length = static_cast<int>(text::GbkWidth(content));
            if (length > most)
                most = length;
            if (visited >= 10)
                break;
        }
        ds.next();
    }
    return most;
}

std::string StatusText(Workspace& ws) {
    std::string status = "记录数:" + std::to_string(ws.ADOQuery2.recordCount());
    if (!ws.ADOQuery2.hasField(ws.Fields.Content))
        return "请设置字段名";
    return status + "  题目数:" + std::to_string(ws.QuestionCount);
}

void OpenAnswerTable(Workspace& ws, Ui& ui, const std::filesystem::path& file) {
    const std::filesystem::path folderPath = file.parent_path();
    const std::string folder = folderPath.string();
    const std::string name = TableNameOf(file.filename().string());
    ws.TableName = name;
    ws.Caption = "Quillory - " + name;
    if (!UsableInSql(name))
        throw AppError("表名 '" + name + "' 不能用在 SQL 语句中: 文件名 " + file.filename().string() +
                       " 只能由字母、数字、下划线和汉字组成。请改名后再打开。");
    RemoveTemp(folderPath);

    ws.ADOQuery2.close();
    ws.connect();
    // The import is a few long statements: let the front end show it works.
    struct Ticking {
        db::Connection& c;
        Ui& ui;
        ~Ticking() {
            c.setTick({});
            ui.progress("", 0, 0);
        }
    } ticking{ws.ADOConnection2, ui};
    const std::string working = "正在打开 " + name;
    ws.ADOConnection2.setTick([&ui, &working] { ui.progress(working, 0, -1); });
    db::Query& q = ws.aqy2;
    if (TableExists(ws.ADOConnection2, "t2"))
        Execute(q, "Drop Table t2");

    const bool known = TableExists(ws.ADOConnection2, name);
    if (known) {
        Open(q, "select * from " + name + " where 1 <> 1");
    } else {
        std::string source = name;
        if (text::HasDoubleByte(name)) {
            std::error_code ec;
            std::filesystem::copy_file(file, folderPath / "temp.dbf",
                                       std::filesystem::copy_options::overwrite_existing, ec);
            if (ec)
                throw AppError("不能复制文件 " + file.string() + " 到 " +
                               (folderPath / "temp.dbf").string() + ": " + ec.message());
            source = "temp";
        }
        Execute(q, "select * into t2 from " + source + " in \"" + folder +
                       "\" \"dbase 5.0;\"  where 1 <> 1");
        Open(q, "select * from t2 where 1 <> 1");
    }

    const FieldSettings& f = ws.Fields;
    if (q.hasField(f.ID) && q.hasField(f.Content) && q.hasField(f.Score)) {
        if (!known)
            ImportAnswerTable(q, folder, name, f.Score);
    } else if (ui.editFieldNames(ws.Fields)) {
        if (known)
            AddScoreColumns(q, name, ws.Fields.Score);
        else
            ImportAnswerTable(q, folder, name, ws.Fields.Score);
    }
    q.close();

    ws.ADOQuery2.close();
    ws.ADOQuery2.setSql("select * from " + name + " ORDER BY " + ws.Fields.ID);
    ws.ADOQuery2.open();
    RemoveTemp(folderPath);

    if (ws.ADOQuery2.hasField(ws.Fields.Content))
        ws.QuestionCount = CountQuestions(ws.ADOQuery2, ws.Fields.Content);
    ws.Status = StatusText(ws);

    int score = ws.ADOQuery2.findField(ws.Fields.Score);
    if (score >= 0) {
        auto kind = ws.ADOQuery2.field(score).kind;
        if (kind != db::FieldKind::Integer && kind != db::FieldKind::Float) {
            ws.ScoringEnabled = false;
            throw AppError("分数字段的数据类型有错误，不能评分。");
        }
    }
    ws.ScoringEnabled = true;
    ws.SortItems = {ws.Fields.ID, ws.Fields.Content, "CLS", ws.Fields.Score};
}

} // namespace core
