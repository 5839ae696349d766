// Bubble templates: a template expands into its fields and bubbles where the
// file says, and every damaged template is refused naming the key.
#include "scan/Template.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace {

QJsonArray Pair(double a, double b) {
    return QJsonArray{a, b};
}

// A page of 600 x 800 units: four MCQ4 questions across, a roll number of
// two QTYPE_INT columns, a field of its own values, and a marker crop.
QJsonObject Sample() {
    QJsonObject mcq{{"fieldType", "QTYPE_MCQ4"},
                    {"origin", Pair(100, 400)},
                    {"bubblesGap", 40},
                    {"labelsGap", 50},
                    {"fieldLabels", QJsonArray{"q1..3", "q4"}}};
    QJsonObject roll{{"fieldType", "QTYPE_INT"},
                     {"origin", Pair(100, 50)},
                     {"bubblesGap", 30},
                     {"labelsGap", 40},
                     {"fieldLabels", QJsonArray{"roll1..2"}}};
    QJsonObject grade{{"bubbleValues", QJsonArray{"x", "y", "z"}},
                      {"direction", "vertical"},
                      {"origin", Pair(400, 50)},
                      {"bubblesGap", 30},
                      {"labelsGap", 40},
                      {"bubbleDimensions", Pair(20, 15)},
                      {"fieldLabels", QJsonArray{"grade"}}};
    QJsonObject step{
        {"name", "CropOnMarkers"},
        {"options", QJsonObject{{"relativePath", "marker.png"}, {"sheetToMarkerWidthRatio", 17}}}};
    return QJsonObject{{"pageDimensions", Pair(600, 800)},
                       {"bubbleDimensions", Pair(25, 25)},
                       {"fieldBlocks", QJsonObject{{"Roll", roll}, {"MCQ", mcq}, {"Grade", grade}}},
                       {"customLabels", QJsonObject{{"Roll_no", QJsonArray{"roll1..2"}}}},
                       {"preProcessors", QJsonArray{step}}};
}

std::string Text(const QJsonObject& o) {
    return QJsonDocument(o).toJson().toStdString();
}

class TemplateFiles : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::WriteBytes(home / "marker.png", "not checked here"); }
    testsupport::TempHome home;
};

TEST_F(TemplateFiles, ExpandsFieldsInTheFilesOrder) {
    // The blocks written Roll, MCQ, Grade (QJsonDocument would sort them).
    const QJsonObject sample = Sample();
    const QJsonObject blocks = sample["fieldBlocks"].toObject();
    QJsonObject rest = sample;
    rest.remove("fieldBlocks");
    std::string json = Text(rest);
    json.erase(json.rfind('}'));
    json += ", \"fieldBlocks\": {";
    for (const char* name : {"Roll", "MCQ", "Grade"})
        json += std::string(name == std::string("Roll") ? "" : ",") + "\"" + name +
                "\": " + QJsonDocument(blocks[name].toObject()).toJson().toStdString();
    json += "}}";
    testsupport::WriteBytes(home / "template.json", json);
    const scan::Layout layout = scan::LoadTemplate(home / "template.json");
    ASSERT_TRUE(layout.bubbleTemplate);
    const scan::BubbleTemplate& t = *layout.bubbleTemplate;
    std::vector<std::string> labels;
    for (const auto& f : t.fields)
        labels.push_back(f.label);
    EXPECT_EQ(labels,
              (std::vector<std::string>{"roll1", "roll2", "q1", "q2", "q3", "q4", "grade"}));
    EXPECT_EQ(t.idLabel, "Roll_no");

    // Horizontal: a question's bubbles across, the questions down.
    const scan::TemplateField* q3 = t.field("q3");
    ASSERT_TRUE(q3 && q3->bubbles.size() == 4u);
    EXPECT_EQ(q3->bubbles[2].value, "C");
    EXPECT_DOUBLE_EQ(q3->bubbles[2].x, 100 + 2 * 40);
    EXPECT_DOUBLE_EQ(q3->bubbles[2].y, 400 + 2 * 50);
    // Vertical: a digit's bubbles down, the digits across.
    const scan::TemplateField* roll2 = t.field("roll2");
    ASSERT_TRUE(roll2 && roll2->bubbles.size() == 10u);
    EXPECT_TRUE(roll2->integer);
    EXPECT_DOUBLE_EQ(roll2->bubbles[7].x, 100 + 40);
    EXPECT_DOUBLE_EQ(roll2->bubbles[7].y, 50 + 7 * 30);
    // A block's own bubble size and values.
    const scan::TemplateField* grade = t.field("grade");
    ASSERT_TRUE(grade && grade->bubbles.size() == 3u);
    EXPECT_EQ(grade->bubbles[1].value, "y");
    EXPECT_DOUBLE_EQ(grade->bubbles[1].w, 20);
    EXPECT_DOUBLE_EQ(grade->bubbles[1].h, 15);
    EXPECT_DOUBLE_EQ(grade->bubbles[1].y, 80);

    // As a layout: the roll number's columns, the other fields questions.
    const scan::Page& page = layout.pages.front();
    ASSERT_EQ(page.examNumber.size(), 2u);
    ASSERT_EQ(page.questions.size(), 5u);
    EXPECT_EQ(page.questions[4].bubbles.size(), 3u); // grade
    EXPECT_EQ(page.questions[4].number, 5);
    EXPECT_DOUBLE_EQ(page.questions[1].bubbles[0].area.x, 100 + 12.5);
    EXPECT_DOUBLE_EQ(page.questions[1].bubbles[0].area.y, 450 + 12.5);

    EXPECT_EQ(scan::ExpandLabels("q1..11").size(), 11u);
    EXPECT_EQ(scan::ExpandLabels("q8...10").back(), "q10");
    EXPECT_EQ(scan::ExpandLabels("Medium"), std::vector<std::string>{"Medium"});
}

