// Measuring a located page: the paper's light across the picture, the
// printed black, and the ink inside every bubble.
#include "scan/ReadingSteps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scan::steps {
namespace {

// A bubble's inside is its outline shrunk by this much (mm): clear of the
// printed line, of blur and of a small error of the fit.
constexpr double kInsideMargin = 0.45;
// A reference patch is measured this far (mm) inside its edges.
constexpr double kPatchMargin = 1.0;

// The share of a bubble's inside whose darkness makes the bubble's.
constexpr double kDarkestShare = 0.5;
// A speck of dust or toner: a dark blob no wider or taller than this (mm)
// in a bubble otherwise clear of ink is not a mark. A tick or a cross runs
// across the bubble, a fill covers it.
constexpr double kSpeckSize = 1.2;
// Pixels this dark (as a share of black) count as ink when looking for
// specks, and specks are looked for only while no more than this share of
// the inside is ink.
constexpr double kSpeckInk = 0.35, kSpeckShare = 0.2;

cv::Point2d Apply(const cv::Matx33d& h, cv::Point2d p) {
    const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1);
    return {v[0] / v[2], v[1] / v[2]};
}

// Calls `visit(x, y, grey)` for each picture pixel inside `area` (mm) shrunk by
// `margin`, as a rectangle or as a bubble's shape (a rectangle with round
// ends); the paper's mapping is taken as straight over so small an area.
template <class Visit>
void ForEachPixel(const cv::Mat& grey, const Placement& placement, const Area& area, double margin,
                  bool rounded, Visit&& visit) {
    const cv::Point2d c = Apply(placement.toPicture, {area.x, area.y});
    const cv::Point2d ju = Apply(placement.toPicture, {area.x + 1, area.y}) - c,
                      jv = Apply(placement.toPicture, {area.x, area.y + 1}) - c;
    const double det = ju.x * jv.y - ju.y * jv.x;
    if (!(std::fabs(det) > 1e-9))
        return;
    // Picture offset -> millimetres: the inverse of [ju jv].
    const double a = jv.y / det, b = -jv.x / det, cc = -ju.y / det, d = ju.x / det;
    const double hw = area.w / 2 - margin, hh = area.h / 2 - margin;
    if (hw <= 0 || hh <= 0)
        return;
    const double reachX = std::fabs(ju.x) * hw + std::fabs(jv.x) * hh,
                 reachY = std::fabs(ju.y) * hw + std::fabs(jv.y) * hh;
    const int x0 = std::max(0, static_cast<int>(std::floor(c.x - reachX))),
              x1 = std::min(grey.cols - 1, static_cast<int>(std::ceil(c.x + reachX))),
              y0 = std::max(0, static_cast<int>(std::floor(c.y - reachY))),
              y1 = std::min(grey.rows - 1, static_cast<int>(std::ceil(c.y + reachY)));
    const double radius = std::min(hw, hh), straightU = hw - radius, straightV = hh - radius;
    for (int y = y0; y <= y1; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        const double dy = y - c.y;
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - c.x;
            const double u = std::fabs(a * dx + b * dy), v = std::fabs(cc * dx + d * dy);
            if (u > hw || v > hh)
                continue;
            if (rounded) {
                const double ou = std::max(0.0, u - straightU), ov = std::max(0.0, v - straightV);
                if (ou * ou + ov * ov > radius * radius)
                    continue;
            }
            visit(x, y, row[x]);
        }
    }
}

double MeanGrey(const cv::Mat& grey, const Placement& placement, const Area& area, double margin) {
    double sum = 0;
    long count = 0;
    ForEachPixel(grey, placement, area, margin, false, [&](int, int, uchar g) {
        sum += g;
        ++count;
    });
    return count ? sum / count : -1;
}

const NamedArea* Patch(const Page& page, const char* name) {
    for (const NamedArea& p : page.patches)
        if (p.name == name)
            return &p;
    return nullptr;
}

} // namespace

