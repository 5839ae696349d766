#pragma once

#include "scan/PageReading.h"
#include "scan/Reader.h"

#include <cstddef>
#include <functional>
#include <optional>

// The pages of a scan streamed through a small pool of workers: one thread
// takes the pages out of the input files in order, the workers decode and
// read them, and the caller's thread gets the readings back in input order.
// At most `window` pages are between the input and the caller at any time,
// so that memory does not grow with the page count.
namespace scan {

struct PageFlow {
    // The next page of the input, nothing after the last; called on the
    // input thread only.
    std::function<std::optional<PageData>()> next;
    // What a page says; called on the workers, several at once.
    std::function<PageReading(const PageData&)> read;
    // A page's reading, in input order, on the caller's thread; false stops
    // the flow (the pages in flight are dropped).
    std::function<bool(PageReading&&)> take;
};

// Runs the flow to its end or until `take` stops it; true when every page
// was taken. An exception of `next` or `take` ends the flow and is thrown
// again here; one of `read` becomes a failed page naming it.
bool StreamPages(const PageFlow& flow, int jobs, std::size_t window);

// The reading of one page by the reader: decoded, located and decided; a
// page that does not decode is failed ("无法读取文件") with the problem.
[[nodiscard]] PageReading ReadPageData(const PageData& data, const LayoutSet& layouts);

} // namespace scan
