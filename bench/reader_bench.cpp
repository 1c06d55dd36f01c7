// Reader scan against a bare I/O loop over the same folder of JPEG files.
// The folder (VELMORA_BENCH_FILES files, default 10,000, or --files=N) is
// written once into a temporary folder and read through once, so that both
// benchmarks see a warm page cache and differ only in what they do per file.

#include "jpeg_builder.h"
#include "jpeg_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using namespace testdata;

namespace {

constexpr std::size_t kBareReadSize = 64 * 1024;
constexpr int kDefaultFileCount = 10000;

std::vector<std::string> g_files;

// Entropy-coded data stand-in: any byte, with every 0xFF stuffed by a 0x00
// as in real scans, so that the file stays a well-formed JPEG.
Bytes ImageBytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes;
    bytes.reserve(size + size / 128);
    std::uint32_t state = seed * 2654435761u + 1;
    while (bytes.size() < size) {
        state = state * 1664525u + 1013904223u;
        const auto b = static_cast<std::uint8_t>(state >> 24);
        bytes.push_back(b);
        if (b == 0xFF)
            bytes.push_back(0x00);
    }
    return bytes;
}

// A camera photo of 20..60 KB: JFIF, EXIF, quantisation and Huffman tables,
// frame header, scan header, image bytes, end of image.
Bytes BenchPhoto(int index) {
    char date[32];
    std::snprintf(date, sizeof(date), "20%02d:%02d:%02d %02d:%02d:%02d", index % 20, index % 12 + 1,
                  index % 28 + 1, index % 24, index % 60, (index * 7) % 60);
    const CTiffBuilder tiff =
        CameraTiff(index % 2 == 0 ? ByteOrder::Intel : ByteOrder::Motorola, date);
    CJpegBuilder jpeg;
    jpeg.Soi().App0Jfif().Exif(tiff);
    jpeg.Section(0xDB, Bytes(130, 0x10));
    jpeg.FrameHeader(4000, 3000, 3);
    jpeg.Section(0xC4, Bytes(416, 0x01));
    jpeg.Sos();
    Bytes data = jpeg.Data();
    // Sos() ends with FF D9; the image bytes go in front of it.
    const std::size_t imageSize = 20000 + static_cast<std::size_t>(index) * 7919 % 40000;
    const Bytes image =
        ImageBytes(imageSize - std::min(imageSize, data.size()), static_cast<std::uint32_t>(index));
    data.insert(data.end() - 2, image.begin(), image.end());
    return data;
}

bool WriteFolder(const std::filesystem::path& folder, int count) {
    g_files.clear();
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "IMG_%05d.jpg", i);
        g_files.push_back((folder / name).string());
        if (!WriteFile(g_files.back(), BenchPhoto(i)))
            return false;
    }
    return true;
}

// Reads every file once in full so that neither benchmark pays for the disk.
void WarmPageCache() {
    std::vector<char> buffer(1 << 20);
    for (const std::string& path : g_files) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}

void BM_BareLoop(benchmark::State& state) {
    std::vector<char> buffer(kBareReadSize);
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const std::string& path : g_files) {
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                state.SkipWithError("cannot open a bench file");
                return;
            }
            const ssize_t n = read(fd, buffer.data(), buffer.size());
            bytes += n > 0 ? static_cast<std::size_t>(n) : 0;
            close(fd);
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_files.size()));
}

void BM_ReaderScan(benchmark::State& state) {
    CJpegFile reader;
    for (auto _ : state) {
        std::time_t sum = 0;
        for (const std::string& path : g_files) {
            // Every file of the folder carries a date; one without means the
            // reader failed and the figure would be meaningless.
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
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_files.size()));
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReaderScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console output, plus the time per folder pass of each benchmark for the
// ratio printed at the end.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that logs stay plain text.
    CRatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.error_occurred)
                m_failed = true;
            else if (run.run_type == Run::RT_Iteration)
                m_times[name].push_back(run.GetAdjustedRealTime());
            else if (run.aggregate_name == "median")
                m_medians[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Median over repetitions (the library's own when it reported only
    // aggregates), 0 when the benchmark did not run.
    double Time(const std::string& name) const {
        if (const auto median = m_medians.find(name); median != m_medians.end())
            return median->second;
        const auto it = m_times.find(name);
        if (it == m_times.end() || it->second.empty())
            return 0;
        std::vector<double> times = it->second;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    bool Failed() const { return m_failed; }

private:
    std::map<std::string, std::vector<double>> m_times;
    std::map<std::string, double> m_medians;
    bool m_failed = false;
};

// Takes --files=N out of the arguments (the benchmark library refuses unknown ones).
int TakeFileCount(int& argc, char** argv) {
    int count = kDefaultFileCount;
    if (const char* env = std::getenv("VELMORA_BENCH_FILES"))
        count = std::atoi(env);
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--files=", 8) == 0)
            count = std::atoi(argv[i] + 8);
        else
            argv[out++] = argv[i];
    }
    argc = out;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const int count = TakeFileCount(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (count < 1) {
        std::fprintf(stderr, "the file count must be at least 1\n");
        return 2;
    }

    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const bool written = WriteFolder(folder, count);
    int status = 1;
    if (!written) {
        std::fprintf(stderr, "cannot write the bench folder %s\n", folder.c_str());
    } else {
        WarmPageCache();
        std::fprintf(stderr, "%d files in %s\n", count, folder.c_str());
        CRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        const double bare = reporter.Time("BM_BareLoop");
        const double scan = reporter.Time("BM_ReaderScan");
        if (bare > 0 && scan > 0)
            std::printf("ReaderScan/BareLoop: %.2f (target <= 3)\n", scan / bare);
        status = reporter.Failed() ? 1 : 0;
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    benchmark::Shutdown();
    return status;
}
