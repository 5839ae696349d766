#include "scan/TemplateReading.h"

#include "scan/Reader.h"
#include "scan/Template.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

namespace scan {
namespace {

// A picture with less ink than this share is an empty page.
constexpr double kEmptyPageInk = 0.002;
// The markers are looked for on a copy this many pixels wide.
constexpr double kSearchWidth = 800;
// A marker matching worse than this is not found.
constexpr double kLeastMatch = 0.3;
// A bubble is measured this share of its size inside each edge: clear of its
// printed outline.
constexpr double kBubbleInset = 0.25;
// Two clear groups of bubbles: the widest gap between their greys at least
// this many grey levels and this share of the page's range.
constexpr double kLeastGap = 24, kLeastGapShare = 0.25;
// The largest page (in template units squared) read.
constexpr double kLargestPage = 40e6;
// The page's way up is tried on a copy whose longer side is this many
// pixels; the four ways must fit the printed bubbles at least this well,
// the best this much better than the next.
constexpr double kFitSide = 480;
constexpr double kLeastFit = 0.12, kClearlyBetter = 1.5;
// A marker image this close (mean grey levels) to itself turned looks the
// same either way.
constexpr double kSameMarker = 12;

PageReading Failed(PageReading reading, Failure failure, std::string problem) {
    reading.status = PageStatus::Failed;
    reading.failure = failure;
    reading.problem = std::move(problem);
    return reading;
}

double InkShare(const cv::Mat& grey) {
    cv::Mat small;
    const double shrink = std::max(1.0, grey.cols / kSearchWidth);
    cv::resize(grey, small,
               cv::Size(std::max(1, static_cast<int>(grey.cols / shrink)),
                        std::max(1, static_cast<int>(grey.rows / shrink))),
               0, 0, cv::INTER_AREA);
    std::vector<uchar> values(small.begin<uchar>(), small.end<uchar>());
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2),
                     values.end());
    const double paper = values[values.size() / 2];
    if (paper < 96)
        return 1;
    return static_cast<double>(cv::countNonZero(small < paper / 2)) /
           std::max<double>(1, static_cast<double>(small.total()));
}

// Top-left, top-right, bottom-right, bottom-left of four points.
std::vector<cv::Point2f> Ordered(const std::vector<cv::Point2f>& p) {
    std::vector<cv::Point2f> o(4);
    const auto bySum = [](cv::Point2f a, cv::Point2f b) { return a.x + a.y < b.x + b.y; };
    const auto byDiff = [](cv::Point2f a, cv::Point2f b) { return a.x - a.y < b.x - b.y; };
    o[0] = *std::min_element(p.begin(), p.end(), bySum);
    o[2] = *std::max_element(p.begin(), p.end(), bySum);
    o[1] = *std::max_element(p.begin(), p.end(), byDiff);
    o[3] = *std::min_element(p.begin(), p.end(), byDiff);
    return o;
}

