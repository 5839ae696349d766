#include "scan/SheetDrawing.h"

#include "scan/SheetDesign.h"

#include "platform/text/TemporaryName.h"

#include <ZXing/BarcodeFormat.h>
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <array>
#include <stdexcept>

namespace scan {
namespace {

// The 4 x 4 inner cells of the markers 0 to 5 of the ArUco dictionary
// DICT_4X4_50, row by row, the first cell in the highest bit; a set bit is
// a white cell.
constexpr std::array<std::array<unsigned char, 2>, 6> kMarkerBits = {
    {{181, 50}, {15, 154}, {51, 45}, {153, 70}, {84, 158}, {121, 205}}};

const QColor kInk(0, 0, 0);
constexpr double kLine = 0.2; // mm

QRectF RectOf(const Area& a) {
    return {a.left(), a.top(), a.w, a.h};
}

QFont SheetFont(bool bold) {
    QFont font(kSheetFont);
    font.setPixelSize(100);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Text of `height` mm in `box`, made smaller when it is wider than the box.
void Text(QPainter& p, const QRectF& box, const QString& text, double height, int flags,
          const QColor& colour = kInk, bool bold = false) {
    const QFont font = SheetFont(bold);
    const double wide = QFontMetricsF(font).horizontalAdvance(text) * height / 100;
    if (wide > box.width())
        height *= box.width() / wide;
    const double k = height / 100;
    p.save();
    p.setFont(font);
    p.setPen(colour);
    p.translate(box.topLeft());
    p.scale(k, k);
    p.drawText(QRectF(0, 0, box.width() / k, box.height() / k), flags, text);
    p.restore();
}

void Outline(QPainter& p, const QColor& colour = kInk, double width = kLine) {
    QPen pen(colour);
    pen.setWidthF(width);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

// A bubble: a rounded outline with its value in light grey inside.
void DrawBubble(QPainter& p, const Area& a, const QString& value) {
    Outline(p);
    p.drawRoundedRect(RectOf(a), a.h / 2, a.h / 2);
    if (!value.isEmpty())
        Text(p, RectOf(a), value, a.h * 0.75, Qt::AlignCenter,
             QColor(kBubbleTextGrey, kBubbleTextGrey, kBubbleTextGrey));
}

void DrawMark(QPainter& p, const Mark& m, int number) {
    const double cell = m.size / 6;
    const double left = m.x - m.size / 2, top = m.y - m.size / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(left, top, m.size, m.size));
    p.setBrush(Qt::white);
    const auto& bits = kMarkerBits[static_cast<std::size_t>(number)];
    for (int i = 0; i < 16; ++i)
        if (bits[static_cast<std::size_t>(i / 8)] & (0x80 >> (i % 8)))
            p.drawRect(QRectF(left + (1 + i % 4) * cell, top + (1 + i / 4) * cell, cell, cell));
}

void DrawQr(QPainter& p, const Layout& layout, const Page& page) {
    const auto modules = QrModules(QrText(layout, page));
    const double n = static_cast<double>(modules.size());
    const double cell = page.qrSize / n;
    const double left = page.qrX - page.qrSize / 2, top = page.qrY - page.qrSize / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (std::size_t y = 0; y < modules.size(); ++y)
        for (std::size_t x = 0; x < modules.size();) {
            if (!modules[y][x]) {
                ++x;
                continue;
            }
            std::size_t end = x;
            while (end < modules.size() && modules[y][end])
                ++end;
            // A hair wider and taller, so that no seam shows between modules.
            p.drawRect(
                QRectF(left + x * cell, top + y * cell, (end - x) * cell + 0.01, cell + 0.01));
            x = end;
        }
}

void DrawTitle(QPainter& p, const Layout& layout, const Page& page) {
    const double right = page.qrX - page.qrSize / 2 - 4;
    const QRectF box(20, 11, right - 20, 12);
    Text(p, box, QString::fromStdString(layout.title), 7, Qt::AlignCenter, kInk, true);
    if (layout.pages.size() > 1)
        Text(p, QRectF(20, layout.height - 14, layout.width - 40, 5),
             QString("第 %1 页 / 共 %2 页").arg(page.number).arg(layout.pages.size()), 3,
             Qt::AlignCenter);
}

void DrawBoxes(QPainter& p, const Page& page) {
    for (const NamedArea& box : page.boxes) {
        Outline(p, kInk, 0.25);
        p.drawRect(RectOf(box.area));
        if (box.name == "exam_number") {
            // A cell per digit to write the number in, above its column.
            Outline(p, QColor(120, 120, 120), 0.15);
            for (std::size_t d = 1; d < page.examNumber.size(); ++d) {
                const double x = (page.examNumber[d - 1].bubbles[0].area.x +
                                  page.examNumber[d].bubbles[0].area.x) /
                                 2;
                p.drawLine(QPointF(x, box.area.top()), QPointF(x, box.area.bottom()));
            }
            Text(p, QRectF(box.area.left(), box.area.top() - 5, 30, 4.5), "考号", 3.5,
                 Qt::AlignLeft | Qt::AlignVCenter);
            continue;
        }
        const QString label = box.name == "name"    ? "姓名"
                              : box.name == "class" ? "班级"
                                                    : QString();
        Text(p, QRectF(box.area.left() - 11, box.area.top(), 10, box.area.h), label, 3.5,
             Qt::AlignRight | Qt::AlignVCenter);
    }
}

void DrawExamNumber(QPainter& p, const Page& page) {
    for (const Digit& digit : page.examNumber)
        for (const Bubble& b : digit.bubbles)
            DrawBubble(p, b.area, QString::fromStdString(b.value));
}

// A tick or a cross over a bubble, the two wrong ways shown in the example.
void DrawWrongMark(QPainter& p, const Area& a, bool tick) {
    Outline(p, kInk, 0.35);
    if (tick) {
        p.drawLine(QPointF(a.left() + 0.6, a.y), QPointF(a.x - 0.3, a.bottom() - 0.2));
        p.drawLine(QPointF(a.x - 0.3, a.bottom() - 0.2), QPointF(a.right() + 0.3, a.top() - 0.8));
    } else {
        p.drawLine(QPointF(a.left() + 0.6, a.top() + 0.2),
                   QPointF(a.right() - 0.6, a.bottom() - 0.2));
        p.drawLine(QPointF(a.left() + 0.6, a.bottom() - 0.2),
                   QPointF(a.right() - 0.6, a.top() + 0.2));
    }
}

// The filling example, the three lines of instructions and the labels of
// the reference patches.
void DrawInstructions(QPainter& p, const Page& page) {
    if (!page.instructions)
        return;
    const Area& area = *page.instructions;
    const double left = area.left() + 1;
    Text(p, QRectF(left, area.top(), 20, 5), "填涂示例", 3.2, Qt::AlignLeft | Qt::AlignVCenter,
         kInk, true);
    const char* labels[3] = {"正确", "错误", "错误"};
    for (int i = 0; i < 3; ++i) {
        const Area bubble{left + 24 + i * 20, area.top() + 2.5, kBubbleW, kBubbleH};
        DrawBubble(p, bubble, "A");
        if (i == 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawRoundedRect(RectOf(bubble), bubble.h / 2, bubble.h / 2);
        } else {
            DrawWrongMark(p, bubble, i == 1);
        }
        Text(p, QRectF(bubble.right() + 1.2, area.top(), 12, 5), labels[i], 3,
             Qt::AlignLeft | Qt::AlignVCenter);
    }
    const char* lines[3] = {"1. 用2B铅笔把所选选项的框涂满涂黑，不要涂出框外。",
                            "2. 改答时用橡皮擦干净；不要打勾、画叉或只涂一半。",
                            "3. 保持答题卡整洁，不要折叠，不要在四周的方块和二维码上写画。"};
    for (int i = 0; i < 3; ++i)
        Text(p, QRectF(left, area.top() + 7 + i * 5, area.w - 2, 4.5), lines[i], 3.1,
             Qt::AlignLeft | Qt::AlignVCenter);
    for (const NamedArea& patch : page.patches) {
        if (patch.name == "black") {
            Text(p, QRectF(left, patch.area.top() - 1, 12, patch.area.h + 2), "校准", 3,
                 Qt::AlignLeft | Qt::AlignVCenter);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawRect(RectOf(patch.area));
        } else if (patch.name == "white") {
            // The frame stands clear of the patch, which stays paper white.
            Outline(p, kInk, 0.15);
            p.drawRect(RectOf(patch.area).adjusted(-0.8, -0.8, 0.8, 0.8));
        } else if (patch.name == "empty") {
            DrawBubble(p, patch.area, QString());
        }
    }
}

void DrawQuestions(QPainter& p, const Page& page) {
    double lastBlockTop = -1;
    for (std::size_t i = 0; i < page.questions.size(); ++i) {
        const Question& q = page.questions[i];
        const Area& first = q.bubbles.front().area;
        const double labelRight = first.left() - 0.8;
        Text(p, QRectF(labelRight - 7, first.top() - 0.5, 7, first.h + 1),
             QString::number(q.number), 2.9, Qt::AlignRight | Qt::AlignVCenter);
        for (const Bubble& b : q.bubbles)
            DrawBubble(p, b.area, QString::fromStdString(b.value));
        // "多选" over the first question of each block of multiple-choice ones.
        const bool firstOfBlock = (q.number - 1) % 5 == 0 || i == 0 ||
                                  page.questions[i - 1].kind != q.kind ||
                                  page.questions[i - 1].bubbles.front().area.x != first.x;
        if (q.kind == QuestionKind::Multiple && firstOfBlock && first.top() != lastBlockTop) {
            Text(p, QRectF(labelRight - 6, first.top() - 4.2, 20, 3.6), "多选", 2.8,
                 Qt::AlignLeft | Qt::AlignVCenter, kInk, true);
            lastBlockTop = first.top();
        }
    }
}

} // namespace

std::vector<std::vector<bool>> QrModules(const std::string& text) {
    // UTF-8, so that a layout id in Chinese is held as it is.
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                        .setEncoding(ZXing::CharacterSet::UTF8)
                                        .setMargin(0)
                                        .setEccLevel(2)
                                        .encode(text, 0, 0);
    std::vector<std::vector<bool>> modules(
        static_cast<std::size_t>(matrix.height()),
        std::vector<bool>(static_cast<std::size_t>(matrix.width())));
    for (int y = 0; y < matrix.height(); ++y)
        for (int x = 0; x < matrix.width(); ++x)
            modules[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = matrix.get(x, y);
    return modules;
}

void DrawPage(QPainter& painter, const Layout& layout, std::size_t index) {
    const Page& page = layout.pages.at(index);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (std::size_t m = 0; m < page.marks.size() && m < kMarkerBits.size(); ++m)
        DrawMark(painter, page.marks[m], static_cast<int>(m));
    DrawQr(painter, layout, page);
    DrawTitle(painter, layout, page);
    DrawBoxes(painter, page);
    DrawExamNumber(painter, page);
    DrawInstructions(painter, page);
    DrawQuestions(painter, page);
    painter.restore();
}

QImage RenderPage(const Layout& layout, std::size_t index, double dpi) {
    const double k = dpi / 25.4;
    QImage image(static_cast<int>(std::lround(layout.width * k)),
                 static_cast<int>(std::lround(layout.height * k)), QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(static_cast<int>(std::lround(k * 1000)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(k * 1000)));
    QPainter painter(&image);
    painter.scale(k, k);
    DrawPage(painter, layout, index);
    return image;
}

namespace {

// The layout with its revision as the layout file already at `json` makes
// it: the same id drawn the same keeps that file's revision, drawn anew
// raises it by one, so that sheets printed from the earlier drawing are never
// read with the new one. Another id, or no readable file, keeps `layout`'s.
Layout WithRevisionAfter(Layout layout, const std::filesystem::path& json) {
    std::error_code ec;
    if (!std::filesystem::exists(json, ec))
        return layout;
    try {
        const Layout earlier = LoadLayout(json);
        if (earlier.id != layout.id)
            return layout;
        layout.revision = earlier.revision;
        if (LayoutJson(layout) != LayoutJson(earlier))
            layout.revision = earlier.revision + 1;
    } catch (const std::exception&) {
        // a file that does not load is replaced as it is
    }
    return layout;
}

[[noreturn]] void CannotWrite(const std::filesystem::path& file, const std::string& why) {
    throw LayoutError("不能写入 " + file.string() + ": " + why);
}

} // namespace

std::pair<std::filesystem::path, std::filesystem::path>
WriteSheet(const Layout& designed, const std::filesystem::path& base) {
    namespace fs = std::filesystem;
    const fs::path pdf = fs::path(base).concat(".pdf"),
                   json = fs::path(base).concat(".layout.json");
    try {
        text::CheckNameFits(pdf);
        text::CheckNameFits(json);
    } catch (const std::runtime_error& e) {
        throw LayoutError(e.what());
    }
    const Layout layout = WithRevisionAfter(designed, json);
    const fs::path pdfPart = text::TemporaryBeside(pdf), jsonPart = text::TemporaryBeside(json);
    auto removeParts = [&] {
        std::error_code ec;
        fs::remove(pdfPart, ec);
        fs::remove(jsonPart, ec);
    };
    try {
        {
            QFile out(QString::fromStdString(pdfPart.string()));
            if (!out.open(QIODevice::WriteOnly))
                CannotWrite(pdf, out.errorString().toStdString());
            QPdfWriter writer(&out);
            writer.setTitle(QString::fromStdString(layout.title));
            writer.setCreator("Quillory");
            writer.setResolution(1200);
            writer.setPageSize(
                QPageSize(QSizeF(layout.width, layout.height), QPageSize::Millimeter));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
            QPainter painter(&writer);
            painter.scale(1200 / 25.4, 1200 / 25.4);
            for (std::size_t i = 0; i < layout.pages.size(); ++i) {
                if (i > 0)
                    writer.newPage();
                DrawPage(painter, layout, i);
            }
            painter.end();
            if (out.error() != QFileDevice::NoError || !out.flush())
                CannotWrite(pdf, out.errorString().toStdString());
        }
        {
            QFile out(QString::fromStdString(jsonPart.string()));
            const QByteArray text = QByteArray::fromStdString(LayoutJson(layout));
            if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.flush())
                CannotWrite(json, out.errorString().toStdString());
        }
    } catch (...) {
        removeParts();
        throw;
    }
    // The PDF first, then its layout file; when the layout file cannot
    // follow, the new PDF goes too, so that no PDF is left beside a layout
    // it was not drawn from.
    std::error_code ec;
    fs::rename(pdfPart, pdf, ec);
    if (!ec)
        fs::rename(jsonPart, json, ec);
    if (ec) {
        const std::string why = ec.message();
        removeParts();
        fs::remove(pdf, ec);
        CannotWrite(base, why);
    }
    return {pdf, json};
}

} // namespace scan
