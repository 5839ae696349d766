// The reader's accuracy on rendered sheets filled and spoilt as pupils,
// scanners and phones do: N sheets from a fixed seed, 96% of answers
// ordinary solid fills, 1% each light, half, erased, tick or cross, 3% of
// single-choice questions with two marks, every degradation the renderer
// has, 5% of sheets turned. Prints the wrong readings among ordinary fills,
// the answers wrong without review per million, the share of questions sent
// to review and the turned sheets read.
//
//   bench-scan-accuracy [--sheets N] [--seed S] [--dpi D] [--threads T] [--show K] [--jpeg Q]
//                       [--from FIRST]
#include "scan/Painting.h"
#include "scan/Reader.h"
#include "scan/SheetDesign.h"
#include "tools/render-sheet/SheetPicture.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

struct Counts {
    long sheets = 0, failed = 0, turned = 0, turnedRead = 0;
    long questions = 0, reviewed = 0, ordinary = 0, ordinaryWrong = 0, wrongUnreviewed = 0;
    long digits = 0, digitsWrongUnreviewed = 0;
    std::map<std::string, long> kinds, kindsWrong, kindsReviewed;
    std::map<std::string, std::vector<double>> darkness; // of each fill kind and of empty bubbles
    double readSeconds = 0, decodeSeconds = 0;
    void add(const Counts& o) {
        sheets += o.sheets;
        failed += o.failed;
        turned += o.turned;
        turnedRead += o.turnedRead;
        questions += o.questions;
        reviewed += o.reviewed;
        ordinary += o.ordinary;
        ordinaryWrong += o.ordinaryWrong;
        wrongUnreviewed += o.wrongUnreviewed;
        digits += o.digits;
        digitsWrongUnreviewed += o.digitsWrongUnreviewed;
        for (auto& [k, v] : o.kinds)
            kinds[k] += v;
        for (auto& [k, v] : o.kindsWrong)
            kindsWrong[k] += v;
        for (auto& [k, v] : o.kindsReviewed)
            kindsReviewed[k] += v;
        readSeconds += o.readSeconds;
        decodeSeconds += o.decodeSeconds;
        for (auto& [k, v] : o.darkness)
            darkness[k].insert(darkness[k].end(), v.begin(), v.end());
    }
};

cv::Mat ToMat(const QImage& grey) {
    cv::Mat m(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
              static_cast<std::size_t>(grey.bytesPerLine()));
    return m.clone();
}

std::mutex printing;
int jpegQuality = 0; // > 0: each picture read from a JPEG of this quality, its decoding timed
int showLeft = 0;

void Show(long sheet, const scan::ItemReading& item, const std::string& truth,
          const std::string& kinds) {
    std::lock_guard lock(printing);
    if (showLeft <= 0)
        return;
    --showLeft;
    std::printf("  sheet %ld %s: read \"%s\" truth \"%s\" (%s) doubts %zu darkness", sheet,
                item.label.c_str(), item.reading.c_str(), truth.c_str(), kinds.c_str(),
                item.doubts.size());
    for (const auto& b : item.bubbles)
        std::printf(" %s=%.2f", b.value.c_str(), b.darkness);
    std::printf("\n");
}

Counts ReadSheet(const scan::Layout& layout, const scan::LayoutSet& set, long sheet, unsigned seed,
                 double dpi) {
    Counts c;
    std::mt19937 random(seed + static_cast<unsigned>(sheet) * 7919u);
    std::vector<tools::Fill> fills = tools::RandomFills(layout, 0, random, 0.05);
    // 3% of single-choice questions get a second solid mark.
    const scan::Page& page = layout.pages[0];
    for (const scan::Question& q : page.questions) {
        if (q.kind != scan::QuestionKind::Single ||
            std::uniform_real_distribution<double>(0, 1)(random) >= 0.03)
            continue;
        std::set<std::string> used;
        for (const auto& f : fills)
            if (f.question == q.number)
                used.insert(f.value);
        for (const auto& b : q.bubbles)
            if (!used.count(b.value)) {
                fills.push_back({q.number, 0, b.value, tools::FillKind::Solid});
                break;
            }
    }
    const bool turned = std::uniform_int_distribution<int>(0, 19)(random) == 0;
    const int turn = turned ? 90 * std::uniform_int_distribution<int>(1, 3)(random) : 0;
    const QImage filled = tools::FilledPage(layout, 0, dpi, fills, random);
    const QImage picture = tools::Degrade(filled, tools::RandomDegradation(random, turn), random);
    const cv::Mat grey = ToMat(picture);
    if (std::getenv("BENCH_SCAN_DUMP"))
        picture.save(QString("/tmp/sheet-%1.png").arg(sheet));

    cv::Mat decoded = grey;
    scan::PageData data;
    if (jpegQuality > 0) {
        cv::imencode(".jpg", grey, data.encoded, {cv::IMWRITE_JPEG_QUALITY, jpegQuality});
        decoded.release();
    }
    const auto start = std::chrono::steady_clock::now();
    if (jpegQuality > 0) {
        std::string problem;
        decoded = scan::DecodePage(data, problem);
        c.decodeSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const scan::PageReading r = scan::ReadPage(decoded, {"sheet.png", 0}, set);
    c.readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    c.sheets = 1;
    c.turned = turned;
    const bool read = r.status == scan::PageStatus::Ok || r.status == scan::PageStatus::Review;
    if (!read) {
        c.failed = 1;
        std::lock_guard lock(printing);
        std::printf("  sheet %ld: %s (%s) turn %d\n", sheet,
                    scan::StatusText(r.status, r.failure).c_str(), r.problem.c_str(), turn);
        c.questions = static_cast<long>(page.questions.size());
        c.wrongUnreviewed = 0; // a failed page is reported, never read wrong
        return c;
    }
    c.turnedRead = turned && r.turn == turn;
    for (const scan::ItemReading& item : r.questions) {
        std::string truth, kinds;
        bool ordinary = true;
        for (const auto& b : item.bubbles)
            for (const auto& f : fills)
                if (f.question == item.question && f.value == b.value) {
                    if (tools::CountsAsMarked(f.kind))
                        truth += b.value;
                    kinds += std::string(kinds.empty() ? "" : ",") + tools::FillName(f.kind);
                    if (f.kind != tools::FillKind::Solid) {
                        ordinary = false;
                        ++c.kinds[tools::FillName(f.kind)];
                    }
                }
        for (const auto& b : item.bubbles) {
            std::string kind = "empty";
            for (const auto& f : fills)
                if (f.question == item.question && f.value == b.value)
                    kind = tools::FillName(f.kind);
            c.darkness[kind].push_back(b.darkness);
        }
        const bool review = !item.doubts.empty();
        const bool wrong = item.reading != truth;
        ++c.questions;
        c.reviewed += review;
        if (ordinary) {
            ++c.ordinary;
            c.ordinaryWrong += wrong;
        } else {
            for (const auto& f : fills)
                if (f.question == item.question && f.kind != tools::FillKind::Solid) {
                    c.kindsWrong[tools::FillName(f.kind)] += wrong && !review;
                    c.kindsReviewed[tools::FillName(f.kind)] += review;
                }
        }
        c.wrongUnreviewed += wrong && !review;
        if ((wrong && !review) || (ordinary && (wrong || review)))
            Show(sheet, item, truth, kinds.empty() ? "blank" : kinds);
    }
    for (const scan::ItemReading& item : r.digits) {
        std::string truth;
        for (const auto& f : fills)
            if (f.question == 0 && "id" + std::to_string(f.digit) == item.label)
                truth = f.value;
        ++c.digits;
        const bool wrong = item.reading != truth;
        c.digitsWrongUnreviewed += wrong && item.doubts.empty();
        if (wrong || !item.doubts.empty())
            Show(sheet, item, truth, "digit");
    }
    return c;
}

} // namespace

