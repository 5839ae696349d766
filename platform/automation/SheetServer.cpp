#include "platform/automation/SheetServer.h"

#include "platform/automation/Automation.h"
#include "platform/text/Gbk.h"
#include "platform/xlsx/Workbook.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

namespace automation {
namespace {

template <typename T> const T& Want(const std::vector<Arg>& args, std::size_t i, const char* what) {
    if (i >= args.size() || !std::holds_alternative<T>(args[i]))
        throw Rejected(std::string("参数错误: ") + what);
    return std::get<T>(args[i]);
}

template <typename T> const T& Want(const Arg& arg, const char* what) {
    if (!std::holds_alternative<T>(arg))
        throw Rejected(std::string("参数错误: ") + what);
    return std::get<T>(arg);
}

struct Cell {
    enum Kind { None, Blank, Number, Text } kind = None;
    double number = 0;
    std::string text; // UTF-8
};

// Rows and columns from 0; `whole` ranges span all rows or columns.
struct Rect {
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    bool allRows = false, allColumns = false;
};

struct Border {
    int lineStyle = xlLineStyleNone;
    int weight = xlThin;
    int color = xlColorIndexAutomatic;
};

struct RangeFormat {
    Rect rect;
    std::string numberFormat;
    std::map<int, Border> borders; // by XlBordersIndex
};

// The rows and columns of a worksheet.
constexpr int kSheetRows = 1 << 20;
constexpr int kSheetColumns = 1 << 14;

struct Sheet {
    std::string file;
    std::vector<std::vector<Cell>> rows;
    int columns = 0;
    Rect selection;
    std::vector<RangeFormat> formats;
    std::string centerFooter, rightFooter;
    std::vector<bool> autofit;
    std::function<void(const std::string&)> clipboard; // the desktop's, where Copy puts the sheet

    RangeFormat& formatOf(const Rect& r) {
        for (auto& f : formats)
            if (std::tie(f.rect.r1, f.rect.c1, f.rect.r2, f.rect.c2, f.rect.allRows,
                         f.rect.allColumns) ==
                std::tie(r.r1, r.c1, r.r2, r.c2, r.allRows, r.allColumns))
                return f;
        formats.push_back({r, "", {}});
        return formats.back();
    }

