// Micro benchmarks of the hot routines: the mark conversions every scored
// question goes through, and the dBase reader's record decoding.
#include "platform/db/Dbf.h"
#include "scoring/MarkCodes.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

void BM_MarkToLetters(benchmark::State& state) {
    std::string content(100, '0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(48 + (i * 7) % 64);
    for (auto _ : state)
        for (char c : content)
            benchmark::DoNotOptimize(scoring::MarkToLetters(c));
    state.SetItemsProcessed(state.iterations() * static_cast<long>(content.size()));
}
BENCHMARK(BM_MarkToLetters);

void BM_DbfScan(benchmark::State& state) {
    auto file = std::filesystem::temp_directory_path() / "quillory-bench-micro.dbf";
    tools::AnswerTableLayout layout;
    layout.records = state.range(0);
    layout.questions = 100;
    tools::WriteAnswerTable(file, layout);
    for (auto _ : state) {
        db::Dbf dbf(file);
        std::string rec;
        for (std::uint32_t i = 0; i < dbf.recordCount(); ++i) {
            dbf.readRecord(i, rec);
            for (std::size_t f = 0; f < dbf.fields().size(); ++f)
                benchmark::DoNotOptimize(dbf.value(rec, f));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(file);
}
BENCHMARK(BM_DbfScan)->Arg(100000);

} // namespace

BENCHMARK_MAIN();
