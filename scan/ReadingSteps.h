#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

// The steps by which one page's picture is read, shared by the reader's
// parts: the page found in the picture (Locating), its bubbles measured
// (Measuring) and decided (Deciding). A way of describing a sheet other than
// our layout file gives the same things: a mapping from the paper's
// millimetres to the picture, and the bubbles and reference areas in
// millimetres.
namespace scan::steps {

// A registration mark seen in the picture: its pattern's number and its
// four corners in the picture's pixels, clockwise from the pattern's own
// top-left.
struct SeenMark {
    int number = 0;
    std::vector<cv::Point2f> corners;
};

// The marks of a picture, found on a reduced copy and refined on the picture
// itself; `inkShare` is the share of the reduced copy darker than half the
// paper's grey (near 0 for an empty page).
struct SeenMarks {
    std::vector<SeenMark> marks;
    double inkShare = 0;
    cv::Mat reduced;   // the reduced copy
    double reduce = 1; // picture pixels per pixel of the reduced copy
};

[[nodiscard]] SeenMarks FindMarks(const cv::Mat& grey);

// The paper of one layout page mapped onto the picture.
struct Placement {
    cv::Matx33d toPicture; // millimetres on the paper -> picture pixels
    double residual = 0;   // root-mean-square distance of the mark corners from the fit, mm
    int marksUsed = 0;     // marks of the page found and fitted
    double spread = 0; // the share of the page's marks' extent the points fitted cover, across and
                       // down, the smaller
    int turn = 0;      // 0 90 180 270: how the picture is turned from upright
    double pixelsPerMm = 0; // at the paper's centre
    int blocksFound = 0; // blocks of printed bubbles found where the fit puts them, when the marks
                         // were too few to place the page by
};

// The largest residual (mm) with which a page is still read, and the fewest
// marks.
inline constexpr double kResidualLimit = 0.6;
inline constexpr int kFewestMarks = 3;
// The points fitted must enclose this share of the area the page's marks
// enclose: a fit to points in one part of a slanted picture may be far out
// in another.
inline constexpr double kLeastSpread = 0.45;
// The printed black patch reflects at most this share of the paper's light
// where the fit says it is; more, and the fit or the picture is wrong.
inline constexpr double kLightestBlack = 0.5;

// A point of the paper (mm) seen at a point of the picture (pixels).
struct Match {
    cv::Point2d paper, picture;
};

// The fit of the layout page's marks to the marks seen, by all the corners
// of every mark of the page that was seen and the `more` points given (the
// QR code's corners); nothing when fewer than two marks match.
[[nodiscard]] std::optional<Placement> Place(const Page& page, const SeenMarks& seen,
                                             const std::vector<Match>& more = {});

// The corners of the page's marks that were seen, each where it was seen.
[[nodiscard]] std::vector<Match> MarkCorners(const Page& page, const SeenMarks& seen);

// The fit of a page whose marks seen are too few or too close together: a
// rough fit to the corners of the marks seen and of the QR code, then the
// page's printed bubble outlines looked for, block by block, around where
// it puts them, and a homography fitted to the marks and to every block
// found. Nothing unless most blocks on the picture are found again where
// that fit puts them, and every mark agrees with it.
[[nodiscard]] std::optional<Placement> PlaceByPrint(const cv::Mat& grey, const Page& page,
                                                    const std::vector<Match>& marks,
                                                    const std::vector<Match>& qr);

// The fit of a page to marks shown by hand: `shown` the picture points of
// the centres of `marks` (at least four), each snapped to the corners of
// the dark square seen around it, or taken as it is where none is; nothing
// when no fit can be made.
[[nodiscard]] std::optional<Placement> PlaceByShownMarks(const cv::Mat& grey,
                                                         const std::vector<Mark>& marks,
                                                         const std::vector<cv::Point2d>& shown);

// The QR code printed at (x, y) mm with side `size` mm, read from the
// picture through the placement: its text (empty when it does not read)
// and its four corners as seen.
struct SeenQr {
    std::string text;
    std::vector<Match> corners;
};
[[nodiscard]] SeenQr ReadQr(const cv::Mat& grey, const Placement& placement, double x, double y,
                            double size);

// How paper, ink and the printed black look on this picture: the picture's
// paper grey around any point (uneven light), and the black patch's
// reflectance against that paper.
class PaperLight {
  public:
    PaperLight(const cv::Mat& grey, const SeenMarks& seen, const Placement& placement,
               const Page& page);
    [[nodiscard]] double paperAt(cv::Point2d picturePoint) const;
    [[nodiscard]] double paper() const { return paper_; } // the white patch's grey
    [[nodiscard]] double black() const { return black_; } // the black patch's grey
    [[nodiscard]] double blackReflectance() const { return blackReflectance_; }

  private:
    cv::Mat background_; // reduced
    double reduce_ = 1;  // picture pixels per background pixel
    double correction_ = 1;
    double paper_ = 255, black_ = 0, blackReflectance_ = 0.1;
};

// The darkness of the inside of a bubble of area `area` (mm): 0 for paper,
// 1 for the printed black, not counting its printed outline; before the
// page's empty-bubble level is taken off.
[[nodiscard]] double BubbleInk(const cv::Mat& grey, const Placement& placement,
                               const PaperLight& light, const Area& area);

// The threshold of a page from the darkness of its bubbles: between the
// empty bubbles and the page's usual fill.
[[nodiscard]] double PageThreshold(const std::vector<double>& darkness);

} // namespace scan::steps
