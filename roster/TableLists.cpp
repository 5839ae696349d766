#include "roster/TableLists.h"

#include "core/AppError.h"
#include "platform/db/JetSql.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "roster/CellText.h"
#include "scoring/ScoredSheets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numeric>

namespace roster {
namespace {

using db::jet::Bracket;

// The roster's table, as the class statistics' predefined classes read it.
constexpr const char* kIds = "ids";

// A cell as a teacher reads it: integral numbers without ".0", text trimmed.
std::string CellOf(const db::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v))
        return FormatNumber(*d);
    if (const auto* s = std::get_if<std::string>(&v))
        return TrimCell(*s);
    return {};
}

std::optional<double> ScoreOf(const db::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v)) {
        const std::string t = TrimCell(*s);
        char* end = nullptr;
        const double d = std::strtod(t.c_str(), &end);
        if (!t.empty() && end == t.c_str() + t.size())
            return d;
    }
    return std::nullopt;
}

// About how many rows the table has (its highest rowid), to reserve room
// for them; 0 when it cannot tell.
std::size_t RowsAbout(db::Connection& c, const std::string& table) {
    db::Statement st = c.prepare("SELECT max(rowid) FROM " + db::jet::QuoteName(table));
    if (!st.step())
        return 0;
    const std::int64_t n = st.columnInt(0);
    return n > 0 && n < (std::int64_t{1} << 31) ? static_cast<std::size_t>(n) : 0;
}

// The column of `columns` named `name` without regard to case, or empty.
std::string ColumnNamed(const std::vector<db::ColumnInfo>& columns, std::string_view name) {
    for (const auto& c : columns)
        if (text::EqualNoCase(c.name, name))
            return c.name;
    return {};
}

// The sheets as read, before they are put in exam-number order. Ranks follow
// SQLite's ordering of kinds: NULL, then numbers, then text.
struct ReadRows {
    TextColumn ids;
    std::vector<std::uint8_t> rank;
    std::vector<double> number;
    std::vector<double> score; // NaN: unscored
    std::vector<std::int64_t> rowid;

    void reserve(std::size_t n) {
        ids.reserve(n, n * 10);
        rank.reserve(n);
        number.reserve(n);
        score.reserve(n);
        rowid.reserve(n);
    }

    void add(const db::Value& id, const std::optional<double>& points, std::int64_t row) {
        ids.add(CellOf(id));
        const auto* i = std::get_if<std::int64_t>(&id);
        const auto* d = std::get_if<double>(&id);
        rank.push_back(db::IsNull(id) ? 0 : (i || d) ? 1 : 2);
        number.push_back(i ? static_cast<double>(*i) : d ? *d : 0.0);
        score.push_back(points ? *points : std::nan(""));
        rowid.push_back(row);
    }

    [[nodiscard]] bool before(std::uint32_t a, std::uint32_t b) const {
        if (rank[a] != rank[b])
            return rank[a] < rank[b];
        if (rank[a] == 1 && number[a] != number[b])
            return number[a] < number[b];
        if (rank[a] == 2) {
            const int c = ids[a].compare(ids[b]);
            if (c != 0)
                return c < 0;
        }
        return rowid[a] < rowid[b];
    }
};

ReadRows ReadTableRows(db::Connection& c, const std::string& table,
                       const core::FieldSettings& fields, core::Ui& ui) {
    const auto columns = c.columns(table);
    const std::string id = ColumnNamed(columns, fields.ID);
    if (id.empty())
        throw core::AppError("表 " + table + " 没有考号字段 " + fields.ID + "。");
    scoring::SheetColumns read;
    read.table = table;
    read.examNumber = id;
    read.score = ColumnNamed(columns, fields.Score);
    ReadRows rows;
    rows.reserve(RowsAbout(c, table));
    scoring::TableSheets(c, read).forEachInAnyOrder([&](const scoring::Sheet& s) {
        rows.add(*s.storedExamNumber, ScoreOf(*s.score), s.record);
        if (rows.rowid.size() % 65536 == 0)
            ui.progress("正在读取考号", static_cast<long long>(rows.rowid.size()), -1);
    });
    return rows;
}

