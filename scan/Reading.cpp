// What one page's picture says: located, its layout chosen by its QR code,
// measured and decided.
#include "scan/Reader.h"
#include "scan/ReadingSteps.h"
#include "scan/TemplateReading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

namespace scan {
namespace {

// A picture with less ink than this share is an empty page.
constexpr double kEmptyPageInk = 0.002;

// The page's empty bubbles: this quantile of every bubble's ink (most
// bubbles of a sheet are empty), so that their printed letters and what
// a scanner adds do not count as marks. Taken per printed value where the
// page has enough bubbles of it: a "B" or an "8" holds more grey than an
// "A" or a "1", and a dark scan makes that difference look like a tick.
constexpr double kEmptyQuantile = 0.25;
constexpr double kMostEmptyInk = 0.15;
constexpr std::size_t kFewestOfAValue = 8;

double EmptyInk(std::vector<double> ink) {
    if (ink.empty())
        return 0;
    const auto at = ink.begin() + static_cast<long>(kEmptyQuantile * (ink.size() - 1));
    std::nth_element(ink.begin(), at, ink.end());
    return std::min(*at, kMostEmptyInk);
}

// Takes the empty bubbles' ink off every bubble, and off `all` alike.
void SubtractEmptyInk(std::vector<ItemReading>& items, std::vector<double>& all) {
    std::map<std::string, std::vector<double>> byValue;
    for (const ItemReading& item : items)
        for (const BubbleReading& b : item.bubbles)
            byValue[b.value].push_back(b.darkness);
    const double pageWide = EmptyInk(all);
    std::map<std::string, double> empty;
    for (auto& [value, ink] : byValue)
        empty[value] = ink.size() >= kFewestOfAValue ? EmptyInk(std::move(ink)) : pageWide;
    all.clear();
    for (ItemReading& item : items)
        for (BubbleReading& b : item.bubbles) {
            const double e = empty[b.value];
            b.darkness = std::clamp((b.darkness - e) / (1 - e), 0.0, 1.0);
            all.push_back(b.darkness);
        }
}

struct Candidate {
    const Layout* layout = nullptr;
    const Page* page = nullptr;
    steps::Placement placement;
};

// "quillory:<id>:<revision>:<page>" -> its parts; false for another text.
bool ParseQr(const std::string& text, std::string& id, int& revision, int& page) {
    const std::string prefix = "quillory:";
    if (text.rfind(prefix, 0) != 0)
        return false;
    const std::size_t last = text.rfind(':'), middle = text.rfind(':', last - 1);
    if (middle == std::string::npos || middle < prefix.size())
        return false;
    id = text.substr(prefix.size(), middle - prefix.size());
    try {
        std::size_t used = 0;
        revision = std::stoi(text.substr(middle + 1, last - middle - 1), &used);
        if (used != last - middle - 1)
            return false;
        page = std::stoi(text.substr(last + 1), &used);
        return used == text.size() - last - 1 && !id.empty();
    } catch (const std::exception&) {
        return false;
    }
}

PageReading Failed(PageReading reading, Failure failure, std::string problem) {
    reading.status = PageStatus::Failed;
    reading.failure = failure;
    reading.problem = std::move(problem);
    return reading;
}

std::vector<ItemReading> Items(const Page& page) {
    std::vector<ItemReading> items;
    for (const Digit& d : page.examNumber) {
        ItemReading item{"id" + std::to_string(d.digit), 0, {}, {}, {}};
        for (const Bubble& b : d.bubbles)
            item.bubbles.push_back({b.value, 0, false});
        items.push_back(std::move(item));
    }
    for (const Question& q : page.questions) {
        ItemReading item{"q" + std::to_string(q.number), q.number, {}, {}, {}};
        for (const Bubble& b : q.bubbles)
            item.bubbles.push_back({b.value, 0, false});
        items.push_back(std::move(item));
    }
    return items;
}

// The bubbles of a located page measured, less the ink of the page's empty
// bubbles, and decided; failed when the printed black is not black.
PageReading Measured(PageReading reading, const cv::Mat& grey, const steps::SeenMarks& seen,
                     const steps::Placement& placement, const Page& page) {
    const steps::PaperLight light(grey, seen, placement, page);
    reading.paper = light.paper();
    reading.black = light.black();
    if (light.blackReflectance() > steps::kLightestBlack) {
        char text[96];
        std::snprintf(text, sizeof text, "校准黑块不够黑 (灰度 %.0f，纸 %.0f)", light.black(),
                      light.paper());
        return Failed(reading, Failure::NotLocated, text);
    }
    std::vector<ItemReading> items = Items(page);
    std::vector<double> all;
    std::size_t i = 0;
    for (const Digit& d : page.examNumber) {
        for (std::size_t b = 0; b < d.bubbles.size(); ++b)
            all.push_back(items[i].bubbles[b].darkness =
                              steps::BubbleInk(grey, placement, light, d.bubbles[b].area));
        ++i;
    }
    for (const Question& q : page.questions) {
        for (std::size_t b = 0; b < q.bubbles.size(); ++b)
            all.push_back(items[i].bubbles[b].darkness =
                              steps::BubbleInk(grey, placement, light, q.bubbles[b].area));
        ++i;
    }
    SubtractEmptyInk(items, all);
    reading.threshold = steps::PageThreshold(all);
    const auto digits = static_cast<long>(page.examNumber.size());
    reading.digits.assign(items.begin(), items.begin() + digits);
    reading.questions.assign(items.begin() + digits, items.end());
    reading.status = PageStatus::Ok;
    Decide(reading);
    return reading;
}

} // namespace

PageReading ReadPage(const cv::Mat& grey, const PageSource& source, const LayoutSet& layouts) {
    PageReading reading;
    reading.source = source;
    if (grey.empty() || grey.type() != CV_8UC1)
        return Failed(reading, Failure::Unreadable, "不是 8 位灰度图片");
    // A sheet of a bubble template has no marks or QR code of ours.
    if (layouts.layouts().size() == 1 && layouts.layouts().front().bubbleTemplate)
        return ReadTemplatePage(grey, source, layouts.layouts().front());
    try {
        const steps::SeenMarks seen = steps::FindMarks(grey);
        if (seen.marks.empty()) {
            if (seen.inkShare < kEmptyPageInk) {
                reading.status = PageStatus::Blank;
                return reading;
            }
            return Failed(reading, Failure::NoSheet, "没有找到定位标记");
        }

        // The layout page whose marks fit the marks seen best.
        std::vector<Candidate> candidates;
        for (const Layout& layout : layouts.layouts())
            for (const Page& page : layout.pages)
                if (auto placement = steps::Place(page, seen))
                    candidates.push_back({&layout, &page, *placement});
        if (candidates.empty())
            return Failed(reading, Failure::NotLocated,
                          "只找到 " + std::to_string(seen.marks.size()) + " 个定位标记");
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) {
                             if (a.placement.marksUsed != b.placement.marksUsed)
                                 return a.placement.marksUsed > b.placement.marksUsed;
                             return a.placement.residual < b.placement.residual;
                         });

