// Sheets described by a bubble template, drawn from the template, spoilt as
// a scanner would and read by the scan command: the answer table and the
// CSV hold what was filled; a template that does not load writes nothing.
#include "core/Workspace.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scan/Painting.h"
#include "scan/Review.h"
#include "scan/Template.h"
#include "scan/TemplateReading.h"
#include "tests/support/CliRun.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <random>

namespace {

namespace fs = std::filesystem;

QJsonArray Pair(double a, double b) {
    return QJsonArray{a, b};
}

// A page of 600 x 800 units: a roll number of three QTYPE_INT columns
// joined by a custom label, eight MCQ4 questions, a field of its own three
// values, and a QTYPE_INT field of no label (the CSV only); cropped on
// four markers and blurred a little.
QJsonObject Sample() {
    const QJsonObject roll{{"fieldType", "QTYPE_INT"},
                           {"origin", Pair(60, 60)},
                           {"bubblesGap", 28},
                           {"labelsGap", 34},
                           {"fieldLabels", QJsonArray{"roll1..3"}}};
    const QJsonObject set{{"fieldType", "QTYPE_INT"},
                          {"origin", Pair(300, 60)},
                          {"bubblesGap", 28},
                          {"labelsGap", 34},
                          {"fieldLabels", QJsonArray{"set"}}};
    const QJsonObject mcq{{"fieldType", "QTYPE_MCQ4"},
                          {"origin", Pair(60, 400)},
                          {"bubblesGap", 34},
                          {"labelsGap", 34},
                          {"fieldLabels", QJsonArray{"q1..8"}}};
    const QJsonObject level{{"bubbleValues", QJsonArray{"low", "mid", "high"}},
                            {"direction", "horizontal"},
                            {"origin", Pair(300, 400)},
                            {"bubblesGap", 40},
                            {"labelsGap", 34},
                            {"bubbleDimensions", Pair(24, 20)},
                            {"fieldLabels", QJsonArray{"level"}}};
    const QJsonArray steps{
        QJsonObject{{"name", "CropOnMarkers"},
                    {"options",
                     QJsonObject{{"relativePath", "marker.png"}, {"sheetToMarkerWidthRatio", 17}}}},
        QJsonObject{{"name", "GaussianBlur"}, {"options", QJsonObject{{"kSize", Pair(3, 3)}}}}};
    return QJsonObject{
        {"pageDimensions", Pair(600, 800)},
        {"bubbleDimensions", Pair(20, 20)},
        {"fieldBlocks", QJsonObject{{"Level", level}, {"MCQ", mcq}, {"Roll", roll}, {"Set", set}}},
        {"customLabels", QJsonObject{{"Roll", QJsonArray{"roll1..3"}}}},
        {"preProcessors", steps}};
}

// The answer table's records, a line each, as the earlier scan tests read
// them.
std::string Records(const fs::path& dbf) {
    const std::string bytes = testsupport::ReadBytes(dbf);
    const auto headerLength =
        static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const auto recordLength =
        static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
    std::string lines;
    for (std::size_t at = headerLength; at + recordLength <= bytes.size(); at += recordLength)
        lines += text::TrimRight(text::FromGbk(bytes.substr(at, recordLength))) + "\n";
    return lines;
}

class TemplateScan : public ::testing::Test {
  protected:
    void SetUp() override {
        scan::EnsurePainting();
        ASSERT_TRUE(tools::TemplateMarker(120).save(
            QString::fromStdString((home / "marker.png").string())));
        fs::create_directories(home / "scans");
        fs::create_directories(home / "cli");
    }

    void WriteTemplate(const QJsonObject& t) const {
        testsupport::WriteBytes(home / "template.json", QJsonDocument(t).toJson().toStdString());
    }

    // The template's sheet filled with `marked`, turned `rotation` degrees
    // and scanned, then turned `turn` degrees clockwise, saved as `name`.
    void Sheet(const std::string& name,
               const std::map<std::string, std::vector<std::string>>& marked, double rotation,
               int turn = 0) {
        const scan::Layout layout = scan::LoadTemplate(home / "template.json");
        std::mt19937 random(11);
        tools::Degradation how;
        how.rotation = rotation;
        how.scale = 0.94;
        how.blur = 1;
        how.noise = 3;
        how.turn = turn;
        const QImage picture =
            tools::Degrade(tools::TemplateSheet(*layout.bubbleTemplate, 1000, marked), how, random);
        ASSERT_TRUE(picture.save(QString::fromStdString((home / "scans" / name).string())));
    }

