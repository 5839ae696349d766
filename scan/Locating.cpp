// Finding the sheet in a picture: its registration marks, the fit of the
// layout page to them, and the QR code that names the layout.
#include "scan/ReadingSteps.h"

#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace scan::steps {
namespace {

// The reduced copy the marks are looked for in: a whole fraction of the
// picture of about this many pixels on its longer side (some 100 dpi for an
// A4 page filling the picture), made by averaging whole blocks, which is
// fast.
constexpr double kReducedSide = 1150;

constexpr const char* kArucoPrefix = "aruco:DICT_4X4_50:";
// The marks a page of ours has; with fewer found on the reduced copy, the
// picture itself is searched too.
constexpr std::size_t kMarksOfAPage = 6;

// The marker number of a mark kind of ours, or -1.
int MarkerNumber(const std::string& kind) {
    const std::string prefix = kArucoPrefix;
    if (kind.rfind(prefix, 0) != 0)
        return -1;
    try {
        return std::stoi(kind.substr(prefix.size()));
    } catch (const std::exception&) {
        return -1;
    }
}

const cv::Ptr<cv::aruco::Dictionary>& Markers() {
    static const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    return dictionary;
}

cv::Ptr<cv::aruco::DetectorParameters> MarkerSearch() {
    auto p = cv::aruco::DetectorParameters::create();
    // A mark is some 1/40 of the paper's longer side; the paper fills most
    // of a scan and at least half of a photo.
    p->minMarkerPerimeterRate = 0.03;
    p->maxMarkerPerimeterRate = 0.4;
    p->adaptiveThreshWinSizeMin = 7;
    p->adaptiveThreshWinSizeMax = 17;
    p->adaptiveThreshWinSizeStep = 10;
    p->cornerRefinementMethod = cv::aruco::CORNER_REFINE_NONE;
    return p;
}

cv::Point2d Apply(const cv::Matx33d& h, cv::Point2d p) {
    const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1);
    return {v[0] / v[2], v[1] / v[2]};
}

double Median(const cv::Mat& grey) {
    int histogram[256] = {};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[row[x]];
    }
    const long half = static_cast<long>(grey.total()) / 2;
    long seen = 0;
    for (int g = 0; g < 256; ++g)
        if ((seen += histogram[g]) > half)
            return g;
    return 255;
}

} // namespace

SeenMarks FindMarks(const cv::Mat& grey) {
    SeenMarks seen;
    const int reduce =
        std::max(1, static_cast<int>(std::lround(std::max(grey.cols, grey.rows) / kReducedSide)));
    cv::Mat reduced;
    if (reduce > 1)
        cv::resize(grey(cv::Rect(0, 0, grey.cols / reduce * reduce, grey.rows / reduce * reduce)),
                   reduced, cv::Size(grey.cols / reduce, grey.rows / reduce), 0, 0, cv::INTER_AREA);
    else
        reduced = grey;
    // A dark picture is no empty page, whatever its ink.
    const double paper = Median(reduced);
    seen.inkShare = paper < 96 ? 1
                               : static_cast<double>(cv::countNonZero(reduced < paper / 2)) /
                                     std::max<double>(1, reduced.total());

    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    cv::aruco::detectMarkers(reduced, Markers(), corners, ids, MarkerSearch());
    double scale = reduce;
    if (ids.size() < kMarksOfAPage && scale > 1.05) {
        // Blur or a slant can hide a mark on the reduced copy: once more on
        // the picture itself.
        std::vector<std::vector<cv::Point2f>> more;
        std::vector<int> moreIds;
        cv::aruco::detectMarkers(grey, Markers(), more, moreIds, MarkerSearch());
        if (moreIds.size() > ids.size()) {
            corners = std::move(more);
            ids = std::move(moreIds);
            scale = 1;
        }
    }
    std::map<int, int> count;
    for (int id : ids)
        ++count[id];
    const int window = std::max(2, static_cast<int>(std::lround(scale * 1.5)));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (count[ids[i]] != 1) // the same pattern twice: neither can be trusted
            continue;
        SeenMark mark{ids[i], {}};
        for (const cv::Point2f& c : corners[i])
            mark.corners.emplace_back(static_cast<float>((c.x + 0.5) * scale - 0.5),
                                      static_cast<float>((c.y + 0.5) * scale - 0.5));
        if (scale > 1.05)
            cv::cornerSubPix(
                grey, mark.corners, cv::Size(window, window), cv::Size(-1, -1),
                cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 20, 0.05));
        seen.marks.push_back(std::move(mark));
    }
    seen.reduced = reduced;
    seen.reduce = reduce;
    return seen;
}

