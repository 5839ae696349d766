#include "tools/render-sheet/SheetPicture.h"

#include "scan/SheetDrawing.h"
#include "scan/Template.h"

#include <QBuffer>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace tools {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Uniform(std::mt19937& r, double from, double to) {
    return std::uniform_real_distribution<double>(from, to)(r);
}

int Pick(std::mt19937& r, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(r);
}

const scan::Bubble* FindBubble(const scan::Page& page, const Fill& fill) {
    const std::vector<scan::Bubble>* bubbles = nullptr;
    if (fill.question == 0) {
        for (const auto& d : page.examNumber)
            if (d.digit == fill.digit)
                bubbles = &d.bubbles;
    } else {
        for (const auto& q : page.questions)
            if (q.number == fill.question)
                bubbles = &q.bubbles;
    }
    if (bubbles)
        for (const auto& b : *bubbles)
            if (b.value == fill.value)
                return &b;
    return nullptr;
}

// A pencil fill's outline: the bubble's rounded shape with ragged edges,
// a little off centre.
QPolygonF RaggedShape(const scan::Area& a, std::mt19937& r, double grow) {
    QPolygonF shape;
    const double cx = a.x + Uniform(r, -0.25, 0.25), cy = a.y + Uniform(r, -0.2, 0.2);
    for (int i = 0; i < 36; ++i) {
        const double t = 2 * kPi * i / 36;
        const double c = std::cos(t), s = std::sin(t);
        // A superellipse near the bubble's stadium shape.
        const double ex = std::copysign(std::pow(std::fabs(c), 0.6), c),
                     ey = std::copysign(std::pow(std::fabs(s), 0.6), s);
        const double jitter = grow + Uniform(r, -0.12, 0.12);
        shape << QPointF(cx + ex * (a.w / 2 + jitter), cy + ey * (a.h / 2 + jitter));
    }
    return shape;
}

void Stroke(QPainter& p, const QPolygonF& line, int grey, double width) {
    QPen pen{QColor(grey, grey, grey)};
    pen.setWidthF(width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line);
}

void DrawFill(QPainter& p, const scan::Area& a, FillKind kind, std::mt19937& r) {
    p.setPen(Qt::NoPen);
    switch (kind) {
    case FillKind::Solid:
    case FillKind::Light:
    case FillKind::Erased: {
        const int grey = kind == FillKind::Solid   ? Pick(r, 25, 75)
                         : kind == FillKind::Light ? Pick(r, 150, 180)
                                                   : Pick(r, 205, 228);
        p.setBrush(QColor(grey, grey, grey));
        p.drawPolygon(RaggedShape(a, r, kind == FillKind::Erased ? 0.3 : Uniform(r, -0.1, 0.25)));
        break;
    }
    case FillKind::Half: {
        const int grey = Pick(r, 25, 75);
        p.save();
        if (Pick(r, 0, 1))
            p.setClipRect(QRectF(a.left() - 1, a.top() - 1, a.w / 2 + 1, a.h + 2));
        else
            p.setClipRect(QRectF(a.left() - 1, a.y, a.w + 2, a.h / 2 + 1));
        p.setBrush(QColor(grey, grey, grey));
        p.drawPolygon(RaggedShape(a, r, 0.1));
        p.restore();
        break;
    }
    case FillKind::Tick:
        Stroke(p,
               QPolygonF{{QPointF(a.left() + 0.5, a.y), QPointF(a.x - 0.3, a.bottom() - 0.1),
                          QPointF(a.right() + Uniform(r, 0, 0.6), a.top() - Uniform(r, 0.3, 1.0))}},
               Pick(r, 30, 70), Uniform(r, 0.3, 0.5));
        break;
    case FillKind::Cross:
        Stroke(p,
               QPolygonF{{QPointF(a.left() + 0.4, a.top()), QPointF(a.right() - 0.4, a.bottom())}},
               Pick(r, 30, 70), Uniform(r, 0.3, 0.5));
        Stroke(p,
               QPolygonF{{QPointF(a.left() + 0.4, a.bottom()), QPointF(a.right() - 0.4, a.top())}},
               Pick(r, 30, 70), Uniform(r, 0.3, 0.5));
        break;
    }
}