// The four markers' centres, top-left, top-right, bottom-right and
// bottom-left in the picture; `markerTurn` the turn (0, 90, 180, 270) of the
// marker image that all four match best, -1 when the image looks the same
// turned or the four do not agree.
std::optional<std::vector<cv::Point2f>> MarkerCorners(const cv::Mat& grey, const BubbleTemplate& t,
                                                      const TemplateStep& step, int& markerTurn,
                                                      std::string& problem) {
    markerTurn = -1;
    PageData markerData;
    markerData.encoded.assign(step.marker.begin(), step.marker.end());
    std::string undecoded;
    cv::Mat marker = DecodePage(markerData, undecoded, DecodeSize::Full);
    if (marker.empty()) {
        problem = "定位标记图片无法读取: " +
                  std::string(reinterpret_cast<const char*>(step.markerFile.u8string().c_str()));
        return std::nullopt;
    }
    // The marker turned as the sheet may be: each turn that looks other
    // than the ones before.
    std::vector<std::pair<int, cv::Mat>> turns{{0, marker}};
    for (const auto& [turn, code] :
         {std::pair{90, cv::ROTATE_90_CLOCKWISE}, std::pair{180, cv::ROTATE_180},
          std::pair{270, cv::ROTATE_90_COUNTERCLOCKWISE}}) {
        cv::Mat turned;
        cv::rotate(marker, turned, code);
        const bool seen = std::any_of(turns.begin(), turns.end(), [&](const auto& other) {
            return other.second.size() == turned.size() &&
                   cv::norm(other.second, turned, cv::NORM_L1) /
                           static_cast<double>(turned.total()) <
                       kSameMarker;
        });
        if (!seen)
            turns.emplace_back(turn, turned);
    }
    const double shrink = grey.cols / kSearchWidth;
    cv::Mat search;
    cv::resize(grey, search,
               cv::Size(static_cast<int>(kSearchWidth),
                        std::max(1, static_cast<int>(std::lround(grey.rows / shrink)))),
               0, 0, cv::INTER_AREA);
    cv::GaussianBlur(search, search, cv::Size(3, 3), 0);
    // The sheet is as wide as the picture's side that lies along the
    // page's width: its height when the sheet lies turned a quarter.
    const bool crosswise = (search.cols > search.rows) != (t.width > t.height);
    const double sheetWidth = crosswise ? search.rows : search.cols;
    const double markerSide = sheetWidth / step.sheetToMarkerWidthRatio;
    struct Sized {
        int turn;
        cv::Mat picture;
    };
    std::vector<Sized> sizes;
    for (const auto& [turn, image] : turns) {
        // A marker turned a quarter is as high as the upright one is wide.
        const bool quarter = turn == 90 || turn == 270;
        const double across =
            quarter ? markerSide * image.cols / std::max(1, image.rows) : markerSide;
        const double down = across * image.rows / std::max(1, image.cols);
        for (double scale = 0.85; scale < 1.2; scale += 0.05) {
            const cv::Size size(std::max(4, static_cast<int>(std::lround(across * scale))),
                                std::max(4, static_cast<int>(std::lround(down * scale))));
            cv::Mat m;
            cv::resize(image, m, size, 0, 0, cv::INTER_AREA);
            cv::GaussianBlur(m, m, cv::Size(3, 3), 0);
            sizes.push_back({turn, m});
        }
    }
    const int halfW = search.cols / 2, halfH = search.rows / 2;
    std::vector<cv::Point2f> centres;
    std::set<int> markerTurns;
    const char* corner[] = {"左上", "右上", "左下", "右下"};
    for (int q = 0; q < 4; ++q) {
        const cv::Rect quarter((q % 2) * halfW, (q / 2) * halfH,
                               q % 2 ? search.cols - halfW : halfW,
                               q / 2 ? search.rows - halfH : halfH);
        double best = -1;
        int bestTurn = 0;
        cv::Point2f at;
        for (const Sized& m : sizes) {
            if (m.picture.cols >= quarter.width || m.picture.rows >= quarter.height)
                continue;
            cv::Mat score;
            cv::matchTemplate(search(quarter), m.picture, score, cv::TM_CCOEFF_NORMED);
            double most = 0;
            cv::Point where;
            cv::minMaxLoc(score, nullptr, &most, nullptr, &where);
            if (most > best) {
                best = most;
                bestTurn = m.turn;
                at = cv::Point2f(
                    static_cast<float>(quarter.x + where.x + (m.picture.cols - 1) / 2.0),
                    static_cast<float>(quarter.y + where.y + (m.picture.rows - 1) / 2.0));
            }
        }
        if (best < kLeastMatch) {
            problem = std::string(corner[q]) + "角没有找到定位标记";
            return std::nullopt;
        }
        markerTurns.insert(bestTurn);
        centres.emplace_back(static_cast<float>((at.x + 0.5) * shrink - 0.5),
                             static_cast<float>((at.y + 0.5) * shrink - 0.5));
    }
    if (turns.size() == 4 && markerTurns.size() == 1)
        markerTurn = *markerTurns.begin();
    return Ordered(centres);
}