    testsupport::TempHome home;
};

TEST_F(TemplateScan, SkewedSheetsReadIntoTheTableAndTheCsv) {
    WriteTemplate(Sample());
    Sheet("1.png",
          {{"roll1", {"4"}},
           {"roll2", {"0"}},
           {"roll3", {"7"}},
           {"set", {"3"}},
           {"q1", {"A"}},
           {"q2", {"B"}},
           {"q3", {"C"}},
           {"q4", {"D"}},
           {"q5", {"A", "B"}},
           {"q7", {"C"}},
           {"q8", {"D"}},
           {"level", {"mid"}}},
          3);
    Sheet("2.png",
          {{"roll1", {"5"}},
           {"roll2", {"1"}},
           {"roll3", {"2"}},
           {"set", {"7"}},
           {"q1", {"D"}},
           {"q2", {"C"}},
           {"q3", {"B"}},
           {"q4", {"A"}},
           {"q5", {"A"}},
           {"q6", {"B"}},
           {"level", {"high"}}},
          -3);
    // Printed and left empty: no marks and no paper to tell them from.
    Sheet("3.png", {}, 2);

    const fs::path table = home / "out" / "期中.dbf", csv = home / "out" / "pages.csv";
    fs::create_directories(table.parent_path());
    const auto r =
        testsupport::RunCli({"--home", (home / "cli").string(), "scan", (home / "scans").string(),
                             "--layout", (home / "template.json").string(), "--out", table.string(),
                             "--csv", csv.string(), "--jobs", "2"});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("页数:3  记录数:3  待复核:1  空白:0  重复:0  失败:0"), std::string::npos)
        << r.out;

    // The roll number from the custom label; the questions in the file's
    // order of the blocks (written sorted: Level, MCQ, Roll, Set), "level"
    // the first, its values A, B, C by place; "set" in the CSV only.
    const std::string s1 = (home / "scans" / "1.png").string(),
                      s2 = (home / "scans" / "2.png").string(),
                      s3 = (home / "scans" / "3.png").string();
    EXPECT_EQ(Records(table), " 407212483048        " + s1 + "\n" + " 512484211200        " + s2 +
                                  "\n" + " ???0000000001       " + s3 + "\n");

    EXPECT_EQ(
        testsupport::ReadBytes(csv),
        "file,page,status,review,level,q1,q2,q3,q4,q5,q6,q7,q8,roll1,roll2,roll3,set,Roll\r\n" +
            s1 + ",1,ok,,mid,A,B,C,D,AB,,C,D,4,0,7,3,407\r\n" + s2 +
            ",1,ok,,high,D,C,B,A,A,B,,,5,1,2,7,512\r\n" + s3 + ",1,review," +
            "roll1 roll2 roll3 level q1 q2 q3 q4 q5 q6 q7 q8 set" + ",,,,,,,,,,,,,,\r\n");
}

TEST_F(TemplateScan, CropPageFindsThePaperOnADarkBackground) {
    QJsonObject t = Sample();
    t["preProcessors"] = QJsonArray{
        QJsonObject{{"name", "CropPage"}, {"options", QJsonObject{{"morphKernel", Pair(10, 10)}}}},
        QJsonObject{{"name", "MedianBlur"}, {"options", QJsonObject{{"kSize", 3}}}},
        QJsonObject{{"name", "Levels"},
                    {"options", QJsonObject{{"low", 0.1}, {"high", 0.9}, {"gamma", 1.2}}}}};
    WriteTemplate(t);
    const scan::Layout layout = scan::LoadTemplate(home / "template.json");
    const QImage sheet = tools::TemplateSheet(*layout.bubbleTemplate, 900,
                                              {{"roll1", {"9"}},
                                               {"roll2", {"8"}},
                                               {"roll3", {"1"}},
                                               {"q2", {"C"}},
                                               {"q8", {"A", "D"}},
                                               {"set", {"2"}}});
    // The paper lies turned a little on a dark desk.
    QImage desk(1200, 1500, QImage::Format_Grayscale8);
    desk.fill(55);
    {
        QPainter p(&desk);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(600, 750);
        p.rotate(-2);
        p.drawImage(QPointF(-sheet.width() / 2.0, -sheet.height() / 2.0), sheet);
    }
    const cv::Mat grey =
        cv::Mat(desk.height(), desk.width(), CV_8UC1, const_cast<uchar*>(desk.constBits()),
                static_cast<std::size_t>(desk.bytesPerLine()))
            .clone();
    const scan::PageReading page = scan::ReadTemplatePage(grey, {"desk.png", 0}, layout);
    ASSERT_EQ(page.status, scan::PageStatus::Ok) << page.problem;
    EXPECT_EQ(page.examNumber(), "981");
    std::string readings;
    for (const auto& q : page.questions)
        readings += q.label + "=" + q.reading + " ";
    EXPECT_EQ(readings, "level= q1= q2=C q3= q4= q5= q6= q7= q8=AD ");
    ASSERT_EQ(page.fieldsOnly.size(), 1u);
    EXPECT_EQ(page.fieldsOnly[0].label, "set");
}

