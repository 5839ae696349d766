#include "roster/Corrections.h"

#include "core/AppError.h"
#include "core/ChangeLogs.h"
#include "core/Ui.h"
#include "platform/db/JetSql.h"
#include "platform/text/TextFile.h"
#include "roster/TableLists.h"

namespace roster {
namespace {

using db::jet::Bracket;

// A Ui for the reads of a correction, which are short and show nothing.
class SilentUi : public core::Ui {
public:
    void message(const std::string&, const std::string&, core::Icon) override {}
    bool question(const std::string&, const std::string&, core::GoOn) override { return false; }
    std::optional<std::string> input(const std::string&, const std::string&, const std::string& value) override {
        return value;
    }
    bool editFieldNames(core::FieldSettings&) override { return false; }
};

// Sets the number of the row and logs the change, both or neither.
void ChangeAndLog(core::Workspace& ws, const NumberChange& change, CorrectionKind kind) {
    db::Transaction transaction(ws.connection);
    const int changed = ws.connection.execute("UPDATE " + Bracket(change.table) + " SET " +
                                                  Bracket(ws.Fields.ID) + " = :NewId WHERE rowid = :Row",
                                              {{"NewId", change.newId}, {"Row", change.rowid}});
    if (changed != 1)
        throw core::AppError("表 " + change.table + " 中找不到要更正的答卷。");
    text::AppendLines(change.log, {CorrectionLogLine(LocalNow(), kind, change.table, change.oldId,
                                                     change.newId, change.score)});
    transaction.commit();
}

// The number the row has now, as ReadSheets reads it.
std::optional<std::string> NumberOfRow(core::Workspace& ws, const std::string& table,
                                       std::int64_t rowid) {
    SilentUi quiet;
    const TableSheets t = ReadSheets(ws.connection, table, ws.Fields, quiet);
    for (std::size_t i = 0; i < t.rowids.size(); ++i)
        if (t.rowids[i] == rowid)
            return std::string(t.sheets.id(i));
    return std::nullopt;
}

} // namespace

const char* CorrectionLogName() {
    return core::CorrectionLogName;
}

NumberChange CorrectNumber(core::Workspace& ws, const std::string& table, const Correction& correction) {
    if (table.empty() || !ws.connection.isOpen() || !ws.connection.hasTable(table))
        throw core::AppError("请先打开卷面数据库DBF文件。");
    SilentUi quiet;
    const TableSheets t = ReadSheets(ws.connection, table, ws.Fields, quiet);
    const CorrectionCheck check = CheckCorrection(t.sheets, correction);
    if (!check.refusal.empty())
        throw core::AppError("不能更正考号: " + check.refusal + "。");
    const std::uint32_t i = *check.sheet;
    NumberChange change;
    change.table = table;
    change.rowid = t.rowids[i];
    change.record = t.sheets.record(i);
    change.oldId = std::string(t.sheets.id(i));
    change.newId = correction.newId;
    change.score = t.sheets.score(i);
    change.log = ws.file(CorrectionLogName());
    ChangeAndLog(ws, change, CorrectionKind::Correct);
    return change;
}

NumberChange CorrectionSession::correct(core::Workspace& ws, const std::string& table,
                                        const Correction& correction) {
    NumberChange change = CorrectNumber(ws, table, correction);
    mDone.push_back(change);
    return change;
}

NumberChange CorrectionSession::undoLast(core::Workspace& ws) {
    if (mDone.empty())
        throw core::AppError("没有可以撤销的更正。");
    const NumberChange& last = mDone.back();
    if (NumberOfRow(ws, last.table, last.rowid) != last.newId)
        throw core::AppError("第 " + std::to_string(last.record) + " 条答卷的考号已不是 " + last.newId +
                             "，不能撤销。");
    NumberChange undo = last;
    undo.oldId = last.newId;
    undo.newId = last.oldId;
    ChangeAndLog(ws, undo, CorrectionKind::Undo);
    mDone.pop_back();
    return undo;
}

} // namespace roster
