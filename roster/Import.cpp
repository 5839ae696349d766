#include "roster/Import.h"

#include "roster/CellText.h"
#include "roster/Error.h"

#include <array>
#include <unordered_map>

namespace roster {
namespace {

constexpr std::size_t kHeadingSearchRows = 10;
constexpr std::size_t kRowsListed = 20;

bool IsBlank(const TextRow& row) {
    for (const auto& cell : row)
        if (!TrimCell(cell).empty())
            return false;
    return true;
}

std::string CellAt(const TextRow& row, int column) {
    return column >= 0 && static_cast<std::size_t>(column) < row.size()
               ? row[static_cast<std::size_t>(column)]
               : std::string();
}

std::string JoinHeadings(const TextRow& row) {
    std::string s;
    for (const auto& cell : row) {
        const std::string t = TrimCell(cell);
        if (!t.empty())
            s += (s.empty() ? "" : "、") + t;
    }
    return s.empty() ? "（空）" : s;
}

// The problem when no heading row is found.
[[noreturn]] void NoHeadingRow(const TextRows& rows, const std::vector<ColumnMap>& maps,
                               const std::string& listName, std::size_t firstFilled) {
    if (firstFilled == rows.size())
        throw Error(ListProblem(listName, "文件中没有内容"));
    const TextRow& first = rows[firstFilled];
    for (const ColumnMap& m : maps)
        if (FindMappedColumn(first, m.column) < 0)
            throw Error(ListProblem(listName, "找不到列“" + m.column + "”（表头为: " +
                                                  JoinHeadings(first) + "）"));
    throw Error(ListProblem(listName, "找不到考号列（表头为: " + JoinHeadings(first) +
                                          "）。可识别的列名为 考号、准考证号、学号、ID，"
                                          "也可以手工指定哪一列是考号"));
}

// The index of the heading row and its columns.
std::size_t FindHeadingRow(const TextRows& rows, const std::vector<ColumnMap>& maps,
                           const std::string& listName, Columns& columns) {
    std::size_t firstFilled = rows.size();
    std::size_t looked = 0;
    for (std::size_t r = 0; r < rows.size() && looked < kHeadingSearchRows; ++r) {
        if (IsBlank(rows[r]))
            continue;
        if (firstFilled == rows.size())
            firstFilled = r;
        ++looked;
        const Columns c = RecognizeColumns(rows[r], maps);
        bool mapsFound = true;
        for (const ColumnMap& m : maps)
            mapsFound = mapsFound && c.of(m.field) >= 0;
        if (c.id >= 0 && mapsFound) {
            columns = c;
            return r;
        }
    }
    NoHeadingRow(rows, maps, listName, firstFilled);
}

// One student row into the roster, or a problem.
class RowReader {
public:
    explicit RowReader(ImportResult& result) : mResult(result) {}

    void read(const TextRow& row, std::size_t rowNumber) {
        const Columns& c = mResult.columns;
        const std::string cell = CellAt(row, c.id);
        const NumberText id = ExamNumberText(cell);
        if (id.digitsLost) {
            problem(RowProblem::DigitsLost, rowNumber, TrimCell(cell));
            return;
        }
        if (id.text.empty()) {
            problem(RowProblem::EmptyId, rowNumber, {});
            return;
        }
        auto [it, fresh] = mSeen.emplace(id.text, rowNumber);
        if (!fresh) {
            problem(RowProblem::DuplicateId, rowNumber, id.text, it->second);
            return;
        }
        const std::string cls = c.cls >= 0 ? ClassText(CellAt(row, c.cls)) : std::string();
        if (c.cls >= 0 && cls.empty())
            problem(RowProblem::NoClass, rowNumber, id.text);
        mResult.roster.add(id.text, cls, NameText(CellAt(row, c.name)),
                           TrimCell(CellAt(row, c.subject)));
    }

private:
    void problem(RowProblem kind, std::size_t row, std::string id, std::size_t firstRow = 0) {
        mResult.problems.push_back({kind, row, std::move(id), firstRow});
    }