std::optional<Placement> Place(const Page& page, const SeenMarks& seen,
                               const std::vector<Match>& more) {
    std::vector<cv::Point2d> paper, picture;
    int used = 0;
    for (const Mark& mark : page.marks) {
        const int number = MarkerNumber(mark.kind);
        const auto it = std::find_if(seen.marks.begin(), seen.marks.end(),
                                     [&](const SeenMark& s) { return s.number == number; });
        if (number < 0 || it == seen.marks.end())
            continue;
        ++used;
        const double h = mark.size / 2;
        const cv::Point2d corners[4] = {{mark.x - h, mark.y - h},
                                        {mark.x + h, mark.y - h},
                                        {mark.x + h, mark.y + h},
                                        {mark.x - h, mark.y + h}};
        for (int c = 0; c < 4; ++c) {
            paper.push_back(corners[c]);
            picture.emplace_back(it->corners[static_cast<std::size_t>(c)]);
        }
    }
    if (used < 2)
        return std::nullopt;
    for (const Match& m : more) {
        paper.push_back(m.paper);
        picture.push_back(m.picture);
    }
    Placement placement;
    if (used == 2 && more.empty()) {
        // Two marks tell too little of a slant: turned, moved and scaled
        // only, enough to find the QR code by.
        const cv::Mat a = cv::estimateAffinePartial2D(paper, picture);
        if (a.empty())
            return std::nullopt;
        placement.toPicture =
            cv::Matx33d(a.at<double>(0, 0), a.at<double>(0, 1), a.at<double>(0, 2),
                        a.at<double>(1, 0), a.at<double>(1, 1), a.at<double>(1, 2), 0, 0, 1);
    } else {
        const cv::Mat h = cv::findHomography(paper, picture, 0);
        if (h.empty())
            return std::nullopt;
        placement.toPicture = cv::Matx33d(h);
    }
    placement.marksUsed = used;
    // How much of the area the page's marks enclose the points fitted
    // enclose: away from them, a slanted picture's fit may be far out.
    std::vector<cv::Point2f> all, fitted;
    for (const Mark& mark : page.marks)
        all.emplace_back(static_cast<float>(mark.x), static_cast<float>(mark.y));
    for (const cv::Point2d& p : paper)
        fitted.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
    std::vector<cv::Point2f> allHull, fittedHull;
    cv::convexHull(all, allHull);
    cv::convexHull(fitted, fittedHull);
    placement.spread = cv::contourArea(fittedHull) / std::max(1.0, cv::contourArea(allHull));
    cv::Point2d centre;
    for (const cv::Point2d& p : paper)
        centre += p / static_cast<double>(paper.size());
    const cv::Point2d o = Apply(placement.toPicture, centre),
                      dx = Apply(placement.toPicture, centre + cv::Point2d(1, 0)) - o,
                      dy = Apply(placement.toPicture, centre + cv::Point2d(0, 1)) - o;
    const double area = dx.x * dy.y - dx.y * dy.x;
    if (!(area > 0)) // seen from behind: a mirrored picture is no sheet of ours
        return std::nullopt;
    placement.pixelsPerMm = std::sqrt(area);
    double squares = 0;
    for (std::size_t i = 0; i < paper.size(); ++i) {
        const cv::Point2d d = Apply(placement.toPicture, paper[i]) - picture[i];
        squares += d.dot(d);
    }
    placement.residual = std::sqrt(squares / paper.size()) / placement.pixelsPerMm;
    const double angle = std::atan2(dx.y, dx.x) * 180 / CV_PI;
    placement.turn = (static_cast<int>(std::lround(angle / 90)) * 90 + 360) % 360;
    return placement;
}

SeenQr ReadQr(const cv::Mat& grey, const Placement& placement, double x, double y, double size) {
    // The code drawn straight from the picture at a few pixels a module,
    // with its quiet zone, whatever the page's turn and slant.
    // Last, a wider piece, for a fit that is out up there.
    struct Try {
        double perMm, margin;
    };
    for (const Try t : {Try{8, 3}, Try{5, 3}, Try{5, 15}}) {
        const double perMm = t.perMm;
        const double side = size + 2 * t.margin, left = x - side / 2, top = y - side / 2;
        const cv::Matx33d fromCrop(1 / perMm, 0, left, 0, 1 / perMm, top, 0, 0, 1);
        const int pixels = static_cast<int>(std::lround(side * perMm));
        cv::Mat crop;
        cv::warpPerspective(grey, crop, cv::Mat(placement.toPicture * fromCrop),
                            cv::Size(pixels, pixels), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                            cv::BORDER_REPLICATE);
        ZXing::DecodeHints hints;
        hints.setFormats(ZXing::BarcodeFormat::QRCode);
        hints.setTryHarder(perMm < 8);
        const auto result = ZXing::ReadBarcode(ZXing::ImageView(crop.data, crop.cols, crop.rows,
                                                                ZXing::ImageFormat::Lum,
                                                                static_cast<int>(crop.step[0])),
                                               hints);
        if (!result.isValid())
            continue;
        SeenQr qr{result.text(), {}};
        const double h = size / 2;
        const cv::Point2d paper[4] = {
            {x - h, y - h}, {x + h, y - h}, {x + h, y + h}, {x - h, y + h}};
        for (int c = 0; c < 4; ++c) {
            const auto& p = result.position()[static_cast<std::size_t>(c)];
            const cv::Point2d inCrop = Apply(fromCrop, cv::Point2d(p.x, p.y));
            qr.corners.push_back({paper[c], Apply(placement.toPicture, inCrop)});
        }
        return qr;
    }
    return {};
}

} // namespace scan::steps
