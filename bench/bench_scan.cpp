// The speed of the scan's reading: N pages of rendered A4 sheets as 300 dpi
// grey JPEG files, read through the scan's pool of workers beside a
// full-resolution grey decode of the same files by the same decoder and the
// same workers in the same run; pages per second of both, their ratio and
// the peak memory. The pictures are rendered once into a cache folder and
// reused by later runs.
//
//   bench-scan [--pages N] [--jobs J] [--cache DIR]
#include "scan/Painting.h"
#include "scan/Reader.h"
#include "scan/ScanPipeline.h"
#include "scan/SheetDesign.h"
#include "tools/render-sheet/SheetPicture.h"

#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

long PeakMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Renders the pages the cache does not hold yet; the pictures differ by
// their answers and exam numbers, drawn from a fixed seed.
std::vector<fs::path> RenderedPages(const scan::Layout& layout, const fs::path& cache, int pages) {
    fs::create_directories(cache);
    std::vector<fs::path> files;
    const int distinct = std::min(pages, 200);
    for (int i = 0; i < distinct; ++i) {
        const fs::path file = cache / ("sheet-" + std::to_string(i + 1) + ".jpg");
        if (!fs::exists(file)) {
            std::mt19937 random(static_cast<unsigned>(i + 1));
            const QImage page = tools::FilledPage(
                layout, 0, 300, tools::RandomFills(layout, 0, random, 0.05), random);
            if (!page.save(QString::fromStdString(file.string()), "JPG", 85))
                throw std::runtime_error("cannot write " + file.string());
        }
        files.push_back(file);
    }
    std::vector<fs::path> all;
    for (int i = 0; i < pages; ++i)
        all.push_back(files[static_cast<std::size_t>(i % distinct)]);
    return all;
}

// Seconds to run every file through the pool with `read`.
double Timed(const std::vector<fs::path>& files, int jobs,
             const std::function<scan::PageReading(const scan::PageData&)>& read,
             std::size_t& pages) {
    std::size_t next = 0;
    std::unique_ptr<scan::PageInput> input;
    scan::PageFlow flow;
    flow.next = [&]() -> std::optional<scan::PageData> {
        for (;;) {
            if (!input) {
                if (next >= files.size())
                    return std::nullopt;
                input = std::make_unique<scan::PageInput>(files[next++]);
            }
            if (auto page = input->next())
                return page;
            input.reset();
        }
    };
    flow.read = read;
    pages = 0;
    flow.take = [&](scan::PageReading&&) {
        ++pages;
        return true;
    };
    const auto start = std::chrono::steady_clock::now();
    scan::StreamPages(flow, jobs, static_cast<std::size_t>(2 * jobs + 2));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    int pages = 10000;
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    fs::path cache = "build-bench/scan-cache";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--pages"))
            pages = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--jobs"))
            jobs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cache"))
            cache = argv[i + 1];
    }
    if (pages < 1 || jobs < 1) {
        std::fprintf(stderr, "usage: bench-scan [--pages N] [--jobs J] [--cache DIR]\n");
        return 2;
    }
    scan::EnsurePainting();
    scan::SheetSettings design;
    design.questions = 60;
    design.id = "bench";
    const scan::Layout layout = scan::DesignSheet(design);
    const scan::LayoutSet layouts({layout});
    const auto files = RenderedPages(layout, cache / "a4-300dpi", pages);

    std::size_t decoded = 0, read = 0;
    const double decodeSeconds = Timed(
        files, jobs,
        [](const scan::PageData& d) {
            std::string problem;
            const cv::Mat grey = scan::DecodePage(d, problem, scan::DecodeSize::Full);
            scan::PageReading r;
            r.source = d.source;
            r.status = grey.empty() ? scan::PageStatus::Failed : scan::PageStatus::Ok;
            return r;
        },
        decoded);
    const double readSeconds = Timed(
        files, jobs, [&](const scan::PageData& d) { return scan::ReadPageData(d, layouts); }, read);
    std::printf("bench-scan: %d pages of 300 dpi grey JPEG, %d workers\n", pages, jobs);
    std::printf("  decode only: %.1f pages/s (%.1f s)\n", decoded / decodeSeconds, decodeSeconds);
    std::printf("  scan read:   %.1f pages/s (%.1f s)\n", read / readSeconds, readSeconds);
    std::printf("  read / decode time: %.2f\n", readSeconds / decodeSeconds);
    std::printf("  peak memory: %ld MB\n", PeakMb());
    return 0;
}
