#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

// Reading a page with a bubble template (scan/Template.h): the page cut out
// of the picture by its corner markers or the paper's edge, the template's
// filters run on it, every bubble's grey measured, and the marks decided on
// the page's own range from its lightest to its darkest bubble.
namespace scan {

// The picture's four points (top-left, top-right, bottom-right,
// bottom-left) that are the template page's corners; nothing when the
// template's crop does not find them (`problem` says why).
[[nodiscard]] std::optional<std::vector<cv::Point2f>>
TemplateCorners(const cv::Mat& grey, const BubbleTemplate& bubbleTemplate, std::string& problem);

// What one page's picture says, read with the template of `layout`. Never
// throws for a bad picture.
[[nodiscard]] PageReading ReadTemplatePage(const cv::Mat& grey, const PageSource& source,
                                           const Layout& layout);

} // namespace scan
