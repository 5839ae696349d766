#include "scan/Layout.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <set>

namespace scan {
namespace {

std::string Fixed(double mm) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", mm);
    return text;
}

// Reads the values of one JSON object, naming each by its path in the file
// ("pages[0].questions[3].kind") when it is missing or of the wrong type.
class Reader {
  public:
    Reader(QJsonObject object, std::string path)
        : mObject(std::move(object)), mPath(std::move(path)) {}

    [[nodiscard]] std::string key(const char* name) const {
        return mPath.empty() ? name : mPath + "." + name;
    }

    [[nodiscard]] QJsonValue value(const char* name) const {
        QJsonValue v = mObject.value(QLatin1String(name));
        if (v.isUndefined())
            throw LayoutError(key(name) + ": missing");
        return v;
    }

    [[nodiscard]] double number(const char* name) const {
        QJsonValue v = value(name);
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            throw LayoutError(key(name) + ": not a number");
        return v.toDouble();
    }

    [[nodiscard]] int whole(const char* name) const {
        double n = number(name);
        if (n != std::floor(n) || std::fabs(n) > 1e9)
            throw LayoutError(key(name) + ": not a whole number");
        return static_cast<int>(n);
    }

    [[nodiscard]] std::string text(const char* name) const {
        QJsonValue v = value(name);
        if (!v.isString())
            throw LayoutError(key(name) + ": not a text");
        return v.toString().toStdString();
    }

    [[nodiscard]] std::optional<std::string> optionalText(const char* name) const {
        if (!mObject.contains(QLatin1String(name)))
            return std::nullopt;
        return text(name);
    }

    [[nodiscard]] Reader object(const char* name) const {
        QJsonValue v = value(name);
        if (!v.isObject())
            throw LayoutError(key(name) + ": not an object");
        return Reader(v.toObject(), key(name));
    }

    // Each element of an array of objects, read by `read`.
    template <typename T, typename Read> std::vector<T> list(const char* name, Read read) const {
        QJsonValue v = value(name);
        if (!v.isArray())
            throw LayoutError(key(name) + ": not a list");
        std::vector<T> items;
        const QJsonArray array = v.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const std::string at = key(name) + "[" + std::to_string(i) + "]";
            if (!array[i].isObject())
                throw LayoutError(at + ": not an object");
            items.push_back(read(Reader(array[i].toObject(), at)));
        }
        return items;
    }

    [[nodiscard]] bool has(const char* name) const { return mObject.contains(QLatin1String(name)); }

  private:
    QJsonObject mObject;
    std::string mPath;
};

Area ReadArea(const Reader& r) {
    Area a{r.number("x_mm"), r.number("y_mm"), r.number("w_mm"), r.number("h_mm")};
    if (a.w <= 0 || a.h <= 0)
        throw LayoutError(r.key(a.w <= 0 ? "w_mm" : "h_mm") + ": must be more than 0");
    return a;
}

Bubble ReadBubble(const Reader& r) {
    return {r.text("value"), ReadArea(r)};
}

NamedArea ReadNamed(const Reader& r) {
    return {r.text("name"), ReadArea(r)};
}

Mark ReadMark(const Reader& r) {
    Mark m{r.text("name"), r.text("kind"), r.number("x_mm"), r.number("y_mm"), r.number("size_mm")};
    if (m.size <= 0)
        throw LayoutError(r.key("size_mm") + ": must be more than 0");
    return m;
}

Question ReadQuestion(const Reader& r) {
    Question q;
    q.number = r.whole("number");
    const std::string kind = r.text("kind");
    if (kind != "single" && kind != "multiple")
        throw LayoutError(r.key("kind") + ": \"" + kind + "\" is neither single nor multiple");
    q.kind = kind == "single" ? QuestionKind::Single : QuestionKind::Multiple;
    q.bubbles = r.list<Bubble>("bubbles", ReadBubble);
    return q;
}

Digit ReadDigit(const Reader& r) {
    return {r.whole("digit"), r.list<Bubble>("bubbles", ReadBubble)};
}

Page ReadPage(const Reader& r) {
    Page p;
    p.number = r.whole("number");
    p.marks = r.list<Mark>("marks", ReadMark);
    p.patches = r.list<NamedArea>("patches", ReadNamed);
    p.boxes = r.list<NamedArea>("boxes", ReadNamed);
    const Reader qr = r.object("qr");
    p.qrX = qr.number("x_mm");
    p.qrY = qr.number("y_mm");
    p.qrSize = qr.number("size_mm");
    p.examNumber = r.list<Digit>("exam_number", ReadDigit);
    p.questions = r.list<Question>("questions", ReadQuestion);
    if (r.has("instructions"))
        p.instructions = ReadArea(r.object("instructions"));
    return p;
}

// A bubble with its key, for the checks that name it.
struct Placed {
    const Area* area;
    std::string key;
};

