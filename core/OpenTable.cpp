#include "core/OpenTable.h"

#include "core/AppError.h"
#include "core/ChangeLogs.h"
#include "core/ScratchDb.h"
#include "core/TableSources.h"
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/text/Gbk.h"

#include <cctype>
#include <optional>
#include <system_error>

namespace core {
namespace {

using db::jet::Bracket;

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
        mConnection.setBusyNotice([this] {
            mUi.waiting("另一个程序正在使用数据库 " + mConnection.file().string() + "，正在等待…");
        });
    }
    ~ImportTicking() {
        mConnection.setTick({});
        mConnection.setBusyNotice({});
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
// else of the .dbf (through the empty copy t2, as the import will read it).
// The file is read where it is, whatever its name: nothing is copied.
std::vector<db::ColumnInfo> ProbeColumns(db::Connection& c, const std::filesystem::path& file,
                                         const std::string& name, bool known) {
    if (known)
        return c.columns(name);
    c.execute("select * into t2 from " + Bracket(name) + " in \"" + file.parent_path().string() +
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
                       " 个字段，导入时还要加上 " + std::to_string(kAddedColumns) +
                       " 列 (CLS、分数和 f1 到 f" + std::to_string(MaxQuestions) + ")，共 " +
                       std::to_string(fields + kAddedColumns) + " 列，多于数据库一张表最多能有的 " +
                       std::to_string(limit) + " 列。没有导入任何记录；请删去不用的字段后再打开。");
}

bool Has(const std::vector<db::ColumnInfo>& columns, const std::string& name) {
    for (const auto& c : columns)
        if (text::EqualNoCase(c.name, name))
            return true;
    return false;
}

// A known table whose file is not the one it was imported from (another
// path, another size, or another modification time over other bytes) is
// re-imported when the user says so; a file only touched is recorded anew; a known table without a
// recorded source gets this file as its source, silently. Returns the file's facts when it is to be
// re-imported. A file that is not there (the stored table opens without it) is not compared.
std::optional<TableSource> ChangedSourceToReimport(Workspace& ws, Ui& ui,
                                                   const std::filesystem::path& file,
                                                   const std::string& name) {
    const std::optional<TableSource> now = SourceIfThere(file);
    if (!now)
        return std::nullopt;
    const std::optional<TableSource> stored = StoredSource(ws.connection, name);
    if (!stored) {
        RecordSource(ws.connection, name, *now);
        return std::nullopt;
    }
    if (SameSource(*stored, *now))
        return std::nullopt;
    if (TouchedOnly(*stored, *now)) {
        RecordSource(ws.connection, name, *now);
        return std::nullopt;
    }
    const std::string alsoLost = LostChangesText(ChangesSince(ws.home(), name, stored->imported));
    if (!ui.question(ReimportQuestion(name, *stored, *now, alsoLost), Title(ws), GoOn::Replace))
        return std::nullopt;
    return now;
}

void Reimport(Workspace& ws, Ui& ui, const std::string& folder, const std::string& name,
              const TableSource& source) {
    const int dropped = ReimportAnswerTable(ws.connection, folder, name, ws.Fields.Score, source);
    ui.message(ReimportNotice(name, source, dropped), Title(ws), Icon::Information);
}

// Imports the table on first sight (or again, when its file changed and the
// user wants it); a table without the named columns asks for the field names
// first, and gets its score columns when they are given.
void ImportOrCompleteTable(Workspace& ws, Ui& ui, const std::filesystem::path& file,
                           const std::string& name) {
    db::Connection& c = ws.connection;
    // From the probe to the end of the import the opening holds the write
    // lock: two openings at once take turns instead of meeting half-way.
    db::Transaction tx(c, db::Transaction::Immediate);
    if (TableExists(c, "t2"))
        c.execute("Drop Table t2");
    const bool known = TableExists(c, name);
    const std::optional<TableSource> changed =
        known ? ChangedSourceToReimport(ws, ui, file, name) : std::nullopt;
    const bool stored = known && !changed;
    if (!stored)
        CheckColumnRoom(c, file);
    const auto columns = ProbeColumns(c, file, name, stored);
    const std::string folder = file.parent_path().string();
    const FieldSettings& f = ws.Fields;
    const bool named = Has(columns, f.ID) && Has(columns, f.Content) && Has(columns, f.Score);
    if (!named && !ui.editFieldNames(ws.Fields))
        return;
    if (changed)
        Reimport(ws, ui, folder, name, *changed);
    else if (!known)
        ImportAnswerTable(c, folder, name, ws.Fields.Score, SourceIfThere(file));
    else if (!named)
        AddScoreColumns(c, name, ws.Fields.Score);
    tx.commit();
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
    const std::string name = TableNameOf(file.filename().string());
    ws.TableName = name;
    if (!UsableInSql(name))
        throw AppError("表名 '" + name + "' 不能用在 SQL 语句中: 文件名 " +
                       file.filename().string() +
                       " 不能含有引号、方括号或控制字符，也不能以空格开头或结尾。请改名后再打开。");
    if (const std::string own = ReservedTable(name); !own.empty())
        throw AppError("表名 '" + name + "' 不能使用: 文件名 " + file.filename().string() +
                       " 和程序自己的表 " + own + " 同名（不分大小写）。请改名后再打开。");
    ws.view.close();
    ws.connect();
    ImportTicking ticking(ws.connection, ui, name);
    (void)ws.connection.takeImportNotes(); // what earlier statements read is not this opening's
    ImportOrCompleteTable(ws, ui, file, name);
    OpenedTable opened;
    opened.notes = ws.connection.takeImportNotes();
    ShowOrderedByExamNumber(ws, name);

    if (ws.view.hasField(ws.Fields.Content))
        ws.QuestionCount = CountQuestions(ws.view, ws.Fields.Content);
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