// The exam number's digits written by hand in their cells above the columns.
void WriteDigits(QPainter& p, const scan::Page& page, const std::vector<Fill>& fills,
                 std::mt19937& r) {
    const scan::NamedArea* cells = nullptr;
    for (const auto& box : page.boxes)
        if (box.name == "exam_number")
            cells = &box;
    if (!cells)
        return;
    QFont font(scan::kSheetFont);
    font.setPixelSize(100);
    for (const Fill& f : fills) {
        if (f.question != 0 || f.kind != FillKind::Solid || f.digit < 1 ||
            f.digit > static_cast<int>(page.examNumber.size()))
            continue;
        const double x = page.examNumber[static_cast<std::size_t>(f.digit - 1)].bubbles[0].area.x;
        p.save();
        p.setFont(font);
        p.setPen(QColor(40, 40, 60));
        p.translate(x + Uniform(r, -0.4, 0.4), cells->area.y + Uniform(r, -0.3, 0.3));
        p.rotate(Uniform(r, -8, 8));
        p.scale(0.045, 0.045);
        p.drawText(QRectF(-60, -60, 120, 120), Qt::AlignCenter, QString::fromStdString(f.value));
        p.restore();
    }
}

QImage Grey(const QImage& image) {
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// A separable box blur of radius `radius`, three times: close to a Gaussian.
void Blur(QImage& grey, int radius) {
    if (radius < 1)
        return;
    const int w = grey.width(), h = grey.height();
    std::vector<int> line(static_cast<std::size_t>(std::max(w, h)));
    auto pass = [&](bool across) {
        const int n = across ? w : h, lines = across ? h : w;
        for (int l = 0; l < lines; ++l) {
            auto at = [&](int i) -> uchar& {
                return across ? grey.scanLine(l)[i] : grey.scanLine(i)[l];
            };
            for (int i = 0; i < n; ++i)
                line[static_cast<std::size_t>(i)] = at(i);
            int sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += line[static_cast<std::size_t>(std::clamp(i, 0, n - 1))];
            for (int i = 0; i < n; ++i) {
                at(i) = static_cast<uchar>(sum / (2 * radius + 1));
                sum += line[static_cast<std::size_t>(std::min(i + radius + 1, n - 1))] -
                       line[static_cast<std::size_t>(std::max(i - radius, 0))];
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

void AddNoise(QImage& grey, double sigma, std::mt19937& r) {
    if (sigma <= 0)
        return;
    std::normal_distribution<double> noise(0, sigma);
    for (int y = 0; y < grey.height(); ++y) {
        uchar* row = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            row[x] = static_cast<uchar>(std::clamp(row[x] + noise(r), 0.0, 255.0));
    }
}

void AddDust(QImage& grey, int specks, std::mt19937& r) {
    QPainter p(&grey);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < specks; ++i) {
        const int g = Pick(r, 20, 140);
        p.setBrush(QColor(g, g, g));
        const double size = Uniform(r, 1, 4);
        p.drawEllipse(QPointF(Uniform(r, 0, grey.width()), Uniform(r, 0, grey.height())), size,
                      size * Uniform(r, 0.5, 1));
    }
    if (specks > 0) { // a hair
        QPen pen(QColor(90, 90, 90));
        pen.setWidthF(1.2);
        p.setPen(pen);
        const QPointF from(Uniform(r, 0, grey.width()), Uniform(r, 0, grey.height()));
        p.drawLine(from, from + QPointF(Uniform(r, -60, 60), Uniform(r, -60, 60)));
    }
}

QImage Jpeg(const QImage& grey, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    grey.save(&buffer, "JPG", quality);
    QImage back;
    back.loadFromData(bytes, "JPG");
    return Grey(back);
}

} // namespace

const char* FillName(FillKind kind) {
    switch (kind) {
    case FillKind::Solid:
        return "solid";
    case FillKind::Light:
        return "light";
    case FillKind::Half:
        return "half";
    case FillKind::Erased:
        return "erased";
    case FillKind::Tick:
        return "tick";
    case FillKind::Cross:
        return "cross";
    }
    return "solid";
}

std::optional<FillKind> FillFromName(const std::string& name) {
    for (FillKind k : {FillKind::Solid, FillKind::Light, FillKind::Half, FillKind::Erased,
                       FillKind::Tick, FillKind::Cross})
        if (name == FillName(k))
            return k;
    return std::nullopt;
}

bool CountsAsMarked(FillKind kind) {
    return kind != FillKind::Erased;
}

bool ReviewAcceptable(FillKind kind) {
    return kind != FillKind::Solid;
}

Degradation RandomDegradation(std::mt19937& r, int turn) {
    Degradation d;
    d.rotation = Uniform(r, -5, 5);
    d.scale = Uniform(r, 0.95, 1.03);
    d.perspective = Pick(r, 0, 3) == 0 ? Uniform(r, 0, 0.03) : 0;
    d.blur = Pick(r, 0, 2);
    d.noise = Uniform(r, 0, 8);
    d.jpeg = Pick(r, 0, 1) ? Pick(r, 60, 95) : 0;
    d.dust = Pick(r, 0, 30);
    d.turn = turn;
    return d;
}

std::vector<Fill> RandomFills(const scan::Layout& layout, std::size_t page, std::mt19937& r,
                              double oddShare) {
    const scan::Page& p = layout.pages.at(page);
    std::vector<Fill> fills;
    for (const auto& d : p.examNumber)
        fills.push_back({0, d.digit, std::to_string(Pick(r, 0, 9)), FillKind::Solid});
    const FillKind odd[] = {FillKind::Light, FillKind::Half, FillKind::Erased, FillKind::Tick,
                            FillKind::Cross};
    for (const auto& q : p.questions) {
        const int options = static_cast<int>(q.bubbles.size());
        if (Pick(r, 0, 49) == 0)
            continue; // left blank
        std::vector<int> chosen{Pick(r, 0, options - 1)};
        if (q.kind == scan::QuestionKind::Multiple)
            for (int o = 0; o < options; ++o)
                if (o != chosen[0] && Pick(r, 0, 2) == 0)
                    chosen.push_back(o);
        for (int o : chosen)
            fills.push_back(
                {q.number, 0, q.bubbles[static_cast<std::size_t>(o)].value, FillKind::Solid});
        if (Uniform(r, 0, 1) < oddShare) {
            const FillKind kind = odd[Pick(r, 0, 4)];
            if (kind == FillKind::Erased) {
                // The first choice rubbed out; another option filled instead.
                fills.back().kind = FillKind::Erased;
                if (options > static_cast<int>(chosen.size()))
                    for (int o = 0; o < options; ++o)
                        if (std::find(chosen.begin(), chosen.end(), o) == chosen.end()) {
                            fills.push_back({q.number, 0,
                                             q.bubbles[static_cast<std::size_t>(o)].value,
                                             FillKind::Solid});
                            break;
                        }
            } else {
                fills.back().kind = kind;
            }
        }
    }
    return fills;
}

QImage FilledPage(const scan::Layout& layout, std::size_t page, double dpi,
                  const std::vector<Fill>& fills, std::mt19937& random) {
    QImage image = scan::RenderPage(layout, page, dpi);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(dpi / 25.4, dpi / 25.4);
    const scan::Page& sheet = layout.pages.at(page);
    for (const Fill& f : fills)
        if (const scan::Bubble* b = FindBubble(sheet, f))
            DrawFill(p, b->area, f.kind, random);
    WriteDigits(p, sheet, fills, random);
    p.end();
    return Grey(image);
}

QImage SpoilMarks(QImage grey, const scan::Page& page, double dpi) {
    QPainter p(&grey);
    p.scale(dpi / 25.4, dpi / 25.4);
    for (const scan::Mark& m : page.marks) {
        const double inside = m.size * 0.6;
        p.fillRect(QRectF(m.x - inside / 2, m.y - inside / 2, inside, inside), Qt::white);
    }
    p.end();
    return grey;
}

QImage Degrade(const QImage& grey, const Degradation& how, std::mt19937& random) {
    const double w = grey.width(), h = grey.height();
    // The page as it lies on the glass: turned, scaled, skewed and seen at a slant.
    QPolygonF page{{QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)}};
    QPolygonF seen = page;
    for (QPointF& corner : seen)
        corner += QPointF(Uniform(random, -1, 1) * how.perspective * w,
                          Uniform(random, -1, 1) * how.perspective * h);
    QTransform slant;
    QTransform::quadToQuad(page, seen, slant);
    QTransform around;
    around.translate(w / 2, h / 2);
    around.rotate(how.rotation);
    around.scale(how.scale, how.scale);
    around.translate(-w / 2, -h / 2);
    QImage out(grey.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setTransform(slant * around);
        p.drawImage(0, 0, grey);
    }
    QImage result = Grey(out);
    Blur(result, static_cast<int>(std::lround(how.blur)));
    AddDust(result, how.dust, random);
    AddNoise(result, how.noise, random);
    if (how.turn % 360 != 0)
        result = result.transformed(QTransform().rotate(how.turn));
    if (how.jpeg > 0)
        result = Jpeg(result, how.jpeg);
    return result;
}

QImage TemplateMarker(int side) {
    QImage m(side, side, QImage::Format_Grayscale8);
    m.fill(Qt::white);
    QPainter p(&m);
    p.fillRect(QRectF(0, 0, side, side), Qt::black);
    p.fillRect(QRectF(side * 0.2, side * 0.2, side * 0.6, side * 0.6), Qt::white);
    p.fillRect(QRectF(side * 0.35, side * 0.35, side * 0.3, side * 0.3), Qt::black);
    return m;
}

QImage TemplateSheet(const scan::BubbleTemplate& t, int pageWidth,
                     const std::map<std::string, std::vector<std::string>>& marked) {
    const double scale = pageWidth / t.width;
    const auto markers = std::find_if(t.steps.begin(), t.steps.end(), [](const auto& s) {
        return s.kind == scan::TemplateStep::Kind::CropOnMarkers;
    });
    // The picture P wide holds the page and a marker P / ratio wide on
    // each side: P = page + 2 P / ratio.
    double marker = 0;
    if (markers != t.steps.end())
        marker = pageWidth / (1 - 2 / markers->sheetToMarkerWidthRatio) /
                 markers->sheetToMarkerWidthRatio;
    const double margin = marker;
    const int w = static_cast<int>(std::lround(pageWidth + 2 * margin)),
              h = static_cast<int>(std::lround(t.height * scale + 2 * margin));
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (marker > 0) {
        const int side = static_cast<int>(std::lround(marker));
        QImage m =
            QImage::fromData(markers->marker.data(), static_cast<int>(markers->marker.size()));
        m = m.isNull() ? TemplateMarker(side) : m.scaledToWidth(side, Qt::SmoothTransformation);
        for (const QPointF corner : {QPointF(margin, margin), QPointF(w - margin, margin),
                                     QPointF(w - margin, h - margin), QPointF(margin, h - margin)})
            p.drawImage(QPointF(corner.x() - m.width() / 2.0, corner.y() - m.height() / 2.0), m);
    }
    p.translate(margin, margin);
    p.scale(scale, scale);
    for (const scan::TemplateField& f : t.fields) {
        const auto values = marked.find(f.label);
        for (const scan::TemplateBubble& b : f.bubbles) {
            const QRectF r(b.x, b.y, b.w, b.h);
            p.setPen(QPen(QColor(70, 70, 70), 1.5 / scale));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(r.adjusted(b.w * 0.05, b.h * 0.05, -b.w * 0.05, -b.h * 0.05));
            if (values != marked.end() && std::find(values->second.begin(), values->second.end(),
                                                    b.value) != values->second.end()) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(35, 35, 35));
                p.drawEllipse(r.adjusted(b.w * 0.08, b.h * 0.08, -b.w * 0.08, -b.h * 0.08));
            }
        }
    }
    p.end();
    return Grey(image);
}

} // namespace tools
