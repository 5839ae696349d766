#include "roster/RosterCommands.h"

#include "core/OpenTable.h"
#include "platform/text/TextFile.h"
#include "roster/VerifyReport.h"
#include "stats/ClassMemory.h"

namespace roster {
RosterImport ImportRoster(core::Workspace& ws, core::Ui& ui, const std::filesystem::path& file,
                          const ImportOptions& options) {
    const core::ProgressEnd shown(ui, "正在读取学生名单");
    const ImportResult list = ImportClassList(file, options);
    RosterImport done;
    done.file = file;
    done.withSubject = list.columns.subject >= 0;
    ws.connect();
    WriteIds(ws.connection, list.roster, done.withSubject, ui);
    done.taken = list.taken();
    done.skipped = list.skipped();
    done.emptyIds = list.count(RowProblem::EmptyId);
    done.duplicateIds = list.count(RowProblem::DuplicateId);
    done.digitsLost = list.count(RowProblem::DigitsLost);
    done.withoutClass = list.count(RowProblem::NoClass);
    done.summary = ImportSummary(list, file.string());
    return done;
}

TableCheck VerifyTable(core::Workspace& ws, core::Ui& ui, const ClassCodeRule& classes) {
    TableCheck check;
    if (ws.TableName.empty() || !ws.connection.isOpen() || !ws.connection.hasTable(ws.TableName)) {
        ui.message("请先打开卷面数据库DBF文件。", core::Title(ws), core::Icon::Error);
        return check;
    }
    const core::ProgressEnd shown(ui, "正在核对考号");
    check.table = ws.TableName;
    check.sheets = ReadSheets(ws.connection, check.table, ws.Fields, ui);
    check.roster = ReadIds(ws.connection);
    check.result = VerifyNumbers(check.sheets.sheets, check.rosterOrNull(), classes);
    check.report = ws.file(VerifyReportName(check.table));
    text::SaveLines(
        check.report,
        VerifyReportLines(check.table, check.sheets.sheets, check.rosterOrNull(), check.result),
        ws.Fields.TextEncoding);
    check.outcome = core::Outcome::Done;
    return check;
}

TableCheck VerifyTable(core::Workspace& ws, core::Ui& ui, const stats::ClassSettings& classes) {
    TableCheck check = VerifyTable(ws, ui, ClassRuleOf(classes));
    if (check.outcome == core::Outcome::Done)
        stats::RememberClassSettings(ws.connection, ws.TableName, classes);
    return check;
}

ClassCodeRule ClassRuleOf(const stats::ClassSettings& s) {
    ClassCodeRule rule;
    rule.prefixMode = s.prefixMode;
    rule.prefix = s.prefix;
    rule.startPosition = s.startPosition;
    rule.codeLength = s.codeLength;
    rule.firstClass = s.firstClass;
    rule.lastClass = s.lastClass;
    return rule;
}

} // namespace roster
