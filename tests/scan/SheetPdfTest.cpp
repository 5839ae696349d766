// The printed sheet: the PDF rendered at 300 dpi as a printer gets it shows
// every bubble where the layout file says, the marks where they are named
// and far enough from the edge, and a QR code that names the layout.
#include "scan/Layout.h"
#include "scan/Painting.h"
#include "scan/SheetDesign.h"
#include "scan/SheetDrawing.h"
#include "tests/support/CliRun.h"
#include "tests/support/TempHome.h"

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <QPainter>
#include <QPdfDocument>

#include <cmath>
#include <optional>

namespace {

constexpr double kDpi = 300;
constexpr double kPx = kDpi / 25.4; // pixels per millimetre
constexpr double kTolerance = 0.3;  // mm

// The pages of a PDF at 300 dpi, grey.
std::vector<QImage> RenderPdf(const std::filesystem::path& pdf, const scan::Layout& layout) {
    QPdfDocument doc;
    EXPECT_EQ(doc.load(QString::fromStdString(pdf.string())), QPdfDocument::Error::None);
    std::vector<QImage> pages;
    const QSize size(static_cast<int>(std::lround(layout.width * kPx)),
                     static_cast<int>(std::lround(layout.height * kPx)));
    for (int p = 0; p < doc.pageCount(); ++p) {
        // The rendered page is transparent where nothing is drawn: put it on paper.
        QImage paper(size, QImage::Format_RGB32);
        paper.fill(Qt::white);
        QPainter(&paper).drawImage(0, 0, doc.render(p, size));
        pages.push_back(paper.convertToFormat(QImage::Format_Grayscale8));
    }
    return pages;
}

bool Dark(const QImage& g, int x, int y) {
    return x >= 0 && y >= 0 && x < g.width() && y < g.height() && g.constScanLine(y)[x] < 128;
}

// How far (pixels) from (x, y) the first dark pixel lies in direction (dx, dy).
std::optional<int> Reach(const QImage& g, int x, int y, int dx, int dy, int limit) {
    for (int i = 0; i <= limit; ++i)
        if (Dark(g, x + i * dx, y + i * dy))
            return i;
    return std::nullopt;
}

// Where the drawn bubble around the layout's centre is off it, in mm, or
// nothing when no outline surrounds the centre.
std::optional<double> BubbleMiss(const QImage& g, const scan::Area& a) {
    const int x = static_cast<int>(a.x * kPx), y = static_cast<int>(a.y * kPx);
    const int limit = static_cast<int>(a.w * kPx);
    const auto left = Reach(g, x, y, -1, 0, limit), right = Reach(g, x, y, 1, 0, limit);
    const auto up = Reach(g, x, y, 0, -1, limit), down = Reach(g, x, y, 0, 1, limit);
    if (!left || !right || !up || !down || *left == 0)
        return std::nullopt;
    const double midX = (x - *left + x + *right + 1) / 2.0 / kPx,
                 midY = (y - *up + y + *down + 1) / 2.0 / kPx;
    const double halfW = (*left + *right) / 2.0 / kPx, halfH = (*up + *down) / 2.0 / kPx;
    return std::max({std::fabs(midX - a.x), std::fabs(midY - a.y), std::fabs(halfW - a.w / 2),
                     std::fabs(halfH - a.h / 2)});
}

// The dark pixels' box within `margin` mm around a mark, in mm.
QRectF DarkBox(const QImage& g, const scan::Mark& m, double margin) {
    const int x0 = static_cast<int>((m.x - m.size / 2 - margin) * kPx),
              x1 = static_cast<int>((m.x + m.size / 2 + margin) * kPx);
    const int y0 = static_cast<int>((m.y - m.size / 2 - margin) * kPx),
              y1 = static_cast<int>((m.y + m.size / 2 + margin) * kPx);
    int left = x1, right = x0, top = y1, bottom = y0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (Dark(g, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
    return QRectF(left / kPx, top / kPx, (right - left) / kPx, (bottom - top) / kPx);
}

// The 4 x 4 inner cells of a mark as printed, read at the cells' centres.
std::vector<bool> Cells(const QImage& g, const scan::Mark& m) {
    std::vector<bool> cells;
    const double cell = m.size / 6;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            cells.push_back(Dark(g, static_cast<int>((m.x - m.size / 2 + (1.5 + c) * cell) * kPx),
                                 static_cast<int>((m.y - m.size / 2 + (1.5 + r) * cell) * kPx)));
    return cells;
}

std::vector<bool> Turned(const std::vector<bool>& cells) {
    std::vector<bool> turned(16);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            turned[static_cast<std::size_t>(c * 4 + (3 - r))] =
                cells[static_cast<std::size_t>(r * 4 + c)];
    return turned;
}

std::string DecodeQr(const QImage& g) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const auto result = ZXing::ReadBarcode(ZXing::ImageView(g.constBits(), g.width(), g.height(),
                                                            ZXing::ImageFormat::Lum,
                                                            static_cast<int>(g.bytesPerLine())),
                                           hints);
    return result.isValid() ? result.text() : std::string();
}

class SheetPdf : public testing::Test {
  protected:
    void SetUp() override { scan::EnsurePainting(); }
    testsupport::TempHome home;
};

TEST_F(SheetPdf, EveryBubbleMarkAndQrCodeLiesWhereTheLayoutSays) {
    scan::SheetSettings s;
    s.questions = 52;
    s.multi = 8;
    s.multiOptions = 5;
    s.idDigits = 10;
    s.id = "midterm-7";
    s.title = "期中考试 数学";
    s.pages = 2;
    const auto [pdf, json] = scan::WriteSheet(scan::DesignSheet(s), home / "期中");
    const scan::Layout layout = scan::LoadLayout(json);
    const auto pages = RenderPdf(pdf, layout);
    ASSERT_EQ(pages.size(), 2u);
    std::vector<std::vector<bool>> patterns;
    for (std::size_t p = 0; p < 2; ++p) {
        const QImage& g = pages[p];
        const scan::Page& page = layout.pages[p];
        int bubbles = 0;
        auto check = [&](const scan::Bubble& b, const std::string& what) {
            const auto miss = BubbleMiss(g, b.area);
            ASSERT_TRUE(miss) << what << " " << b.value << ": no bubble drawn around its centre";
            EXPECT_LE(*miss, kTolerance) << what << " " << b.value;
            ++bubbles;
        };
        for (const auto& q : page.questions)
            for (const auto& b : q.bubbles)
                check(b, "question " + std::to_string(q.number));
        for (const auto& d : page.examNumber)
            for (const auto& b : d.bubbles)
                check(b, "digit " + std::to_string(d.digit));
        EXPECT_EQ(bubbles, static_cast<int>(page.questions.size() * 4 + (p == 1 ? 8 : 0) + 100));
        for (const auto& m : page.marks) {
            const QRectF box = DarkBox(g, m, 2);
            EXPECT_NEAR(box.center().x(), m.x, kTolerance) << m.name;
            EXPECT_NEAR(box.center().y(), m.y, kTolerance) << m.name;
            EXPECT_NEAR(box.width(), m.size, kTolerance) << m.name;
            EXPECT_GE(std::min({box.left(), box.top(), layout.width - box.right(),
                                layout.height - box.bottom()}),
                      scan::kMarkEdgeMm)
                << m.name;
            if (p == 0)
                patterns.push_back(Cells(g, m));
        }
        EXPECT_EQ(DecodeQr(g), "quillory:midterm-7:1:" + std::to_string(p + 1));
    }
    // No mark, turned any way, looks like another mark or like itself unturned.
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        std::vector<bool> turned = patterns[i];
        for (int quarter = 1; quarter <= 3; ++quarter) {
            turned = Turned(turned);
            EXPECT_NE(turned, patterns[i]) << "mark " << i << " turned " << quarter * 90;
            for (std::size_t j = 0; j < patterns.size(); ++j) {
                if (j != i) {
                    EXPECT_NE(turned, patterns[j])
                        << "mark " << i << " turned " << quarter * 90 << " and mark " << j;
                }
            }
        }
        for (std::size_t j = i + 1; j < patterns.size(); ++j)
            EXPECT_NE(patterns[i], patterns[j]);
    }
}

TEST_F(SheetPdf, CommandWritesBothFilesOrNeither) {
    const auto base = home / "数学";
    auto run = testsupport::RunCli(
        {"sheet", "design", "--questions", "60", "--title", "月考", "--out", base.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "wrote " + base.string() + ".pdf\nwrote " + base.string() + ".layout.json\n");
    const scan::Layout layout = scan::LoadLayout(base.string() + ".layout.json");
    EXPECT_EQ(layout.id, "数学");
    EXPECT_EQ(layout.title, "月考");
    EXPECT_EQ(DecodeQr(RenderPdf(base.string() + ".pdf", layout).at(0)), "quillory:数学:1:1");

    // The same sheet again keeps its revision; drawn anew under the same id,
    // the revision goes up, in the layout file and in the QR code.
    const auto again = [&](const char* questions) {
        EXPECT_EQ(testsupport::RunCli({"sheet", "design", "--questions", questions, "--title",
                                       "月考", "--out", base.string()})
                      .status,
                  0);
        return scan::LoadLayout(base.string() + ".layout.json");
    };
    EXPECT_EQ(again("60").revision, 1);
    const scan::Layout redrawn = again("61");
    EXPECT_EQ(redrawn.revision, 2);
    EXPECT_EQ(DecodeQr(RenderPdf(base.string() + ".pdf", redrawn).at(0)), "quillory:数学:2:1");

    // Settings that cannot be printed, and a folder that is not there: nothing written.
    const auto before = std::distance(std::filesystem::directory_iterator(home.path()), {});
    run = testsupport::RunCli(
        {"sheet", "design", "--questions", "10", "--options", "7", "--out", (home / "x").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--options: 7; a question has 2 to 6 options"), std::string::npos)
        << run.err;
    run = testsupport::RunCli({"sheet", "design", "--questions", "105", "--options", "6", "--out",
                               (home / "x").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("at most 75 questions"), std::string::npos) << run.err;
    run = testsupport::RunCli(
        {"sheet", "design", "--questions", "10", "--out", (home / "none" / "x").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot be written to"), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), before);
    EXPECT_THROW((void)scan::WriteSheet(layout, home / "none" / "x"), scan::LayoutError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), before);
}

} // namespace
