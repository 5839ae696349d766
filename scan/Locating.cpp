// Finding the sheet in a picture: its registration marks, the fit of the
// layout page to them, and the QR code that names the layout.
#include "scan/ReadingSteps.h"

#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cmath>
#include <limits>
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

// The grey level that more than `share` of the picture is at or below.
int Level(const cv::Mat& grey, double share) {
    int histogram[256] = {};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[row[x]];
    }
    const auto below = static_cast<long>(share * static_cast<double>(grey.total()));
    long seen = 0;
    for (int g = 0; g < 256; ++g)
        if ((seen += histogram[g]) > below)
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
    const double paper = Level(reduced, 0.5);
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

std::vector<Match> MarkCorners(const Page& page, const SeenMarks& seen) {
    std::vector<Match> matches;
    for (const Mark& mark : page.marks) {
        const int number = MarkerNumber(mark.kind);
        const auto it = std::find_if(seen.marks.begin(), seen.marks.end(),
                                     [&](const SeenMark& s) { return s.number == number; });
        if (number < 0 || it == seen.marks.end())
            continue;
        const double h = mark.size / 2;
        const cv::Point2d corners[4] = {{mark.x - h, mark.y - h},
                                        {mark.x + h, mark.y - h},
                                        {mark.x + h, mark.y + h},
                                        {mark.x - h, mark.y + h}};
        for (int c = 0; c < 4; ++c)
            matches.push_back({corners[c], it->corners[static_cast<std::size_t>(c)]});
    }
    return matches;
}

