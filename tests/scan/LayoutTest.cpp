// The layout file: what a designed sheet writes loads back unchanged, and
// every damaged file is refused naming the key and the problem.
#include "scan/Layout.h"
#include "scan/SheetDesign.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace {

scan::SheetSettings Settings(int single, int multi, scan::Paper paper = scan::Paper::A4,
                             int pages = 1) {
    scan::SheetSettings s;
    s.questions = single;
    s.multi = multi;
    s.paper = paper;
    s.pages = pages;
    s.id = "exam";
    return s;
}

QJsonObject Json(const scan::Layout& layout) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(scan::LayoutJson(layout))).object();
}

std::string Text(const QJsonObject& o) {
    return QJsonDocument(o).toJson().toStdString();
}

// Changes the value at a path of object keys and array indexes.
using Edit = std::function<void(QJsonObject&)>;

QJsonValue At(const QJsonValue& v, const std::vector<QString>& path, std::size_t i,
              const QJsonValue& to) {
    if (i == path.size())
        return to;
    bool index = false;
    const int n = path[i].toInt(&index);
    if (index) {
        QJsonArray a = v.toArray();
        if (n >= a.size())
            a.append(to);
        else
            a[n] = At(a[n], path, i + 1, to);
        return a;
    }
    QJsonObject o = v.toObject();
    if (to.isUndefined() && i + 1 == path.size())
        o.remove(path[i]);
    else
        o[path[i]] = At(o[path[i]], path, i + 1, to);
    return o;
}

Edit Set(const QString& dotted, const QJsonValue& to) {
    return [=](QJsonObject& o) {
        const QStringList parts = dotted.split('.');
        o = At(o, std::vector<QString>(parts.begin(), parts.end()), 0, to).toObject();
    };
}

QJsonValue Get(const QJsonObject& o, const QString& dotted) {
    QJsonValue v = o;
    for (const QString& part : dotted.split('.')) {
        bool index = false;
        const int n = part.toInt(&index);
        v = index ? v.toArray()[n] : v.toObject()[part];
    }
    return v;
}

struct Refusal {
    const char* name;
    scan::SheetSettings settings;
    std::function<void(QJsonObject&)> edit;
    const char* key;
    const char* problem;
};

class LayoutRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(LayoutRefusal, NamesTheKeyAndTheProblem) {
    const Refusal& r = GetParam();
    QJsonObject json = Json(scan::DesignSheet(r.settings));
    ASSERT_NO_THROW((void)scan::ParseLayout(Text(json)));
    r.edit(json);
    try {
        (void)scan::ParseLayout(Text(json));
        FAIL() << "loaded";
    } catch (const scan::LayoutError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind(r.key, 0), 0u) << text;
        EXPECT_NE(text.find(r.problem), std::string::npos) << text;
    }
}

QJsonObject Bubble(double x, double y, const char* value) {
    return {{"value", value}, {"x_mm", x}, {"y_mm", y}, {"w_mm", 4.2}, {"h_mm", 3}};
}

