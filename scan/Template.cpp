#include "scan/Template.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <regex>
#include <set>

namespace scan {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
    return reinterpret_cast<const char*>(p.u8string().c_str());
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

[[noreturn]] void Refuse(const std::string& key, const std::string& problem) {
    throw TemplateError(key + ": " + problem);
}

// The keys of a JSON object in the order the text gives them (QJsonObject
// sorts them): the blocks and custom labels keep the file's order. `path`
// names the object by its keys from the top.
class KeyOrder {
  public:
    explicit KeyOrder(std::string text) : mText(std::move(text)) {}

    std::vector<std::string> keysOf(const std::string& topKey) {
        mAt = 0;
        std::vector<std::string> keys;
        skipSpace();
        if (!take('{'))
            return keys;
        while (true) {
            skipSpace();
            if (take('}') || mAt >= mText.size())
                return keys;
            const std::string key = string();
            skipSpace();
            take(':');
            skipSpace();
            if (key == topKey && peek() == '{') {
                take('{');
                while (true) {
                    skipSpace();
                    if (take('}') || mAt >= mText.size())
                        return keys;
                    keys.push_back(string());
                    skipSpace();
                    take(':');
                    skipValue();
                    skipSpace();
                    take(',');
                }
            }
            skipValue();
            skipSpace();
            take(',');
        }
    }

  private:
    char peek() const { return mAt < mText.size() ? mText[mAt] : '\0'; }
    bool take(char c) {
        if (peek() != c)
            return false;
        ++mAt;
        return true;
    }
    void skipSpace() {
        while (mAt < mText.size() && std::isspace(static_cast<unsigned char>(mText[mAt])))
            ++mAt;
    }
    // A JSON string's text; escapes other than \" and \\ are kept as written,
    // which is enough to match the keys QJsonObject gives for plain names.
    std::string string() {
        std::string s;
        if (!take('"'))
            return s;
        while (mAt < mText.size() && mText[mAt] != '"') {
            if (mText[mAt] == '\\' && mAt + 1 < mText.size())
                ++mAt;
            s += mText[mAt++];
        }
        ++mAt;
        return s;
    }
    void skipValue() {
        skipSpace();
        int depth = 0;
        while (mAt < mText.size()) {
            const char c = mText[mAt];
            if (c == '"') {
                (void)string();
                if (depth == 0)
                    return;
                continue;
            }
            if (c == '{' || c == '[')
                ++depth;
            else if (c == '}' || c == ']') {
                if (depth == 0)
                    return;
                --depth;
            } else if (c == ',' && depth == 0)
                return;
            ++mAt;
            if (depth == 0 && (c == '}' || c == ']'))
                return;
        }
    }

    std::string mText;
    std::size_t mAt = 0;
};

// The keys of `object` in the file's order (the keys the text scan missed
// follow in QJsonObject's order).
std::vector<std::string> Ordered(const QJsonObject& object, std::vector<std::string> fromText) {
    std::vector<std::string> keys;
    std::set<std::string> known;
    for (const QString& k : object.keys())
        known.insert(k.toStdString());
    for (std::string& k : fromText)
        if (known.erase(k))
            keys.push_back(std::move(k));
    for (const std::string& k : known)
        keys.push_back(k);
    return keys;
}

void OnlyKeys(const QJsonObject& object, const std::string& path,
              std::initializer_list<const char*> allowed) {
    for (const QString& k : object.keys()) {
        const std::string key = k.toStdString();
        if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }))
            Refuse(path.empty() ? key : path + "." + key, "unknown key");
    }
}

double Positive(const QJsonValue& v, const std::string& key) {
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() <= 0)
        Refuse(key, "not a positive number");
    return v.toDouble();
}

double NotNegative(const QJsonValue& v, const std::string& key) {
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() < 0)
        Refuse(key, "not a number of 0 or more");
    return v.toDouble();
}

std::pair<double, double> Pair(const QJsonValue& v, const std::string& key, bool positive) {
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 2)
        Refuse(key, "not a pair of numbers [x, y]");
    const std::string first = key + "[0]", second = key + "[1]";
    return positive ? std::pair{Positive(a[0], first), Positive(a[1], second)}
                    : std::pair{NotNegative(a[0], first), NotNegative(a[1], second)};
}

