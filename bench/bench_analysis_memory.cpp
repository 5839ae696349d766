// Exam-analysis benchmark: N sheets (default 1,000,000) of 100 questions (80
// single choice in two segments, 20 multiple choice) drawn from the
// item-response model and held in memory, their stored points worked out per
// mark as a scoring run stores them. Times one plain walk over the same
// sheets (every point and mark read once) beside the whole analysis (two
// walks and the figures), and the peak memory the analysis adds to the data.
// The database is not involved: the source hands out sheets from memory.
//
//   bench-analysis-memory [--records N]
#include "analysis/Analysis.h"
#include "tools/gen-answer-table/IrtModel.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Single = 80;
constexpr int Multi = 20;
constexpr int Questions = Single + Multi;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of this process: steadier than the wall clock on a shared machine.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Sheets in memory: the marks, 100 bytes a sheet; the points of every mark
// of every question from a table, as the scoring run's columns hold them.
class BenchSheets : public analysis::SheetSource {
  public:
    BenchSheets(long long records, const tools::AnswerKey& key, tools::IrtModel& model)
        : mRecords(records) {
        mMarks.resize(static_cast<std::size_t>(records) * Questions);
        std::string content;
        for (long long r = 0; r < records; ++r) {
            model.fill(static_cast<int>(r * 50 / records), content);
            std::copy(content.begin(), content.end(),
                      mMarks.begin() + static_cast<std::ptrdiff_t>(r * Questions));
        }
        tablePoints(key);
    }

    void forEach(const std::function<void(const analysis::Sheet&)>& visit) override {
        std::array<std::optional<float>, Questions> points;
        char number[16];
        for (long long r = 0; r < mRecords; ++r) {
            const char* marks = mMarks.data() + r * Questions;
            for (int k = 0; k < Questions; ++k)
                points[static_cast<std::size_t>(k)] =
                    mPoints[static_cast<std::size_t>(k)][static_cast<unsigned char>(marks[k])];
            const int length = std::snprintf(number, sizeof number, "2026%07lld", r);
            analysis::Sheet sheet;
            sheet.examNumber = std::string_view(number, static_cast<std::size_t>(length));
            sheet.record = r + 1;
            sheet.content = std::string_view(marks, Questions);
            sheet.points = points;
            visit(sheet);
        }
    }
    [[nodiscard]] std::int64_t sizeHint() const override { return mRecords; }

  private:
    // Single choice: 1 or 1.5 points for the key's mark; multiple choice: 2
    // for the key, 1 for a part of it.
    void tablePoints(const tools::AnswerKey& key) {
        std::vector<unsigned> masks;
        for (char c : key.single)
            if (c != ';')
                masks.push_back(1u << (c - 'A'));
        unsigned mask = 0;
        for (char c : key.multi + ";") {
            if (c == ';') {
                masks.push_back(mask);
                mask = 0;
            } else {
                mask |= 1u << (c - 'A');
            }
        }
        for (int k = 0; k < Questions; ++k) {
            const unsigned want = masks[static_cast<std::size_t>(k)];
            for (int b = 0; b < 256; ++b) {
                const unsigned got = b >= 48 && b <= 111 ? static_cast<unsigned>(b - 48) : 0u;
                float p = 0;
                if (k < Single)
                    p = got == want ? (k < 40 ? 1.0f : 1.5f) : 0.0f;
                else
                    p = got == want ? 2.0f : got && !(got & ~want) ? 1.0f : 0.0f;
                mPoints[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] = p;
            }
        }
    }

    long long mRecords;
    std::vector<char> mMarks;
    std::array<std::array<float, 256>, Questions> mPoints{};
};

} // namespace

int main(int argc, char** argv) {
    long long records = 1000000;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--records" && i + 1 < argc)
            records = std::atoll(argv[++i]);

    tools::IrtModel model(Questions, Multi, 4, 50, 2026);
    auto start = std::chrono::steady_clock::now();
    BenchSheets sheets(records, model.key(), model);
    std::printf("exam analysis of %lld sheets, %d single + %d multiple choice, from memory\n",
                records, Single, Multi);
    std::printf("%-44s %8.2f s\n", "drawing the sheets", Since(start));
    const double dataPeak = PeakMb();

    // The floor: every point and every mark read once.
    start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    double sum = 0;
    std::uint64_t marks = 0;
    sheets.forEach([&](const analysis::Sheet& s) {
        for (const auto& p : s.points)
            sum += p ? *p : 0.0f;
        for (char c : s.content)
            marks += static_cast<unsigned char>(c);
    });
    const double plain = Since(start);
    const double plainCpu = CpuSeconds() - cpu;
    std::printf("%-44s %8.2f s  %6.2f s cpu  (sum %.1f, marks %llu)\n", "one plain walk", plain,
                plainCpu, sum, static_cast<unsigned long long>(marks));

    scoring::ExamRun run;
    run.table = "bench";
    run.settings.counts = {40, 40};
    run.settings.points = {"1", "1.5"};
    run.settings.singleKey = model.key().single;
    run.settings.multiCount = Multi;
    run.settings.full = "2";
    run.settings.partial = "1";
    run.settings.multiKey = model.key().multi;
    start = std::chrono::steady_clock::now();
    cpu = CpuSeconds();
    const analysis::ExamAnalysis a = analysis::Analyze(scoring::AcceptedRun(run), sheets);
    const double analysed = Since(start);
    const double analysedCpu = CpuSeconds() - cpu;
    std::printf("%-44s %8.2f s  %6.2f s cpu  (%.2f x the plain walk's cpu; alpha %.3f)\n",
                "the analysis (two walks and the figures)", analysed, analysedCpu,
                analysedCpu / plainCpu, a.alpha.value_or(0));
    std::printf("%-44s %8.1f MB (the data: %.1f MB peak)\n", "peak memory added by the analysis",
                PeakMb() - dataPeak, dataPeak);
    return 0;
}
