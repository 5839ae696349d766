#include "core/OpenTable.h"

#include "core/AppError.h"
#include "core/ScratchDb.h"
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"

#include <cctype>
#include <system_error>

namespace core {
namespace {

using db::jet::Bracket;

void RemoveTemp(const std::filesystem::path& folder) {
    std::error_code ec;
    auto temp = folder / "temp.dbf";
    if (std::filesystem::exists(temp, ec) && !std::filesystem::remove(temp, ec))
        throw AppError("不能删除文件 " + temp.string() + ": " + ec.message());
}

// Any name that can stand in brackets in a statement: no quote, no bracket,
// no control character, no leading or trailing blank.
bool UsableInSql(const std::string& name) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '\'' || c == '"' || c == '[' || c == ']' || c == '`')
            return false;
    return true;
}

// The program's own table the name collides with (compared without regard to
// case), or empty: an answer table of such a name would be overwritten or
// emptied by the program's own work.
std::string ReservedTable(const std::string& name) {
    for (const char* own : {"t", "t2", "temp", "zonghe"})
        if (text::EqualNoCase(name, own))
            return own;
    if (text::Lower(name).rfind("quillory_", 0) == 0)
        return "quillory_*";
    return {};
}

// The import is a few long statements: the front end shows that it works
// until the opening ends, however it ends.
class ImportTicking {
public:
    ImportTicking(db::Connection& c, Ui& ui, const std::string& name)
        : mConnection(c), mUi(ui), mWhat("正在打开 " + name) {
        mConnection.setTick([this] { mUi.progress(mWhat, 0, -1); });
    }
    ~ImportTicking() {
        mConnection.setTick({});
        mUi.progress("", 0, 0);
    }
    ImportTicking(const ImportTicking&) = delete;
    ImportTicking& operator=(const ImportTicking&) = delete;

private:
    db::Connection& mConnection;
    Ui& mUi;
    std::string mWhat;
};

// The columns of the answer table: of the scratch table when it is known,
// else of the .dbf (through the empty copy t2, as the import will read it;
// a name with double-byte characters is read through its copy temp.dbf).
std::vector<db::ColumnInfo> ProbeColumns(db::Connection& c, const std::filesystem::path& file,
                                         const std::string& name, bool known) {
    if (known)
        return c.columns(name);
    const std::filesystem::path folder = file.parent_path();
    std::string source = name;
    if (text::HasDoubleByte(name)) {
        std::error_code ec;
        std::filesystem::copy_file(file, folder / "temp.dbf",
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec)
            throw AppError("不能复制文件 " + file.string() + " 到 " + (folder / "temp.dbf").string() +
                           ": " + ec.message());
        source = "temp";
    }
    c.execute("select * into t2 from " + Bracket(source) + " in \"" + folder.string() +
              "\" \"dbase 5.0;\"  where 1 <> 1");
    return c.columns("t2");
}

// A table is imported with CLS, the score column and f1..f105 added; SQLite
// refuses a table of more columns than its limit, so a .dbf of too many
// fields is refused before anything is imported.
void CheckColumnRoom(const db::Connection& c, const std::filesystem::path& file) {
    constexpr int kAddedColumns = MaxQuestions + 2;
    const auto fields = static_cast<int>(db::Dbf(file).fields().size());
    const int limit = c.columnLimit();
    if (fields + kAddedColumns > limit)
        throw AppError("数据表文件 " + file.string() + " 有 " + std::to_string(fields) +
                       " 个字段，导入时还要加上 " + std::to_string(kAddedColumns) + " 列 (CLS、分数和 f1 到 f" +
                       std::to_string(MaxQuestions) + ")，共 " + std::to_string(fields + kAddedColumns) +
                       " 列，多于数据库一张表最多能有的 " + std::to_string(limit) +
                       " 列。没有导入任何记录；请删去不用的字段后再打开。");
}

