#include "core/GridEdits.h"

#include "core/AppError.h"
#include "platform/db/Query.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

#include <cstdio>
#include <optional>

namespace core {
namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string OneLine(const db::Value& v) {
    return text::LogField(db::Query::ToText(v));
}

bool SameText(const db::Value& a, const db::Value& b) {
    return db::Query::ToText(a) == db::Query::ToText(b);
}

std::string ExamNumberAt(const Workspace& ws, int row) {
    const int id = ws.view.findField(ws.Fields.ID);
    return id < 0 ? std::string() : db::Query::ToText(ws.view.valueAt(row, id));
}

// The view's row of a rowid, or -1 when the view does not show it.
int RowOf(const db::Query& v, std::int64_t rowid) {
    const int n = v.recordCount();
    for (int r = 0; r < n; ++r)
        if (v.rowidAt(r) == rowid)
            return r;
    return -1;
}

std::string Sheet(const CellEdit& e) {
    return e.examNumber.empty() ? std::string("被编辑的记录") : "考号 " + e.examNumber + " 的记录";
}

constexpr const char* BackToTable = "请用“文件 - 取消排序(读卡顺序)”回到整张表后再撤销。";

} // namespace

const char* EditLogName() {
    return "编辑记录.log";
}

std::string EditLogLine(const std::tm& when, EditKind kind, const CellEdit& edit) {
    char time[80];
    std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    std::string line = time;
    line += kind == EditKind::Edit ? "\t编辑\t" : "\t撤销\t";
    line.append(text::LogField(edit.table)).append("\t");
    line.append(text::LogField(edit.examNumber)).append("\t");
    line.append(text::LogField(edit.column)).append("\t").append(OneLine(edit.before)).append("\t");
    line.append(OneLine(edit.after));
    return line;
}

EditSession::EditSession() : clock(LocalNow) {}

void EditSession::tableOpened() {
    mStale = !mDone.empty();
}

void EditSession::postAndLog(Workspace& ws, int row, int column, const db::Value& value,
                             EditKind kind, const CellEdit& edit) {
    db::Query& v = ws.view;
    CellEdit logged = edit;
    std::optional<text::LogFile> log;
    try {
        log.emplace(ws.file(EditLogName())); // a log that cannot be written stops the edit
        db::Transaction transaction(ws.connection);
        v.moveTo(row);
        v.edit();
        v.setValue(column, value);
        v.post();
        logged.after = v.valueAt(row, column);
        transaction.commit();
    } catch (...) {
        if (v.state() == db::Query::State::Edit)
            v.cancel();
        v.refresh(); // the row as stored, the post rolled back
        throw;
    }
    if (kind == EditKind::Edit)
        mDone.push_back(logged);
    else
        mDone.pop_back();
    // The line goes in once the edit is committed, so that the log never
    // names an edit the table does not hold.
    try {
        log->append({EditLogLine(clock(), kind, logged)});
    } catch (const std::exception& e) {
        throw AppError(Sheet(logged) + "的 " + logged.column + " 已" +
                       (kind == EditKind::Edit ? "改为" : "改回") + "“" + OneLine(logged.after) +
                       "”，但没有记入 " + EditLogName() + ": " + e.what());
    }
}

bool EditSession::post(Workspace& ws, int row, int column, const db::Value& value) {
    db::Query& v = ws.view;
    if (mStale) { // a new opening: the earlier edits are gone for good
        mDone.clear();
        mStale = false;
    }
    CellEdit edit;
    edit.before = v.valueAt(row, column);
    if (SameText(edit.before, value))
        return false;
    edit.table = v.baseTable();
    edit.rowid = v.rowidAt(row);
    edit.examNumber = ExamNumberAt(ws, row);
    edit.column = v.field(column).name;
    postAndLog(ws, row, column, value, EditKind::Edit, edit);
    return true;
}

EditSession::Undone EditSession::undoLast(Workspace& ws) {
    if (mDone.empty())
        throw AppError("没有可以撤销的编辑。");
    const CellEdit last = mDone.back();
    if (mStale) {
        const std::size_t n = mDone.size();
        mDone.clear();
        mStale = false;
        throw AppError("这 " + std::to_string(n) + " 处编辑是在数据表 " + last.table +
                       " 关闭或重新打开之前做的，不能再撤销。");
    }
    db::Query& v = ws.view;
    if (!v.isOpen() || !v.isKeyset() || !text::EqualNoCase(v.baseTable(), last.table))
        throw AppError("表格现在显示的不是数据表 " + last.table + "，不能撤销对它的编辑。" +
                       BackToTable);
    const int row = RowOf(v, last.rowid);
    const int column = v.findField(last.column);
    if (row < 0 || column < 0)
        throw AppError("表格现在没有显示" + Sheet(last) + "的 " + last.column + "，不能撤销。" +
                       BackToTable);
    const db::Value now = v.valueAt(row, column);
    if (!SameText(now, last.after)) {
        mDone.pop_back();
        throw AppError(Sheet(last) + "的 " + last.column + " 已不是编辑后的“" +
                       OneLine(last.after) + "”（现在是“" + OneLine(now) +
                       "”），这处编辑不再撤销。");
    }
    CellEdit undo = last;
    undo.before = now;
    undo.examNumber = ExamNumberAt(ws, row);
    postAndLog(ws, row, column, last.before, EditKind::Undo, undo);
    undo.after = last.before;
    return {undo, row};
}

} // namespace core
