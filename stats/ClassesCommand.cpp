#include "stats/ClassesCommand.h"

#include "core/AppError.h"
#include "core/OpenTable.h"
#include "core/ScratchDb.h"
#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/os/Folders.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "report/ExportExcel.h"
#include "report/ReportCommand.h"
#include "scoring/MarkCodes.h"
#include "scoring/NumberText.h"
#include "scoring/ScoredSheets.h"
#include "scoring/TextColumns.h"
#include "stats/ClassAssignment.h"
#include "stats/ClassMemory.h"
#include "stats/ClassSplit.h"

#include <array>
#include <unordered_map>

namespace stats {
namespace {

using db::jet::Bracket;

using scoring::FixedText;
using scoring::PadNumber;

// "%4.2f": two decimals in a field at least 4 characters wide.
std::string Fixed4(double v) {
    std::string t = FixedText(v, 2);
    while (t.size() < 4)
        t = " " + t;
    return t;
}

std::string Repeat(char c, long long n) {
    return n > 0 ? std::string(static_cast<std::size_t>(n), c) : std::string();
}

} // namespace

namespace {

double Average(double total, long long count) {
    return count > 0 ? total / count : 0.0;
}

} // namespace

std::string GradeLine(long long count, double total) {
    return "所有考生人数" + std::to_string(count) + ", 总分" + FixedText(total, 2) + ", 平均分" +
           Fixed4(Average(total, count)) + "。";
}

std::string ClassLine(const std::string& code, long long count, double total) {
    return code + " 班人数 " + std::to_string(count) + ", 总分 " + FixedText(total, 2) +
           ", 平均分 " + Fixed4(Average(total, count)) + "。";
}

void CountOptions(const std::string& content, int N, OptionCounts& counts) {
    const std::size_t n = std::min(content.size(), static_cast<std::size_t>(N));
    for (std::size_t q = 0; q < n; ++q) {
        const unsigned bits = scoring::OptionBits(content[q]);
        for (int o = 0; o < 4; ++o)
            counts[q + 1][static_cast<std::size_t>(o)] += (bits >> o) & 1;
    }
}

std::vector<std::string> DetailLines(const std::string& code, long long count,
                                     const OptionCounts& counts, int N) {
    std::vector<std::string> lines = {code + " 班的统计数据，人数 " + std::to_string(count),
                                      "选择题单项统计 - 多选题分散统计。",
                                      "题目    选A   选B   选C   选D"};
    for (int q = 1; q <= N; ++q) {
        const auto& c = counts[static_cast<std::size_t>(q)];
        lines.push_back(PadNumber(q) + "  " + PadNumber(c[0]) + " " + PadNumber(c[1]) + " " +
                        PadNumber(c[2]) + " " + PadNumber(c[3]));
    }
    lines.emplace_back();
    return lines;
}

std::string ClassPattern(const ClassSettings& s) {
    if (s.prefixMode) {
        long long v =
            s.totalLength - static_cast<long long>(text::GbkWidth(s.prefix)) - s.codeLength;
        return s.prefix + "%s" + Repeat('_', v);
    }
    return Repeat('_', s.startPosition - 1) + "%s" +
           Repeat('_', static_cast<long long>(s.totalLength) - s.startPosition - s.codeLength + 1);
}

std::string ClassCode(const ClassSettings& s, long long classNumber) {
    return scoring::PadZero(std::to_string(classNumber), scoring::ZerosInFront, s.codeLength);
}

namespace {

struct ClassTotals {
    long long count = 0;
    std::vector<double> sums; // per question 1..N, summed in table order
    OptionCounts options;
};

// What one read of the table gathers: the grade's count and sums, each
// class's totals and option counts, and the sheets matched to a class.
struct TableTotals {
    long long gradeCount = 0;
    std::vector<double> gradeSums;
    std::unordered_map<long long, ClassTotals> classes;
    std::vector<std::pair<std::int64_t, int>> matchedSheets; // for the subject statistics
};

double TotalOf(const std::vector<double>& sums, int N) {
    double total = 0;
    for (int k = 1; k <= N; ++k)
        total += sums[static_cast<std::size_t>(k)];
    return total;
}

// With the predefined classes: their codes, after CLS has been filled from
// `ids` (the rows that changed); nullopt after the message when there is no
// `ids`.
std::optional<std::vector<std::string>> AssignPredefinedClasses(core::Workspace& ws, core::Ui& ui,
                                                                const std::string& title,
                                                                std::optional<int>& rowsUpdated) {
    if (!core::TableExists(ws.connection, "ids")) {
        ui.message("找不到表 ids 。请检查 data.mdb。", title, core::Icon::Error);
        return std::nullopt;
    }
    std::vector<std::string> codes = PredefinedClassCodes(ws.connection);
    // The sheet side of the join is the exam-number column the settings name.
    rowsUpdated = ws.connection.execute("UPDATE " + Bracket(ws.TableName) +
                                        " TTT,ids SET TTT.CLS = "
                                        "ids.StudClass WHERE TTT." +
                                        Bracket(ws.Fields.ID) + " = ids.id");
    return codes;
}

// A sheet read with f1 .. fN, and CLS with predefined classes, as its values.
void AddSheet(TableTotals& t, const ClassSettings& s, const ClassAssignment& classes,
              const scoring::Sheet& sheet) {
    const int N = s.questions;
    ++t.gradeCount;
    const long long index =
        classes.classOf(*sheet.storedExamNumber,
                        s.predefined ? sheet.values[static_cast<std::size_t>(N)] : db::Value{});
    ClassTotals* cls = nullptr;
    if (index >= 0) {
        cls = &t.classes[index];
        if (cls->sums.empty()) {
            cls->sums.assign(static_cast<std::size_t>(N + 1), 0.0);
            cls->options.assign(static_cast<std::size_t>(N + 1), {});
        }
        ++cls->count;
        if (s.comprehensive)
            t.matchedSheets.emplace_back(sheet.record, static_cast<int>(index));
    }
    for (int k = 1; k <= N; ++k) {
        const db::Value& v = sheet.values[static_cast<std::size_t>(k - 1)];
        if (db::IsNull(v))
            continue;
        const double d = db::Query::ToFloat(v);
        t.gradeSums[static_cast<std::size_t>(k)] += d;
        if (cls)
            cls->sums[static_cast<std::size_t>(k)] += d;
    }
    if (cls)
        CountOptions(std::string(sheet.content), N, cls->options);
}

// One read of the table in its stored order, as each SUM reads it.
TableTotals ReadTable(core::Workspace& ws, core::Ui& ui, const ClassSettings& s,
                      const ClassAssignment& classes) {
    const int N = s.questions;
    scoring::SheetColumns columns;
    columns.table = ws.TableName;
    columns.examNumber = ws.Fields.ID;
    columns.content = ws.Fields.Content;
    for (int k = 1; k <= N; ++k)
        columns.values.push_back("f" + std::to_string(k));
    if (s.predefined)
        columns.values.emplace_back("CLS");
    TableTotals t;
    t.gradeSums.assign(static_cast<std::size_t>(N + 1), 0.0);
    long long rows = 0;
    scoring::TableSheets(ws.connection, columns)
        .forEachInAnyOrder([&](const scoring::Sheet& sheet) {
            AddSheet(t, s, classes, sheet);
            if (++rows % 65536 == 0)
                ui.progress("正在统计", rows, -1);
        });
    ui.progress("", 0, 0);
    return t;
}

std::string WriteComprehensive(core::Workspace& ws, const ClassSettings& s,
                               const ClassAssignment& classes, const TableTotals& t) {
    std::vector<ComprehensiveClass> list;
    for (std::size_t i = 0; i < classes.codes().size(); ++i) {
        auto it = t.classes.find(static_cast<long long>(i));
        ComprehensiveClass c;
        c.code = classes.codes()[i];
        c.label =
            s.predefined
                ? scoring::PadName(c.code)
                : PadNumber(static_cast<std::int32_t>(s.firstClass + static_cast<long long>(i)));
        c.count = it == t.classes.end() ? 0 : it->second.count;
        list.push_back(std::move(c));
    }
    return RunComprehensive(ws, s.subjects, s.questions, list, t.matchedSheets,
                            Average(TotalOf(t.gradeSums, s.questions), t.gradeCount));
}

// "分班统计_<table>.txt": the grade line and a line per class with sheets,
// then every such class's option counts.
std::filesystem::path WriteClassReport(core::Workspace& ws, const ClassSettings& s,
                                       const ClassAssignment& classes, const TableTotals& t) {
    const int N = s.questions;
    std::vector<std::string> summary = {GradeLine(t.gradeCount, TotalOf(t.gradeSums, N))};
    std::vector<std::string> details;
    for (std::size_t i = 0; i < classes.codes().size(); ++i) {
        auto it = t.classes.find(static_cast<long long>(i));
        if (it == t.classes.end() || it->second.count < 1)
            continue;
        const ClassTotals& c = it->second;
        summary.push_back(ClassLine(classes.codes()[i], c.count, TotalOf(c.sums, N)));
        auto block = DetailLines(classes.codes()[i], c.count, c.options, N);
        details.insert(details.end(), block.begin(), block.end());
    }
    summary.emplace_back();
    summary.insert(summary.end(), details.begin(), details.end());
    const auto report = ws.file("分班统计_" + ws.TableName + ".txt");
    text::SaveLines(report, summary, ws.Fields.TextEncoding);
    return report;
}

// zonghe.xls in the program's own temporary folder, formatted by the
// spreadsheet application.
void OpenComprehensiveWorkbook(core::Workspace& ws, const automation::Factory& spreadsheet) {
    const std::string xls = (os::ProcessTempFolder() / "zonghe.xls").string();
    db::Query zonghe(ws.connection);
    zonghe.setSql("SELECT * FROM zonghe");
    zonghe.open();
    report::TDS2Excel(zonghe).SaveToFile(xls, true);
    report::OpenExcelReport(spreadsheet, xls, zonghe.recordCount(), zonghe.fieldCount());
}

} // namespace

ClassRunResult RunClassStatistics(core::Workspace& ws, core::Ui& ui, os::Shell& shell,
                                  const automation::Factory& spreadsheet, const ClassSettings& s,
                                  const std::string& title) {
    ClassRunResult result;
    if (!s.predefined && !ClassSettingsAreSound(s, ui, title))
        return result;
    ws.connect();
    std::vector<std::string> predefinedCodes;
    if (s.predefined) {
        auto codes = AssignPredefinedClasses(ws, ui, title, result.rowsUpdated);
        if (!codes)
            return result;
        predefinedCodes = std::move(*codes);
    }
    if (s.questions < 1)
        throw core::AppError("选择题数目为 " + std::to_string(s.questions) +
                             "，没有可统计的题目。");
    const ClassAssignment classes(s, std::move(predefinedCodes));
    const TableTotals totals = ReadTable(ws, ui, s, classes);
    if (s.comprehensive)
        shell.open(WriteComprehensive(ws, s, classes, totals));
    result.report = WriteClassReport(ws, s, classes, totals);
    shell.open(result.report.string());
    if (s.comprehensive)
        OpenComprehensiveWorkbook(ws, spreadsheet);
    result.outcome = core::Outcome::Done;
    RememberClassSettings(ws.connection, ws.TableName, s);
    result.withoutClass = totals.gradeCount;
    for (const auto& [index, c] : totals.classes)
        result.withoutClass -= c.count;
    if (result.withoutClass > 0)
        ui.message(WithoutClassNotice(result.withoutClass, s.predefined), title,
                   core::Icon::Information);
    return result;
}

std::optional<DialogGuess> GuessDialog(core::Workspace& ws, core::Ui& ui, int panelQuestions) {
    db::Query& v = ws.view;
    if (!v.isOpen() || v.recordCount() == 0) {
        ui.message("请先打开卷面数据库DBF文件并评好分。或者当前记录数为 0。", core::Title(ws),
                   core::Icon::Information);
        return std::nullopt;
    }
    if (!v.hasField(ws.Fields.ID) || !v.hasField(ws.Fields.Content))
        return std::nullopt;
    DialogGuess g;
    const int current = v.recNo() < 0 ? 0 : v.recNo();
    const int length = static_cast<int>(text::GbkWidth(v.asText(ws.Fields.Content)));
    g.questions = panelQuestions != 0 ? std::min(panelQuestions, length) : length;
    v.first();
    for (int i = 0; i < 20 && !v.eof(); ++i)
        v.next();
    const std::string a = v.asText(ws.Fields.ID);
    v.last();
    for (int i = 0; i < 20 && !v.bof(); ++i)
        v.prior();
    const std::string b = v.asText(ws.Fields.ID);
    const std::string contentB = v.asText(ws.Fields.Content);
    v.moveTo(current);
    std::size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common])
        ++common;
    g.prefix = a.substr(0, common);
    g.totalLength = static_cast<int>(std::max(text::GbkWidth(a), text::GbkWidth(b)));
    if (g.questions == 0 || g.questions == 100 || g.questions == 105) {
        std::string answered = contentB;
        while (!answered.empty() && answered.back() == '0')
            answered.pop_back();
        g.questions = static_cast<int>(text::GbkWidth(answered));
    }
    return g;
}

} // namespace stats
