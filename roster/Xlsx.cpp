#include "roster/CellText.h"
#include "roster/Error.h"
#include "roster/Readers.h"
#include "roster/XmlReader.h"

#include "platform/text/Gbk.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

namespace roster {
namespace {

// Larger parts than this are not a class list but a damaged or hostile file.
constexpr zip_uint64_t kMaxPartBytes = 512ull << 20;

// An open .xlsx package; parts are streamed out of it into an XML parser.
class Package {
  public:
    explicit Package(const std::filesystem::path& file) : mFile(file) {
        int error = 0;
        mZip = zip_open(file.c_str(), ZIP_RDONLY, &error);
        if (!mZip) {
            zip_error_t e;
            zip_error_init_with_code(&e, error);
            std::string why = zip_error_strerror(&e);
            zip_error_fini(&e);
            throw Error(ListProblem(file, "无法作为 .xlsx 工作簿打开（" + why + "）"));
        }
    }
    ~Package() { zip_close(mZip); }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    [[nodiscard]] bool has(const std::string& part) const {
        return zip_name_locate(mZip, part.c_str(), ZIP_FL_NOCASE) >= 0;
    }

    // Feeds the part to the handler; false when the package has no such part.
    bool parse(const std::string& part, XmlHandler& handler) const {
        const zip_int64_t index = zip_name_locate(mZip, part.c_str(), ZIP_FL_NOCASE);
        if (index < 0)
            return false;
        zip_file_t* f = zip_fopen_index(mZip, static_cast<zip_uint64_t>(index), 0);
        if (!f)
            throw Error(ListProblem(mFile, "无法读取工作簿的部件 " + part + "（" +
                                               zip_strerror(mZip) + "）"));
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(f, zip_fclose);
        XmlReader xml(handler);
        char buffer[1 << 16];
        zip_uint64_t total = 0;
        while (true) {
            const zip_int64_t n = zip_fread(f, buffer, sizeof buffer);
            if (n < 0)
                throw Error(ListProblem(mFile, "工作簿的部件 " + part + " 已损坏（" +
                                                   zip_file_strerror(f) + "）"));
            total += static_cast<zip_uint64_t>(n);
            if (total > kMaxPartBytes)
                throw Error(ListProblem(mFile, "工作簿的部件 " + part + " 过大"));
            const bool fed = xml.feed(buffer, static_cast<std::size_t>(n), n == 0);
            if (!handler.problem().empty())
                throw Error(ListProblem(mFile, handler.problem()));
            if (!fed)
                throw Error(ListProblem(mFile, "工作簿的部件 " + part + " 不是有效的 XML（" +
                                                   xml.error() + "）"));
            if (n == 0)
                break;
        }
        return true;
    }

  private:
    std::filesystem::path mFile;
    zip_t* mZip = nullptr;
};

// "worksheets/sheet1.xml" relative to "xl/workbook.xml", or an absolute "/xl/...".
std::string ResolvePart(const std::string& from, const std::string& target) {
    if (!target.empty() && target[0] == '/')
        return target.substr(1);
    std::string base = from.substr(0, from.rfind('/') + 1); // "xl/" or ""
    std::string rest = target;
    while (true) {
        if (rest.rfind("./", 0) == 0) {
            rest.erase(0, 2);
        } else if (rest.rfind("../", 0) == 0) {
            rest.erase(0, 3);
            if (!base.empty()) {
                base.pop_back(); // its trailing '/'
                const std::size_t slash = base.rfind('/');
                base.erase(slash == std::string::npos ? 0 : slash + 1);
            }
        } else {
            break;
        }
    }
    return base + rest;
}

// The relationships of one part: id to target part, and the first target
// of each relationship type (the type's last path segment).
class RelsHandler : public XmlHandler {
  public:
    explicit RelsHandler(std::string from) : mFrom(std::move(from)) {}
    void start(std::string_view name, const XmlAttributes& attrs) override {
        if (name != "Relationship")
            return;
        const std::string target = ResolvePart(mFrom, std::string(attrs.get("Target")));
        byId[std::string(attrs.get("Id"))] = target;
        std::string type(attrs.get("Type"));
        byType.emplace(type.substr(type.rfind('/') + 1), target);
    }
    std::map<std::string, std::string> byId;
    std::map<std::string, std::string> byType;