std::optional<std::vector<cv::Point2f>> PaperCorners(const cv::Mat& grey, const TemplateStep& step,
                                                     std::string& problem) {
    const double shrink = std::max(1.0, grey.cols / kSearchWidth);
    cv::Mat small;
    cv::resize(grey, small,
               cv::Size(std::max(1, static_cast<int>(grey.cols / shrink)),
                        std::max(1, static_cast<int>(grey.rows / shrink))),
               0, 0, cv::INTER_AREA);
    cv::Mat paper;
    cv::threshold(small, paper, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::morphologyEx(
        paper, paper, cv::MORPH_CLOSE,
        cv::getStructuringElement(cv::MORPH_RECT, cv::Size(step.morphWidth, step.morphHeight)));
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(paper, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const auto largest =
        std::max_element(contours.begin(), contours.end(), [](const auto& a, const auto& b) {
            return cv::contourArea(a) < cv::contourArea(b);
        });
    if (largest == contours.end() ||
        cv::contourArea(*largest) < 0.2 * static_cast<double>(small.total())) {
        problem = "没有找到纸张的边";
        return std::nullopt;
    }
    std::vector<cv::Point> polygon;
    cv::approxPolyDP(*largest, polygon, 0.02 * cv::arcLength(*largest, true), true);
    std::vector<cv::Point2f> points;
    if (polygon.size() == 4) {
        for (const cv::Point& p : polygon)
            points.emplace_back(p);
    } else {
        cv::Point2f box[4];
        cv::minAreaRect(*largest).points(box);
        points.assign(box, box + 4);
    }
    for (cv::Point2f& p : points)
        p = cv::Point2f(static_cast<float>((p.x + 0.5) * shrink - 0.5),
                        static_cast<float>((p.y + 0.5) * shrink - 0.5));
    return Ordered(points);
}

// The page's corners in the picture when it was turned `turn` degrees
// clockwise: the page's top-left lies where the picture's corner a quarter
// further round is, for each quarter turned.
std::vector<cv::Point2f> TurnedCorners(const std::vector<cv::Point2f>& picture, int turn) {
    std::vector<cv::Point2f> page(4);
    for (std::size_t i = 0; i < 4; ++i)
        page[i] = picture[(i + static_cast<std::size_t>(turn / 90)) % 4];
    return page;
}

// How well the template's printed bubble outlines fit the page cut out
// through `corners`: the correlation of the page's ink with the outlines
// drawn where the template has them, both blurred a little against a small
// misplacement.
double BubbleFit(const cv::Mat& grey, const std::vector<cv::Point2f>& corners,
                 const BubbleTemplate& t) {
    const double scale = kFitSide / std::max(t.width, t.height);
    const cv::Size size(std::max(8, static_cast<int>(std::lround(t.width * scale))),
                        std::max(8, static_cast<int>(std::lround(t.height * scale))));
    const std::vector<cv::Point2f> pageCorners{
        {0, 0},
        {static_cast<float>(size.width), 0},
        {static_cast<float>(size.width), static_cast<float>(size.height)},
        {0, static_cast<float>(size.height)}};
    cv::Mat page;
    cv::warpPerspective(grey, page, cv::getPerspectiveTransform(corners, pageCorners), size,
                        cv::INTER_AREA, cv::BORDER_REPLICATE);
    cv::Mat ink;
    page.convertTo(ink, CV_32F, -1, 255);
    cv::Mat drawn(size, CV_32F, cv::Scalar(0));
    double smallest = std::max(t.width, t.height);
    for (const TemplateField& f : t.fields)
        for (const TemplateBubble& b : f.bubbles) {
            smallest = std::min({smallest, b.w, b.h});
            cv::ellipse(
                drawn, cv::Point2d((b.x + b.w / 2) * scale, (b.y + b.h / 2) * scale),
                cv::Size2d(b.w * scale * 0.45, b.h * scale * 0.45), 0, 0, 360, cv::Scalar(255),
                std::max(1, static_cast<int>(std::lround(smallest * scale * 0.1))), cv::LINE_AA);
        }
    const double sigma = std::max(0.8, smallest * scale * 0.15);
    cv::GaussianBlur(ink, ink, cv::Size(), sigma);
    cv::GaussianBlur(drawn, drawn, cv::Size(), sigma);
    cv::Mat fit;
    cv::matchTemplate(ink, drawn, fit, cv::TM_CCOEFF_NORMED);
    const float value = fit.at<float>(0, 0);
    return std::isfinite(value) ? value : 0.0;
}

// The way up of the page whose corners are `corners` (top-left, top-right,
// bottom-right, bottom-left in the picture): the turn whose cut-out page the
// template's bubbles fit clearly best. With `markerTurn` known (a marker
// image unlike itself turned), only that turn is tried. Nothing when no turn
// fits, or two fit about as well (`problem` says so).
std::optional<TemplatePlacement> WayUp(const cv::Mat& grey, const std::vector<cv::Point2f>& corners,
                                       const BubbleTemplate& t, int markerTurn,
                                       std::string& problem) {
    std::vector<std::pair<double, int>> fits;
    for (int turn = 0; turn < 360; turn += 90)
        if (markerTurn < 0 || markerTurn == turn)
            fits.emplace_back(BubbleFit(grey, TurnedCorners(corners, turn), t), turn);
    std::sort(fits.begin(), fits.end(), std::greater<>());
    if (fits.front().first < kLeastFit) {
        problem = "模板的气泡与纸上印的对不上";
        return std::nullopt;
    }
    if (fits.size() > 1 && fits.front().first < kClearlyBetter * std::max(fits[1].first, 0.0)) {
        problem = "看不出纸张的方向（转 " + std::to_string(fits.front().second) + " 度和 " +
                  std::to_string(fits[1].second) + " 度一样像）";
        return std::nullopt;
    }
    return TemplatePlacement{TurnedCorners(corners, fits.front().second), fits.front().second};
}

// The template's filters, in order, on the cut-out page.
void Filter(cv::Mat& page, const BubbleTemplate& t) {
    for (const TemplateStep& s : t.steps) {
        switch (s.kind) {
        case TemplateStep::Kind::GaussianBlur:
            cv::GaussianBlur(page, page, cv::Size(s.kernelWidth, s.kernelHeight), s.sigmaX);
            break;
        case TemplateStep::Kind::MedianBlur:
            cv::medianBlur(page, page, s.kernelWidth);
            break;
        case TemplateStep::Kind::Levels: {
            cv::Mat table(1, 256, CV_8U);
            for (int g = 0; g < 256; ++g) {
                const double v = std::clamp((g / 255.0 - s.low) / (s.high - s.low), 0.0, 1.0);
                table.at<uchar>(g) = cv::saturate_cast<uchar>(std::pow(v, 1 / s.gamma) * 255);
            }
            cv::LUT(page, table, page);
            break;
        }
        case TemplateStep::Kind::CropPage:
        case TemplateStep::Kind::CropOnMarkers:
            break;
        }
    }
}

double MeanInside(const cv::Mat& page, const Area& a) {
    const double insetW = a.w * kBubbleInset, insetH = a.h * kBubbleInset;
    const cv::Rect r(static_cast<int>(std::lround(a.left() + insetW)),
                     static_cast<int>(std::lround(a.top() + insetH)),
                     std::max(1, static_cast<int>(std::lround(a.w - 2 * insetW))),
                     std::max(1, static_cast<int>(std::lround(a.h - 2 * insetH))));
    const cv::Rect inside = r & cv::Rect(0, 0, page.cols, page.rows);
    if (inside.area() == 0)
        return 255;
    return cv::mean(page(inside))[0];
}

ItemReading Item(const std::string& label, int question, const std::vector<TemplateBubble>& b) {
    ItemReading item{label, question, {}, {}, {}};
    for (const TemplateBubble& bubble : b)
        item.bubbles.push_back({bubble.value, 0, false});
    return item;
}

} // namespace

std::optional<TemplatePlacement> PlaceTemplatePage(const cv::Mat& grey, const BubbleTemplate& t,
                                                   std::string& problem) {
    std::optional<std::vector<cv::Point2f>> corners;
    int markerTurn = -1;
    for (const TemplateStep& s : t.steps) {
        if (s.kind == TemplateStep::Kind::CropOnMarkers) {
            corners = MarkerCorners(grey, t, s, markerTurn, problem);
            break;
        }
        if (s.kind == TemplateStep::Kind::CropPage) {
            corners = PaperCorners(grey, s, problem);
            break;
        }
    }
    if (!corners && problem.empty()) {
        const auto w = static_cast<float>(grey.cols - 1), h = static_cast<float>(grey.rows - 1);
        corners = std::vector<cv::Point2f>{{0, 0}, {w, 0}, {w, h}, {0, h}};
    }
    if (!corners)
        return std::nullopt;
    return WayUp(grey, *corners, t, markerTurn, problem);
}

PageReading ReadTemplatePage(const cv::Mat& grey, const PageSource& source, const Layout& layout) {
    PageReading reading;
    reading.source = source;
    reading.fromTemplate = true;
    if (grey.empty() || grey.type() != CV_8UC1)
        return Failed(reading, Failure::Unreadable, "不是 8 位灰度图片");
    const BubbleTemplate& t = *layout.bubbleTemplate;
    try {
        if (InkShare(grey) < kEmptyPageInk) {
            reading.status = PageStatus::Blank;
            return reading;
        }
        std::string problem;
        const auto placement = PlaceTemplatePage(grey, t, problem);
        if (!placement)
            return Failed(reading, Failure::NotLocated, problem);
        reading.turn = placement->turn;
        if (t.width * t.height > kLargestPage)
            return Failed(reading, Failure::Unreadable, "模板页面太大");
        const cv::Size size(static_cast<int>(std::ceil(t.width)),
                            static_cast<int>(std::ceil(t.height)));
        const std::vector<cv::Point2f> pageCorners{
            {0, 0},
            {static_cast<float>(t.width), 0},
            {static_cast<float>(t.width), static_cast<float>(t.height)},
            {0, static_cast<float>(t.height)}};
        cv::Mat page;
        cv::warpPerspective(grey, page,
                            cv::getPerspectiveTransform(placement->corners, pageCorners), size,
                            cv::INTER_AREA, cv::BORDER_REPLICATE);
        Filter(page, t);
        reading.layoutId = layout.id;
        reading.layoutRevision = layout.revision;
        reading.layoutPage = 1;
        reading.marksFound = 4;

        // The items as the layout orders them; the fields the layout left out
        // are read for the CSV.
        const Page& layoutPage = layout.pages.front();
        std::set<std::string> placed;
        std::vector<const TemplateField*> digitFields, questionFields, otherFields;
        for (const auto& [name, labels] : t.customLabels)
            if (name == t.idLabel)
                for (const std::string& l : labels)
                    digitFields.push_back(t.field(l));
        for (const TemplateField* f : digitFields)
            placed.insert(f->label);
        for (const TemplateField& f : t.fields) {
            if (placed.count(f.label))
                continue;
            (f.bubbles.size() <= static_cast<std::size_t>(kMaxOptions) ? questionFields
                                                                       : otherFields)
                .push_back(&f);
        }
        for (const TemplateField* f : digitFields)
            reading.digits.push_back(Item(f->label, 0, f->bubbles));
        for (std::size_t i = 0; i < questionFields.size(); ++i)
            reading.questions.push_back(Item(questionFields[i]->label,
                                             layoutPage.questions[i].number,
                                             questionFields[i]->bubbles));
        for (const TemplateField* f : otherFields)
            reading.fieldsOnly.push_back(Item(f->label, f->integer ? 0 : -1, f->bubbles));

        // Every bubble's grey; the page's range from its lightest bubble to
        // its darkest, the threshold in the widest gap between them.
        std::vector<double> greys;
        const auto measure = [&](std::vector<ItemReading>& items,
                                 const std::vector<const TemplateField*>& fields) {
            for (std::size_t i = 0; i < items.size(); ++i)
                for (std::size_t b = 0; b < items[i].bubbles.size(); ++b) {
                    const TemplateBubble& tb = fields[i]->bubbles[b];
                    const double g =
                        MeanInside(page, Area{tb.x + tb.w / 2, tb.y + tb.h / 2, tb.w, tb.h});
                    items[i].bubbles[b].darkness = g; // made a darkness below
                    greys.push_back(g);
                }
        };
        measure(reading.digits, digitFields);
        measure(reading.questions, questionFields);
        measure(reading.fieldsOnly, otherFields);
        if (greys.empty())
            return Failed(reading, Failure::NotLocated, "模板没有气泡");
        std::vector<double> sorted = greys;
        std::sort(sorted.begin(), sorted.end());
        const double darkest = sorted.front(), lightest = sorted.back();
        const double range = lightest - darkest;
        double gap = 0, cut = 0;
        for (std::size_t i = 1; i < sorted.size(); ++i)
            if (sorted[i] - sorted[i - 1] > gap) {
                gap = sorted[i] - sorted[i - 1];
                cut = (sorted[i] + sorted[i - 1]) / 2;
            }
        const bool twoGroups = gap >= kLeastGap && gap >= kLeastGapShare * range;
        reading.paper = lightest;
        reading.black = darkest;
        const double scale = twoGroups ? range : std::max(lightest, 1.0);
        for (auto* items : {&reading.digits, &reading.questions, &reading.fieldsOnly})
            for (ItemReading& item : *items)
                for (BubbleReading& b : item.bubbles)
                    b.darkness = std::clamp((lightest - b.darkness) / scale, 0.0, 1.0);
        reading.threshold = twoGroups ? (lightest - cut) / range : 1.0;
        // No clear marks and no clear paper: nothing is guessed.
        reading.noClearGroups = !twoGroups;
        reading.status = PageStatus::Ok;
        Decide(reading);
        return reading;
    } catch (const cv::Exception& e) {
        return Failed(reading, Failure::Unreadable, std::string("图片无法处理: ") + e.what());
    }
}

} // namespace scan
