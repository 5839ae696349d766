// The pictures of filled sheets: a fill darkens the bubble the layout
// names and no other, an erasure stays light, a turn turns the page, and
// the same seed draws the same picture.
#include "tools/render-sheet/SheetPicture.h"
#include "scan/Painting.h"
#include "scan/SheetDesign.h"

#include <gtest/gtest.h>

namespace {

constexpr double kDpi = 150;

int GreyAt(const QImage& g, const scan::Area& a) {
    return g.pixelColor(static_cast<int>(a.x * kDpi / 25.4), static_cast<int>(a.y * kDpi / 25.4))
        .value();
}

class SheetPicture : public testing::Test {
  protected:
    void SetUp() override {
        scan::EnsurePainting();
        scan::SheetSettings s;
        s.questions = 20;
        layout = scan::DesignSheet(s);
    }
    const scan::Area& Option(int question, int option) const {
        return layout.pages[0]
            .questions[static_cast<std::size_t>(question - 1)]
            .bubbles[static_cast<std::size_t>(option)]
            .area;
    }
    scan::Layout layout;
};

TEST_F(SheetPicture, FillsTheNamedBubblesAsPupilsDo) {
    std::mt19937 random(5);
    const std::vector<tools::Fill> fills = {{1, 0, "B", tools::FillKind::Solid},
                                            {2, 0, "C", tools::FillKind::Erased},
                                            {3, 0, "A", tools::FillKind::Light},
                                            {0, 2, "7", tools::FillKind::Solid}};
    const QImage g = tools::FilledPage(layout, 0, kDpi, fills, random);
    ASSERT_EQ(g.format(), QImage::Format_Grayscale8);
    EXPECT_LT(GreyAt(g, Option(1, 1)), 100);
    EXPECT_GT(GreyAt(g, Option(1, 0)), 180);
    EXPECT_GT(GreyAt(g, Option(2, 2)), 195);
    EXPECT_LT(GreyAt(g, Option(2, 2)), 235);
    EXPECT_GT(GreyAt(g, Option(3, 0)), 140);
    EXPECT_LT(GreyAt(g, Option(3, 0)), 190);
    EXPECT_LT(GreyAt(g, layout.pages[0].examNumber[1].bubbles[7].area), 100);
    EXPECT_GT(GreyAt(g, layout.pages[0].examNumber[1].bubbles[6].area), 180);
    EXPECT_TRUE(tools::CountsAsMarked(tools::FillKind::Tick));
    EXPECT_FALSE(tools::CountsAsMarked(tools::FillKind::Erased));
    EXPECT_FALSE(tools::ReviewAcceptable(tools::FillKind::Solid));
}

TEST_F(SheetPicture, TurnsAndSeedsGiveTheSamePictureAgain) {
    const std::vector<tools::Fill> fills = {{1, 0, "D", tools::FillKind::Solid}};
    std::mt19937 first(9), second(9);
    const QImage page = tools::FilledPage(layout, 0, kDpi, fills, first);
    EXPECT_EQ(page, tools::FilledPage(layout, 0, kDpi, fills, second));

    tools::Degradation turn;
    turn.turn = 180;
    const QImage turned = tools::Degrade(page, turn, first);
    ASSERT_EQ(turned.size(), page.size());
    const scan::Area& d = Option(1, 3);
    const int x = static_cast<int>(d.x * kDpi / 25.4), y = static_cast<int>(d.y * kDpi / 25.4);
    EXPECT_LT(turned.pixelColor(page.width() - 1 - x, page.height() - 1 - y).value(), 100);
    turn.turn = 90;
    EXPECT_EQ(tools::Degrade(page, turn, first).size(), page.size().transposed());

    std::mt19937 a(3), b(3);
    const tools::Degradation how = tools::RandomDegradation(a, 0);
    EXPECT_EQ(tools::Degrade(page, how, a),
              tools::Degrade(page, tools::RandomDegradation(b, 0), b));
    EXPECT_LE(std::abs(how.rotation), 5);
    EXPECT_GE(how.scale, 0.95);
    EXPECT_LE(how.scale, 1.03);
}

} // namespace