std::string Text(const QJsonValue& v, const std::string& key) {
    if (!v.isString() || v.toString().isEmpty())
        Refuse(key, "not a text");
    return v.toString().toStdString();
}

std::vector<std::string> Texts(const QJsonValue& v, const std::string& key) {
    if (!v.isArray() || v.toArray().isEmpty())
        Refuse(key, "not a list of texts");
    std::vector<std::string> texts;
    int i = 0;
    for (const QJsonValue& item : v.toArray())
        texts.push_back(Text(item, key + "[" + std::to_string(i++) + "]"));
    return texts;
}

std::vector<std::string> ExpandAll(const std::vector<std::string>& labels, const std::string& key) {
    std::vector<std::string> all;
    for (const std::string& l : labels) {
        const auto expanded = ExpandLabels(l);
        if (expanded.empty())
            Refuse(key, "'" + l + "' is no label and no range that expands");
        all.insert(all.end(), expanded.begin(), expanded.end());
    }
    return all;
}

bool Overlap(const TemplateBubble& a, const TemplateBubble& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

void ReadBlock(BubbleTemplate& t, const std::string& name, const QJsonObject& block,
               std::pair<double, double> bubble) {
    const std::string path = "fieldBlocks." + name;
    OnlyKeys(block, path,
             {"fieldType", "bubbleValues", "direction", "origin", "bubblesGap", "labelsGap",
              "fieldLabels", "bubbleDimensions"});
    std::vector<std::string> values;
    std::string direction = "horizontal";
    bool integer = false;
    if (block.contains("fieldType")) {
        const std::string type = Text(block.value("fieldType"), path + ".fieldType");
        if (type == "QTYPE_MCQ4")
            values = {"A", "B", "C", "D"};
        else if (type == "QTYPE_MCQ5")
            values = {"A", "B", "C", "D", "E"};
        else if (type == "QTYPE_INT") {
            values = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
            direction = "vertical";
            integer = true;
        } else
            Refuse(path + ".fieldType", "unknown field type '" + type + "'");
    }
    if (block.contains("bubbleValues")) {
        values = Texts(block.value("bubbleValues"), path + ".bubbleValues");
        integer = false;
    } else if (values.empty())
        Refuse(path, "neither fieldType nor bubbleValues");
    if (block.contains("direction")) {
        direction = Text(block.value("direction"), path + ".direction");
        if (direction != "horizontal" && direction != "vertical")
            Refuse(path + ".direction", "neither horizontal nor vertical");
    }
    if (!block.contains("origin"))
        Refuse(path + ".origin", "missing");
    const auto origin = Pair(block.value("origin"), path + ".origin", false);
    for (const char* gap : {"bubblesGap", "labelsGap"})
        if (!block.contains(gap))
            Refuse(path + "." + gap, "missing");
    const double bubblesGap = NotNegative(block.value("bubblesGap"), path + ".bubblesGap");
    const double labelsGap = NotNegative(block.value("labelsGap"), path + ".labelsGap");
    if (block.contains("bubbleDimensions"))
        bubble = Pair(block.value("bubbleDimensions"), path + ".bubbleDimensions", true);
    if (!block.contains("fieldLabels"))
        Refuse(path + ".fieldLabels", "missing");
    const std::string labelsKey = path + ".fieldLabels";
    const auto labels = ExpandAll(Texts(block.value("fieldLabels"), labelsKey), labelsKey);

    // Vertical: a field's bubbles run down and the fields across;
    // horizontal: the other way round.
    const bool vertical = direction == "vertical";
    double leadX = origin.first, leadY = origin.second;
    for (const std::string& label : labels) {
        if (t.field(label))
            Refuse(labelsKey, "'" + label + "' given twice");
        TemplateField field{label, name, integer, {}};
        double x = leadX, y = leadY;
        for (const std::string& v : values) {
            const TemplateBubble b{v, x, y, bubble.first, bubble.second};
            if (b.x + b.w > t.width || b.y + b.h > t.height)
                Refuse(labelsKey, "'" + label + "' lies outside the page (bubble " + v + " at " +
                                      Number(b.x) + "," + Number(b.y) + ")");
            field.bubbles.push_back(b);
            (vertical ? y : x) += bubblesGap;
        }
        (vertical ? leadX : leadY) += labelsGap;
        for (const TemplateField& other : t.fields)
            for (const TemplateBubble& a : other.bubbles)
                for (const TemplateBubble& b : field.bubbles)
                    if (Overlap(a, b))
                        Refuse(labelsKey, "'" + label + "' overlaps '" + other.label +
                                              "' of fieldBlocks." + other.block);
        for (std::size_t i = 0; i < field.bubbles.size(); ++i)
            for (std::size_t j = i + 1; j < field.bubbles.size(); ++j)
                if (Overlap(field.bubbles[i], field.bubbles[j]))
                    Refuse(path + ".bubblesGap", "the bubbles of '" + label + "' overlap");
        t.fields.push_back(std::move(field));
    }
}

TemplateStep ReadStep(const QJsonValue& value, const std::string& path, const fs::path& folder) {
    if (!value.isObject())
        Refuse(path, "not an object");
    const QJsonObject o = value.toObject();
    OnlyKeys(o, path, {"name", "options"});
    const std::string name = Text(o.value("name"), path + ".name");
    const QJsonObject options = o.value("options").toObject();
    const std::string opt = path + ".options";
    if (o.contains("options") && !o.value("options").isObject())
        Refuse(opt, "not an object");
    TemplateStep s;
    const auto whole = [&](const char* key, double v) {
        if (v != std::floor(v) || v < 1 || v > 99)
            Refuse(opt + "." + key, "not a whole number from 1 to 99");
        return static_cast<int>(v);
    };
    if (name == "CropOnMarkers") {
        s.kind = TemplateStep::Kind::CropOnMarkers;
        OnlyKeys(options, opt, {"relativePath", "sheetToMarkerWidthRatio"});
        const std::string relative =
            options.contains("relativePath")
                ? Text(options.value("relativePath"), opt + ".relativePath")
                : "omr_marker.jpg";
        s.markerFile = folder / fs::u8path(relative);
        QFile f(QString::fromStdString(Utf8(s.markerFile)));
        if (!f.open(QIODevice::ReadOnly))
            Refuse(opt + ".relativePath", "marker image " + Utf8(s.markerFile) + " not found");
        const QByteArray bytes = f.readAll();
        s.marker.assign(bytes.begin(), bytes.end());
        if (options.contains("sheetToMarkerWidthRatio"))
            s.sheetToMarkerWidthRatio = Positive(options.value("sheetToMarkerWidthRatio"),
                                                 opt + ".sheetToMarkerWidthRatio");
        if (s.sheetToMarkerWidthRatio < 2)
            Refuse(opt + ".sheetToMarkerWidthRatio", "a marker at least half the sheet's width");
    } else if (name == "CropPage") {
        OnlyKeys(options, opt, {"morphKernel"});
        if (options.contains("morphKernel")) {
            const auto k = Pair(options.value("morphKernel"), opt + ".morphKernel", true);
            s.morphWidth = whole("morphKernel", k.first);
            s.morphHeight = whole("morphKernel", k.second);
        }
    } else if (name == "GaussianBlur") {
        s.kind = TemplateStep::Kind::GaussianBlur;
        OnlyKeys(options, opt, {"kSize", "sigmaX"});
        if (options.contains("kSize")) {
            const auto k = Pair(options.value("kSize"), opt + ".kSize", true);
            s.kernelWidth = whole("kSize", k.first);
            s.kernelHeight = whole("kSize", k.second);
        }
        if (s.kernelWidth % 2 == 0 || s.kernelHeight % 2 == 0)
            Refuse(opt + ".kSize", "not odd");
        if (options.contains("sigmaX"))
            s.sigmaX = NotNegative(options.value("sigmaX"), opt + ".sigmaX");
    } else if (name == "MedianBlur") {
        s.kind = TemplateStep::Kind::MedianBlur;
        OnlyKeys(options, opt, {"kSize"});
        s.kernelWidth = s.kernelHeight = 5;
        if (options.contains("kSize"))
            s.kernelWidth = s.kernelHeight =
                whole("kSize", NotNegative(options.value("kSize"), opt + ".kSize"));
        if (s.kernelWidth % 2 == 0)
            Refuse(opt + ".kSize", "not odd");
    } else if (name == "Levels") {
        s.kind = TemplateStep::Kind::Levels;
        OnlyKeys(options, opt, {"low", "high", "gamma"});
        if (options.contains("low"))
            s.low = NotNegative(options.value("low"), opt + ".low");
        if (options.contains("high"))
            s.high = NotNegative(options.value("high"), opt + ".high");
        if (options.contains("gamma"))
            s.gamma = Positive(options.value("gamma"), opt + ".gamma");
        if (s.high > 1 || s.low >= s.high)
            Refuse(opt, "low and high not with 0 <= low < high <= 1");
    } else {
        Refuse(path + ".name", "preprocessor " + name + " is not supported");
    }
    return s;
}

} // namespace

