// The reader on pictures of filled sheets: each case draws a sheet, spoils
// it as a scanner would, reads it, and compares the reading with what was
// filled.
#include "scan/Reader.h"
#include "scan/Painting.h"
#include "scan/SheetDesign.h"
#include "tools/render-sheet/SheetPicture.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using tools::Fill;
using tools::FillKind;

constexpr double kDpi = 150;

scan::Layout Design(const std::string& id, int questions, int pages = 1) {
    scan::SheetSettings s;
    s.id = id;
    s.questions = questions;
    s.multi = 5;
    s.idDigits = 4;
    s.pages = pages;
    return scan::DesignSheet(s);
}

cv::Mat ToMat(const QImage& grey) {
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                   static_cast<std::size_t>(grey.bytesPerLine()))
        .clone();
}

// What a reading should be: the marked values of an item in bubble order.
std::string Truth(const scan::ItemReading& item, const std::vector<Fill>& fills) {
    std::string truth;
    for (const auto& b : item.bubbles)
        for (const Fill& f : fills)
            if (f.value == b.value && tools::CountsAsMarked(f.kind) &&
                (item.question ? f.question == item.question
                               : f.question == 0 && "id" + std::to_string(f.digit) == item.label))
                truth += b.value;
    return item.question == 0 && truth.size() != 1 ? "?" : truth;
}

enum class Given { SameLayout, OtherLayout, SeveralWithout, SeveralWith };

struct Case {
    const char* name;
    int turn;
    bool spoilt;
    std::vector<Fill> fills;
    Given given = Given::SameLayout;
    bool blankPage = false;
    bool photo = false;   // held at a slant and lit from one side, as a phone sees it
    bool cutOff = false;  // turned and enlarged on the glass: the corner marks off the picture
    bool dust = false;    // dark specks in empty bubbles, as a dirty glass leaves them
    bool blurred = false; // cut off as above, at a slant and out of focus: its bubbles blur
                          // into their neighbours
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << c.name;
}

const std::vector<Fill> kNumber = {{0, 1, "3", FillKind::Solid},
                                   {0, 2, "0", FillKind::Solid},
                                   {0, 3, "9", FillKind::Solid},
                                   {0, 4, "6", FillKind::Solid}};

std::vector<Fill> With(std::vector<Fill> more) {
    std::vector<Fill> fills = kNumber;
    fills.insert(fills.end(), more.begin(), more.end());
    return fills;
}

class ReadsSheet : public testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { scan::EnsurePainting(); }
};