    ImportResult& mResult;
    std::unordered_map<std::string, std::size_t> mSeen;
};

std::string SkipReasons(const ImportResult& r) {
    std::string s;
    auto add = [&](RowProblem kind, const char* what) {
        if (const std::size_t n = r.count(kind))
            s += (s.empty() ? "" : "，") + std::string(what) + " " + std::to_string(n) + " 行";
    };
    add(RowProblem::EmptyId, "考号为空");
    add(RowProblem::DuplicateId, "考号重复");
    add(RowProblem::DigitsLost, "考号数字不全");
    return s;
}

std::string ColumnText(const ImportResult& r, Field f) {
    const int c = r.columns.of(f);
    if (c < 0)
        return std::string("没有") + FieldName(f) + "列";
    return std::string(FieldName(f)) + "列“" + TrimCell(CellAt(r.headings, c)) + "”（第 " +
           std::to_string(c + 1) + " 列）";
}

// "第 5、9 行" for the rows with this problem, or "第 4 行（…）、第 8 行（…）" when
// each row has its own detail; at most kRowsListed rows.
std::string RowsOf(const ImportResult& r, RowProblem kind) {
    const bool detailed = kind == RowProblem::DuplicateId || kind == RowProblem::DigitsLost;
    std::string s;
    std::size_t listed = 0, total = 0;
    for (const ImportProblem& p : r.problems) {
        if (p.kind != kind || ++total > kRowsListed)
            continue;
        ++listed;
        std::string item = std::to_string(p.row);
        if (kind == RowProblem::DuplicateId)
            item = "第 " + item + " 行（" + p.id + "，与第 " + std::to_string(p.firstRow) + " 行重复）";
        else if (kind == RowProblem::DigitsLost)
            item = "第 " + item + " 行（" + p.id + "）";
        s += (s.empty() ? "" : "、") + item;
    }
    if (!detailed)
        s = "第 " + s + " 行";
    if (total > listed)
        s += " 等 " + std::to_string(total) + " 行";
    return s;
}

} // namespace

std::size_t ImportResult::count(RowProblem kind) const {
    std::size_t n = 0;
    for (const ImportProblem& p : problems)
        n += p.kind == kind ? 1 : 0;
    return n;
}

ImportResult BuildRoster(const TextRows& rows, const std::vector<ColumnMap>& maps,
                         const std::string& listName) {
    ImportResult result;
    const std::size_t heading = FindHeadingRow(rows, maps, listName, result.columns);
    result.headingRow = heading + 1;
    result.headings = rows[heading];
    result.roster.reserve(rows.size() - heading);
    RowReader reader(result);
    for (std::size_t r = heading + 1; r < rows.size(); ++r) {
        if (IsBlank(rows[r])) {
            ++result.blankRows;
            continue;
        }
        ++result.studentRows;
        reader.read(rows[r], r + 1);
    }
    if (result.taken() == 0) {
        const std::string why = SkipReasons(result);
        throw Error(ListProblem(listName, "没有可导入的学生" +
                                              (why.empty() ? std::string("（表头下没有数据）")
                                                           : "（" + why + "）")));
    }
    return result;
}

ImportResult ImportClassList(const std::filesystem::path& file, const ImportOptions& options) {
    return BuildRoster(ReadClassList(file, options.sheet), options.maps, file.string());
}

std::vector<std::string> ImportSummary(const ImportResult& r, const std::string& listName) {
    std::vector<std::string> lines;
    lines.push_back("学生名单: " + listName);
    lines.push_back("表头在第 " + std::to_string(r.headingRow) + " 行: " + ColumnText(r, Field::Id) +
                    "，" + ColumnText(r, Field::Name) + "，" + ColumnText(r, Field::Class) + "，" +
                    ColumnText(r, Field::Subject));
    lines.push_back("读到 " + std::to_string(r.studentRows) + " 行学生记录，导入 " +
                    std::to_string(r.taken()) + " 人，跳过 " + std::to_string(r.skipped()) + " 行。");
    struct Kind {
        RowProblem kind;
        const char* text;
    };
    static const std::array<Kind, 4> kKinds{
        Kind{RowProblem::EmptyId, "跳过考号为空的"},
        Kind{RowProblem::DuplicateId, "跳过考号重复的（保留先出现的一行）"},
        Kind{RowProblem::DigitsLost,
             "跳过考号为科学计数法、数字已丢失的（请把考号列设为文本后重新导出）"},
        Kind{RowProblem::NoClass, "保留没有班级的（班级为空）"}};
    for (const Kind& k : kKinds)
        if (const std::size_t n = r.count(k.kind))
            lines.push_back(std::string(k.text) + " " + std::to_string(n) + " 行: " +
                            RowsOf(r, k.kind));
    if (r.blankRows)
        lines.push_back("空行 " + std::to_string(r.blankRows) + " 行，已忽略。");
    return lines;
}

} // namespace roster