const TemplateField* BubbleTemplate::field(const std::string& label) const {
    for (const TemplateField& f : fields)
        if (f.label == label)
            return &f;
    return nullptr;
}

std::vector<std::string> ExpandLabels(const std::string& label) {
    const auto dots = label.find("..");
    if (dots == std::string::npos)
        return {label};
    static const std::regex range(R"(([^.\d]+)(\d+)\.{2,3}(\d+))");
    std::smatch m;
    if (!std::regex_match(label, m, range))
        return {};
    const std::string& prefix = m[1].str();
    if (m[2].length() > 6 || m[3].length() > 6)
        return {};
    const int start = std::stoi(m[2].str()), end = std::stoi(m[3].str());
    if (start >= end)
        return {};
    std::vector<std::string> labels;
    for (int n = start; n <= end; ++n)
        labels.push_back(prefix + std::to_string(n));
    return labels;
}

BubbleTemplate ParseTemplate(const std::string& json, const fs::path& folder,
                             const std::string& idLabel) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError)
        throw TemplateError("not JSON at byte " + std::to_string(error.offset) + ": " +
                            error.errorString().toStdString());
    if (!doc.isObject())
        throw TemplateError("not a JSON object");
    const QJsonObject top = doc.object();
    OnlyKeys(
        top, "",
        {"pageDimensions", "bubbleDimensions", "fieldBlocks", "customLabels", "preProcessors"});
    for (const char* key : {"pageDimensions", "bubbleDimensions", "fieldBlocks"})
        if (!top.contains(key))
            Refuse(key, "missing");
    BubbleTemplate t;
    std::tie(t.width, t.height) = Pair(top.value("pageDimensions"), "pageDimensions", true);
    const auto bubble = Pair(top.value("bubbleDimensions"), "bubbleDimensions", true);
    const QJsonValue blocks = top.value("fieldBlocks");
    if (!blocks.isObject() || blocks.toObject().isEmpty())
        Refuse("fieldBlocks", "not an object of blocks");
    KeyOrder order(json);
    for (const std::string& name : Ordered(blocks.toObject(), order.keysOf("fieldBlocks"))) {
        const QJsonValue block = blocks.toObject().value(QString::fromStdString(name));
        if (!block.isObject())
            Refuse("fieldBlocks." + name, "not an object");
        ReadBlock(t, name, block.toObject(), bubble);
    }

    std::set<std::string> joined;
    if (top.contains("customLabels")) {
        const QJsonValue custom = top.value("customLabels");
        if (!custom.isObject())
            Refuse("customLabels", "not an object");
        for (const std::string& name : Ordered(custom.toObject(), order.keysOf("customLabels"))) {
            const std::string key = "customLabels." + name;
            if (t.field(name))
                Refuse(key, "also the label of a field");
            const auto labels =
                ExpandAll(Texts(custom.toObject().value(QString::fromStdString(name)), key), key);
            for (const std::string& l : labels) {
                if (!t.field(l))
                    Refuse(key, "'" + l + "' is no field");
                if (!joined.insert(l).second)
                    Refuse(key, "'" + l + "' is joined by another custom label too");
            }
            t.customLabels.emplace_back(name, labels);
        }
    }

    if (top.contains("preProcessors")) {
        const QJsonValue steps = top.value("preProcessors");
        if (!steps.isArray())
            Refuse("preProcessors", "not a list");
        int i = 0;
        for (const QJsonValue& step : steps.toArray()) {
            t.steps.push_back(ReadStep(step, "preProcessors[" + std::to_string(i) + "]", folder));
            ++i;
        }
        const auto crops = std::count_if(t.steps.begin(), t.steps.end(), [](const auto& s) {
            return s.kind == TemplateStep::Kind::CropPage ||
                   s.kind == TemplateStep::Kind::CropOnMarkers;
        });
        if (crops > 1)
            Refuse("preProcessors", "more than one of CropPage and CropOnMarkers");
    }

    // The exam number: the label named, or the one custom label made only
    // of QTYPE_INT fields.
    const auto allInteger = [&](const std::vector<std::string>& labels) {
        return std::all_of(labels.begin(), labels.end(),
                           [&](const std::string& l) { return t.field(l)->integer; });
    };
    if (!idLabel.empty()) {
        const auto it = std::find_if(t.customLabels.begin(), t.customLabels.end(),
                                     [&](const auto& c) { return c.first == idLabel; });
        if (it == t.customLabels.end())
            Refuse("customLabels", "no custom label '" + idLabel + "' for the exam number");
        if (!allInteger(it->second))
            Refuse("customLabels." + idLabel, "not made only of QTYPE_INT fields");
        t.idLabel = idLabel;
    } else {
        std::vector<std::string> candidates;
        for (const auto& [name, labels] : t.customLabels)
            if (allInteger(labels))
                candidates.push_back(name);
        if (candidates.size() == 1)
            t.idLabel = candidates.front();
    }
    return t;
}