int main(int argc, char** argv) {
    long sheets = 10000, from = 0;
    unsigned seed = 20240611;
    double dpi = 200;
    int threads = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--sheets")
            sheets = std::atol(argv[i + 1]);
        else if (a == "--seed")
            seed = static_cast<unsigned>(std::atol(argv[i + 1]));
        else if (a == "--dpi")
            dpi = std::atof(argv[i + 1]);
        else if (a == "--threads")
            threads = std::atoi(argv[i + 1]);
        else if (a == "--from")
            from = std::atol(argv[i + 1]);
        else if (a == "--jpeg")
            jpegQuality = std::atoi(argv[i + 1]);
        else if (a == "--show")
            showLeft = std::atoi(argv[i + 1]);
    }
    scan::EnsurePainting();
    scan::SheetSettings s;
    s.questions = 50;
    s.multi = 10;
    s.idDigits = 9;
    s.id = "bench";
    const scan::Layout layout = scan::DesignSheet(s);
    const scan::LayoutSet set({layout});

    std::atomic<long> next{0};
    Counts total;
    std::mutex adding;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            Counts mine;
            for (long i; (i = from + next++) < from + sheets;)
                mine.add(ReadSheet(layout, set, i, seed, dpi));
            std::lock_guard lock(adding);
            total.add(mine);
        });
    for (auto& w : workers)
        w.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("sheets %ld at %.0f dpi (seed %u), %.0f s; a page: decoding %.1f ms, reading %.1f "
                "ms (with %d threads)\n",
                total.sheets, dpi, seed, seconds, 1000 * total.decodeSeconds / total.sheets,
                1000 * (total.readSeconds - total.decodeSeconds) / total.sheets, threads);
    std::printf("pages not read:                     %ld\n", total.failed);
    std::printf("wrong readings among ordinary fills: %ld of %ld questions\n", total.ordinaryWrong,
                total.ordinary);
    std::printf("answers wrong without review:        %ld of %ld (%.1f per million)\n",
                total.wrongUnreviewed, total.questions,
                1e6 * total.wrongUnreviewed / std::max(1L, total.questions));
    std::printf("questions sent to review:            %ld (%.2f%%)\n", total.reviewed,
                100.0 * total.reviewed / std::max(1L, total.questions));
    std::printf("exam-number digits wrong unreviewed: %ld of %ld\n", total.digitsWrongUnreviewed,
                total.digits);
    std::printf("turned sheets read:                  %ld of %ld\n", total.turnedRead,
                total.turned);
    for (const auto& [kind, n] : total.kinds)
        std::printf("  %-6s %6ld answers, %5ld reviewed, %4ld wrong unreviewed\n", kind.c_str(), n,
                    total.kindsReviewed[kind], total.kindsWrong[kind]);
    for (auto& [kind, v] : total.darkness) {
        std::sort(v.begin(), v.end());
        const auto q = [&](double at) { return v[static_cast<std::size_t>(at * (v.size() - 1))]; };
        std::printf("  darkness %-6s min %.2f  1%% %.2f  median %.2f  99%% %.2f  max %.2f\n",
                    kind.c_str(), v.front(), q(0.01), q(0.5), q(0.99), v.back());
    }
    return 0;
}
