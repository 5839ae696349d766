// Deciding a measured page: its threshold from its own bubbles, and per
// question and exam-number column what is marked and what to review.
#include "scan/Reader.h"
#include "scan/ReadingSteps.h"

#include <algorithm>
#include <cmath>

namespace scan {
namespace {

// Darkness this close under the threshold, or over it, is too close to
// call; wider under it, where a faint tick and a rubbed-out mark meet.
constexpr double kNearUnder = 0.06, kNearOver = 0.04;
// A mark under this share of the page's usual fill is light.
constexpr double kLightShare = 0.25;
// A mark under this share of another in the same item may be rubbed out.
constexpr double kErasureShare = 0.4;
// The usual fill when a page has none to go by.
constexpr double kUsualFill = 0.9;

// The darkness of the page's usual fill: the median of its clear marks.
double UsualFill(const PageReading& page) {
    std::vector<double> marks;
    for (const auto* items : {&page.digits, &page.questions})
        for (const ItemReading& item : *items)
            for (const BubbleReading& b : item.bubbles)
                if (b.darkness >= 0.5)
                    marks.push_back(b.darkness);
    if (marks.size() < 3)
        return kUsualFill;
    std::nth_element(marks.begin(), marks.begin() + static_cast<long>(marks.size() / 2),
                     marks.end());
    return marks[marks.size() / 2];
}

void DecideItem(ItemReading& item, double threshold, double usualFill) {
    item.doubts.clear();
    item.reading.clear();
    double darkest = 0;
    int marked = 0;
    bool near = false, light = false;
    for (BubbleReading& b : item.bubbles) {
        b.marked = b.darkness >= threshold;
        near = near || (b.darkness > threshold - kNearUnder && b.darkness < threshold + kNearOver);
        if (b.marked) {
            ++marked;
            item.reading += b.value;
            darkest = std::max(darkest, b.darkness);
            light = light || b.darkness < kLightShare * usualFill;
        }
    }
    bool erasure = false;
    for (const BubbleReading& b : item.bubbles)
        if (b.darkness > threshold - kNearUnder && b.darkness < kErasureShare * darkest)
            erasure = true;
    const auto doubt = [&](Doubt d) {
        if (std::find(item.doubts.begin(), item.doubts.end(), d) == item.doubts.end())
            item.doubts.push_back(d);
    };
    if (light && !erasure)
        doubt(Doubt::LightMark);
    if (erasure)
        doubt(Doubt::Erasure);
    if (near)
        doubt(Doubt::NearThreshold);
    if (item.question == 0 && marked != 1) {
        doubt(marked == 0 ? Doubt::NoDigit : Doubt::SeveralDigits);
        item.reading = "?";
    }
}

} // namespace

namespace steps {

double PageThreshold(const std::vector<double>& darkness) {
    std::vector<double> marks;
    for (double d : darkness)
        if (d >= 0.5)
            marks.push_back(d);
    double fill = kUsualFill;
    if (marks.size() >= 3) {
        std::nth_element(marks.begin(), marks.begin() + static_cast<long>(marks.size() / 2),
                         marks.end());
        fill = marks[marks.size() / 2];
    }
    // Rubbed-out marks and printed letters stay under about a fifth of a
    // pupil's usual fill; a tick, a cross or a light fill comes over it.
    return std::clamp(0.22 * fill, 0.1, 0.25);
}

} // namespace steps

void Decide(PageReading& page, double shift) {
    if (page.status == PageStatus::Failed || page.status == PageStatus::Blank)
        return;
    const double threshold = std::clamp(page.threshold + shift, 0.01, 0.99);
    const double usualFill = UsualFill(page);
    for (auto* items : {&page.digits, &page.questions, &page.fieldsOnly})
        for (ItemReading& item : *items) {
            DecideItem(item, threshold, usualFill);
            if (page.noClearGroups && std::find(item.doubts.begin(), item.doubts.end(),
                                                Doubt::NearThreshold) == item.doubts.end())
                item.doubts.push_back(Doubt::NearThreshold);
        }
    if (page.status != PageStatus::Duplicate)
        page.status = page.toReview() ? PageStatus::Review : PageStatus::Ok;
}

} // namespace scan
