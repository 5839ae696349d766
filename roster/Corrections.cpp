#include "roster/Corrections.h"

#include "core/AppError.h"
#include "core/ChangeLogs.h"
#include "core/KillPoint.h"
#include "core/Ui.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
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
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string& value) override {
        return value;
    }
    bool editFieldNames(core::FieldSettings&) override { return false; }
};

// Gives the row its new number, only while it still holds the number it
// was checked with (the value stored now, read under the write lock that
// the caller's transaction holds since before the check).
void ChangeNumber(core::Workspace& ws, const NumberChange& change) {
    const std::string table = db::jet::QuoteName(change.table);
    const std::string id = db::jet::QuoteName(ws.Fields.ID);
    db::Statement read =
        ws.connection.prepare("SELECT " + id + " FROM " + table + " WHERE rowid = ?");
    read.bind(1, change.rowid);
    if (!read.step())
        throw core::AppError("表 " + change.table + " 中找不到要更正的答卷。");
    const db::Value stored = read.column(0);
    read.reset();
    db::Statement update = ws.connection.prepare("UPDATE " + table + " SET " + id +
                                                 " = ? WHERE rowid = ? AND " + id + " IS ?");
    update.bind(1, change.newId);
    update.bind(2, change.rowid);
    update.bind(3, stored);
    update.step();
    db::Statement changed = ws.connection.prepare("SELECT changes()");
    if (!changed.step() || changed.columnInt(0) != 1)
        throw core::AppError("第 " + std::to_string(change.record) + " 条答卷的考号已不是 " +
                             change.oldId + "，没有更正。");
}

// Commits the change made inside `transaction`, then appends its line to
// the log opened before it: a change that is not committed is never
// logged. A log that cannot be written after the commit is said, with the
// change that it misses.
void CommitAndLog(db::Transaction& transaction, text::LogFile& log, const NumberChange& change,
                  CorrectionKind kind) {
    core::KillPoint("correction-before-commit");
    transaction.commit();
    core::KillPoint("correction-after-commit");
    try {
        log.append({CorrectionLogLine(LocalNow(), kind, change.table, change.oldId, change.newId,
                                      change.score)});
    } catch (const std::exception& e) {
        throw LoggedLate(
            change, std::string(kind == CorrectionKind::Correct ? "考号已更正" : "更正已撤销") +
                        "（表 " + change.table + " 第 " + std::to_string(change.record) + " 条，" +
                        change.oldId + " -> " + change.newId + "），但没有记入 " +
                        change.log.filename().string() + ": " + e.what());
    }
}

// The number the row has now, as ReadSheets reads it.
std::optional<std::string> NumberOfRow(core::Workspace& ws, const std::string& table,
                                       std::int64_t rowid) {
    SilentUi quiet;
    const SheetsInOrder t = ReadSheets(ws.connection, table, ws.Fields, quiet);
    for (std::size_t i = 0; i < t.rowids.size(); ++i)
        if (t.rowids[i] == rowid)
            return std::string(t.sheets.id(i));
    return std::nullopt;
}

} // namespace

const char* CorrectionLogName() {
    return core::CorrectionLogName;
}

NumberChange CorrectNumber(core::Workspace& ws, const std::string& table,
                           const Correction& correction) {
    if (table.empty() || !ws.connection.isOpen() || !ws.connection.hasTable(table))
        throw core::AppError("请先打开卷面数据库DBF文件。");
    // The write lock is taken before the numbers are read, so that no other
    // program changes them between the check and the change.
    db::Transaction transaction(ws.connection, db::Transaction::Immediate);
    SilentUi quiet;
    const SheetsInOrder t = ReadSheets(ws.connection, table, ws.Fields, quiet);
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
    text::LogFile log(change.log); // a log that cannot be written stops the correction
    ChangeNumber(ws, change);
    CommitAndLog(transaction, log, change, CorrectionKind::Correct);
    return change;
}

NumberChange CorrectionSession::correct(core::Workspace& ws, const std::string& table,
                                        const Correction& correction) {
    try {
        mDone.push_back(CorrectNumber(ws, table, correction));
    } catch (const LoggedLate& late) {
        mDone.push_back(late.change); // made, only its log line is missing: it can be undone
        throw;
    }
    return mDone.back();
}

NumberChange CorrectionSession::undoLast(core::Workspace& ws) {
    if (mDone.empty())
        throw core::AppError("没有可以撤销的更正。");
    const NumberChange& last = mDone.back();
    db::Transaction transaction(ws.connection, db::Transaction::Immediate);
    if (NumberOfRow(ws, last.table, last.rowid) != last.newId)
        throw core::AppError("第 " + std::to_string(last.record) + " 条答卷的考号已不是 " +
                             last.newId + "，不能撤销。");
    NumberChange undo = last;
    undo.oldId = last.newId;
    undo.newId = last.oldId;
    text::LogFile log(undo.log);
    ChangeNumber(ws, undo);
    try {
        CommitAndLog(transaction, log, undo, CorrectionKind::Undo);
    } catch (const LoggedLate&) {
        mDone.pop_back(); // undone, only its log line is missing
        throw;
    }
    mDone.pop_back();
    return undo;
}

} // namespace roster
