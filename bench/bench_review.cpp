// The review of a scan of 10,000 pages, its scan database made from readings
// drawn here (every 20th page with a question to review and its picture):
// the time to open the review, the time to show the next item's picture,
// the preview of another sensitivity, the rewrite of the table and an exam
// number decided by hand.
//
//   bench-review [--pages N]
#include "core/Workspace.h"
#include "scan/Reader.h"
#include "scan/Review.h"
#include "scan/ScanCommand.h"
#include "scan/SheetDesign.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

class QuietUi : public core::Ui {
  public:
    void message(const std::string& text, const std::string&, core::Icon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool question(const std::string&, const std::string&, core::GoOn) override { return true; }
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string& value) override {
        return value;
    }
    bool editFieldNames(core::FieldSettings&) override { return true; }
};

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

scan::PageReading Reading(const scan::Layout& layout, std::size_t n, std::mt19937& random) {
    scan::PageReading r;
    r.source = {"scans/batch.pdf", static_cast<int>(n + 1)};
    r.status = scan::PageStatus::Ok;
    r.layoutId = layout.id;
    r.layoutRevision = layout.revision;
    r.layoutPage = 1;
    r.threshold = 0.2;
    r.toPicture = {8, 0, 0, 0, 8, 0, 0, 0, 1};
    const scan::Page& page = layout.pages[0];
    std::uniform_real_distribution<double> paper(0.0, 0.06);
    const std::string number = std::to_string(100000000 + n);
    for (std::size_t c = 0; c < page.examNumber.size(); ++c) {
        scan::ItemReading d;
        d.label = "id" + std::to_string(c + 1);
        for (const auto& b : page.examNumber[c].bubbles)
            d.bubbles.push_back({b.value, b.value[0] == number[c] ? 0.9 : paper(random), false});
        r.digits.push_back(std::move(d));
    }
    for (const auto& q : page.questions) {
        scan::ItemReading item;
        item.label = "q" + std::to_string(q.number);
        item.question = q.number;
        const std::size_t answer = random() % q.bubbles.size();
        for (std::size_t b = 0; b < q.bubbles.size(); ++b) {
            double d = b == answer ? 0.9 : paper(random);
            if (n % 20 == 0 && q.number == 7 && b == answer)
                d = 0.21; // a light mark near the threshold
            item.bubbles.push_back({q.bubbles[b].value, d, false});
        }
        r.questions.push_back(std::move(item));
    }
    scan::Decide(r);
    if (r.status == scan::PageStatus::Review) {
        // A question's row as the scan cuts it: 6 px/mm, noisy paper.
        cv::Mat row(84, 290, CV_8UC1);
        cv::randu(row, 200, 255);
        std::vector<std::uint8_t> png;
        cv::imencode(".png", row, png);
        scan::ItemPicture picture;
        picture.label = "q7";
        picture.png.assign(png.begin(), png.end());
        for (int b = 0; b < 4; ++b)
            picture.frames.push_back({50 + 60 * b, 20, 40, 40});
        r.pictures.push_back(std::move(picture));
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t pages = 10000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--pages") == 0)
            pages = static_cast<std::size_t>(std::stoul(argv[i + 1]));
    const auto home =
        std::filesystem::temp_directory_path() / ("bench-review-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    {
        core::Workspace ws(home);
        ws.startUp();
        QuietUi ui;
        scan::SheetSettings design;
        design.questions = 60;
        design.idDigits = 9;
        design.id = "bench";
        const scan::Layout layout = scan::DesignSheet(design);
        scan::ScanSettings settings;
        settings.out = home / "期中.dbf";
        settings.jobs = 2;
        auto next = std::make_shared<std::size_t>(0);
        scan::PageFeed feed;
        feed.files = 1;
        feed.next = [next, pages]() -> std::optional<scan::PageData> {
            if (*next >= pages)
                return std::nullopt;
            scan::PageData d;
            d.source = {"scans/batch.pdf", static_cast<int>(++*next)};
            return d;
        };
        feed.read = [&layout](const scan::PageData& d) {
            std::mt19937 random(static_cast<unsigned>(d.source.page));
            return Reading(layout, static_cast<std::size_t>(d.source.page - 1), random);
        };
        auto start = std::chrono::steady_clock::now();
        const scan::ScanResult made = scan::ScanPages(ws, settings, {layout}, feed, ui);
        std::printf("scan database of %zu pages (%zu to review) made in %.2f s\n", made.pages,
                    made.review, Since(start));

        double open = 1e9;
        for (int round = 0; round < 3; ++round) {
            start = std::chrono::steady_clock::now();
            scan::Review review(ws, settings.out);
            open = std::min(open, Since(start));
        }
        scan::Review review(ws, settings.out);
        std::printf("open the review: %.3f s (best of 3), %zu items  [limit 1 s]\n", open,
                    review.items().size());

        double worst = 0, total = 0;
        const std::size_t shown = std::min<std::size_t>(review.items().size(), 200);
        for (std::size_t i = 0; i < shown; ++i) {
            start = std::chrono::steady_clock::now();
            const scan::ReviewPicture picture = review.picture(review.items()[i]);
            (void)review.reading(review.items()[i]);
            (void)review.bubbles(review.items()[i]);
            const double t = Since(start);
            if (picture.image.isNull())
                std::printf("item %zu has no picture: %s\n", i, picture.problem.c_str());
            worst = std::max(worst, t);
            total += t;
        }
        std::printf("next item's picture, reading and bubbles: %.2f ms mean, %.2f ms worst of %zu"
                    "  [limit 50 ms]\n",
                    1000 * total / static_cast<double>(std::max<std::size_t>(shown, 1)),
                    1000 * worst, shown);

        start = std::chrono::steady_clock::now();
        const scan::SensitivityPreview p = review.preview(7);
        std::printf("preview of sensitivity 7: %.2f s (%lld answers change, %lld -> %lld items)\n",
                    Since(start), p.answersChanged, p.itemsBefore, p.itemsAfter);
        start = std::chrono::steady_clock::now();
        review.decide(review.items()[0].page, review.items()[0].item, "A");
        (void)review.writeTable(ui);
        std::printf("decision and rewrite of the table: %.2f s\n", Since(start));
        // An exam number decided by hand: the whole stack decided again,
        // the first time from the scan database, then from memory.
        for (const char* number : {"100000001", "100000000"}) {
            start = std::chrono::steady_clock::now();
            review.decide(0, "id", number);
            std::printf("exam number decided, the stack decided again: %.2f s\n", Since(start));
        }
    }
    std::filesystem::remove_all(home);
    return 0;
}