// The review of a template scan: a field for the CSV only is listed, shown
// and settled without reaching the table's Content; a page whose bubbles
// showed no two clear groups stays wholly to review at any sensitivity.
TEST_F(TemplateScan, ReviewKeepsFieldsOnlyAndPagesOfNoClearGroups) {
    WriteTemplate(Sample());
    // "set" (ten digits, not the exam number) left empty: its digit unread.
    Sheet("1.png",
          {{"roll1", {"3"}},
           {"roll2", {"1"}},
           {"roll3", {"4"}},
           {"q1", {"C"}},
           {"q2", {"A"}},
           {"q8", {"B"}},
           {"level", {"high"}}},
          1);
    Sheet("2.png", {}, -1);
    const fs::path table = home / "out" / "复核.dbf";
    fs::create_directories(table.parent_path());
    const auto r = testsupport::RunCli(
        {"--home", (home / "cli").string(), "scan", (home / "scans").string(), "--layout",
         (home / "template.json").string(), "--out", table.string()});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    const std::string s1 = (home / "scans" / "1.png").string(),
                      s2 = (home / "scans" / "2.png").string();
    const std::string scanned = Records(table);
    EXPECT_EQ(scanned, " 3144410000021       " + s1 + "\n" + " ???0000000001       " + s2 + "\n");

    core::Workspace ws{home / "cli"};
    testsupport::ScriptedUi ui;
    scan::Review review(ws, table);
    const auto set = review.find(s1, "set");
    ASSERT_TRUE(set.has_value());
    const scan::ReviewItem item = review.items()[*set];
    EXPECT_EQ(item.reason, scan::ReviewReason::IdUnreadable);
    EXPECT_EQ(review.reading(item), "?");
    const auto bubbles = review.bubbles(item);
    ASSERT_EQ(bubbles.size(), 10u);
    EXPECT_EQ(bubbles[7].value, "7");
    EXPECT_TRUE(std::none_of(bubbles.begin(), bubbles.end(),
                             [](const scan::ReviewBubble& b) { return b.marked; }));
    EXPECT_EQ(review.darknessText(item).rfind("0=0.", 0), 0u) << review.darknessText(item);
    // Settled by hand: the sheet's flag goes, its Content stays the answers.
    review.decide(item.page, "set", "7");
    EXPECT_EQ(review.reading(item), "7");
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(table).substr(0, scanned.find('\n') + 1),
              " 314441000002        " + s1 + "\n");

    // The empty page: every field to review, at the scan's sensitivity and
    // at the most and least sensitive.
    const auto onPage = [&](std::size_t page) {
        std::size_t n = 0;
        for (const scan::ReviewItem& i : review.items())
            n += i.page == page ? 1 : 0;
        return n;
    };
    const std::size_t empty = onPage(1);
    EXPECT_EQ(empty, 13u); // 3 roll digits, level, q1-q8, set
    for (int sensitivity : {9, 1}) {
        EXPECT_EQ(review.preview(sensitivity).itemsAfter, review.preview(sensitivity).itemsBefore)
            << sensitivity;
        review.applySensitivity(sensitivity);
        EXPECT_EQ(review.pages()[1].status, "review") << sensitivity;
        EXPECT_EQ(onPage(1), empty) << sensitivity;
        EXPECT_TRUE(review.find(s2, "q4").has_value()) << sensitivity;
    }
}

// A sheet fed sideways or upside down: the four markers fix the page, the
// printed bubbles its way up.
class TemplateScanTurned : public TemplateScan, public ::testing::WithParamInterface<int> {};

TEST_P(TemplateScanTurned, ReadsTheSheetWhicheverWayUp) {
    WriteTemplate(Sample());
    Sheet("turned.png",
          {{"roll1", {"2"}},
           {"roll2", {"9"}},
           {"roll3", {"0"}},
           {"set", {"6"}},
           {"q1", {"B"}},
           {"q3", {"D"}},
           {"q6", {"A", "C"}},
           {"q8", {"A"}},
           {"level", {"low"}}},
          2, GetParam());
    const fs::path table = home / "out" / "turned.dbf", csv = home / "out" / "pages.csv";
    fs::create_directories(table.parent_path());
    const auto r = testsupport::RunCli(
        {"--home", (home / "cli").string(), "scan", (home / "scans").string(), "--layout",
         (home / "template.json").string(), "--out", table.string(), "--csv", csv.string()});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(
        testsupport::ReadBytes(csv),
        "file,page,status,review,level,q1,q2,q3,q4,q5,q6,q7,q8,roll1,roll2,roll3,set,Roll\r\n" +
            (home / "scans" / "turned.png").string() + ",1,ok,,low,B,,D,,,AC,,A,2,9,0,6,290\r\n");
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateScanTurned, ::testing::Values(0, 90, 180, 270),
                         [](const auto& info) { return "Turn" + std::to_string(info.param); });