        // The QR code names the layout and its page.
        steps::SeenQr seenQr;
        const Page* qrReadAt = nullptr;
        for (const Candidate& c : candidates) {
            seenQr = steps::ReadQr(grey, c.placement, c.page->qrX, c.page->qrY, c.page->qrSize);
            if (!seenQr.text.empty()) {
                qrReadAt = c.page;
                break;
            }
        }
        const std::string& qr = seenQr.text;
        const Candidate* chosen = nullptr;
        std::string id;
        int revision = 0, pageNumber = 0;
        if (!qr.empty()) {
            if (!ParseQr(qr, id, revision, pageNumber))
                return Failed(reading, Failure::UnknownLayout, "二维码不是答题卡的: " + qr);
            for (const Candidate& c : candidates)
                if (c.layout->id == id && c.layout->revision == revision &&
                    c.page->number == pageNumber && !chosen)
                    chosen = &c;
            if (!chosen) {
                const Layout* named = layouts.find(id);
                const bool one = layouts.layouts().size() == 1;
                const std::string what = "二维码是 " + qr;
                if (one || (named && named->revision != revision))
                    return Failed(reading, Failure::OtherLayout, what);
                return Failed(reading, Failure::UnknownLayout, what);
            }
        } else {
            const bool onlyOne =
                layouts.layouts().size() == 1 && layouts.layouts()[0].pages.size() == 1;
            if (!onlyOne)
                return Failed(reading, Failure::UnknownLayout, "二维码无法读取");
            chosen = &candidates.front();
        }

        // Too few marks: the QR code's corners join them, if it was read
        // where this page has it.
        steps::Placement placement = chosen->placement;
        const bool qrHelps =
            !seenQr.corners.empty() && qrReadAt && qrReadAt->qrX == chosen->page->qrX &&
            qrReadAt->qrY == chosen->page->qrY && qrReadAt->qrSize == chosen->page->qrSize;
        if ((placement.marksUsed < steps::kFewestMarks || placement.spread < steps::kLeastSpread) &&
            qrHelps)
            if (auto helped = steps::Place(*chosen->page, seen, seenQr.corners))
                placement = *helped;
        const bool tooFew = placement.marksUsed + (qrHelps ? 1 : 0) < steps::kFewestMarks ||
                            placement.spread < steps::kLeastSpread;
        if (tooFew) {
            // The page's own printed bubbles place it where its marks cannot.
            if (auto printed = steps::PlaceByPrint(
                    grey, *chosen->page, steps::MarkCorners(*chosen->page, seen),
                    qrHelps ? seenQr.corners : std::vector<steps::Match>{}))
                placement = *printed;
        }
        reading.layoutId = chosen->layout->id;
        reading.layoutRevision = chosen->layout->revision;
        reading.layoutPage = chosen->page->number;
        reading.turn = placement.turn;
        reading.marksFound = placement.marksUsed;
        reading.residual = placement.residual;
        for (int k = 0; k < 9; ++k)
            reading.toPicture[static_cast<std::size_t>(k)] = placement.toPicture(k / 3, k % 3);
        if (tooFew && placement.blocksFound == 0)
            return Failed(reading, Failure::NotLocated,
                          "只找到 " + std::to_string(placement.marksUsed) +
                              " 个定位标记，不足以定位整页");
        if (placement.residual > steps::kResidualLimit) {
            char text[64];
            std::snprintf(text, sizeof text, "定位误差 %.2f mm", placement.residual);
            return Failed(reading, Failure::NotLocated, text);
        }

