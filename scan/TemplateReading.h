#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <opencv2/core/mat.hpp>

#include <optional>
#include <string>
#include <vector>

// Reading a page with a bubble template (scan/Template.h): the page cut out
// of the picture by its corner markers or the paper's edge, the template's
// filters run on it, every bubble's grey measured, and the marks decided on
// the page's own range from its lightest to its darkest bubble.
namespace scan {

// Where a template page lies in a picture: the picture's four points that
// are the page's top-left, top-right, bottom-right and bottom-left corners,
// and how many degrees clockwise (0, 90, 180, 270) the sheet was turned.
struct TemplatePlacement {
    std::vector<cv::Point2f> corners;
    int turn = 0;
};

// The template page in the picture: its corners found by the template's
// crop (or the picture's own corners without one), its way up the turn the
// template's printed bubbles fit clearly best. Nothing when the crop does
// not find the page or no way up is clearly best (`problem` says why).
[[nodiscard]] std::optional<TemplatePlacement>
PlaceTemplatePage(const cv::Mat& grey, const BubbleTemplate& bubbleTemplate, std::string& problem);

// What one page's picture says, read with the template of `layout`. Never
// throws for a bad picture.
[[nodiscard]] PageReading ReadTemplatePage(const cv::Mat& grey, const PageSource& source,
                                           const Layout& layout);

} // namespace scan
