#include "scan/SheetDesign.h"

#include <algorithm>
#include <cmath>

namespace scan {
namespace {

constexpr double kPitch = kBubbleW + kBubbleGap;    // from one option's centre to the next
constexpr double kRowPitch = kBubbleH + kBubbleGap; // from one row's centre to the next
constexpr double kSide = 18.5;                      // the content's margin, clear of the marks
constexpr double kLabelW = 6.5;                     // the question number before its bubbles
constexpr double kBlockGap = 4;                     // between blocks side by side
constexpr double kBlockHeader = 4;                  // above a block's rows: "多选"
constexpr double kBlockRowGap = 3.5;                // between rows of blocks
constexpr double kPanelMinW = 85;                   // the filling example and the instructions
constexpr double kPanelBelowH = 30;

// Where the parts of a page go, from the settings alone.
struct Frame {
    double width = 0, height = 0;
    double left = 0, right = 0; // of the content
    double gridTop = 0;         // the exam number's write-in cells
    double gridWidth = 0;
    Area panel; // the filling example, the instructions and the patches
    double questionsTop = 0;
    double bottom = 0;     // the lowest a block may reach
    double blockWidth = 0; // of the widest block
    int blocksAcross = 0;  // that fit side by side
    int blockRows = 0;     // that fit on a page
};

double BlockWidth(int options) {
    return kLabelW + (options - 1) * kPitch + kBubbleW;
}

double BlockRowPitch() {
    return kBlockHeader + 4 * kRowPitch + kBubbleH + kBlockRowGap;
}

Frame FrameOf(const SheetSettings& s) {
    Frame f;
    f.width = PaperWidth(s.paper);
    f.height = PaperHeight(s.paper);
    f.left = kSide;
    f.right = f.width - kSide;
    f.gridTop = 46;
    f.gridWidth = s.idDigits * kPitch;
    const double gridBottom = f.gridTop + 8 + 9 * kRowPitch + kBubbleH;
    const double besideLeft = f.left + f.gridWidth + 6;
    if (f.right - besideLeft >= kPanelMinW) {
        f.panel = {(besideLeft + f.right) / 2, (41.5 + gridBottom) / 2, f.right - besideLeft,
                   gridBottom - 41.5};
        f.questionsTop = gridBottom + 5;
    } else {
        const double top = gridBottom + 3;
        f.panel = {(f.left + f.right) / 2, top + kPanelBelowH / 2, f.right - f.left, kPanelBelowH};
        f.questionsTop = top + kPanelBelowH + 3;
    }
    f.bottom = f.height - 14;
    f.blockWidth = BlockWidth(std::max(s.options, s.multi > 0 ? s.multiOptions : 2));
    f.blocksAcross =
        static_cast<int>(std::floor((f.right - f.left + kBlockGap) / (f.blockWidth + kBlockGap)));
    f.blockRows =
        static_cast<int>(std::floor((f.bottom - f.questionsTop + kBlockRowGap) / BlockRowPitch()));
    return f;
}

const char* PaperName(Paper p) {
    return p == Paper::A4 ? "A4" : "A3";
}

int Blocks(int questions) {
    return (questions + 4) / 5;
}

// Blocks of five questions: the single-choice ones, then the multiple-choice
// ones starting a block of their own; each block its first question and count.
struct Block {
    int first = 0, count = 0;
    QuestionKind kind = QuestionKind::Single;
};

std::vector<Block> BlocksOf(const SheetSettings& s) {
    std::vector<Block> blocks;
    for (int q = 0; q < s.questions; q += 5)
        blocks.push_back({q + 1, std::min(5, s.questions - q), QuestionKind::Single});
    for (int q = 0; q < s.multi; q += 5)
        blocks.push_back({s.questions + q + 1, std::min(5, s.multi - q), QuestionKind::Multiple});
    return blocks;
}

Bubble BubbleAt(std::string value, double x, double y) {
    return {std::move(value), {x, y, kBubbleW, kBubbleH}};
}

// The marks, the patches, the boxes, the QR code and the exam number: the
// same on every page.
Page PageFrame(const Frame& f, const SheetSettings& s, int number) {
    Page page;
    page.number = number;
    const double far = f.width - kMarkCentre, low = f.height - kMarkCentre;
    const double xs[6] = {kMarkCentre, far, kMarkCentre, far, kMarkCentre, far};
    const double ys[6] = {kMarkCentre, kMarkCentre, low, low, f.height / 2, f.height / 2};
    for (int m = 0; m < 6; ++m)
        page.marks.push_back({kMarkNames[m], MarkKind(m), xs[m], ys[m], kMarkSize});
    page.qrSize = kQrSize;
    page.qrX = f.right - 1.5 - kQrSize / 2; // its quiet zone clear of the top-right mark
    page.qrY = 19;
    page.boxes.push_back({"name", {f.left + 11 + 31, 34.5, 62, 9}});
    page.boxes.push_back({"class", {f.left + 11 + 62 + 6 + 11 + 18, 34.5, 36, 9}});
    page.boxes.push_back(
        {"exam_number", {f.left + f.gridWidth / 2, f.gridTop + 3, f.gridWidth, 6}});
    const double firstRow = f.gridTop + 8 + kBubbleH / 2;
    for (int d = 0; d < s.idDigits; ++d) {
        Digit digit{d + 1, {}};
        for (int v = 0; v < 10; ++v)
            digit.bubbles.push_back(BubbleAt(std::to_string(v), f.left + kPitch / 2 + d * kPitch,
                                             firstRow + v * kRowPitch));
        page.examNumber.push_back(std::move(digit));
    }
    const Area& panel = f.panel;
    const double patchY = panel.bottom() - 3;
    const double patchLeft = panel.left() + 14;
    page.patches.push_back({"black", {patchLeft + 3, patchY, 6, 4}});
    page.patches.push_back({"white", {patchLeft + 13, patchY, 6, 4}});
    page.patches.push_back({"empty", {patchLeft + 23, patchY, kBubbleW, kBubbleH}});
    page.instructions = Area{panel.x, panel.y - 4, panel.w, panel.h - 8};
    return page;
}

void PlaceBlocks(const Frame& f, int across, const std::vector<Block>& blocks, Page& page,
                 const SheetSettings& s) {
    const double rowWidth = across * f.blockWidth + (across - 1) * kBlockGap;
    const double start = f.left + (f.right - f.left - rowWidth) / 2;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const double left = start + static_cast<double>(b % across) * (f.blockWidth + kBlockGap);
        const double top = f.questionsTop + static_cast<double>(b / across) * BlockRowPitch();
        const Block& block = blocks[b];
        const int options = block.kind == QuestionKind::Single ? s.options : s.multiOptions;
        for (int r = 0; r < block.count; ++r) {
            Question q{block.first + r, block.kind, {}};
            const double y = top + kBlockHeader + kBubbleH / 2 + r * kRowPitch;
            for (int o = 0; o < options; ++o)
                q.bubbles.push_back(BubbleAt(std::string(1, static_cast<char>('A' + o)),
                                             left + kLabelW + kBubbleW / 2 + o * kPitch, y));
            page.questions.push_back(std::move(q));
        }
    }
}

std::string Text(int n) {
    return std::to_string(n);
}

} // namespace