        return Measured(std::move(reading), grey, seen, placement, *chosen->page);
    } catch (const cv::Exception& e) {
        return Failed(reading, Failure::Unreadable, std::string("图片无法处理: ") + e.what());
    }
}

std::vector<Mark> CornerMarks(const Page& page, double width, double height) {
    std::vector<Mark> corners;
    const double xs[4] = {0, width, width, 0}, ys[4] = {0, 0, height, height};
    for (int c = 0; c < 4; ++c) {
        const Mark* nearest = nullptr;
        double best = 0;
        for (const Mark& m : page.marks) {
            const double d = std::hypot(m.x - xs[c], m.y - ys[c]);
            if (!nearest || d < best) {
                nearest = &m;
                best = d;
            }
        }
        if (!nearest || std::any_of(corners.begin(), corners.end(),
                                    [nearest](const Mark& m) { return m.name == nearest->name; }))
            return {};
        corners.push_back(*nearest);
    }
    return corners;
}

PageReading ReadPageAtMarks(const cv::Mat& grey, const PageSource& source, const LayoutSet& layouts,
                            const std::vector<cv::Point2d>& shown) {
    PageReading reading;
    reading.source = source;
    if (grey.empty() || grey.type() != CV_8UC1)
        return Failed(reading, Failure::Unreadable, "不是 8 位灰度图片");
    if (shown.size() != 4)
        return Failed(reading, Failure::NotLocated, "需要四个角上的定位标记");
    try {
        // The marks seen, if any, only for the paper's light.
        const steps::SeenMarks seen = steps::FindMarks(grey);
        const bool onlyOne =
            layouts.layouts().size() == 1 && layouts.layouts()[0].pages.size() == 1;
        const Layout* layout = nullptr;
        const Page* page = nullptr;
        std::optional<steps::Placement> placement;
        for (const Layout& l : layouts.layouts()) {
            for (const Page& p : l.pages) {
                const std::vector<Mark> corners = CornerMarks(p, l.width, l.height);
                if (corners.size() != 4)
                    continue;
                // A sheet upside down or on its side is shown by its marks as
                // they look: each turn of them is tried against the QR code.
                for (int turn = 0; turn < (onlyOne ? 1 : 4) && !placement; ++turn) {
                    std::vector<cv::Point2d> turned(4);
                    for (std::size_t k = 0; k < 4; ++k)
                        turned[k] = shown[(k + static_cast<std::size_t>(turn)) % 4];
                    auto fit = steps::PlaceByShownMarks(grey, corners, turned);
                    if (!fit)
                        continue;
                    std::string id;
                    int revision = 0, number = 0;
                    if (!onlyOne &&
                        !(ParseQr(steps::ReadQr(grey, *fit, p.qrX, p.qrY, p.qrSize).text, id,
                                  revision, number) &&
                          id == l.id && revision == l.revision && number == p.number))
                        continue;
                    layout = &l;
                    page = &p;
                    placement = fit;
                }
            }
        }
        if (!placement)
            return Failed(reading, onlyOne ? Failure::NotLocated : Failure::UnknownLayout,
                          onlyOne ? "点击的定位标记无法定位整页" : "二维码无法读取");
        if (placement->residual > steps::kResidualLimit) {
            char text[64];
            std::snprintf(text, sizeof text, "定位误差 %.2f mm", placement->residual);
            return Failed(reading, Failure::NotLocated, text);
        }
        reading.layoutId = layout->id;
        reading.layoutRevision = layout->revision;
        reading.layoutPage = page->number;
        reading.turn = placement->turn;
        reading.marksFound = placement->marksUsed;
        reading.residual = placement->residual;
        for (int k = 0; k < 9; ++k)
            reading.toPicture[static_cast<std::size_t>(k)] = placement->toPicture(k / 3, k % 3);
        return Measured(std::move(reading), grey, seen, *placement, *page);
    } catch (const cv::Exception& e) {
        return Failed(reading, Failure::Unreadable, std::string("图片无法处理: ") + e.what());
    }
}

} // namespace scan
