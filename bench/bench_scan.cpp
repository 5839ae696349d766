// The speed of the scan's reading: N pages of rendered A4 sheets as 300 dpi
// grey JPEG files, read through the scan's pool of workers beside a
// full-resolution grey decode of the same files by the same decoder and the
// same workers in the same run; pages per second of both, their ratio and
// the peak memory. The pictures are rendered once into a cache folder and
// reused by later runs. With --pdf the same pictures are read from PDF
// files of 50 pages each, every page one embedded JPEG, as copiers write
// their scans.
//
//   bench-scan [--pages N] [--jobs J] [--cache DIR] [--pdf]
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
#include <fstream>
#include <iterator>
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

// A PDF whose pages are the given JPEG files, each covering an A4 page.
std::string CopierPdf(const std::vector<fs::path>& jpegs) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (const fs::path& file : jpegs) {
        const QImage picture(QString::fromStdString(file.string()));
        std::ifstream in(file, std::ios::binary);
        const std::string jpeg((std::istreambuf_iterator<char>(in)), {});
        const std::size_t page = objects.size() + 1;
        kids += std::to_string(page) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << "
                          "/XObject << /Im0 " +
                          std::to_string(page + 1) + " 0 R >> >> /Contents " +
                          std::to_string(page + 2) + " 0 R >>");
        objects.push_back("<< /Type /XObject /Subtype /Image /Width " +
                          std::to_string(picture.width()) + " /Height " +
                          std::to_string(picture.height()) +
                          " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode "
                          "/Length " +
                          std::to_string(jpeg.size()) + " >>\nstream\n" + jpeg + "\nendstream");
        objects.push_back("<< /Length 31 >>\nstream\nq 595 0 0 842 0 0 cm /Im0 Do Q\nendstream");
    }
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(jpegs.size()) + " >>";
    std::string pdf = "%PDF-1.4\n", xref;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", pdf.size());
        xref += line;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1), at = std::to_string(pdf.size());
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " +
           size + " /Root 1 0 R >>\nstartxref\n" + at + "\n%%EOF\n";
}

// The cached pictures as PDFs of 50 pages, and as many of them in turn as
// make `pages` pages (the last one whole).
std::vector<fs::path> CopierPdfs(const std::vector<fs::path>& jpegs, const fs::path& cache,
                                 int pages) {
    constexpr std::size_t kPagesPerPdf = 50;
    std::vector<fs::path> pdfs;
    for (std::size_t from = 0; from + kPagesPerPdf <= jpegs.size(); from += kPagesPerPdf) {
        const fs::path file =
            cache / ("copier-" + std::to_string(from / kPagesPerPdf + 1) + ".pdf");
        if (!fs::exists(file)) {
            std::ofstream out(file, std::ios::binary);
            out << CopierPdf({jpegs.begin() + static_cast<long>(from),
                              jpegs.begin() + static_cast<long>(from + kPagesPerPdf)});
        }
        pdfs.push_back(file);
    }
    if (pdfs.empty())
        throw std::runtime_error("--pdf needs at least 50 pages");
    std::vector<fs::path> all;
    for (std::size_t i = 0; i * kPagesPerPdf < static_cast<std::size_t>(pages); ++i)
        all.push_back(pdfs[i % pdfs.size()]);
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
    bool pdf = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--pdf"))
            pdf = true;
        else if (!std::strcmp(argv[i], "--pages") && hasValue)
            pages = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--jobs") && hasValue)
            jobs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--cache") && hasValue)
            cache = argv[++i];
        else
            pages = 0; // the usage below
    }
    if (pages < 1 || jobs < 1) {
        std::fprintf(stderr, "usage: bench-scan [--pages N] [--jobs J] [--cache DIR] [--pdf]\n");
        return 2;
    }
    scan::EnsurePainting();
    scan::SheetSettings design;
    design.questions = 60;
    design.id = "bench";
    const scan::Layout layout = scan::DesignSheet(design);
    const scan::LayoutSet layouts({layout});
    auto files = RenderedPages(layout, cache / "a4-300dpi", pages);
    if (pdf)
        files =
            CopierPdfs(RenderedPages(layout, cache / "a4-300dpi", 200), cache / "a4-300dpi", pages);

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
    std::printf("bench-scan: %zu pages of 300 dpi grey JPEG%s, %d workers\n", read,
                pdf ? " in PDF files of 50 pages" : "", jobs);
    std::printf("  decode only: %.1f pages/s (%.1f s)\n", decoded / decodeSeconds, decodeSeconds);
    std::printf("  scan read:   %.1f pages/s (%.1f s)\n", read / readSeconds, readSeconds);
    std::printf("  read / decode time: %.2f\n", readSeconds / decodeSeconds);
    std::printf("  peak memory: %ld MB\n", PeakMb());
    return 0;
}