struct Refusal {
    const char* name;
    std::function<void(QJsonObject&)> edit;
    std::vector<std::string> said; // what the message must hold
};

std::ostream& operator<<(std::ostream& out, const Refusal& r) {
    return out << r.name;
}

void EditBlock(QJsonObject& t, const char* block, const char* key, const QJsonValue& value) {
    QJsonObject blocks = t["fieldBlocks"].toObject();
    QJsonObject b = blocks[block].toObject();
    b[key] = value;
    blocks[block] = b;
    t["fieldBlocks"] = blocks;
}

class TemplateRefusals : public TemplateFiles, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TemplateRefusals, NameTheFileAndTheKey) {
    QJsonObject t = Sample();
    GetParam().edit(t);
    testsupport::WriteBytes(home / "template.json", Text(t));
    try {
        (void)scan::LoadTemplate(home / "template.json");
        FAIL() << "loaded";
    } catch (const scan::TemplateError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find((home / "template.json").string()), std::string::npos) << what;
        for (const std::string& s : GetParam().said)
            EXPECT_NE(what.find(s), std::string::npos) << what << " lacks " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Templates, TemplateRefusals,
    ::testing::Values(
        Refusal{"OutsideThePage",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "origin", Pair(480, 400)); },
                {"fieldBlocks.MCQ.fieldLabels", "q1", "outside the page"}},
        Refusal{"OutsideThePageDownwards",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "labelsGap", 150); },
                {"fieldBlocks.MCQ.fieldLabels", "q4", "outside the page"}},
        Refusal{"OverlappingFields",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "origin", Pair(110, 60)); },
                {"fieldBlocks.Roll.fieldLabels", "overlaps", "fieldBlocks.MCQ"}},
        Refusal{"OverlappingBubbles",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "bubblesGap", 10); },
                {"fieldBlocks.MCQ.bubblesGap"}},
        Refusal{"UnknownFieldType",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "fieldType", "QTYPE_MCQ7"); },
                {"fieldBlocks.MCQ.fieldType", "QTYPE_MCQ7"}},
        Refusal{"RangeBackwards",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "fieldLabels", QJsonArray{"q5..2"}); },
                {"fieldBlocks.MCQ.fieldLabels", "q5..2"}},
        Refusal{"RangeWithoutNumber",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "fieldLabels", QJsonArray{"q..4"}); },
                {"fieldBlocks.MCQ.fieldLabels", "q..4"}},
        Refusal{"LabelTwice",
                [](QJsonObject& t) {
                    EditBlock(t, "MCQ", "fieldLabels", QJsonArray{"q1", "q1"});
                },
                {"fieldBlocks.MCQ.fieldLabels", "twice"}},
        Refusal{"UnknownDirection",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "direction", "diagonal"); },
                {"fieldBlocks.MCQ.direction"}},
        Refusal{"UnknownKey",
                [](QJsonObject& t) { EditBlock(t, "MCQ", "emptyValue", ""); },
                {"fieldBlocks.MCQ.emptyValue", "unknown key"}},
        Refusal{"NoPageDimensions",
                [](QJsonObject& t) { t.remove("pageDimensions"); },
                {"pageDimensions", "missing"}},
        Refusal{"CustomLabelOfNoField",
                [](QJsonObject& t) {
                    t["customLabels"] = QJsonObject{{"Roll_no", QJsonArray{"roll1..3"}}};
                },
                {"customLabels.Roll_no", "roll3"}},
        Refusal{"OtherPreprocessor",
                [](QJsonObject& t) {
                    t["preProcessors"] = QJsonArray{QJsonObject{{"name", "CropOnLogo"}}};
                },
                {"preProcessors[0].name", "CropOnLogo"}},
        Refusal{"FeatureAlignment",
                [](QJsonObject& t) {
                    t["preProcessors"] = QJsonArray{QJsonObject{{"name", "GaussianBlur"}},
                                                    QJsonObject{{"name", "FeatureBasedAlignment"}}};
                },
                {"preProcessors[1].name", "FeatureBasedAlignment"}},
        Refusal{"MissingMarker",
                [](QJsonObject& t) {
                    t["preProcessors"] = QJsonArray{
                        QJsonObject{{"name", "CropOnMarkers"},
                                    {"options", QJsonObject{{"relativePath", "gone.jpg"}}}}};
                },
                {"preProcessors[0].options.relativePath", "gone.jpg"}},
        Refusal{"EvenBlurKernel",
                [](QJsonObject& t) {
                    t["preProcessors"] = QJsonArray{QJsonObject{
                        {"name", "GaussianBlur"}, {"options", QJsonObject{{"kSize", Pair(4, 3)}}}}};
                },
                {"preProcessors[0].options.kSize"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TemplateFiles, RefusesTextThatIsNotJson) {
    testsupport::WriteBytes(home / "template.json", "{\"pageDimensions\": [1, 2],");
    try {
        (void)scan::LoadTemplate(home / "template.json");
        FAIL() << "loaded";
    } catch (const scan::TemplateError& e) {
        EXPECT_NE(std::string(e.what()).find("template.json: not JSON"), std::string::npos);
    }
}

} // namespace