    const Cell* at(int r, int c) const {
        if (r < 0 || r >= static_cast<int>(rows.size()) || c < 0 ||
            c >= static_cast<int>(rows[static_cast<std::size_t>(r)].size()))
            return nullptr;
        return &rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    }
};

std::string CellText(const Cell& c) {
    if (c.kind == Cell::Text)
        return c.text;
    if (c.kind == Cell::Number) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", c.number);
        return buf;
    }
    return "";
}

// "a2:c101", "a:a": single letters a to z only, as the report addresses them.
Rect ParseRange(const std::string& text) {
    auto bad = [&] { return Rejected("无法识别的区域: " + text); };
    auto part = [&](const std::string& p, int& col, int& row) {
        if (p.empty())
            throw bad();
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        if (letter < 'a' || letter > 'z')
            throw bad();
        col = letter - 'a';
        row = -1;
        if (p.size() > 1) {
            for (std::size_t i = 1; i < p.size(); ++i)
                if (p[i] < '0' || p[i] > '9')
                    throw bad();
            row = std::atoi(p.c_str() + 1) - 1;
            if (row < 0)
                throw bad();
        }
    };
    std::size_t colon = text.find(':');
    std::string a = text.substr(0, colon);
    std::string b = colon == std::string::npos ? a : text.substr(colon + 1);
    Rect r;
    int ra, rb;
    part(a, r.c1, ra);
    part(b, r.c2, rb);
    if ((ra < 0) != (rb < 0))
        throw bad();
    if (ra < 0) {
        r.allRows = true;
    } else {
        r.r1 = std::min(ra, rb);
        r.r2 = std::max(ra, rb);
    }
    if (r.c1 > r.c2)
        std::swap(r.c1, r.c2);
    return r;
}

void LoadXls(Sheet& s, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Rejected("不能打开文件 " + file);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string b = ss.str();
    auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(b[at]) |
                                     (static_cast<unsigned char>(b[at + 1]) << 8));
    };
    std::size_t at = 0;
    bool ended = false;
    while (at + 4 <= b.size()) {
        const unsigned id = u16(at), len = u16(at + 2);
        if (at + 4 + len > b.size())
            throw Rejected("文件格式错误: " + file);
        const std::size_t d = at + 4;
        if (id == 0x000A) {
            ended = true;
            break;
        }
        if (id == 0x0201 || id == 0x027E || id == 0x0203 || id == 0x0204) {
            if (len < 6)
                throw Rejected("文件格式错误: " + file);
            const int row = static_cast<int>(u16(d)), col = static_cast<int>(u16(d + 2));
            if (static_cast<int>(s.rows.size()) <= row)
                s.rows.resize(static_cast<std::size_t>(row) + 1);
            auto& cells = s.rows[static_cast<std::size_t>(row)];
            if (static_cast<int>(cells.size()) <= col)
                cells.resize(static_cast<std::size_t>(col) + 1);
            s.columns = std::max(s.columns, col + 1);
            Cell& c = cells[static_cast<std::size_t>(col)];
            if (id == 0x0201) {
                c.kind = Cell::Blank;
            } else if (id == 0x027E && len >= 10) {
                std::uint32_t rk;
                std::memcpy(&rk, b.data() + d + 6, 4);
                double v;
                if (rk & 2) {
                    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
                } else {
                    std::uint64_t bits = static_cast<std::uint64_t>(rk & ~3u) << 32;
                    std::memcpy(&v, &bits, 8);
                }
                c.kind = Cell::Number;
                c.number = (rk & 1) ? v / 100 : v;
            } else if (id == 0x0203 && len >= 14) {
                c.kind = Cell::Number;
                std::memcpy(&c.number, b.data() + d + 6, 8);
            } else if (id == 0x0204 && len >= 8) {
                const unsigned n = u16(d + 6);
                if (8 + n > len)
                    throw Rejected("文件格式错误: " + file);
                c.kind = Cell::Text;
                c.text = text::FromGbk(b.substr(d + 8, n));
            }
        }
        at = d + len;
    }
    if (!ended)
        throw Rejected("文件没有结束记录: " + file);
    s.file = file;
    s.autofit.assign(static_cast<std::size_t>(std::max(s.columns, 26)), false);
}

std::string SheetText(const Sheet& s, const Rect& r) {
    const int r1 = r.allRows ? 0 : r.r1;
    const int r2 = r.allRows ? static_cast<int>(s.rows.size()) - 1 : r.r2;
    const int c1 = r.allColumns ? 0 : r.c1;
    const int c2 = r.allColumns ? s.columns - 1 : r.c2;
    std::string out;
    for (int row = r1; row <= r2; ++row) {
        for (int col = c1; col <= c2; ++col) {
            if (col > c1)
                out += '\t';
            if (const Cell* c = s.at(row, col))
                out += CellText(*c);
        }
        out += "\r\n";
    }
    return out;
}

xlsx::Line Line(const Border& b) {
    if (b.lineStyle == xlLineStyleNone)
        return xlsx::Line::None;
    switch (b.weight) {
    case xlHairline:
        return xlsx::Line::Hair;
    case xlMedium:
        return xlsx::Line::Medium;
    case xlThick:
        return xlsx::Line::Thick;
    default:
        return b.lineStyle == xlContinuous ? xlsx::Line::Thin : xlsx::Line::Dashed;
    }
}

bool Inside(const Rect& r, int row, int col) {
    return (r.allRows || (row >= r.r1 && row <= r.r2)) &&
           (r.allColumns || (col >= r.c1 && col <= r.c2));
}

