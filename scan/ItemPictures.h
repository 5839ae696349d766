#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <opencv2/core/mat.hpp>

#include <array>
#include <string>
#include <vector>

// The small pictures of a read page's items to review, cut out of the page's
// picture through its placement while the scan has the picture at hand, so
// that the review shows them without the image files: a question's row with
// every option, or the exam number's whole grid.
namespace scan {

// Pixels per millimetre of the pictures.
inline constexpr double kItemPictureScale = 6;

// The area around the bubbles of an item, in millimetres: left, top, right,
// bottom.
[[nodiscard]] std::array<double, 4> ItemArea(const std::vector<const Bubble*>& bubbles);

// A grey picture of `area` (mm) of the paper through `toPicture`, with the
// frames of the bubbles in it.
[[nodiscard]] cv::Mat CutOut(const cv::Mat& grey, const std::array<double, 9>& toPicture,
                             const std::array<double, 4>& area, double scale);

// The pictures of the items of `reading` that have a doubt: one per
// question, one grid for the exam number when any column has one. `page` is
// the layout page the reading located.
[[nodiscard]] std::vector<ItemPicture>
PicturesToReview(const cv::Mat& grey, const PageReading& reading, const Page& page);

} // namespace scan