TEST_P(ReadsSheet, AsFilled) {
    const Case& c = GetParam();
    const scan::Layout sheet = Design("期中", 20), other = Design("期末", 20),
                       twoPages = Design("周测", 40, 2);
    std::vector<scan::Layout> given;
    switch (c.given) {
    case Given::SameLayout:
        given = {sheet};
        break;
    case Given::OtherLayout:
        given = {other};
        break;
    case Given::SeveralWithout:
        given = {other, twoPages};
        break;
    case Given::SeveralWith:
        given = {other, twoPages, sheet};
        break;
    }
    const scan::LayoutSet layouts(given);
    std::mt19937 random(11);
    QImage picture = tools::FilledPage(sheet, 0, kDpi, c.fills, random);
    if (c.blankPage)
        picture.fill(250);
    if (c.dust) {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 40));
        const double px = kDpi / 25.4;
        for (const scan::Question& q : sheet.pages[0].questions)
            if (q.number >= 15 && q.number <= 18)
                for (const scan::Bubble& b : q.bubbles) // off the centre, over the letter
                    p.drawEllipse(QPointF((b.area.x + 0.6) * px, (b.area.y + 0.3) * px), 0.45 * px,
                                  0.35 * px);
    }
    tools::Degradation how =
        c.spoilt ? tools::RandomDegradation(random, c.turn) : tools::Degradation{};
    how.turn = c.turn;
    if (c.spoilt) // within the reader's limits, and no mark off the picture
        how.scale = std::min(how.scale, 0.99);
    if (c.photo) {
        how.rotation = -8;
        how.scale = 0.92;
        how.perspective = 0.04;
    }
    if (c.cutOff) {
        how.rotation = 4.5;
        how.scale = 1.03;
        how.perspective = 0.01;
    }
    if (c.blurred) {
        how.rotation = -4;
        how.scale = 1.03;
        how.perspective = 0.03;
        how.blur = 2;
    }
    cv::Mat grey = ToMat(tools::Degrade(picture, how, random));
    if (c.photo) // the light falls from 100% on the left to 55% on the right
        for (int x = 0; x < grey.cols; ++x) {
            cv::Mat column = grey.col(x);
            column.convertTo(column, CV_8U, 1 - 0.45 * x / grey.cols);
        }
    const scan::PageReading r = scan::ReadPage(grey, {"a.png", 0}, layouts);

    if (c.blankPage) {
        EXPECT_EQ(r.status, scan::PageStatus::Blank) << r.problem;
        return;
    }
    if (c.given == Given::OtherLayout || c.given == Given::SeveralWithout) {
        EXPECT_EQ(r.status, scan::PageStatus::Failed);
        EXPECT_EQ(r.failure, c.given == Given::OtherLayout ? scan::Failure::OtherLayout
                                                           : scan::Failure::UnknownLayout)
            << r.problem;
        return;
    }
    ASSERT_TRUE(r.status == scan::PageStatus::Ok || r.status == scan::PageStatus::Review)
        << scan::StatusText(r.status, r.failure) << " " << r.problem;
    EXPECT_EQ(r.layoutId, "期中");
    EXPECT_EQ(r.layoutPage, 1);
    EXPECT_EQ(r.turn, c.turn);
    EXPECT_GE(r.marksFound, c.cutOff || c.blurred ? 2 : 3);
    EXPECT_LT(r.residual, 0.3);
    EXPECT_GT(r.paper, r.black + 100);
    EXPECT_EQ(r.examNumber(), "3096");
    ASSERT_EQ(r.questions.size(), 25u);
    for (const scan::ItemReading& item : r.questions) {
        const std::string truth = Truth(item, c.fills);
        bool odd = false, solidOnly = true;
        for (const Fill& f : c.fills)
            if (f.question == item.question) {
                odd = odd || f.kind != FillKind::Solid;
                solidOnly = solidOnly && f.kind == FillKind::Solid;
            }
        // Ordinary fills read as they are, without doubt; an odd one is
        // read right or sent to review, never read wrong unnoticed.
        if (!odd) {
            EXPECT_EQ(item.reading, truth) << item.label;
            EXPECT_TRUE(item.doubts.empty()) << item.label;
        } else {
            EXPECT_TRUE(item.reading == truth || !item.doubts.empty()) << item.label;
        }
        for (const auto& b : item.bubbles) {
            EXPECT_GE(b.darkness, 0);
            EXPECT_LE(b.darkness, 1);
        }
    }
}

const std::vector<Fill> kAnswers = {
    {1, 0, "A", FillKind::Solid},  {2, 0, "B", FillKind::Solid},  {3, 0, "C", FillKind::Solid},
    {4, 0, "D", FillKind::Solid},  {7, 0, "B", FillKind::Solid},  {12, 0, "C", FillKind::Solid},
    {19, 0, "A", FillKind::Solid}, {21, 0, "A", FillKind::Solid}, {21, 0, "D", FillKind::Solid},
    {25, 0, "B", FillKind::Solid}, {25, 0, "C", FillKind::Solid}};