// The number format and lines of one cell.
struct CellLook {
    std::string number;
    xlsx::Line left = xlsx::Line::None;
    xlsx::Line right = xlsx::Line::None;
    xlsx::Line top = xlsx::Line::None;
    xlsx::Line bottom = xlsx::Line::None;

    auto operator<=>(const CellLook&) const = default;
    [[nodiscard]] bool plain() const { return *this == CellLook{}; }
    [[nodiscard]] xlsx::Style style() const {
        xlsx::Style style;
        if (!number.empty())
            style.numberFormat(number);
        return style.left(left).right(right).top(top).bottom(bottom);
    }
};

// What every formatted range that holds the cell gives it, the later range
// over the earlier: its number format, the range's edge borders on its
// edges and its inside borders between its cells.
CellLook LookAt(const Sheet& s, int row, int col) {
    CellLook look;
    for (const auto& f : s.formats) {
        if (!Inside(f.rect, row, col))
            continue;
        if (!f.numberFormat.empty())
            look.number = f.numberFormat;
        auto edge = [&](int index, xlsx::Line& side) {
            auto it = f.borders.find(index);
            if (it != f.borders.end())
                side = Line(it->second);
        };
        const int r1 = f.rect.allRows ? 0 : f.rect.r1, r2 = f.rect.allRows ? kSheetRows : f.rect.r2;
        const int c1 = f.rect.allColumns ? 0 : f.rect.c1,
                  c2 = f.rect.allColumns ? kSheetColumns : f.rect.c2;
        edge(col == c1 ? xlEdgeLeft : xlInsideVertical, look.left);
        edge(col == c2 ? xlEdgeRight : xlInsideVertical, look.right);
        edge(row == r1 ? xlEdgeTop : xlInsideHorizontal, look.top);
        edge(row == r2 ? xlEdgeBottom : xlInsideHorizontal, look.bottom);
    }
    return look;
}

// The workbook whole or not at all: written beside its place, then renamed.
void WriteWorkbook(const Sheet& s, const std::string& path) {
    xlsx::Workbook book(path, {.constantMemory = true, .zip64 = false});
    xlsx::Sheet ws = book.addSheet();
    std::string footer;
    if (!s.centerFooter.empty())
        footer += "&C" + s.centerFooter;
    if (!s.rightFooter.empty())
        footer += "&R" + s.rightFooter;
    if (!footer.empty())
        ws.footer(footer);
    for (int c = 0; c < s.columns; ++c) {
        if (!s.autofit[static_cast<std::size_t>(c)])
            continue;
        std::size_t widest = 1;
        for (const auto& row : s.rows)
            if (c < static_cast<int>(row.size()))
                widest =
                    std::max(widest, text::GbkWidth(CellText(row[static_cast<std::size_t>(c)])));
        ws.columnWidth(static_cast<xlsx::Col>(c), static_cast<xlsx::Col>(c),
                       static_cast<double>(widest));
    }
    // One format for every distinct look, added as the cells first need it.
    std::map<CellLook, xlsx::Format> made;
    auto formatAt = [&](int row, int col) -> xlsx::Format {
        const CellLook look = LookAt(s, row, col);
        if (look.plain())
            return {};
        auto it = made.find(look);
        if (it != made.end())
            return it->second;
        return made.emplace(look, book.addFormat(look.style())).first->second;
    };
    for (std::size_t r = 0; r < s.rows.size(); ++r) {
        for (std::size_t c = 0; c < s.rows[r].size(); ++c) {
            const Cell& cell = s.rows[r][c];
            const xlsx::Format f = formatAt(static_cast<int>(r), static_cast<int>(c));
            const auto row = static_cast<xlsx::Row>(r);
            const auto col = static_cast<xlsx::Col>(c);
            if (cell.kind == Cell::Number)
                ws.number(row, col, cell.number, f);
            else if (cell.kind == Cell::Text)
                ws.text(row, col, cell.text, f);
            else if (!f.plain())
                ws.blank(row, col, f);
        }
    }
    book.commit();
}