bool Overlap(const Area& a, const Area& b) {
    return a.left() < b.right() && b.left() < a.right() && a.top() < b.bottom() &&
           b.top() < a.bottom();
}

std::optional<std::string> BubbleProblem(const Layout& layout, const std::vector<Placed>& bubbles) {
    for (const auto& b : bubbles)
        if (b.area->left() < 0 || b.area->top() < 0 || b.area->right() > layout.width ||
            b.area->bottom() > layout.height)
            return b.key + ": the bubble lies off the page (" + Fixed(layout.width) + " x " +
                   Fixed(layout.height) + " mm)";
    for (std::size_t i = 0; i < bubbles.size(); ++i)
        for (std::size_t j = i + 1; j < bubbles.size(); ++j)
            if (Overlap(*bubbles[i].area, *bubbles[j].area))
                return bubbles[j].key + ": the bubble overlaps " + bubbles[i].key;
    return std::nullopt;
}

std::optional<std::string> PageProblem(const Layout& layout, const Page& page,
                                       const std::string& at) {
    for (std::size_t m = 0; m < page.marks.size(); ++m) {
        const Mark& mark = page.marks[m];
        const double edge = std::min({mark.x - mark.size / 2, mark.y - mark.size / 2,
                                      layout.width - mark.x - mark.size / 2,
                                      layout.height - mark.y - mark.size / 2});
        if (edge < kMarkEdgeMm - 1e-9)
            return at + ".marks[" + std::to_string(m) + "]: the mark \"" + mark.name + "\" comes " +
                   Fixed(edge) + " mm near the paper's edge, less than " + Fixed(kMarkEdgeMm) +
                   " mm";
    }
    const auto digits = page.examNumber.size();
    if (digits == 0 || digits > static_cast<std::size_t>(kMaxIdDigits))
        return at + ".exam_number: " + std::to_string(digits) +
               " digits; an exam number has 1 to " + std::to_string(kMaxIdDigits);
    std::vector<Placed> bubbles;
    for (std::size_t d = 0; d < digits; ++d) {
        const std::string key = at + ".exam_number[" + std::to_string(d) + "]";
        if (page.examNumber[d].bubbles.size() != 10)
            return key + ".bubbles: " + std::to_string(page.examNumber[d].bubbles.size()) +
                   " bubbles; a digit has ten, 0 to 9";
        for (std::size_t b = 0; b < 10; ++b) {
            const Bubble& bubble = page.examNumber[d].bubbles[b];
            if (bubble.value != std::to_string(b))
                return key + ".bubbles[" + std::to_string(b) + "].value: \"" + bubble.value +
                       "\", wanted \"" + std::to_string(b) + "\"";
            bubbles.push_back({&bubble.area, key + ".bubbles[" + std::to_string(b) + "]"});
        }
    }
    for (std::size_t q = 0; q < page.questions.size(); ++q) {
        const Question& question = page.questions[q];
        const std::string key = at + ".questions[" + std::to_string(q) + "]";
        const auto options = question.bubbles.size();
        if (options < static_cast<std::size_t>(kMinOptions) ||
            options > static_cast<std::size_t>(kMaxOptions))
            return key + ".bubbles: question " + std::to_string(question.number) + " has " +
                   std::to_string(options) + " options; a question has 2 to 6";
        for (std::size_t b = 0; b < options; ++b) {
            const Bubble& bubble = question.bubbles[b];
            const std::string letter(1, static_cast<char>('A' + b));
            if (bubble.value != letter)
                return key + ".bubbles[" + std::to_string(b) + "].value: \"" + bubble.value +
                       "\", wanted \"" + letter + "\" (options are A to F in order)";
            bubbles.push_back({&bubble.area, key + ".bubbles[" + std::to_string(b) + "]"});
        }
    }
    return BubbleProblem(layout, bubbles);
}

} // namespace

const char* KindName(QuestionKind kind) {
    return kind == QuestionKind::Single ? "single" : "multiple";
}

std::string QrText(const Layout& layout, const Page& page) {
    return "quillory:" + layout.id + ":" + std::to_string(layout.revision) + ":" +
           std::to_string(page.number);
}