INSTANTIATE_TEST_SUITE_P(
    Pictures, ReadsSheet,
    testing::Values(
        Case{"Upright", 0, false, With(kAnswers)}, Case{"Spoilt", 0, true, With(kAnswers)},
        Case{"Turned90", 90, true, With(kAnswers)}, Case{"Turned180", 180, true, With(kAnswers)},
        Case{"Turned270", 270, true, With(kAnswers)},
        Case{"ErasureIsNoAnswer", 0, true,
             With({{5, 0, "B", FillKind::Erased},
                   {5, 0, "D", FillKind::Solid},
                   {6, 0, "A", FillKind::Erased},
                   {8, 0, "C", FillKind::Erased},
                   {8, 0, "A", FillKind::Solid}})},
        Case{"TwoClearMarksOnASingleQuestion", 0, true,
             With({{9, 0, "A", FillKind::Solid}, {9, 0, "C", FillKind::Solid}})},
        Case{"OddMarks", 0, true,
             With({{10, 0, "B", FillKind::Light},
                   {11, 0, "C", FillKind::Tick},
                   {13, 0, "D", FillKind::Cross},
                   {14, 0, "A", FillKind::Half},
                   {22, 0, "B", FillKind::Light}})},
        Case{"OtherLayoutGiven", 0, false, With(kAnswers), Given::OtherLayout},
        Case{"SeveralLayoutsWithoutIt", 0, false, With(kAnswers), Given::SeveralWithout},
        Case{"SeveralLayoutsWithIt", 90, true, With(kAnswers), Given::SeveralWith},
        Case{"DuplexBackPage", 0, true, {}, Given::SameLayout, true},
        Case{"PhotoAtASlantInUnevenLight", 0, true,
             With({{5, 0, "C", FillKind::Solid}, {6, 0, "A", FillKind::Erased}}), Given::SameLayout,
             false, true},
        Case{"CornerMarksCutOff", 0, true, With(kAnswers), Given::SameLayout, false, false, true},
        Case{"CornerMarksCutOffTurned", 270, true, With(kAnswers), Given::SameLayout, false, false,
             true},
        Case{"DustInEmptyBubbles", 0, true, With(kAnswers), Given::SameLayout, false, false, false,
             true},
        Case{"CornerMarksCutOffBlurredTurned", 180, true, With(kAnswers), Given::SameLayout, false,
             false, false, false, true}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The exam number digit by digit: a column with no mark or two gives "?"
// and its doubt; the others read as they are.
TEST_F(ReadsSheet, ExamNumberColumnsWithoutOneMark) {
    const scan::Layout sheet = Design("期中", 20);
    std::mt19937 random(3);
    const std::vector<Fill> fills = {{0, 1, "7", FillKind::Solid},
                                     {0, 2, "1", FillKind::Solid},
                                     {0, 2, "2", FillKind::Solid},
                                     {0, 4, "0", FillKind::Solid}};
    const scan::PageReading r =
        scan::ReadPage(ToMat(tools::FilledPage(sheet, 0, kDpi, fills, random)), {"a.png", 0},
                       scan::LayoutSet({sheet}));
    EXPECT_EQ(r.examNumber(), "7??0");
    ASSERT_EQ(r.digits.size(), 4u);
    EXPECT_EQ(r.digits[1].doubts, std::vector{scan::Doubt::SeveralDigits});
    EXPECT_EQ(r.digits[2].doubts, std::vector{scan::Doubt::NoDigit});
    EXPECT_TRUE(r.digits[0].doubts.empty());
    EXPECT_EQ(r.status, scan::PageStatus::Review);
}

// The review's sensitivity: a raised threshold drops a light mark, the
// page's own brings it back; no bubble is measured again.
TEST_F(ReadsSheet, DecidesAgainFromKeptDarkness) {
    const scan::Layout sheet = Design("期中", 20);
    std::mt19937 random(5);
    const std::vector<Fill> fills =
        With({{1, 0, "B", FillKind::Light}, {2, 0, "C", FillKind::Solid}});
    scan::PageReading r = scan::ReadPage(ToMat(tools::FilledPage(sheet, 0, kDpi, fills, random)),
                                         {"a.png", 0}, scan::LayoutSet({sheet}));
    ASSERT_EQ(r.questions.size(), 25u);
    ASSERT_EQ(r.questions[0].reading, "B");
    const double light = r.questions[0].bubbles[1].darkness;
    scan::Decide(r, light - r.threshold + 0.1);
    EXPECT_EQ(r.questions[0].reading, "");
    EXPECT_EQ(r.questions[1].reading, "C");
    EXPECT_EQ(r.questions[0].bubbles[1].darkness, light);
    scan::Decide(r, 0);
    EXPECT_EQ(r.questions[0].reading, "B");
}

// A picture of something else: no mark, not empty.
TEST_F(ReadsSheet, PictureWithoutMarksIsNoSheet) {
    cv::Mat grey(1200, 800, CV_8UC1, cv::Scalar(255));
    for (int y = 50; y < 1150; y += 30)
        grey.rowRange(y, y + 8).colRange(60, 700).setTo(30);
    const scan::PageReading r =
        scan::ReadPage(grey, {"a.png", 0}, scan::LayoutSet({Design("期中", 20)}));
    EXPECT_EQ(r.status, scan::PageStatus::Failed);
    EXPECT_EQ(r.failure, scan::Failure::NoSheet);
    EXPECT_EQ(scan::StatusText(r.status, r.failure), "failed: 未找到答题卡");
    // A black picture, and one too small to hold anything, are no empty page either.
    for (const cv::Mat& dark :
         {cv::Mat(900, 600, CV_8UC1, cv::Scalar(20)), cv::Mat(3, 2, CV_8UC1, cv::Scalar(0))})
        EXPECT_EQ(scan::ReadPage(dark, {"a.png", 0}, scan::LayoutSet({Design("期中", 20)})).failure,
                  scan::Failure::NoSheet);
}

} // namespace