// A template whose bubbles look the same upside down: with markers that do
// too the page is not guessed; with an uneven marker image the markers tell
// its way up.
TEST_F(TemplateScan, SymmetricBubblesNeedAnUnevenMarker) {
    QJsonObject t = Sample();
    t["fieldBlocks"] = QJsonObject{{"MCQ", QJsonObject{{"fieldType", "QTYPE_MCQ4"},
                                                       {"origin", Pair(200, 90)},
                                                       {"bubblesGap", 60},
                                                       {"labelsGap", 60},
                                                       {"fieldLabels", QJsonArray{"q1..11"}}}}};
    t.remove("customLabels");
    WriteTemplate(t);
    const fs::path csv = home / "pages.csv";
    const auto scan = [&] {
        return testsupport::RunCli({"--home", (home / "cli").string(), "scan",
                                    (home / "scans").string(), "--layout",
                                    (home / "template.json").string(), "--out",
                                    (home / "out.dbf").string(), "--csv", csv.string()});
    };
    Sheet("1.png", {{"q1", {"A"}}, {"q11", {"D"}}}, 1, 180);
    auto r = scan();
    EXPECT_EQ(r.status, 1) << r.err << r.out;
    EXPECT_NE(testsupport::ReadBytes(csv).find(",1,failed: 定位失败,"), std::string::npos)
        << testsupport::ReadBytes(csv);
    EXPECT_NE(r.err.find("定位失败: 看不出纸张的方向"), std::string::npos) << r.err;

    // A black square with a white notch near one corner.
    QImage uneven(120, 120, QImage::Format_Grayscale8);
    uneven.fill(Qt::black);
    QPainter(&uneven).fillRect(QRect(20, 20, 40, 40), Qt::white);
    ASSERT_TRUE(uneven.save(QString::fromStdString((home / "marker.png").string())));
    Sheet("1.png", {{"q1", {"A"}}, {"q11", {"D"}}}, 1, 180);
    r = scan();
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(testsupport::ReadBytes(csv),
              "file,page,status,review,q1,q2,q3,q4,q5,q6,q7,q8,q9,q10,q11\r\n" +
                  (home / "scans" / "1.png").string() + ",1,ok,,A,,,,,,,,,,D\r\n");
}

struct BadTemplate {
    const char* name;
    std::function<void(QJsonObject&)> edit;
    const char* key;
};

std::ostream& operator<<(std::ostream& out, const BadTemplate& b) {
    return out << b.name;
}

class TemplateScanRefusal : public TemplateScan,
                            public ::testing::WithParamInterface<BadTemplate> {};

TEST_P(TemplateScanRefusal, NamesFileAndKeyAndWritesNothing) {
    WriteTemplate(Sample());
    Sheet("1.png", {{"q1", {"A"}}}, 0);
    QJsonObject t = Sample();
    GetParam().edit(t);
    WriteTemplate(t);
    const fs::path table = home / "out.dbf", csv = home / "pages.csv";
    const auto r = testsupport::RunCli(
        {"--home", (home / "cli").string(), "scan", (home / "scans").string(), "--layout",
         (home / "template.json").string(), "--out", table.string(), "--csv", csv.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((home / "template.json").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(GetParam().key), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(table));
    EXPECT_FALSE(fs::exists(csv));
    EXPECT_FALSE(fs::exists(home / "out.scan.db"));
    for (const auto& entry : fs::directory_iterator(home / "cli"))
        EXPECT_EQ(entry.path().filename().string().rfind("扫描记录", 0), std::string::npos)
            << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Templates, TemplateScanRefusal,
    ::testing::Values(BadTemplate{"RefusedPreprocessor",
                                  [](QJsonObject& t) {
                                      QJsonArray steps = t["preProcessors"].toArray();
                                      steps.append(QJsonObject{{"name", "CropOnLogo"}});
                                      t["preProcessors"] = steps;
                                  },
                                  "preProcessors[2].name"},
                      BadTemplate{"MissingMarker",
                                  [](QJsonObject& t) {
                                      t["preProcessors"] = QJsonArray{QJsonObject{
                                          {"name", "CropOnMarkers"},
                                          {"options",
                                           QJsonObject{{"relativePath", "omr_marker.jpg"}}}}};
                                  },
                                  "omr_marker.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
