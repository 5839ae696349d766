#include "roster/Import.h"

#include "roster/CellText.h"
#include "roster/Error.h"

#include <algorithm>
#include <array>
#include <cstring>
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
            throw Error(ListProblem(listName, "找不到列“" + m.column +
                                                  "”（表头为: " + JoinHeadings(first) + "）"));
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
        const std::string cell = WritableText(CellAt(row, c.id));
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
        const std::string cls =
            c.cls >= 0 ? ClassText(WritableText(CellAt(row, c.cls))) : std::string();
        if (c.cls >= 0 && cls.empty())
            problem(RowProblem::NoClass, rowNumber, id.text);
        mResult.roster.add(id.text, cls, NameText(WritableText(CellAt(row, c.name))),
                           TrimCell(WritableText(CellAt(row, c.subject))));
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

// "考号列“考号”（第 2 列）"; when other columns carry the same heading, the
// text says which one was used: "（第 2 列；第 5 列的表头相同，未使用）".
std::string ColumnText(const ImportResult& r, Field f) {
    const int c = r.columns.of(f);
    if (c < 0)
        return std::string("没有") + FieldName(f) + "列";
    const std::string key = HeadingKey(CellAt(r.headings, c));
    std::string same;
    for (std::size_t other = 0; other < r.headings.size() && !key.empty(); ++other)
        if (static_cast<int>(other) != c && HeadingKey(r.headings[other]) == key)
            same += (same.empty() ? "" : "、") + std::to_string(other + 1);
    return std::string(FieldName(f)) + "列“" + TrimCell(CellAt(r.headings, c)) + "”（第 " +
           std::to_string(c + 1) + " 列" +
           (same.empty() ? std::string() : "；第 " + same + " 列的表头相同，未使用") + "）";
}

// The encoding line of a text file's summary, and the line of the units
// that could not be decoded.
void DecodingLines(const TextDecoding& d, std::vector<std::string>& lines) {
    lines.push_back(
        "文字编码: " + EncodingText(d) +
        "（依次看 BOM、是否为 UTF-8、GB18030；个别字节损坏的 UTF-8 文件仍按 UTF-8 读）");
    if (d.undecodable == 0)
        return;
    std::string where;
    for (std::size_t line : d.undecodableLines)
        where += (where.empty() ? "" : "、") + std::to_string(line);
    lines.push_back("有 " + std::to_string(d.undecodable) +
                    " 处无法解码的字符，已记作 \xEF\xBF\xBD（文件第 " + where + " 行" +
                    (d.undecodable > d.undecodableLines.size() ? " 等" : "") + "）");
}

constexpr std::uint32_t kUnlimited = 0;

bool HasText(const CellRow& row) {
    for (const Cell& cell : row)
        if (!TrimCell(cell.text).empty())
            return true;
    return false;
}

// ---- rows passed from the reading child: 'K' and the rows, or 'E' and an error

void PutNumber(std::string& out, std::uint64_t n) {
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
}

void PutText(std::string& out, std::string_view s) {
    PutNumber(out, s.size());
    out.append(s);
}

class Unpacker {
  public:
    Unpacker(std::string_view bytes, const std::filesystem::path& file)
        : mBytes(bytes), mFile(file) {}
    std::uint64_t number() {
        std::uint64_t n = 0;
        need(sizeof n);
        std::memcpy(&n, mBytes.data() + mAt, sizeof n);
        mAt += sizeof n;
        return n;
    }
    std::string text() {
        const std::uint64_t n = number();
        need(n);
        std::string s(mBytes.substr(mAt, n));
        mAt += n;
        return s;
    }

  private:
    void need(std::uint64_t n) const {
        if (n > mBytes.size() - mAt)
            throw Error(DamagedOrTooLarge(mFile));
    }
    std::string_view mBytes;
    std::filesystem::path mFile;
    std::size_t mAt = 0;
};

std::string Pack(const ListRows& list) {
    std::string out = "K";
    PutNumber(out, list.sheets.size());
    for (const auto& s : list.sheets)
        PutText(out, s);
    PutNumber(out, list.decoding ? 1 : 0);
    if (list.decoding) {
        PutNumber(out, static_cast<std::uint64_t>(list.decoding->encoding));
        PutNumber(out, list.decoding->withoutMark ? 1 : 0);
        PutNumber(out, list.decoding->undecodable);
        PutNumber(out, list.decoding->undecodableLines.size());
        for (std::size_t line : list.decoding->undecodableLines)
            PutNumber(out, line);
    }
    PutNumber(out, list.rows.size());
    for (const TextRow& row : list.rows) {
        PutNumber(out, row.size());
        for (const std::string& cell : row)
            PutText(out, cell);
    }
    return out;
}

ListRows Unpack(std::string_view bytes, const std::filesystem::path& file) {
    if (bytes.empty())
        throw Error(DamagedOrTooLarge(file));
    Unpacker in(bytes.substr(1), file);
    if (bytes[0] == 'E')
        throw Error(in.text());
    ListRows list;
    for (std::uint64_t n = in.number(); n > 0; --n)
        list.sheets.push_back(in.text());
    if (in.number()) {
        TextDecoding d;
        d.encoding = static_cast<TextEncoding>(in.number());
        d.withoutMark = in.number() != 0;
        d.undecodable = in.number();
        for (std::uint64_t n = in.number(); n > 0; --n)
            d.undecodableLines.push_back(in.number());
        list.decoding = std::move(d);
    }
    const std::uint64_t rows = in.number();
    if (rows > bytes.size())
        throw Error(DamagedOrTooLarge(file));
    list.rows.resize(rows);
    for (TextRow& row : list.rows) {
        const std::uint64_t cells = in.number();
        if (cells > bytes.size())
            throw Error(DamagedOrTooLarge(file));
        row.reserve(cells);
        for (std::uint64_t c = 0; c < cells; ++c)
            row.push_back(in.text());
    }
    return list;
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
            item = "第 " + item + " 行（" + p.id + "，与第 " + std::to_string(p.firstRow) +
                   " 行重复）";
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
        throw Error(ListProblem(
            listName, "没有可导入的学生" +
                          (why.empty() ? std::string("（表头下没有数据）") : "（" + why + "）")));
    }
    return result;
}

