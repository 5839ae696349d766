#include "scan/ScanPipeline.h"

#include "scan/ItemPictures.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace scan {
namespace {

PageReading FailedPage(const PageSource& source, Failure failure, std::string problem) {
    PageReading r;
    r.source = source;
    r.status = PageStatus::Failed;
    r.failure = failure;
    r.problem = std::move(problem);
    return r;
}

// The queues between the input thread, the workers and the caller.
struct Flow {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, PageData>> waiting; // taken from the input, not yet read
    std::map<std::size_t, PageReading> done;              // read, not yet taken
    std::size_t given = 0;                                // pages taken from the input
    std::size_t taken = 0;                                // pages handed to the caller
    bool inputEnded = false;
    bool stop = false;
    std::exception_ptr inputError;
};

void FeedInput(Flow& f, const PageFlow& flow, std::size_t window) {
    try {
        for (;;) {
            {
                std::unique_lock lock(f.mutex);
                f.changed.wait(lock, [&] { return f.stop || f.given - f.taken < window; });
                if (f.stop)
                    break;
            }
            std::optional<PageData> page = flow.next();
            std::lock_guard lock(f.mutex);
            if (!page)
                break;
            f.waiting.emplace_back(f.given++, std::move(*page));
            f.changed.notify_all();
        }
    } catch (...) {
        std::lock_guard lock(f.mutex);
        f.inputError = std::current_exception();
    }
    std::lock_guard lock(f.mutex);
    f.inputEnded = true;
    f.changed.notify_all();
}

void Work(Flow& f, const PageFlow& flow) {
    for (;;) {
        std::pair<std::size_t, PageData> page;
        {
            std::unique_lock lock(f.mutex);
            f.changed.wait(lock, [&] { return f.stop || f.inputEnded || !f.waiting.empty(); });
            if (f.stop || f.waiting.empty())
                return;
            page = std::move(f.waiting.front());
            f.waiting.pop_front();
        }
        PageReading reading;
        try {
            reading = flow.read(page.second);
        } catch (const std::exception& e) {
            reading = FailedPage(page.second.source, Failure::Unreadable, e.what());
        }
        page.second = PageData{};
        std::lock_guard lock(f.mutex);
        f.done.emplace(page.first, std::move(reading));
        f.changed.notify_all();
    }
}

} // namespace

bool StreamPages(const PageFlow& flow, int jobs, std::size_t window) {
    Flow f;
    const int workers = std::max(jobs, 1);
    window = std::max<std::size_t>(window, static_cast<std::size_t>(workers));
    std::vector<std::thread> threads;
    threads.emplace_back([&] { FeedInput(f, flow, window); });
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&] { Work(f, flow); });
    auto stopAll = [&] {
        {
            std::lock_guard lock(f.mutex);
            f.stop = true;
            f.changed.notify_all();
        }
        for (auto& t : threads)
            t.join();
    };
    bool whole = true;
    try {
        for (;;) {
            PageReading next;
            {
                std::unique_lock lock(f.mutex);
                f.changed.wait(lock, [&] {
                    return f.done.count(f.taken) || (f.inputEnded && f.taken == f.given);
                });
                if (!f.done.count(f.taken))
                    break;
                auto node = f.done.extract(f.taken);
                next = std::move(node.mapped());
            }
            const bool goOn = flow.take(std::move(next));
            {
                std::lock_guard lock(f.mutex);
                ++f.taken;
                f.changed.notify_all();
            }
            if (!goOn) {
                whole = false;
                break;
            }
        }
    } catch (...) {
        stopAll();
        throw;
    }
    stopAll();
    if (f.inputError)
        std::rethrow_exception(f.inputError);
    return whole;
}

PageReading ReadPageData(const PageData& data, const LayoutSet& layouts) {
    if (!data.problem.empty())
        return FailedPage(data.source, Failure::Unreadable, data.problem);
    std::string problem;
    const cv::Mat grey = data.grey.empty() ? DecodePage(data, problem) : data.grey;
    if (grey.empty())
        return FailedPage(data.source, Failure::Unreadable,
                          problem.empty() ? std::string("无法读取文件") : problem);
    PageReading reading = ReadPage(grey, data.source, layouts);
    if (reading.status == PageStatus::Review)
        if (const Layout* layout = layouts.find(reading.layoutId))
            for (const Page& page : layout->pages)
                if (page.number == reading.layoutPage)
                    reading.pictures = PicturesToReview(grey, reading, page);
    return reading;
}

} // namespace scan