PaperLight::PaperLight(const cv::Mat& grey, const SeenMarks& seen, const Placement& placement,
                       const Page& page) {
    // The paper's grey at about a millimetre a pixel: the lightest nearby
    // pixel over some 9 mm, which is paper between the printed things, then
    // smoothed.
    const cv::Mat& from = seen.reduced.empty() ? grey : seen.reduced;
    const double fromPerMm = placement.pixelsPerMm / (seen.reduced.empty() ? 1 : seen.reduce);
    const double shrink = std::max(1.0, fromPerMm);
    cv::Mat small;
    cv::resize(from, small,
               cv::Size(std::max(1, static_cast<int>(std::lround(from.cols / shrink))),
                        std::max(1, static_cast<int>(std::lround(from.rows / shrink)))),
               0, 0, cv::INTER_AREA);
    const int reach = std::max(3, static_cast<int>(std::lround(9 * fromPerMm / shrink)));
    cv::dilate(small, background_,
               cv::getStructuringElement(cv::MORPH_RECT, cv::Size(reach, reach)));
    cv::blur(background_, background_, cv::Size(reach, reach));
    reduce_ = grey.cols / static_cast<double>(small.cols);

    // The white patch sets the level of paper, the black one that of black.
    if (const NamedArea* white = Patch(page, "white")) {
        const double measured = MeanGrey(grey, placement, white->area, kPatchMargin);
        const double around = paperAt(Apply(placement.toPicture, {white->area.x, white->area.y}));
        if (measured > 0 && around > 0)
            correction_ = std::clamp(measured / around, 0.8, 1.2);
    }
    if (const NamedArea* black = Patch(page, "black")) {
        const cv::Point2d at = Apply(placement.toPicture, {black->area.x, black->area.y});
        const double measured = MeanGrey(grey, placement, black->area, kPatchMargin);
        if (measured >= 0) {
            black_ = measured;
            blackReflectance_ = std::clamp(measured / std::max(1.0, paperAt(at)), 0.0, 1.0);
        }
    }
    if (const NamedArea* white = Patch(page, "white"))
        paper_ = paperAt(Apply(placement.toPicture, {white->area.x, white->area.y}));
    else
        paper_ = paperAt(Apply(placement.toPicture, {105, 148}));
    if (!Patch(page, "black"))
        black_ = paper_ * blackReflectance_;
}

double PaperLight::paperAt(cv::Point2d p) const {
    const double x = std::clamp(p.x / reduce_, 0.0, background_.cols - 1.0),
                 y = std::clamp(p.y / reduce_, 0.0, background_.rows - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, background_.cols - 1),
              y1 = std::min(y0 + 1, background_.rows - 1);
    const double fx = x - x0, fy = y - y0;
    const auto at = [&](int xx, int yy) { return background_.at<uchar>(yy, xx); };
    const double v = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
                     (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
    return std::max(1.0, v * correction_);
}

namespace {

// Sets to paper every speck in `inside`'s pixels: small dark blobs in a
// bubble that is otherwise clear.
void ClearSpecks(std::vector<cv::Point3i>& inside, double paper, double blackReflectance,
                 double pixelsPerMm) {
    if (inside.empty())
        return;
    const int darkBelow = static_cast<int>(paper * (1 - kSpeckInk * (1 - blackReflectance)));
    int x0 = inside[0].x, x1 = x0, y0 = inside[0].y, y1 = y0;
    long dark = 0;
    for (const cv::Point3i& p : inside) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
        dark += p.z < darkBelow;
    }
    if (dark == 0 || dark > kSpeckShare * static_cast<double>(inside.size()))
        return;
    cv::Mat ink = cv::Mat::zeros(y1 - y0 + 1, x1 - x0 + 1, CV_8UC1);
    for (const cv::Point3i& p : inside)
        if (p.z < darkBelow)
            ink.at<uchar>(p.y - y0, p.x - x0) = 1;
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    const double most = kSpeckSize * pixelsPerMm;
    std::vector<bool> speck(static_cast<std::size_t>(count), false);
    for (int c = 1; c < count; ++c)
        speck[static_cast<std::size_t>(c)] = stats.at<int>(c, cv::CC_STAT_WIDTH) <= most &&
                                             stats.at<int>(c, cv::CC_STAT_HEIGHT) <= most;
    const int paperGrey = static_cast<int>(std::lround(std::min(255.0, paper)));
    for (cv::Point3i& p : inside)
        if (p.z < darkBelow && speck[static_cast<std::size_t>(labels.at<int>(p.y - y0, p.x - x0))])
            p.z = paperGrey;
}

} // namespace

double BubbleInk(const cv::Mat& grey, const Placement& placement, const PaperLight& light,
                 const Area& area) {
    const double paper = light.paperAt(Apply(placement.toPicture, {area.x, area.y}));
    std::vector<cv::Point3i> inside;
    ForEachPixel(grey, placement, area, kInsideMargin, true,
                 [&](int x, int y, uchar g) { inside.emplace_back(x, y, g); });
    if (inside.empty())
        return 0;
    ClearSpecks(inside, paper, light.blackReflectance(), placement.pixelsPerMm);
    // Per pixel: darkness = (1 - g / paper) / (1 - black reflectance).
    // The bubble's darkness is that of its darkest half: a tick or a cross
    // through it counts, a mark rubbed out to an even light grey does not
    // grow darker than it is.
    int histogram[256] = {};
    for (const cv::Point3i& p : inside)
        ++histogram[p.z];
    const auto count = static_cast<long>(inside.size());
    const long wanted = std::max(1L, std::lround(count * kDarkestShare));
    long taken = 0;
    double sum = 0;
    for (int g = 0; g < 256 && taken < wanted; ++g) {
        const long n = std::min<long>(histogram[g], wanted - taken);
        taken += n;
        sum += static_cast<double>(n) * g;
    }
    const double mean = sum / static_cast<double>(taken);
    return std::clamp((1 - mean / paper) / (1 - light.blackReflectance()), 0.0, 1.0);
}

} // namespace scan::steps