namespace {

// The placement of a fit `toPicture` of the points `paper` seen at
// `picture`: its residual, the share of the marks' area the points cover,
// its scale and turn; nothing for a mirrored fit.
std::optional<Placement> Describe(const Page& page, const cv::Matx33d& toPicture,
                                  const std::vector<cv::Point2d>& paper,
                                  const std::vector<cv::Point2d>& picture, int marksUsed) {
    Placement placement;
    placement.toPicture = toPicture;
    placement.marksUsed = marksUsed;
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

cv::Matx33d FromAffine(const cv::Mat& a) {
    return cv::Matx33d(a.at<double>(0, 0), a.at<double>(0, 1), a.at<double>(0, 2),
                       a.at<double>(1, 0), a.at<double>(1, 1), a.at<double>(1, 2), 0, 0, 1);
}

} // namespace

std::optional<Placement> Place(const Page& page, const SeenMarks& seen,
                               const std::vector<Match>& more) {
    std::vector<cv::Point2d> paper, picture;
    for (const Match& m : MarkCorners(page, seen)) {
        paper.push_back(m.paper);
        picture.push_back(m.picture);
    }
    const int used = static_cast<int>(paper.size() / 4);
    if (used < 2)
        return std::nullopt;
    for (const Match& m : more) {
        paper.push_back(m.paper);
        picture.push_back(m.picture);
    }
    cv::Matx33d toPicture;
    if (used == 2 && more.empty()) {
        // Two marks tell too little of a slant: turned, moved and scaled
        // only, enough to find the QR code by.
        const cv::Mat a = cv::estimateAffinePartial2D(paper, picture);
        if (a.empty())
            return std::nullopt;
        toPicture = FromAffine(a);
    } else {
        const cv::Mat h = cv::findHomography(paper, picture, 0);
        if (h.empty())
            return std::nullopt;
        toPicture = cv::Matx33d(h);
    }
    return Describe(page, toPicture, paper, picture, used);
}

namespace {

// The page is straightened at this many pixels a millimetre to find its
// printed bubbles on.
constexpr double kStraightPerMm = 4;
// Bubbles whose outlines come closer than this (mm) print as one block.
constexpr double kBlockNear = 3.5;
// Around a block's bubbles, the part of the page drawn with them (mm).
constexpr double kBlockMargin = 1.5;
// How far (mm) from where a fit puts it a block is looked for: around the
// rough fit to a few marks, and again around the fit to all blocks found.
constexpr double kRoughReach = 10, kFineReach = 1.5;
// A block is found where its drawn outlines are at least this like the
// picture, and clearly more than anywhere else within reach.
constexpr double kLeastLikeness = 0.3, kClearlyMore = 0.9;
// In a blurred picture a block is nearly as like the picture one row or
// one option off as where it is, and a rough fit may be off by a few
// millimetres far from the marks: there each block gives its few likest
// places, this like the best at least. The fit grown from the marks
// outward chooses among them one within this distance (mm) of where it
// expects the block: less than half a row.
constexpr int kRivals = 3;
constexpr double kRivalShare = 0.85;
constexpr double kGrowReach = 2.5;
// Around a block, the share of the picture lighter than most of its
// printed outlines; and the least ink (of 255) an outline is taken to have.
constexpr double kOutlineShare = 0.85;
constexpr int kFaintestOutline = 16;
// The blocks found again must lie within this distance (mm) of where the
// fit to them all puts them; this share of the blocks on the picture, and
// at least this many.
constexpr double kBlockOff = 0.4, kBlocksAgreeing = 0.85;
// The marks seen must lie within this distance (mm) of where the fit to the
// blocks puts them.
constexpr double kMarkOff = 1.5;
constexpr int kFewestBlocks = 4;
// How many times at most the page is fitted to the blocks found again.
constexpr int kFittings = 3;

std::vector<std::vector<Area>> Blocks(const Page& page) {
    std::vector<Area> areas;
    for (const Digit& d : page.examNumber)
        for (const Bubble& b : d.bubbles)
            areas.push_back(b.area);
    for (const Question& q : page.questions)
        for (const Bubble& b : q.bubbles)
            areas.push_back(b.area);
    std::vector<std::size_t> group(areas.size());
    for (std::size_t i = 0; i < group.size(); ++i)
        group[i] = i;
    const auto root = [&](std::size_t i) {
        while (group[i] != i)
            i = group[i] = group[group[i]];
        return i;
    };
    for (std::size_t i = 0; i < areas.size(); ++i)
        for (std::size_t j = i + 1; j < areas.size(); ++j) {
            const Area &a = areas[i], &b = areas[j];
            if (std::max(a.left(), b.left()) - std::min(a.right(), b.right()) < kBlockNear &&
                std::max(a.top(), b.top()) - std::min(a.bottom(), b.bottom()) < kBlockNear)
                group[root(i)] = root(j);
        }
    std::map<std::size_t, std::vector<Area>> blocks;
    for (std::size_t i = 0; i < areas.size(); ++i)
        blocks[root(i)].push_back(areas[i]);
    std::vector<std::vector<Area>> out;
    for (auto& [r, block] : blocks)
        out.push_back(std::move(block));
    return out;
}

cv::Rect2d Extent(const std::vector<Area>& block) {
    double l = block[0].left(), t = block[0].top(), r = block[0].right(), b = block[0].bottom();
    for (const Area& a : block) {
        l = std::min(l, a.left());
        t = std::min(t, a.top());
        r = std::max(r, a.right());
        b = std::max(b, a.bottom());
    }
    return {l - kBlockMargin, t - kBlockMargin, r - l + 2 * kBlockMargin, b - t + 2 * kBlockMargin};
}

// A block's bubble outlines drawn as printed, white on black, at
// `perMm`, its extent's top-left at (0, 0).
cv::Mat DrawnOutlines(const std::vector<Area>& block, const cv::Rect2d& extent, double perMm) {
    cv::Mat drawn(static_cast<int>(std::ceil(extent.height * perMm)),
                  static_cast<int>(std::ceil(extent.width * perMm)), CV_8UC1, cv::Scalar(0));
    constexpr int kSteps = 8; // along each round end
    for (const Area& a : block) {
        const double r = std::min(a.w, a.h) / 2;
        std::vector<cv::Point> outline;
        const auto add = [&](double x, double y) {
            outline.emplace_back(static_cast<int>(std::lround((x - extent.x) * perMm * 8)),
                                 static_cast<int>(std::lround((y - extent.y) * perMm * 8)));
        };
        for (int end = 0; end < 2; ++end) {
            const double cx = end == 0 ? a.right() - r : a.left() + r;
            for (int i = 0; i <= kSteps; ++i) {
                const double t = CV_PI * (end - 0.5 + static_cast<double>(i) / kSteps);
                add(cx + r * std::cos(t), a.y + r * std::sin(t));
            }
        }
        cv::polylines(drawn, outline, true, cv::Scalar(255),
                      std::max(1, static_cast<int>(std::lround(0.5 * perMm))), cv::LINE_AA, 3);
    }
    return drawn;
}

// The ink of a part of the straightened page with everything darker than
// most of its printed outlines taken as dark as them: a filled bubble or
// a written number then outweighs no outline, however blurred they are.
cv::Mat InkUpToOutlines(const cv::Mat& ink) {
    cv::Mat capped;
    cv::min(ink, std::max(Level(ink, kOutlineShare), kFaintestOutline), capped);
    return capped;
}

// Where each block is seen on the picture put onto the paper by
// `toPicture`: its offset (mm) on the paper from where it was printed, for
// each block found within `reach`; with `rivals`, a block may be found at
// up to that many places, and without, only where it is clearly likest.
struct FoundBlock {
    std::size_t block = 0;
    cv::Point2d offset;
};

std::vector<FoundBlock> FindBlocks(const cv::Mat& grey, const cv::Matx33d& toPicture,
                                   const std::vector<std::vector<Area>>& blocks, double reach,
                                   double perMm, std::size_t& onPicture, int rivals = 0) {
    onPicture = 0;
    cv::Rect2d all;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        all = i == 0 ? Extent(blocks[i]) : (all | Extent(blocks[i]));
    all.x -= reach;
    all.y -= reach;
    all.width += 2 * reach;
    all.height += 2 * reach;
    // The page straightened: its ink light on dark, the picture's outside dark.
    const cv::Matx33d fromStraight(1 / perMm, 0, all.x, 0, 1 / perMm, all.y, 0, 0, 1);
    cv::Mat straight;
    cv::warpPerspective(grey, straight, cv::Mat(toPicture * fromStraight),
                        cv::Size(static_cast<int>(std::ceil(all.width * perMm)),
                                 static_cast<int>(std::ceil(all.height * perMm))),
                        cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                        cv::Scalar(255));
    cv::Mat ink = 255 - straight;
    const cv::Rect inside(0, 0, ink.cols, ink.rows);
    std::vector<FoundBlock> found;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const cv::Rect2d extent = Extent(blocks[i]);
        // The block must lie on the picture wherever within reach it is.
        bool seen = true;
        for (const cv::Point2d corner :
             {extent.tl(), extent.br(), cv::Point2d(extent.x + extent.width, extent.y),
              cv::Point2d(extent.x, extent.y + extent.height)}) {
            const cv::Point2d p = Apply(toPicture, corner);
            const double margin =
                reach * std::sqrt(std::fabs(cv::determinant(cv::Matx22d(
                            toPicture(0, 0), toPicture(0, 1), toPicture(1, 0), toPicture(1, 1)))));
            seen = seen && p.x >= margin && p.y >= margin && p.x < grey.cols - margin &&
                   p.y < grey.rows - margin;
        }
        if (!seen)
            continue;
        ++onPicture;
        const cv::Mat drawn = DrawnOutlines(blocks[i], extent, perMm);
        const cv::Point2d exact = (extent.tl() - all.tl()) * perMm;
        const cv::Point at(static_cast<int>(std::lround(exact.x)),
                           static_cast<int>(std::lround(exact.y)));
        const int r = static_cast<int>(std::lround(reach * perMm));
        const cv::Rect window =
            cv::Rect(at.x - r, at.y - r, drawn.cols + 2 * r, drawn.rows + 2 * r) & inside;
        if (window.width < drawn.cols + 2 * r || window.height < drawn.rows + 2 * r)
            continue;
        cv::Mat likeness;
        cv::matchTemplate(InkUpToOutlines(ink(window)), drawn, likeness, cv::TM_CCOEFF_NORMED);
        // The peak to a fraction of a pixel, by a parabola across and down.
        const auto foundAt = [&](cv::Point peak) {
            const auto between = [](double before, double here, double after) {
                const double curve = before - 2 * here + after;
                return curve < 0 ? std::clamp(0.5 * (before - after) / curve, -0.5, 0.5) : 0.0;
            };
            cv::Point2d fine(peak);
            if (peak.x > 0 && peak.x + 1 < likeness.cols)
                fine.x += between(likeness.at<float>(peak.y, peak.x - 1),
                                  likeness.at<float>(peak.y, peak.x),
                                  likeness.at<float>(peak.y, peak.x + 1));
            if (peak.y > 0 && peak.y + 1 < likeness.rows)
                fine.y += between(likeness.at<float>(peak.y - 1, peak.x),
                                  likeness.at<float>(peak.y, peak.x),
                                  likeness.at<float>(peak.y + 1, peak.x));
            found.push_back({i, (fine + cv::Point2d(window.tl()) - exact) * (1 / perMm)});
        };
        double best = 0;
        cv::Point peak;
        cv::minMaxLoc(likeness, nullptr, &best, nullptr, &peak);
        if (best < kLeastLikeness)
            continue;
        if (rivals > 0) {
            cv::Mat rest = likeness.clone();
            for (int k = 0; k < rivals; ++k) {
                double here = 0;
                cv::Point at;
                cv::minMaxLoc(rest, nullptr, &here, nullptr, &at);
                if (here < kLeastLikeness || here < kRivalShare * best)
                    break;
                foundAt(at);
                cv::circle(rest, at, static_cast<int>(2 * perMm), cv::Scalar(-1), -1);
            }
            continue;
        }
        // Anywhere else within reach, clearly less alike: not one row or
        // one option off.
        if (r > 2 * perMm) {
            cv::Mat elsewhere = likeness.clone();
            cv::circle(elsewhere, peak, static_cast<int>(2 * perMm), cv::Scalar(-1), -1);
            double second = 0;
            cv::minMaxLoc(elsewhere, nullptr, &second);
            if (second > kClearlyMore * best)
                continue;
        }
        foundAt(peak);
    }
    return found;
}

// The points of the blocks found: each bubble's centre and where the
// picture shows it.
void AddBlockPoints(const cv::Matx33d& toPicture, const std::vector<std::vector<Area>>& blocks,
                    const std::vector<FoundBlock>& found, std::vector<cv::Point2d>& paper,
                    std::vector<cv::Point2d>& picture) {
    for (const FoundBlock& f : found)
        for (const Area& a : blocks[f.block]) {
            paper.emplace_back(a.x, a.y);
            picture.push_back(Apply(toPicture, cv::Point2d(a.x, a.y) + f.offset));
        }
}

cv::Point2d Centre(const std::vector<Area>& block) {
    cv::Point2d sum;
    for (const Area& a : block)
        sum += cv::Point2d(a.x, a.y);
    return sum / static_cast<double>(block.size());
}

// The affine map that takes `paper` nearest to `picture`, by least squares.
cv::Matx33d AffineFit(const std::vector<cv::Point2d>& paper,
                      const std::vector<cv::Point2d>& picture) {
    cv::Mat a(static_cast<int>(2 * paper.size()), 6, CV_64F, cv::Scalar(0)),
        b(static_cast<int>(2 * paper.size()), 1, CV_64F), x;
    for (std::size_t i = 0; i < paper.size(); ++i) {
        const int r = static_cast<int>(2 * i);
        for (int k = 0; k < 2; ++k) {
            a.at<double>(r + k, 3 * k) = paper[i].x;
            a.at<double>(r + k, 3 * k + 1) = paper[i].y;
            a.at<double>(r + k, 3 * k + 2) = 1;
        }
        b.at<double>(r) = picture[i].x;
        b.at<double>(r + 1) = picture[i].y;
    }
    cv::solve(a, b, x, cv::DECOMP_SVD);
    return {x.at<double>(0),
            x.at<double>(1),
            x.at<double>(2),
            x.at<double>(3),
            x.at<double>(4),
            x.at<double>(5),
            0,
            0,
            1};
}

// Of each block's rival places (offsets from where `roughFit` puts it),
// the one where a fit grown outward from the marks expects it: the block
// nearest what is placed comes next, and once chosen it helps place those
// beyond. A whole page one row off fits the blocks as well as the true
// place; it cannot fit the marks, and the growth starts from them.
std::vector<FoundBlock> GrowFromMarks(const cv::Matx33d& roughFit,
                                      const std::vector<std::vector<Area>>& blocks,
                                      const std::vector<FoundBlock>& rivals,
                                      std::vector<cv::Point2d> paper,
                                      std::vector<cv::Point2d> picture) {
    std::map<std::size_t, std::vector<cv::Point2d>> places;
    for (const FoundBlock& f : rivals)
        places[f.block].push_back(f.offset);
    const cv::Matx33d fromPicture = roughFit.inv();
    // A mark's corner the rough fit left out (a mark cut off, or another
    // pattern taken for it) is left out here too.
    for (std::size_t i = paper.size(); i-- > 0;) {
        const cv::Point2d off = Apply(fromPicture, picture[i]) - paper[i];
        if (std::hypot(off.x, off.y) > kMarkOff) {
            paper.erase(paper.begin() + static_cast<std::ptrdiff_t>(i));
            picture.erase(picture.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    std::vector<cv::Point2d> centres;
    for (const auto& block : blocks)
        centres.push_back(Centre(block));
    std::vector<cv::Point2d> placed = paper;
    cv::Matx33d fit = roughFit;
    std::vector<FoundBlock> chosen;
    while (!places.empty()) {
        auto next = places.begin();
        double nearest = 0;
        for (auto it = places.begin(); it != places.end(); ++it) {
            const cv::Point2d c = centres[it->first];
            double d = std::numeric_limits<double>::max();
            for (const cv::Point2d& p : placed)
                d = std::min(d, std::hypot(p.x - c.x, p.y - c.y));
            if (it == places.begin() || d < nearest) {
                next = it;
                nearest = d;
            }
        }
        const std::size_t block = next->first;
        const cv::Point2d centre = centres[block];
        const cv::Point2d expected = Apply(fromPicture, Apply(fit, centre)) - centre;
        const cv::Point2d* best = nullptr;
        for (const cv::Point2d& o : next->second)
            if (!best || std::hypot(o.x - expected.x, o.y - expected.y) <
                             std::hypot(best->x - expected.x, best->y - expected.y))
                best = &o;
        const bool near = std::hypot(best->x - expected.x, best->y - expected.y) <= kGrowReach;
        if (near) {
            chosen.push_back({block, *best});
            for (const Area& a : blocks[block]) {
                paper.emplace_back(a.x, a.y);
                picture.push_back(Apply(roughFit, cv::Point2d(a.x, a.y) + *best));
            }
            placed.push_back(centre);
            fit = AffineFit(paper, picture);
        }
        places.erase(next);
    }
    return chosen;
}

} // namespace

std::optional<Placement> PlaceByPrint(const cv::Mat& grey, const Page& page,
                                      const std::vector<Match>& marks,
                                      const std::vector<Match>& qr) {
    // The marks' corners are found to a fraction of a pixel; the QR code's
    // to a module or so: it helps the rough fit only.
    std::vector<cv::Point2d> paper, picture;
    for (const Match& m : marks) {
        paper.push_back(m.paper);
        picture.push_back(m.picture);
    }
    std::vector<cv::Point2d> roughPaper = paper, roughPicture = picture;
    for (const Match& m : qr) {
        roughPaper.push_back(m.paper);
        roughPicture.push_back(m.picture);
    }
    // Each mark, and the QR code, gives four corners.
    const std::size_t things = roughPaper.size() / 4;
    if (marks.size() < 8)
        return std::nullopt;
    // A sheet on the glass is moved, turned and scaled: the rough fit.
    const cv::Mat rough = things >= 3 ? cv::estimateAffine2D(roughPaper, roughPicture)
                                      : cv::estimateAffinePartial2D(roughPaper, roughPicture);
    if (rough.empty())
        return std::nullopt;
    const std::vector<std::vector<Area>> blocks = Blocks(page);
    std::size_t onPicture = 0;
    const cv::Matx33d roughFit = FromAffine(rough);
    const std::vector<FoundBlock> found = GrowFromMarks(
        roughFit, blocks,
        FindBlocks(grey, roughFit, blocks, kRoughReach, kStraightPerMm, onPicture, kRivals), paper,
        picture);
    if (found.size() < static_cast<std::size_t>(kFewestBlocks))
        return std::nullopt;

    // One fit to the marks and the blocks found; then each block looked for
    // again close by, and all of them where that fit puts them. Far from
    // the marks a block may still be a little out: the fit to all of them,
    // once or twice more.
    const double pixelsPerMm =
        std::sqrt(std::fabs(rough.at<double>(0, 0) * rough.at<double>(1, 1) -
                            rough.at<double>(0, 1) * rough.at<double>(1, 0)));
    cv::Matx33d fit = roughFit;
    std::vector<FoundBlock> near = found, agreeing;
    for (int round = 0; round < kFittings; ++round) {
        std::vector<cv::Point2d> allPaper = paper, allPicture = picture;
        AddBlockPoints(fit, blocks, near, allPaper, allPicture);
        // Every block found counts, but a mark or a block far out does not.
        const cv::Mat h =
            cv::findHomography(allPaper, allPicture, cv::RANSAC, kFineReach * pixelsPerMm);
        if (h.empty())
            return std::nullopt;
        fit = cv::Matx33d(h);
        near = FindBlocks(grey, fit, blocks, kFineReach, kStraightPerMm, onPicture);
        agreeing.clear();
        for (const FoundBlock& f : near)
            if (std::hypot(f.offset.x, f.offset.y) <= kBlockOff)
                agreeing.push_back(f);
        if (agreeing.size() >= kBlocksAgreeing * static_cast<double>(onPicture))
            break;
    }
    if (agreeing.size() < static_cast<std::size_t>(kFewestBlocks) ||
        agreeing.size() < kBlocksAgreeing * static_cast<double>(onPicture))
        return std::nullopt;
    // Each mark seen must lie near where that fit puts it, but one of three
    // whose corner was cut off or blurred; a page one row or one option off
    // is much farther out. Only the marks that lie where the blocks say
    // join the last fit: a blurred corner is found less exactly than a
    // block.
    std::vector<cv::Point2d> finalPaper, finalPicture;
    std::size_t marksAgreeing = 0;
    for (std::size_t m = 0; m + 4 <= marks.size(); m += 4) {
        double off = 0;
        for (std::size_t c = m; c < m + 4; ++c) {
            const cv::Point2d d = Apply(fit, marks[c].paper) - marks[c].picture;
            off += std::hypot(d.x, d.y) / pixelsPerMm / 4;
        }
        if (off > kMarkOff)
            continue;
        ++marksAgreeing;
        if (off > kBlockOff)
            continue;
        for (std::size_t c = m; c < m + 4; ++c) {
            finalPaper.push_back(marks[c].paper);
            finalPicture.push_back(marks[c].picture);
        }
    }
    if (marksAgreeing < 2 || marksAgreeing + 1 < marks.size() / 4)
        return std::nullopt;
    AddBlockPoints(fit, blocks, agreeing, finalPaper, finalPicture);
    const cv::Mat last = cv::findHomography(finalPaper, finalPicture, 0);
    if (last.empty())
        return std::nullopt;
    auto placement = Describe(page, cv::Matx33d(last), finalPaper, finalPicture,
                              static_cast<int>(marksAgreeing));
    if (placement)
        placement->blocksFound = static_cast<int>(agreeing.size());
    return placement;
}

namespace {

// The corners of the dark square of about `side` pixels nearest `near`, in
// the order of `expected` (where a fit puts them); nothing when none is
// seen within a side of it.
std::optional<std::vector<cv::Point2d>> DarkSquare(const cv::Mat& grey, cv::Point2d near,
                                                   double side,
                                                   const std::vector<cv::Point2d>& expected) {
    const int half = static_cast<int>(std::lround(1.3 * side));
    const cv::Rect box =
        cv::Rect(static_cast<int>(std::lround(near.x)) - half,
                 static_cast<int>(std::lround(near.y)) - half, 2 * half + 1, 2 * half + 1) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    if (box.width < side || box.height < side)
        return std::nullopt;
    cv::Mat ink;
    cv::threshold(grey(box), ink, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(ink, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const cv::Point2d origin(box.x, box.y);
    std::optional<std::vector<cv::Point2d>> best;
    double nearest = side;
    for (const auto& contour : contours) {
        const cv::RotatedRect r = cv::minAreaRect(contour);
        const double small = std::min(r.size.width, r.size.height),
                     large = std::max(r.size.width, r.size.height);
        const cv::Point2d centre = cv::Point2d(r.center) + origin;
        const double off = std::hypot(centre.x - near.x, centre.y - near.y);
        if (small < 0.75 * side || large > 1.3 * side || off >= nearest)
            continue;
        cv::Point2f box4[4];
        r.points(box4);
        std::vector<cv::Point2d> corners;
        for (const cv::Point2d& e : expected) {
            const cv::Point2f* closest =
                std::min_element(box4, box4 + 4, [&](const cv::Point2f& a, const cv::Point2f& b) {
                    return cv::norm(cv::Point2d(a) + origin - e) <
                           cv::norm(cv::Point2d(b) + origin - e);
                });
            corners.push_back(cv::Point2d(*closest) + origin);
        }
        bool distinct = true;
        for (std::size_t i = 0; i < corners.size(); ++i)
            for (std::size_t j = i + 1; j < corners.size(); ++j)
                distinct = distinct && cv::norm(corners[i] - corners[j]) > 0.5 * small;
        if (!distinct)
            continue;
        nearest = off;
        best = corners;
    }
    return best;
}

} // namespace

std::optional<Placement> PlaceByShownMarks(const cv::Mat& grey, const std::vector<Mark>& marks,
                                           const std::vector<cv::Point2d>& shown) {
    if (marks.size() < 4 || shown.size() != marks.size())
        return std::nullopt;
    std::vector<cv::Point2d> centres;
    for (const Mark& m : marks)
        centres.emplace_back(m.x, m.y);
    const cv::Mat rough = cv::findHomography(centres, shown, 0);
    if (rough.empty())
        return std::nullopt;
    const cv::Matx33d roughFit(rough);
    std::vector<cv::Point2d> paper, picture;
    int snapped = 0;
    for (std::size_t k = 0; k < marks.size(); ++k) {
        const Mark& m = marks[k];
        const double h = m.size / 2;
        const std::vector<cv::Point2d> corners = {
            {m.x - h, m.y - h}, {m.x + h, m.y - h}, {m.x + h, m.y + h}, {m.x - h, m.y + h}};
        std::vector<cv::Point2d> expected;
        for (const cv::Point2d& c : corners)
            expected.push_back(Apply(roughFit, c));
        const double side =
            (cv::norm(expected[1] - expected[0]) + cv::norm(expected[2] - expected[1]) +
             cv::norm(expected[3] - expected[2]) + cv::norm(expected[0] - expected[3])) /
            4;
        if (auto square = DarkSquare(grey, shown[k], side, expected)) {
            paper.insert(paper.end(), corners.begin(), corners.end());
            picture.insert(picture.end(), square->begin(), square->end());
            ++snapped;
        } else {
            paper.push_back(centres[k]);
            picture.push_back(shown[k]);
        }
    }
    const cv::Mat h = cv::findHomography(paper, picture, 0);
    if (h.empty())
        return std::nullopt;
    Page page;
    page.marks = marks;
    return Describe(page, cv::Matx33d(h), paper, picture, snapped);
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
