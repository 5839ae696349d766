#include "scan/TemplateReading.h"

#include "scan/Reader.h"
#include "scan/Template.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
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

std::optional<std::vector<cv::Point2f>> MarkerCorners(const cv::Mat& grey, const TemplateStep& step,
                                                      std::string& problem) {
    PageData markerData;
    markerData.encoded.assign(step.marker.begin(), step.marker.end());
    std::string undecoded;
    cv::Mat marker = DecodePage(markerData, undecoded, DecodeSize::Full);
    if (marker.empty()) {
        problem = "定位标记图片无法读取: " +
                  std::string(reinterpret_cast<const char*>(step.markerFile.u8string().c_str()));
        return std::nullopt;
    }
    const double shrink = grey.cols / kSearchWidth;
    cv::Mat search;
    cv::resize(grey, search,
               cv::Size(static_cast<int>(kSearchWidth),
                        std::max(1, static_cast<int>(std::lround(grey.rows / shrink)))),
               0, 0, cv::INTER_AREA);
    cv::GaussianBlur(search, search, cv::Size(3, 3), 0);
    const double markerWidth = kSearchWidth / step.sheetToMarkerWidthRatio;
    const double markerHeight = markerWidth * marker.rows / std::max(1, marker.cols);
    std::vector<cv::Mat> sizes;
    for (double scale = 0.85; scale < 1.2; scale += 0.05) {
        const cv::Size size(std::max(4, static_cast<int>(std::lround(markerWidth * scale))),
                            std::max(4, static_cast<int>(std::lround(markerHeight * scale))));
        cv::Mat m;
        cv::resize(marker, m, size, 0, 0, cv::INTER_AREA);
        cv::GaussianBlur(m, m, cv::Size(3, 3), 0);
        sizes.push_back(m);
    }
    const int halfW = search.cols / 2, halfH = search.rows / 2;
    std::vector<cv::Point2f> centres;
    const char* corner[] = {"左上", "右上", "左下", "右下"};
    for (int q = 0; q < 4; ++q) {
        const cv::Rect quarter((q % 2) * halfW, (q / 2) * halfH,
                               q % 2 ? search.cols - halfW : halfW,
                               q / 2 ? search.rows - halfH : halfH);
        double best = -1;
        cv::Point2f at;
        for (const cv::Mat& m : sizes) {
            if (m.cols >= quarter.width || m.rows >= quarter.height)
                continue;
            cv::Mat score;
            cv::matchTemplate(search(quarter), m, score, cv::TM_CCOEFF_NORMED);
            double most = 0;
            cv::Point where;
            cv::minMaxLoc(score, nullptr, &most, nullptr, &where);
            if (most > best) {
                best = most;
                at = cv::Point2f(static_cast<float>(quarter.x + where.x + (m.cols - 1) / 2.0),
                                 static_cast<float>(quarter.y + where.y + (m.rows - 1) / 2.0));
            }
        }
        if (best < kLeastMatch) {
            problem = std::string(corner[q]) + "角没有找到定位标记";
            return std::nullopt;
        }
        centres.emplace_back(static_cast<float>((at.x + 0.5) * shrink - 0.5),
                             static_cast<float>((at.y + 0.5) * shrink - 0.5));
    }
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

std::optional<std::vector<cv::Point2f>>
TemplateCorners(const cv::Mat& grey, const BubbleTemplate& t, std::string& problem) {
    for (const TemplateStep& s : t.steps) {
        if (s.kind == TemplateStep::Kind::CropOnMarkers)
            return MarkerCorners(grey, s, problem);
        if (s.kind == TemplateStep::Kind::CropPage)
            return PaperCorners(grey, s, problem);
    }
    const auto w = static_cast<float>(grey.cols - 1), h = static_cast<float>(grey.rows - 1);
    return std::vector<cv::Point2f>{{0, 0}, {w, 0}, {w, h}, {0, h}};
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
        const auto corners = TemplateCorners(grey, t, problem);
        if (!corners)
            return Failed(reading, Failure::NotLocated, problem);
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
        cv::warpPerspective(grey, page, cv::getPerspectiveTransform(*corners, pageCorners), size,
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
        reading.status = PageStatus::Ok;
        Decide(reading);
        if (!twoGroups) {
            // No clear marks and no clear paper: nothing is guessed.
            for (auto* items : {&reading.digits, &reading.questions, &reading.fieldsOnly})
                for (ItemReading& item : *items)
                    if (std::find(item.doubts.begin(), item.doubts.end(), Doubt::NearThreshold) ==
                        item.doubts.end())
                        item.doubts.push_back(Doubt::NearThreshold);
            reading.status = PageStatus::Review;
        }
        return reading;
    } catch (const cv::Exception& e) {
        return Failed(reading, Failure::Unreadable, std::string("图片无法处理: ") + e.what());
    }
}

} // namespace scan
