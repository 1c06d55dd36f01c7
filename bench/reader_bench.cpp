// The reader over a folder of camera JPEGs against a bare loop that opens,
// reads 64 KiB of and closes each of the same files.

#include "bench_folder.h"
#include "jpeg_file.h"

namespace {

void BM_BareLoop(benchmark::State& state) {
    bench::BareReadLoop(state, bench::Folder().Paths());
}

void BM_ReaderScan(benchmark::State& state) {
    const std::vector<std::string> paths = bench::Folder().Paths();
    CJpegFile reader;
    for (auto _ : state) {
        std::time_t sum = 0;
        for (const std::string& path : paths) {
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
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReaderScan)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithFolder(argc, argv, [](const bench::CRatioReporter& reporter) {
        reporter.PrintRatios({{"BM_ReaderScan", "BM_BareLoop", "<= 3"}});
    });
}