  private:
    std::string mFrom;
};

struct SheetEntry {
    std::string name;
    std::string relId;
};

class WorkbookHandler : public XmlHandler {
  public:
    void start(std::string_view name, const XmlAttributes& attrs) override {
        if (name == "sheet")
            sheets.push_back({std::string(attrs.get("name")), std::string(attrs.get("id"))});
    }
    std::vector<SheetEntry> sheets;
};

// Text of <t> elements, except phonetic runs (<rPh>), which are readings
// and not part of the text.
class TextCollector {
  public:
    void start(std::string_view name) {
        if (name == "rPh")
            ++mPhonetic;
        else if (name == "t" && mPhonetic == 0)
            mInText = true;
    }
    void end(std::string_view name) {
        if (name == "rPh")
            --mPhonetic;
        else if (name == "t")
            mInText = false;
    }
    void text(std::string_view s, std::string& into) const {
        if (mInText)
            into.append(s);
    }

  private:
    int mPhonetic = 0;
    bool mInText = false;
};

// The shared strings in one buffer. A shared string costs at least a few
// bytes of the packed file even when empty and repeated, so there are never
// more of them than the file has bytes: a table that claims more is damaged
// or hostile, and reading stops there.
class SharedStringsHandler : public XmlHandler {
  public:
    explicit SharedStringsHandler(std::uintmax_t limit) : mLimit(limit) {}

    void start(std::string_view name, const XmlAttributes&) override {
        if (name == "si") {
            if (mStarts.size() >= mLimit) {
                stop("工作簿已损坏（共享字符串的数目超过文件大小所能容纳的）");
                return;
            }
            mStarts.push_back(mChars.size());
        }
        mText.start(name);
    }
    void end(std::string_view name) override { mText.end(name); }
    void text(std::string_view s) override {
        if (!mStarts.empty())
            mText.text(s, mChars);
    }

    [[nodiscard]] std::size_t size() const { return mStarts.size(); }
    [[nodiscard]] std::string_view operator[](std::size_t i) const {
        const std::size_t end = i + 1 < mStarts.size() ? mStarts[i + 1] : mChars.size();
        return std::string_view(mChars).substr(mStarts[i], end - mStarts[i]);
    }

  private:
    std::uintmax_t mLimit;
    std::string mChars;
    std::vector<std::size_t> mStarts;
    TextCollector mText;
};

// "BC12" -> column 54 (0-based); -1 when there are no letters.
long ColumnOf(std::string_view ref) {
    long column = 0;
    std::size_t i = 0;
    for (; i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'));
         ++i) {
        column = column * 26 + ((ref[i] & 0x1F));
        if (column > 16384)
            return -1;
    }
    return i == 0 ? -1 : column - 1;
}

// A number as stored in <v>: digits alone are kept as they are (no limit of
// a double's precision); anything else is read as a double.
std::string NumberCell(const std::string& v) {
    bool digits = !v.empty();
    for (char c : v)
        digits = digits && c >= '0' && c <= '9';
    if (digits) {
        const std::size_t first = v.find_first_not_of('0');
        return first == std::string::npos ? "0" : v.substr(first);
    }
    double d = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (ec != std::errc() || end != v.data() + v.size())
        return v;
    return FormatNumber(d);
}

class SheetHandler : public XmlHandler {
  public:
    explicit SheetHandler(const SharedStringsHandler& shared) : mShared(shared) {}

    void start(std::string_view name, const XmlAttributes& attrs) override {
        if (name == "row") {
            const std::string_view r = attrs.get("r");
            long row = static_cast<long>(rows.size()) + 1;
            if (!r.empty())
                std::from_chars(r.data(), r.data() + r.size(), row);
            if (row < static_cast<long>(rows.size()) + 1 || row > 1048576)
                row = static_cast<long>(rows.size()) + 1;
            rows.resize(static_cast<std::size_t>(row)); // a row without cells costs one vector
            mColumn = -1;
        } else if (name == "c") {
            const long column = ColumnOf(attrs.get("r"));
            mColumn = column >= 0 ? column : mColumn + 1;
            mType = std::string(attrs.get("t"));
            mValue.clear();
            mInValue = false;
        } else if (name == "v") {
            mInValue = true;
        }
        mText.start(name);
    }

    void end(std::string_view name) override {
        mText.end(name);
        if (name == "v")
            mInValue = false;
        else if (name == "c" && !rows.empty() && mColumn >= 0)
            store(rows.back());
    }

    void text(std::string_view s) override {
        if (mInValue)
            mValue.append(s);
        else if (mType == "inlineStr")
            mText.text(s, mValue);
    }