double PaperWidth(Paper paper) {
    return paper == Paper::A4 ? 210 : 297;
}
double PaperHeight(Paper paper) {
    return paper == Paper::A4 ? 297 : 420;
}

std::string MarkKind(int markerNumber) {
    return "aruco:DICT_4X4_50:" + std::to_string(markerNumber);
}

std::optional<std::string> SettingsProblem(const SheetSettings& s) {
    if (s.questions < 0 || s.multi < 0 || s.questions + s.multi < 1 ||
        s.questions + s.multi > kMaxQuestions)
        return "--questions: " + Text(s.questions) + " single-choice and " + Text(s.multi) +
               " multiple-choice questions; a sheet has 1 to " + Text(kMaxQuestions) + " in all";
    if (s.options < kMinOptions || s.options > kMaxOptions)
        return "--options: " + Text(s.options) + "; a question has 2 to 6 options";
    if (s.multi > 0 && (s.multiOptions < kMinOptions || s.multiOptions > kMaxOptions))
        return "--multi-options: " + Text(s.multiOptions) + "; a question has 2 to 6 options";
    if (s.idDigits < 1 || s.idDigits > kMaxIdDigits)
        return "--id-digits: " + Text(s.idDigits) + "; an exam number has 1 to " +
               Text(kMaxIdDigits) + " digits";
    if (s.id.empty() || s.id.find(':') != std::string::npos)
        return "--id: \"" + s.id +
               "\"; the layout id is a text that is not empty and holds no \":\"";
    if (s.pages < 1)
        return "--pages: " + Text(s.pages) + "; a sheet has at least one page";
    const Frame f = FrameOf(s);
    if (s.perRow < 0 || s.perRow > f.blocksAcross)
        return "--per-row: " + Text(s.perRow) + " blocks side by side; at most " +
               Text(f.blocksAcross) + " blocks of " +
               Text(std::max(s.options, s.multi > 0 ? s.multiOptions : 2)) +
               " options fit across " + PaperName(s.paper);
    const int across = s.perRow > 0 ? s.perRow : std::min(5, f.blocksAcross);
    const int blocks = Blocks(s.questions) + Blocks(s.multi);
    if (s.pages > blocks)
        return "--pages: " + Text(s.pages) + " pages, but the questions fill only " + Text(blocks) +
               " blocks of five; at most " + Text(blocks) + " pages";
    const int perPage = across * f.blockRows;
    const int needed = (blocks + s.pages - 1) / s.pages;
    if (needed > perPage)
        return "--questions: " + Text(s.questions + s.multi) + " questions need " + Text(blocks) +
               " blocks of five; " + Text(s.pages) + " page(s) of " + PaperName(s.paper) +
               " hold " + Text(perPage * s.pages) + " blocks, at most " +
               Text(std::min(kMaxQuestions, perPage * s.pages * 5)) +
               " questions (more pages or A3 hold more)";
    return std::nullopt;
}

Layout DesignSheet(const SheetSettings& s) {
    if (auto problem = SettingsProblem(s))
        throw LayoutError(*problem);
    const Frame f = FrameOf(s);
    const int across = s.perRow > 0 ? s.perRow : std::min(5, f.blocksAcross);
    Layout layout;
    layout.id = s.id;
    layout.revision = s.revision;
    layout.title = s.title;
    layout.width = f.width;
    layout.height = f.height;
    const std::vector<Block> blocks = BlocksOf(s);
    const auto total = blocks.size();
    for (int p = 0; p < s.pages; ++p) {
        Page page = PageFrame(f, s, p + 1);
        const auto from = total * static_cast<std::size_t>(p) / static_cast<std::size_t>(s.pages);
        const auto to = total * static_cast<std::size_t>(p + 1) / static_cast<std::size_t>(s.pages);
        PlaceBlocks(f, across,
                    std::vector<Block>(blocks.begin() + static_cast<std::ptrdiff_t>(from),
                                       blocks.begin() + static_cast<std::ptrdiff_t>(to)),
                    page, s);
        layout.pages.push_back(std::move(page));
    }
    if (auto problem = LayoutProblem(layout))
        throw LayoutError("the design breaks its own layout: " + *problem);
    return layout;
}

} // namespace scan