// A 64-bit key that orders as the value does: a number's bits made to sort
// as unsigned, or a text's first eight bytes (shorter texts padded with
// zeros, so a prefix sorts first). Equal keys need the full comparison.
std::uint64_t SortKey(const ReadRows& rows, std::uint32_t i) {
    if (rows.rank[i] == 1) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &rows.number[i], sizeof bits);
        return (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
    }
    std::uint64_t key = 0;
    const std::string_view id = rows.ids[i];
    for (std::size_t b = 0; b < 8; ++b)
        key = (key << 8) | (b < id.size() ? static_cast<unsigned char>(id[b]) : 0u);
    return key;
}

struct Keyed {
    std::uint64_t key;
    std::uint32_t row;
    std::uint8_t rank;
};

// Sorts by rank, then key, keeping the order of equal ones: a counting
// sort per byte of the key from the lowest (bytes that all keys share are
// skipped), then one by rank.
void RadixSort(std::vector<Keyed>& keyed) {
    std::vector<Keyed> other(keyed.size());
    auto pass = [&](auto bucketOf, std::size_t buckets) {
        std::vector<std::size_t> start(buckets + 1, 0);
        for (const Keyed& k : keyed)
            ++start[bucketOf(k) + 1];
        if (std::find(start.begin(), start.end(), keyed.size()) != start.end())
            return; // one bucket holds them all
        for (std::size_t b = 1; b <= buckets; ++b)
            start[b] += start[b - 1];
        for (const Keyed& k : keyed)
            other[start[bucketOf(k)]++] = k;
        keyed.swap(other);
    };
    for (int shift = 0; shift < 64; shift += 8)
        pass([shift](const Keyed& k) { return static_cast<std::size_t>((k.key >> shift) & 0xFF); },
             256);
    pass([](const Keyed& k) { return static_cast<std::size_t>(k.rank); }, 3);
}

// The positions of the rows in exam-number order. A table that is in that
// order already (as most are, by their rowids) is only walked once.
std::vector<std::uint32_t> ExamNumberOrder(const ReadRows& rows) {
    const auto n = static_cast<std::uint32_t>(rows.rowid.size());
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    bool sorted = true;
    for (std::uint32_t i = 1; i < n && sorted; ++i)
        sorted = !rows.before(i, i - 1);
    if (sorted)
        return order;
    std::vector<Keyed> keyed(n);
    for (std::uint32_t i = 0; i < n; ++i)
        keyed[i] = {SortKey(rows, i), i, rows.rank[i]};
    RadixSort(keyed);
    // Rows with the same rank and key are put in order by the full comparison.
    for (std::size_t begin = 0, end = 0; begin < n; begin = end) {
        for (end = begin + 1;
             end < n && keyed[end].key == keyed[begin].key && keyed[end].rank == keyed[begin].rank;)
            ++end;
        if (end - begin > 1)
            std::sort(
                keyed.begin() + static_cast<std::ptrdiff_t>(begin),
                keyed.begin() + static_cast<std::ptrdiff_t>(end),
                [&rows](const Keyed& a, const Keyed& b) { return rows.before(a.row, b.row); });
    }
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = keyed[i].row;
    return order;
}

} // namespace

SheetsInOrder ReadSheets(db::Connection& c, const std::string& table,
                         const core::FieldSettings& fields, core::Ui& ui) {
    const ReadRows rows = ReadTableRows(c, table, fields, ui);
    const std::vector<std::uint32_t> order = ExamNumberOrder(rows);
    SheetsInOrder t;
    t.sheets.reserve(order.size());
    t.rowids.reserve(order.size());
    std::uint32_t record = 0;
    for (std::uint32_t i : order) {
        const double s = rows.score[i];
        t.sheets.add(rows.ids[i], std::isnan(s) ? std::nullopt : std::optional<double>(s),
                     ++record);
        t.rowids.push_back(rows.rowid[i]);
    }
    return t;
}