    CellRows rows;

  private:
    // Only cells that hold something are kept, in column order.
    void store(CellRow& row) {
        std::string cell;
        if (mType == "s") {
            std::size_t index = mShared.size();
            std::from_chars(mValue.data(), mValue.data() + mValue.size(), index);
            if (index < mShared.size())
                cell = std::string(mShared[index]);
        } else if (mType == "b") {
            cell = mValue == "1" ? "TRUE" : "FALSE";
        } else if (mType.empty() || mType == "n") {
            cell = NumberCell(mValue);
        } else {
            cell = mValue; // inlineStr, str (a formula's text), e (an error), d (a date)
        }
        if (cell.empty())
            return;
        const auto column = static_cast<std::uint32_t>(mColumn);
        auto at = row.end();
        if (!row.empty() && row.back().column >= column)
            at = std::lower_bound(row.begin(), row.end(), column,
                                  [](const Cell& c, std::uint32_t col) { return c.column < col; });
        if (at != row.end() && at->column == column)
            at->text = std::move(cell);
        else
            row.insert(at, Cell{column, std::move(cell)});
    }

    const SharedStringsHandler& mShared;
    TextCollector mText;
    long mColumn = -1;
    std::string mType;
    std::string mValue;
    bool mInValue = false;
};

std::string WorkbookPart(const Package& package) {
    RelsHandler rels("");
    if (package.parse("_rels/.rels", rels)) {
        auto it = rels.byType.find("officeDocument");
        if (it != rels.byType.end())
            return it->second;
    }
    return "xl/workbook.xml";
}

struct Workbook {
    std::string part;
    std::vector<SheetEntry> sheets;
    RelsHandler rels{""};
};

void ReadWorkbook(const Package& package, const std::filesystem::path& file, Workbook& wb) {
    wb.part = WorkbookPart(package);
    WorkbookHandler handler;
    if (!package.parse(wb.part, handler))
        throw Error(ListProblem(file, "不是 .xlsx 工作簿（找不到 " + wb.part + "）"));
    wb.sheets = std::move(handler.sheets);
    const std::string folder = wb.part.substr(0, wb.part.rfind('/') + 1);
    const std::string leaf = wb.part.substr(wb.part.rfind('/') + 1);
    wb.rels = RelsHandler(wb.part);
    package.parse(folder + "_rels/" + leaf + ".rels", wb.rels);
}

std::string Join(const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names)
        s += (s.empty() ? "" : "、") + n;
    return s;
}

} // namespace

std::vector<std::string> XlsxSheetNames(const std::filesystem::path& file) {
    Package package(file);
    Workbook wb;
    ReadWorkbook(package, file, wb);
    std::vector<std::string> names;
    for (const auto& s : wb.sheets)
        names.push_back(s.name);
    return names;
}

CellRows ReadXlsx(const std::filesystem::path& file, const std::optional<std::string>& sheet) {
    Package package(file);
    Workbook wb;
    ReadWorkbook(package, file, wb);
    std::vector<std::string> names;
    const SheetEntry* chosen = nullptr;
    for (const auto& s : wb.sheets) {
        names.push_back(s.name);
        if (!chosen && (!sheet || s.name == *sheet))
            chosen = &s;
    }
    for (const auto& s : wb.sheets)
        if (!chosen && sheet && text::EqualNoCase(s.name, *sheet))
            chosen = &s;
    if (!chosen)
        throw Error(ListProblem(file, sheet ? "没有名为“" + *sheet +
                                                  "”的工作表（工作表有: " + Join(names) + "）"
                                            : std::string("工作簿中没有工作表")));
    auto target = wb.rels.byId.find(chosen->relId);
    if (target == wb.rels.byId.end())
        throw Error(ListProblem(file, "工作表“" + chosen->name + "”在工作簿中没有对应的部件"));

    std::error_code ec;
    const std::uintmax_t fileBytes = std::filesystem::file_size(file, ec);
    SharedStringsHandler shared(ec ? 0 : fileBytes);
    auto sst = wb.rels.byType.find("sharedStrings");
    package.parse(sst != wb.rels.byType.end() ? sst->second : "xl/sharedStrings.xml", shared);
    SheetHandler handler(shared);
    if (!package.parse(target->second, handler))
        throw Error(
            ListProblem(file, "找不到工作表“" + chosen->name + "”的部件 " + target->second));
    return std::move(handler.rows);
}

} // namespace roster
