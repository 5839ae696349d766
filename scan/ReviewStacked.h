// What the review decides the whole stack from, shared by its two halves.
#pragma once

#include "scan/Review.h"
#include "scan/ScanStack.h"

#include <map>
#include <string>
#include <vector>

namespace scan {

// The layouts' shapes, the columns of the exam numbers kept, and every
// page as read, the decisions by hand not applied.
struct Review::Stacked {
    std::map<std::string, LayoutShape> shapes;
    std::map<std::string, std::vector<bool>> kept;
    std::vector<PageSummary> summaries;
};

} // namespace scan