std::optional<Roster> ReadIds(db::Connection& c) {
    if (!c.hasTable(kIds))
        return std::nullopt;
    const auto columns = c.columns(kIds);
    const std::string id = ColumnNamed(columns, "ID");
    if (id.empty())
        throw core::AppError("表 ids 没有 ID 字段。");
    auto column = [&columns](const char* name) {
        const std::string found = ColumnNamed(columns, name);
        return found.empty() ? std::string("NULL") : Bracket(found);
    };
    const std::string sql = "SELECT " + Bracket(id) + ", " + column("StudClass") + ", " +
                            column("StudName") + ", " + column("StudSubject") + " FROM " +
                            Bracket(kIds);
    db::Statement st = c.prepare(db::Connection::TranslateQuery(sql));
    Roster roster;
    roster.reserve(RowsAbout(c, kIds));
    // Students come class by class: the last class read is read again.
    std::string lastCell = "\n", lastClass;
    while (st.step()) {
        const db::Value cls = st.column(1);
        const std::string cell = db::IsNull(cls) ? std::string() : CellOf(cls);
        if (cell != lastCell) {
            lastClass = ClassText(cell);
            lastCell = cell;
        }
        roster.add(CellOf(st.column(0)), lastClass, CellOf(st.column(2)), CellOf(st.column(3)));
    }
    if (roster.size() == 0)
        return std::nullopt;
    return roster;
}

namespace {

std::size_t Widest(std::size_t count, const std::function<std::string_view(std::size_t)>& text) {
    std::size_t widest = 1;
    for (std::size_t i = 0; i < count; ++i)
        widest = std::max(widest, text::GbkWidth(text(i)));
    return widest;
}

db::Value TextOrNull(std::string_view s) {
    return s.empty() ? db::Value{} : db::Value{std::string(s)};
}

// A numeric class as a number, so that the class statistics order and
// compare classes by value; any other as its text.
db::Value ClassValue(std::string_view cls) {
    if (cls.empty())
        return {};
    if (cls.size() <= 9 &&
        std::all_of(cls.begin(), cls.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return static_cast<std::int64_t>(std::stoll(std::string(cls)));
    return std::string(cls);
}

void CreateIds(db::Connection& c, const Roster& r, bool withSubject) {
    const auto width = [](std::size_t w) { return std::to_string(std::min<std::size_t>(w, 255)); };
    std::string sql = "CREATE TABLE " + Bracket(kIds) + " (" + Bracket("ID") + " varchar(" +
                      width(Widest(r.size(), [&r](std::size_t i) { return r.id(i); })) +
                      ") NULL, " + Bracket("StudClass") + " INT NULL, " + Bracket("StudName") +
                      " varchar(" +
                      width(Widest(r.size(), [&r](std::size_t i) { return r.name(i); })) + ") NULL";
    if (withSubject)
        sql += ", " + Bracket("StudSubject") + " varchar(" +
               width(Widest(r.size(), [&r](std::size_t i) { return r.subject(i); })) + ") NULL";
    c.execute(sql + ")");
}

} // namespace

void WriteIds(db::Connection& c, const Roster& r, bool withSubject, core::Ui& ui) {
    db::Transaction transaction(c);
    if (c.hasTable(kIds))
        c.execute("DROP TABLE " + Bracket(kIds));
    CreateIds(c, r, withSubject);
    db::Statement insert = c.prepare("INSERT INTO " + db::jet::QuoteName(kIds) +
                                     (withSubject ? " VALUES (?, ?, ?, ?)" : " VALUES (?, ?, ?)"));
    for (std::size_t i = 0; i < r.size(); ++i) {
        insert.bindText(1, r.id(i));
        insert.bind(2, ClassValue(r.className(i)));
        insert.bind(3, TextOrNull(r.name(i)));
        if (withSubject)
            insert.bind(4, TextOrNull(r.subject(i)));
        insert.step();
        insert.reset();
        if ((i + 1) % 65536 == 0)
            ui.progress("正在导入学生名单", static_cast<long long>(i + 1),
                        static_cast<long long>(r.size()));
    }
    transaction.commit();
}

} // namespace roster