const Refusal kRefusals[] = {
    {"Overlap", Settings(10, 0),
     [](QJsonObject& o) {
         const double x = Get(o, "pages.0.questions.1.bubbles.0.x_mm").toDouble();
         Set("pages.0.questions.1.bubbles.1.x_mm", x + 2)(o);
     },
     "pages[0].questions[1].bubbles[1]", "overlaps pages[0].questions[1].bubbles[0]"},
    {"OffThePage", Settings(10, 0), Set("pages.0.questions.4.bubbles.3.x_mm", 208.5),
     "pages[0].questions[4].bubbles[3]", "off the page"},
    {"DigitOffThePage", Settings(10, 0), Set("pages.0.exam_number.0.bubbles.9.y_mm", 296),
     "pages[0].exam_number[0].bubbles[9]", "off the page"},
    {"MarkNearTheEdge", Settings(10, 0), Set("pages.0.marks.3.x_mm", 210 - 11), "pages[0].marks[3]",
     "less than 8 mm"},
    {"MarkNearTheTop", Settings(10, 0), Set("pages.0.marks.0.y_mm", 11.4), "pages[0].marks[0]",
     "less than 8 mm"},
    {"OneOption", Settings(10, 0),
     Set("pages.0.questions.2.bubbles", QJsonArray{Bubble(100, 200, "A")}),
     "pages[0].questions[2].bubbles", "has 1 options; a question has 2 to 6"},
    {"SevenOptions", Settings(10, 0),
     [](QJsonObject& o) {
         QJsonArray seven;
         for (int i = 0; i < 7; ++i)
             seven.append(Bubble(30 + i * 7, 250, QString(QChar('A' + i)).toLatin1().constData()));
         Set("pages.0.questions.2.bubbles", seven)(o);
     },
     "pages[0].questions[2].bubbles", "has 7 options"},
    {"LetterOutOfOrder", Settings(10, 0), Set("pages.0.questions.0.bubbles.1.value", "C"),
     "pages[0].questions[0].bubbles[1].value", "options are A to F in order"},
    {"GapInNumbers", Settings(10, 0), Set("pages.0.questions.3.number", 5),
     "pages[0].questions[3].number", "5, wanted 4"},
    {"GapAcrossPages", Settings(50, 0, scan::Paper::A4, 2), Set("pages.1.questions.0.number", 27),
     "pages[1].questions[0].number", "27, wanted 26"},
    {"SingleAfterMultiple", Settings(10, 10), Set("pages.0.questions.19.kind", "single"),
     "pages[0].questions[19].kind", "after a multiple-choice one"},
    {"UnknownKind", Settings(10, 0), Set("pages.0.questions.0.kind", "essay"),
     "pages[0].questions[0].kind", "neither single nor multiple"},
    {"MoreThan105", Settings(105, 0, scan::Paper::A3),
     [](QJsonObject& o) {
         QJsonObject q{{"number", 106},
                       {"kind", "single"},
                       {"bubbles", QJsonArray{Bubble(100, 400, "A"), Bubble(107, 400, "B")}}};
         Set("pages.0.questions.105", q)(o);
     },
     "pages[0].questions[105].number", "more than 105 questions"},
    {"NoDigits", Settings(10, 0), Set("pages.0.exam_number", QJsonArray{}), "pages[0].exam_number",
     "0 digits"},
    {"TwentyOneDigits", Settings(10, 0),
     [](QJsonObject& o) {
         QJsonArray digits = Get(o, "pages.0.exam_number").toArray();
         while (digits.size() < 21)
             digits.append(digits[0]);
         Set("pages.0.exam_number", digits)(o);
     },
     "pages[0].exam_number", "21 digits"},
    {"NineBubbleDigit", Settings(10, 0),
     [](QJsonObject& o) {
         QJsonArray b = Get(o, "pages.0.exam_number.2.bubbles").toArray();
         b.removeLast();
         Set("pages.0.exam_number.2.bubbles", b)(o);
     },
     "pages[0].exam_number[2].bubbles", "a digit has ten"},
    {"MissingKey", Settings(10, 0),
     Set("pages.0.questions.0.bubbles.0.y_mm", QJsonValue::Undefined),
     "pages[0].questions[0].bubbles[0].y_mm", "missing"},
    {"NotANumber", Settings(10, 0), Set("paper.width_mm", "wide"), "paper.width_mm",
     "not a number"},
    {"OtherFormat", Settings(10, 0), Set("format", "omr-template"), "format",
     "wanted \"quillory-layout\""},
    {"OtherVersion", Settings(10, 0), Set("version", 2), "version", "reads version 1"},
    {"IdWithColon", Settings(10, 0), Set("id", "a:b"), "id", "holds no \":\""},
};

INSTANTIATE_TEST_SUITE_P(Layout, LayoutRefusal, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return info.param.name;
                         });

TEST(Layout, WrittenFileLoadsBackUnchanged) {
    for (const auto& s : {Settings(60, 0), Settings(80, 25, scan::Paper::A4, 2),
                          Settings(90, 15, scan::Paper::A3)}) {
        const scan::Layout layout = scan::DesignSheet(s);
        const std::string json = scan::LayoutJson(layout);
        const scan::Layout back = scan::ParseLayout(json);
        EXPECT_EQ(scan::LayoutJson(back), json);
        int questions = 0;
        for (const auto& page : back.pages)
            questions += static_cast<int>(page.questions.size());
        EXPECT_EQ(questions, s.questions + s.multi);
    }
}

TEST(Layout, NotJsonIsRefused) {
    EXPECT_THROW((void)scan::ParseLayout("{\"format\": "), scan::LayoutError);
    EXPECT_THROW((void)scan::ParseLayout("[1, 2]"), scan::LayoutError);
}

} // namespace