Layout TemplateLayout(BubbleTemplate t, const std::string& id) {
    Layout layout;
    layout.id = id;
    layout.title = id;
    layout.width = t.width;
    layout.height = t.height;
    Page page;
    std::set<std::string> digits;
    for (const auto& [name, labels] : t.customLabels)
        if (name == t.idLabel)
            digits.insert(labels.begin(), labels.end());
    const auto area = [](const TemplateBubble& b) {
        return Bubble{b.value, Area{b.x + b.w / 2, b.y + b.h / 2, b.w, b.h}};
    };
    for (const auto& [name, labels] : t.customLabels) {
        if (name != t.idLabel)
            continue;
        int column = 0;
        for (const std::string& l : labels) {
            Digit d{++column, {}};
            for (const TemplateBubble& b : t.field(l)->bubbles)
                d.bubbles.push_back(area(b));
            page.examNumber.push_back(std::move(d));
        }
    }
    int number = 0;
    for (const TemplateField& f : t.fields) {
        if (digits.count(f.label) || f.bubbles.size() > static_cast<std::size_t>(kMaxOptions))
            continue;
        Question q{++number, QuestionKind::Multiple, {}};
        for (const TemplateBubble& b : f.bubbles)
            q.bubbles.push_back(area(b));
        page.questions.push_back(std::move(q));
    }
    layout.pages.push_back(std::move(page));
    layout.bubbleTemplate = std::make_shared<const BubbleTemplate>(std::move(t));
    return layout;
}