bool Has(const std::vector<db::ColumnInfo>& columns, const std::string& name) {
    for (const auto& c : columns)
        if (text::EqualNoCase(c.name, name))
            return true;
    return false;
}

// Imports the table on first sight; a table without the named columns asks
// for the field names first, and gets its score columns when they are given.
void ImportOrCompleteTable(Workspace& ws, Ui& ui, const std::filesystem::path& file,
                           const std::string& name) {
    db::Connection& c = ws.connection;
    if (TableExists(c, "t2"))
        c.execute("Drop Table t2");
    const bool known = TableExists(c, name);
    if (!known)
        CheckColumnRoom(c, file);
    const auto columns = ProbeColumns(c, file, name, known);
    const std::string folder = file.parent_path().string();
    const FieldSettings& f = ws.Fields;
    if (Has(columns, f.ID) && Has(columns, f.Content) && Has(columns, f.Score)) {
        if (!known)
            ImportAnswerTable(c, folder, name, f.Score);
    } else if (ui.editFieldNames(ws.Fields)) {
        if (known)
            AddScoreColumns(c, name, ws.Fields.Score);
        else
            ImportAnswerTable(c, folder, name, ws.Fields.Score);
    }
}

void ShowOrderedByExamNumber(Workspace& ws, const std::string& name) {
    ws.view.close();
    ws.view.setSql("select * from " + Bracket(name) + " ORDER BY " + Bracket(ws.Fields.ID));
    ws.view.open();
}

// A score field that is neither a whole number nor a real cannot take scores.
bool ScoreFieldUsable(Workspace& ws) {
    int score = ws.view.findField(ws.Fields.Score);
    if (score < 0)
        return true;
    auto kind = ws.view.field(score).kind;
    return kind == db::FieldKind::Integer || kind == db::FieldKind::Float;
}

} // namespace

std::string TableNameOf(const std::string& fileName) {
    std::string lower = text::Lower(fileName);
    std::size_t p = lower.find(".dbf");
    return p == std::string::npos ? fileName : fileName.substr(0, p);
}

std::string Title(const Workspace& ws) {
    return ws.TableName.empty() ? "Quillory" : "Quillory - " + ws.TableName;
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
    std::string status = "记录数:" + std::to_string(ws.view.recordCount());
    if (!ws.view.hasField(ws.Fields.Content))
        return "请设置字段名";
    return status + "  题目数:" + std::to_string(ws.QuestionCount);
}

OpenedTable OpenAnswerTable(Workspace& ws, Ui& ui, const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path();
    const std::string name = TableNameOf(file.filename().string());
    ws.TableName = name;
    if (!UsableInSql(name))
        throw AppError("表名 '" + name + "' 不能用在 SQL 语句中: 文件名 " + file.filename().string() +
                       " 不能含有引号、方括号或控制字符，也不能以空格开头或结尾。请改名后再打开。");
    if (const std::string own = ReservedTable(name); !own.empty())
        throw AppError("表名 '" + name + "' 不能使用: 文件名 " + file.filename().string() + " 和程序自己的表 " +
                       own + " 同名（不分大小写）。请改名后再打开。");
    RemoveTemp(folder);

    ws.view.close();
    ws.connect();
    ImportTicking ticking(ws.connection, ui, name);
    ImportOrCompleteTable(ws, ui, file, name);
    ShowOrderedByExamNumber(ws, name);
    RemoveTemp(folder);

    if (ws.view.hasField(ws.Fields.Content))
        ws.QuestionCount = CountQuestions(ws.view, ws.Fields.Content);
    OpenedTable opened;
    opened.status = StatusText(ws);
    if (!ScoreFieldUsable(ws)) {
        opened.scoringEnabled = false;
        opened.scoringProblem = "分数字段的数据类型有错误，不能评分。";
        return opened;
    }
    opened.sortItems = {ws.Fields.ID, ws.Fields.Content, "CLS", ws.Fields.Score};
    return opened;
}

} // namespace core