std::optional<std::string> LayoutProblem(const Layout& layout) {
    if (layout.id.empty() || layout.id.find(':') != std::string::npos)
        return "id: \"" + layout.id + "\" must be a text that is not empty and holds no \":\"";
    if (layout.revision < 1)
        return "revision: " + std::to_string(layout.revision) + "; a revision counts from 1";
    if (layout.width <= 0 || layout.height <= 0)
        return "paper: the paper's width and height must be more than 0";
    if (layout.pages.empty())
        return "pages: a layout has at least one page";
    int expected = 1;
    bool multiple = false;
    for (std::size_t p = 0; p < layout.pages.size(); ++p) {
        const Page& page = layout.pages[p];
        const std::string at = "pages[" + std::to_string(p) + "]";
        if (page.number != static_cast<int>(p) + 1)
            return at + ".number: " + std::to_string(page.number) + ", wanted " +
                   std::to_string(p + 1);
        for (std::size_t q = 0; q < page.questions.size(); ++q) {
            const Question& question = page.questions[q];
            const std::string key = at + ".questions[" + std::to_string(q) + "]";
            if (question.number != expected)
                return key + ".number: " + std::to_string(question.number) + ", wanted " +
                       std::to_string(expected) + " (questions are numbered 1 to N without gaps)";
            if (expected > kMaxQuestions)
                return key + ".number: more than " + std::to_string(kMaxQuestions) +
                       " questions in all (the answer table's limit)";
            if (question.kind == QuestionKind::Single && multiple)
                return key + ".kind: single-choice question " + std::to_string(question.number) +
                       " after a multiple-choice one (single-choice questions come first)";
            multiple = multiple || question.kind == QuestionKind::Multiple;
            ++expected;
        }
        if (auto problem = PageProblem(layout, page, at))
            return problem;
    }
    return std::nullopt;
}

Layout ParseLayout(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError)
        throw LayoutError("not JSON: " + error.errorString().toStdString() + " at byte " +
                          std::to_string(error.offset));
    if (!doc.isObject())
        throw LayoutError("not a JSON object");
    const Reader r(doc.object(), "");
    if (r.text("format") != "quillory-layout")
        throw LayoutError("format: \"" + r.text("format") + "\", wanted \"quillory-layout\"");
    if (r.whole("version") != 1)
        throw LayoutError("version: " + std::to_string(r.whole("version")) +
                          ", this program reads version 1");
    Layout layout;
    layout.id = r.text("id");
    layout.revision = r.whole("revision");
    layout.title = r.optionalText("title").value_or("");
    const Reader paper = r.object("paper");
    layout.width = paper.number("width_mm");
    layout.height = paper.number("height_mm");
    layout.pages = r.list<Page>("pages", ReadPage);
    if (auto problem = LayoutProblem(layout))
        throw LayoutError(*problem);
    return layout;
}

Layout LoadLayout(const std::filesystem::path& file) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly))
        throw LayoutError(file.string() + ": cannot be read");
    try {
        return ParseLayout(in.readAll().toStdString());
    } catch (const LayoutError& e) {
        throw LayoutError(file.string() + ": " + e.what());
    }
}

namespace {

QJsonObject AreaJson(const Area& a, QJsonObject o = {}) {
    o["x_mm"] = a.x;
    o["y_mm"] = a.y;
    o["w_mm"] = a.w;
    o["h_mm"] = a.h;
    return o;
}

QJsonObject BubbleJson(const Bubble& b) {
    return AreaJson(b.area, {{"value", QString::fromStdString(b.value)}});
}

template <typename T, typename Write>
QJsonArray ListJson(const std::vector<T>& items, Write write) {
    QJsonArray array;
    for (const auto& item : items)
        array.append(write(item));
    return array;
}

QJsonObject PageJson(const Page& p) {
    QJsonObject o;
    o["number"] = p.number;
    o["marks"] = ListJson(p.marks, [](const Mark& m) {
        return QJsonObject{{"name", QString::fromStdString(m.name)},
                           {"kind", QString::fromStdString(m.kind)},
                           {"x_mm", m.x},
                           {"y_mm", m.y},
                           {"size_mm", m.size}};
    });
    auto named = [](const NamedArea& n) {
        return AreaJson(n.area, {{"name", QString::fromStdString(n.name)}});
    };
    o["patches"] = ListJson(p.patches, named);
    o["boxes"] = ListJson(p.boxes, named);
    o["qr"] = QJsonObject{{"x_mm", p.qrX}, {"y_mm", p.qrY}, {"size_mm", p.qrSize}};
    o["exam_number"] = ListJson(p.examNumber, [](const Digit& d) {
        return QJsonObject{{"digit", d.digit}, {"bubbles", ListJson(d.bubbles, BubbleJson)}};
    });
    o["questions"] = ListJson(p.questions, [](const Question& q) {
        return QJsonObject{{"number", q.number},
                           {"kind", KindName(q.kind)},
                           {"bubbles", ListJson(q.bubbles, BubbleJson)}};
    });
    if (p.instructions)
        o["instructions"] = AreaJson(*p.instructions);
    return o;
}

} // namespace

std::string LayoutJson(const Layout& layout) {
    QJsonObject o;
    o["format"] = "quillory-layout";
    o["version"] = 1;
    o["id"] = QString::fromStdString(layout.id);
    o["revision"] = layout.revision;
    o["title"] = QString::fromStdString(layout.title);
    o["paper"] = QJsonObject{{"width_mm", layout.width}, {"height_mm", layout.height}};
    o["pages"] = ListJson(layout.pages, PageJson);
    return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace scan