class SheetObject;

class BorderObject : public Object {
  public:
    BorderObject(std::shared_ptr<Sheet> s, Rect r, int index)
        : mSheet(std::move(s)), mRect(r), mIndex(index) {}
    ObjectPtr get(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("Borders 没有成员 " + m);
    }
    void put(const std::string& m, const Arg& v) override {
        Border& b = mSheet->formatOf(mRect).borders[mIndex];
        if (Is(m, "LineStyle"))
            b.lineStyle = Want<std::int32_t>(v, "LineStyle");
        else if (Is(m, "Weight"))
            b.weight = Want<std::int32_t>(v, "Weight");
        else if (Is(m, "ColorIndex"))
            b.color = Want<std::int32_t>(v, "ColorIndex");
        else
            throw Rejected("Borders 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("Borders 没有方法 " + m);
    }

  private:
    std::shared_ptr<Sheet> mSheet;
    Rect mRect;
    int mIndex;
};

class RangeObject : public Object {
  public:
    RangeObject(std::shared_ptr<Sheet> s, Rect r) : mSheet(std::move(s)), mRect(r) {}
    ObjectPtr get(const std::string& m, const std::vector<Arg>& args) override {
        if (Is(m, "Borders")) {
            int index = Want<std::int32_t>(args, 0, "Borders");
            if (index < xlDiagonalDown || index > xlInsideHorizontal)
                throw Rejected("Borders 的序号 " + std::to_string(index));
            return std::make_shared<BorderObject>(mSheet, mRect, index);
        }
        if (Is(m, "EntireColumn")) {
            Rect r = mRect;
            r.allRows = true;
            return std::make_shared<RangeObject>(mSheet, r);
        }
        throw Rejected("Range 没有成员 " + m);
    }
    void put(const std::string& m, const Arg& v) override {
        if (Is(m, "NumberFormatLocal") || Is(m, "NumberFormat"))
            mSheet->formatOf(mRect).numberFormat = Want<std::string>(v, m.c_str());
        else
            throw Rejected("Range 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>&) override {
        if (Is(m, "select")) {
            mSheet->selection = mRect;
        } else if (Is(m, "AutoFit")) {
            for (int c = mRect.allColumns ? 0 : mRect.c1;
                 c <= (mRect.allColumns ? mSheet->columns - 1 : mRect.c2); ++c)
                if (c >= 0 && c < static_cast<int>(mSheet->autofit.size()))
                    mSheet->autofit[static_cast<std::size_t>(c)] = true;
        } else if (Is(m, "Copy")) {
            if (mSheet->clipboard)
                mSheet->clipboard(SheetText(*mSheet, mRect));
        } else {
            throw Rejected("Range 没有方法 " + m);
        }
    }

  private:
    std::shared_ptr<Sheet> mSheet;
    Rect mRect;
};

class PageSetupObject : public Object {
  public:
    explicit PageSetupObject(std::shared_ptr<Sheet> s) : mSheet(std::move(s)) {}
    ObjectPtr get(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("PageSetup 没有成员 " + m);
    }
    void put(const std::string& m, const Arg& v) override {
        if (Is(m, "CenterFooter"))
            mSheet->centerFooter = Want<std::string>(v, "CenterFooter");
        else if (Is(m, "RightFooter"))
            mSheet->rightFooter = Want<std::string>(v, "RightFooter");
        else
            throw Rejected("PageSetup 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("PageSetup 没有方法 " + m);
    }

  private:
    std::shared_ptr<Sheet> mSheet;
};

class SheetObject : public Object {
  public:
    explicit SheetObject(std::shared_ptr<Sheet> s) : mSheet(std::move(s)) {}
    ObjectPtr get(const std::string& m, const std::vector<Arg>& args) override {
        if (Is(m, "range"))
            return std::make_shared<RangeObject>(mSheet,
                                                 ParseRange(Want<std::string>(args, 0, "range")));
        if (Is(m, "Columns")) {
            Rect r = ParseRange(Want<std::string>(args, 0, "Columns"));
            if (!r.allRows)
                throw Rejected("Columns 的区域 " + std::get<std::string>(args[0]));
            return std::make_shared<RangeObject>(mSheet, r);
        }
        if (Is(m, "PageSetup"))
            return std::make_shared<PageSetupObject>(mSheet);
        if (Is(m, "Cells")) {
            Rect all;
            all.allRows = all.allColumns = true;
            return std::make_shared<RangeObject>(mSheet, all);
        }
        throw Rejected("Worksheet 没有成员 " + m);
    }
    void put(const std::string& m, const Arg&) override {
        throw Rejected("Worksheet 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("Worksheet 没有方法 " + m);
    }

  private:
    std::shared_ptr<Sheet> mSheet;
};

struct AppState {
    Desktop desktop;
    bool visible = false;
    bool quit = false;
    std::shared_ptr<Sheet> sheet;
};

class WorkbooksObject : public Object {
  public:
    explicit WorkbooksObject(std::shared_ptr<AppState> s) : mState(std::move(s)) {}
    ObjectPtr get(const std::string& m, const std::vector<Arg>&) override {
        throw Rejected("Workbooks 没有成员 " + m);
    }
    void put(const std::string& m, const Arg&) override {
        throw Rejected("Workbooks 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>& args) override {
        if (!Is(m, "Open"))
            throw Rejected("Workbooks 没有方法 " + m);
        auto sheet = std::make_shared<Sheet>();
        LoadXls(*sheet, Want<std::string>(args, 0, "Open"));
        sheet->clipboard = mState->desktop.clipboard;
        mState->sheet = sheet;
    }

  private:
    std::shared_ptr<AppState> mState;
};

class ApplicationObject : public Object {
  public:
    explicit ApplicationObject(Desktop desktop) : mState(std::make_shared<AppState>()) {
        mState->desktop = std::move(desktop);
    }
    ~ApplicationObject() override {
        // Let go while visible: the user goes on with the workbook.
        if (!mState->visible || mState->quit || !mState->sheet)
            return;
        try {
            const std::string path = WorkbookPathFor(mState->sheet->file);
            WriteWorkbook(*mState->sheet, path);
            if (mState->desktop.shell)
                mState->desktop.shell->open(path);
        } catch (const std::exception& e) {
            if (mState->desktop.failed)
                mState->desktop.failed(e.what());
            else
                std::fprintf(stderr, "%s\n", e.what());
        }
    }
    ObjectPtr get(const std::string& m, const std::vector<Arg>&) override {
        if (Is(m, "WorkBooks"))
            return std::make_shared<WorkbooksObject>(mState);
        if (!mState->sheet)
            throw Rejected("没有打开的工作簿");
        if (Is(m, "ActiveSheet"))
            return std::make_shared<SheetObject>(mState->sheet);
        if (Is(m, "Selection"))
            return std::make_shared<RangeObject>(mState->sheet, mState->sheet->selection);
        throw Rejected("Application 没有成员 " + m);
    }
    void put(const std::string& m, const Arg& v) override {
        if (Is(m, "visible"))
            mState->visible = Want<bool>(v, "visible");
        else
            throw Rejected("Application 没有属性 " + m);
    }
    void call(const std::string& m, const std::vector<Arg>&) override {
        if (Is(m, "quit"))
            mState->quit = true;
        else
            throw Rejected("Application 没有方法 " + m);
    }

  private:
    std::shared_ptr<AppState> mState;
};

} // namespace

Factory SheetServer(Desktop desktop) {
    return [desktop = std::move(desktop)] { return std::make_shared<ApplicationObject>(desktop); };
}

std::string WorkbookPathFor(const std::string& xls) {
    std::string path = xls;
    std::size_t dot = path.find_last_of('.');
    std::size_t slash = path.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return path + ".xlsx";
}

} // namespace automation
