#include "stats/Comprehensive.h"

#include "core/ScratchDb.h"
#include "platform/db/Connection.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scoring/NumberText.h"
#include "scoring/TextColumns.h"

#include <cmath>

namespace stats {
namespace {

using scoring::NumberText;
using scoring::PadValue;
using scoring::RoundTo;

struct PresetRow {
    int questions;
    const char* kind;
    std::array<const char*, 6> names;
    std::array<int, 6> starts;
};

const PresetRow kPresets[] = {
    {100, "理科", {"物理", "化学", "生物", "政治", "历史", "地理"}, {1, 24, 47, 70, 80, 90}},
    {100, "文科", {"政治", "历史", "地理", "物理", "化学", "生物"}, {1, 24, 47, 71, 81, 91}},
    {75, "理科", {"物理", "化学", "生物", "政治", "历史", "地理"}, {1, 19, 37, 55, 62, 69}},
    {75, "文科", {"政治", "历史", "地理", "物理", "化学", "生物"}, {1, 19, 37, 55, 62, 69}},
    {33, "理科", {"政治", "历史", "地理", "物理", "化学", "生物"}, {1, 6, 11, 16, 22, 28}},
    {33, "文科", {"政治", "历史", "地理", "物理", "化学", "生物"}, {1, 7, 13, 19, 24, 29}},
    {35, "文科", {"地理", "历史", "政治", " ", " ", " "}, {1, 12, 24, 36, 36, 36}},
    {25, "理科", {"生物", "化学", "物理", "物理", "化学", "生物"}, {1, 7, 13, 17, 22, 24}},
};

} // namespace

std::optional<SubjectSettings> PresetFor(int questions, const std::string& tableName) {
    for (const auto& row : kPresets) {
        if (row.questions == questions && tableName.find(row.kind) != std::string::npos) {
            SubjectSettings s;
            for (std::size_t k = 0; k < 6; ++k) {
                s.names[k] = row.names[k];
                s.starts[k] = row.starts[k];
            }
            return s;
        }
    }
    return std::nullopt;
}

std::vector<int> SubjectsOf(const std::array<int, 6>& starts, int N) {
    std::vector<int> subject(static_cast<std::size_t>(std::max(N, 0) + 1), -1);
    for (int q = 1; q <= N; ++q) {
        for (int k = 0; k < 6; ++k) {
            const int from = starts[static_cast<std::size_t>(k)];
            const bool in =
                k < 5 ? q >= from && q <= starts[static_cast<std::size_t>(k + 1)] - 1 : q >= from;
            if (in) {
                subject[static_cast<std::size_t>(q)] = k;
                break;
            }
        }
    }
    return subject;
}

namespace {

// The subject points summed per class and for the whole grade.
struct SubjectSums {
    std::vector<std::array<double, 6>> classes;
    std::array<double, 6> grade{};
};

void EmptyZonghe(db::Connection& c) {
    if (core::TableExists(c, "zonghe"))
        c.execute("Delete From zonghe");
    else
        c.execute(
            "CREATE TABLE zonghe (ID varchar(10), CLS varchar(10), field1 integer, "
            "field2 integer, field3 integer, field4 integer, field5 integer, field6 integer )");
}

// The matched sheets, to be read class by class in exam-number order.
void ListMatchedSheets(db::Connection& c, const std::vector<std::pair<std::int64_t, int>>& sheets) {
    c.execute("DROP TABLE IF EXISTS temp.quillory_classes");
    c.execute("CREATE TEMP TABLE quillory_classes (sheet INTEGER PRIMARY KEY, cls INTEGER)");
    db::Statement add = c.prepare("INSERT INTO temp.quillory_classes VALUES (?, ?)");
    for (const auto& [rowid, cls] : sheets) {
        add.bind(1, rowid);
        add.bind(2, std::int64_t{cls});
        add.step();
        add.reset();
    }
}

// One row of zonghe per matched sheet with its whole points per subject,
// and the sums of the report.
SubjectSums FillZonghe(core::Workspace& ws, const SubjectSettings& subjects, int N,
                       const std::vector<ComprehensiveClass>& classes) {
    db::Connection& c = ws.connection;
    using db::jet::Bracket;
    std::string sql =
        "SELECT t." + Bracket(ws.Fields.ID) + ", t." + Bracket(ws.Fields.Content) + ", m.cls";
    for (int q = 1; q <= N; ++q)
        sql += ", t.f" + std::to_string(q);
    sql += " FROM temp.quillory_classes m JOIN " + Bracket(ws.TableName) +
           " t ON t.rowid = m.sheet ORDER BY m.cls, t." + Bracket(ws.Fields.ID);
    db::Statement read = c.prepare(db::Connection::TranslateQuery(sql));
    db::Statement insert = c.prepare("INSERT INTO zonghe VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    const std::vector<int> subjectOf = SubjectsOf(subjects.starts, N);
    SubjectSums sums;
    sums.classes.resize(classes.size());
    while (read.step()) {
        const std::string content = db::Query::ToText(read.column(1));
        const auto cls = static_cast<std::size_t>(read.columnInt(2));
        std::array<double, 6> sheet{};
        const int looked = std::min(N, static_cast<int>(content.size()));
        for (int q = 1; q <= looked; ++q) {
            const int k = subjectOf[static_cast<std::size_t>(q)];
            if (k < 0)
                continue;
            const double points = db::Query::ToFloat(read.column(q + 2));
            sheet[static_cast<std::size_t>(k)] += points;
            sums.classes[cls][static_cast<std::size_t>(k)] += points;
            sums.grade[static_cast<std::size_t>(k)] += points;
        }
        insert.bind(1, db::Query::ToText(read.column(0)));
        insert.bind(2, classes[cls].code);
        for (int k = 0; k < 6; ++k)
            insert.bind(k + 3, static_cast<std::int64_t>(
                                   std::nearbyint(sheet[static_cast<std::size_t>(k)])));
        insert.step();
        insert.reset();
    }
    return sums;
}

// "综合科统计_<table>.txt": a line per class with sheets, then the grade.
std::vector<std::string> SubjectReportLines(const SubjectSettings& subjects, int N,
                                            const std::vector<ComprehensiveClass>& classes,
                                            const SubjectSums& sums, double gradeAverage) {
    const auto& s = subjects.starts;
    std::vector<std::string> lines = {"综合科分班分科目统计结果", ""};
    std::string header = "班别  ";
    for (const auto& name : subjects.names)
        header += name + "   ";
    lines.push_back(header + "平均分 [名称仅参考]");
    auto range = [](int from, int to) { return std::to_string(from) + "-" + std::to_string(to); };
    lines.push_back("      " + range(s[0], s[1] - 1) + "   " + range(s[1], s[2] - 1) + "  " +
                    range(s[2], s[3] - 1) + "  " + range(s[3], s[4] - 1) + "  " +
                    range(s[4], s[5] - 1) + "  " + range(s[5], N) + "         [以此行为准]");
    long long matched = 0;
    for (std::size_t i = 0; i < classes.size(); ++i) {
        if (classes[i].count < 1)
            continue;
        matched += classes[i].count;
        double total = 0;
        for (double p : sums.classes[i])
            total += p;
        std::string line = classes[i].label;
        for (double p : sums.classes[i])
            line += PadValue(NumberText(RoundTo(p / static_cast<double>(classes[i].count), 1)));
        lines.push_back(line +
                        NumberText(RoundTo(total / static_cast<double>(classes[i].count), 1)));
    }
    std::string grade = "全级  ";
    for (double p : sums.grade)
        grade +=
            PadValue(NumberText(matched > 0 ? RoundTo(p / static_cast<double>(matched), 1) : 0.0));
    lines.push_back(grade + NumberText(RoundTo(gradeAverage, 1)));
    return lines;
}

} // namespace

std::string RunComprehensive(core::Workspace& ws, const SubjectSettings& subjects, int N,
                             const std::vector<ComprehensiveClass>& classes,
                             const std::vector<std::pair<std::int64_t, int>>& sheets,
                             double gradeAverage) {
    db::Connection& c = ws.connection;
    EmptyZonghe(c);
    SubjectSums sums;
    {
        db::Transaction tx(c);
        ListMatchedSheets(c, sheets);
        sums = FillZonghe(ws, subjects, N, classes);
        tx.commit();
    }
    c.execute("DROP TABLE temp.quillory_classes");
    const auto report = ws.file("综合科统计_" + ws.TableName + ".txt");
    text::SaveLines(report, SubjectReportLines(subjects, N, classes, sums, gradeAverage),
                    ws.Fields.TextEncoding);
    return report.string();
}

} // namespace stats
