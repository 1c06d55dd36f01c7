// The reader over a folder of camera JPEGs against a bare loop that opens,
// reads 64 KiB of and closes each of the same files.

#include "bench_folder.h"
#include "jpeg_file.h"

#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<bench::CBenchFolder> g_folder;
std::vector<std::string> g_paths;

void BM_BareLoop(benchmark::State& state) {
    bench::BareReadLoop(state, g_paths);
}

void BM_ReaderScan(benchmark::State& state) {
    CJpegFile reader;
    for (auto _ : state) {
        std::time_t sum = 0;
        for (const std::string& path : g_paths) {
            // Every file carries a date; one without means the reader failed
            // and the figure would be meaningless.
            const std::time_t taken =
                reader.LoadJpeg(path.c_str()) ? reader.m_info.DateTakenAsTime() : 0;
            if (taken <= 0) {
                state.SkipWithError("the reader found no date in a bench file");
                return;
            }
            sum += taken;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_paths.size()));
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReaderScan)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const int count = bench::TakeFileCount(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv) || count < 1)
        return 2;
    g_folder = std::make_unique<bench::CBenchFolder>(count);
    if (!g_folder->Ok()) {
        std::fprintf(stderr, "cannot write the bench folder\n");
        return 1;
    }
    g_paths = g_folder->Paths();
    bench::CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios({{"BM_ReaderScan", "BM_BareLoop", "<= 3"}});
    g_folder.reset();
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