TextRows RowsNeeded(const CellRows& cells, const ListRequest& request) {
    std::vector<std::size_t> head; // the rows where the headings are looked for
    for (std::size_t r = 0; r < cells.size() && head.size() < kHeadingSearchRows; ++r)
        if (HasText(cells[r]))
            head.push_back(r);
    const bool preview = request.previewRows != kUnlimited;
    std::size_t end = cells.size();
    if (preview)
        end = std::min(end, (head.empty() ? 0 : head.back() + 1) + request.previewRows);
    TextRows rows(end);
    std::vector<bool> keep;
    for (std::size_t r : head) {
        if (r >= end)
            continue;
        rows[r] = Dense(CellRows{cells[r]}).front();
        const Columns found = RecognizeColumns(rows[r], request.maps);
        for (Field f : {Field::Id, Field::Class, Field::Name, Field::Subject})
            if (const int c = found.of(f); c >= 0) {
                if (keep.size() <= static_cast<std::size_t>(c))
                    keep.resize(static_cast<std::size_t>(c) + 1);
                keep[static_cast<std::size_t>(c)] = true;
            }
    }
    for (std::size_t r = 0; r < end; ++r) {
        if (std::binary_search(head.begin(), head.end(), r))
            continue;
        for (const Cell& cell : cells[r]) {
            if (!preview && (cell.column >= keep.size() || !keep[cell.column]))
                continue; // a column nothing needs costs nothing
            if (rows[r].size() <= cell.column)
                rows[r].resize(cell.column + std::size_t{1});
            rows[r][cell.column] = cell.text;
        }
    }
    return rows;
}

ListRows ReadListHere(const std::filesystem::path& file, const ListRequest& request) {
    const ListFormat format = FormatOf(file);
    if (format == ListFormat::Xlsx || format == ListFormat::Xls) {
        ListRows list;
        list.sheets = SheetNames(file);
        list.rows = RowsNeeded(format == ListFormat::Xlsx ? ReadXlsx(file, request.sheet)
                                                          : ReadXls(file, request.sheet),
                               request);
        return list;
    }
    ListRows list = ReadClassList(file, request.sheet);
    if (request.previewRows != kUnlimited) {
        std::size_t withText = 0, r = 0;
        for (; r < list.rows.size() && withText < kHeadingSearchRows; ++r)
            withText += IsBlank(list.rows[r]) ? 0 : 1;
        list.rows.resize(std::min(list.rows.size(), r + request.previewRows));
    }
    return list;
}

std::string DamagedOrTooLarge(const std::filesystem::path& file) {
    return "文件已损坏或过大，无法读取：" + file.string();
}

ListRows ReadConfined(const std::filesystem::path& file, const std::function<ListRows()>& read,
                      const os::ChildLimits& limits) {
    const std::optional<std::string> bytes = os::RunConfined(
        [&]() -> std::string {
            try {
                return Pack(read());
            } catch (const Error& e) {
                std::string out = "E";
                PutText(out, e.what());
                return out;
            }
        },
        limits);
    if (!bytes)
        throw Error(DamagedOrTooLarge(file));
    return Unpack(*bytes, file);
}

ListRows ReadList(const std::filesystem::path& file, const ListRequest& request) {
    const ListFormat format = FormatOf(file);
    if (format != ListFormat::Xlsx && format != ListFormat::Xls)
        return ReadListHere(file, request);
    return ReadConfined(file, [&] { return ReadListHere(file, request); });
}

ImportResult ImportClassList(const std::filesystem::path& file, const ImportOptions& options) {
    ListRows list = ReadList(file, ListRequest{options.sheet, options.maps, 0});
    ImportResult result = BuildRoster(list.rows, options.maps, file.string());
    result.decoding = std::move(list.decoding);
    return result;
}

std::vector<std::string> ImportSummary(const ImportResult& r, const std::string& listName) {
    std::vector<std::string> lines;
    lines.push_back("学生名单: " + listName);
    lines.push_back("表头在第 " + std::to_string(r.headingRow) +
                    " 行: " + ColumnText(r, Field::Id) + "，" + ColumnText(r, Field::Name) + "，" +
                    ColumnText(r, Field::Class) + "，" + ColumnText(r, Field::Subject));
    lines.push_back("读到 " + std::to_string(r.studentRows) + " 行学生记录，导入 " +
                    std::to_string(r.taken()) + " 人，跳过 " + std::to_string(r.skipped()) +
                    " 行。");
    if (r.decoding)
        DecodingLines(*r.decoding, lines);
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
            lines.push_back(std::string(k.text) + " " + std::to_string(n) +
                            " 行: " + RowsOf(r, k.kind));
    if (r.blankRows)
        lines.push_back("空行 " + std::to_string(r.blankRows) + " 行，已忽略。");
    return lines;
}

} // namespace roster