bool IsTemplateFile(const fs::path& file) {
    std::string name = Utf8(file.filename());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.size() > 12 && name.compare(name.size() - 12, 12, ".layout.json") == 0)
        return false;
    QFile f(QString::fromStdString(Utf8(file)));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A file that is no JSON object and not named as our layout is taken
    // for a broken template, so that its refusal names its keys.
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (!doc.isObject())
        return true;
    return doc.object().contains("fieldBlocks") || !doc.object().contains("pages");
}

Layout LoadTemplate(const fs::path& file, const std::string& idLabel) {
    QFile f(QString::fromStdString(Utf8(file)));
    if (!f.open(QIODevice::ReadOnly))
        throw TemplateError(Utf8(file) + ": cannot be read");
    const QByteArray bytes = f.readAll();
    try {
        Layout layout = TemplateLayout(
            ParseTemplate(bytes.toStdString(), file.parent_path(), idLabel), Utf8(file.stem()));
        if (layout.pages.front().questions.size() > static_cast<std::size_t>(kMaxQuestions))
            throw TemplateError("fieldBlocks: more than " + std::to_string(kMaxQuestions) +
                                " questions");
        return layout;
    } catch (const TemplateError& e) {
        throw TemplateError(Utf8(file) + ": " + e.what());
    }
}

} // namespace scan
