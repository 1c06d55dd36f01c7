// LoadImage over a folder of mixed types (HEIC, movies, TIFF-structured raw,
// JPEG: real files from the corpus, copied over and over; builder-made ones
// when the corpus is absent) against the bare loop that opens, reads 64 KiB of
// and closes each of the same files. Counters give the bytes each type's
// reader takes from a file. Then what one crafted PNG costs: 65 KB whose eight
// raw EXIF profiles inflate to 8 MiB of hex each (a figure of its own, under
// 50 ms).

#include "bench_folder.h"
#include "folder_scan.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "name_generation.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace testdata;

namespace {

struct Sample {
    std::string type; // counter name
    std::string extension;
    Bytes bytes;
};

Bytes ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Sample> Samples() {
    const fs::path corpus = fs::path(VELMORA_CORPUS_DIR);
    if (fs::exists(corpus / "formats" / "tags.tsv")) {
        return {{"heic", "HEIC", ReadWhole(corpus / "formats/Apple_iPhone_11_Pro.HEIC")},
                {"mp4", "mp4", ReadWhole(corpus / "formats/with_gps.mp4")},
                {"mov", "mov", ReadWhole(corpus / "formats/Apple_iPhone_6.mov")},
                {"raw", "tif", ReadWhole(corpus / "formats/Canon_EOS_5D.tif")},
                {"jpeg", "jpg", ReadWhole(corpus / "Nikon_D70.jpg")}};
    }
    const Bytes tiff = CameraTiff(ByteOrder::Intel, "2020:01:02 03:04:05").Build();
    HeifOptions heif;
    heif.tiff = tiff;
    MovieOptions movie;
    movie.creationTime = 3700000000;
    movie.mediaSize = 200000;
    const CTiffBuilder camera = CameraTiff(ByteOrder::Motorola, "2020:01:02 03:04:05");
    return {{"heic", "heic", HeifFile(heif)},
            {"mp4", "mp4", MovieFile(movie)},
            {"raw", "nef", tiff},
            {"jpeg", "jpg", CJpegBuilder::Photo(&camera)}};
}

// The mixed folder, written once for the whole program.
struct MixedFolder {
    std::string path;
    std::vector<std::string> files;
    std::vector<std::size_t> sampleOf; // index into samples, per file
    std::vector<Sample> samples;
    std::string crafted; // the crafted PNG, beside the folder
};

MixedFolder* g_folder = nullptr;

void BM_BareLoop(benchmark::State& state) {
    bench::BareReadLoop(state, g_folder->files);
}

void BM_LoadImage(benchmark::State& state) {
    CJpegFile reader;
    std::vector<double> bytes(g_folder->samples.size());
    std::vector<double> count(g_folder->samples.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < g_folder->files.size(); ++i) {
            // Every sample carries a date: one without means a reader failed.
            if (!reader.LoadImage(g_folder->files[i].c_str()) || reader.m_info.m_dtTaken == 0) {
                state.SkipWithError("a file was read without its date");
                return;
            }
            bytes[g_folder->sampleOf[i]] += static_cast<double>(reader.m_nBytesRead);
            count[g_folder->sampleOf[i]] += 1;
        }
    }
    for (std::size_t s = 0; s < bytes.size(); ++s)
        state.counters["bytes_" + g_folder->samples[s].type] = bytes[s] / count[s];
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_folder->files.size()));
}

// The whole scan with every type listed, warm or (cold) fresh from the
// device each repetition.
void MixedScan(benchmark::State& state, bool cold) {
    velmora::CScanOptions options;
    options.bAllTypes = true;
    CListRows rows;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            bench::EvictFromPageCache(g_folder->files);
            state.ResumeTiming();
        }
        bool listed = false;
        const unsigned count = velmora::ScanFolder(g_folder->path, velmora::kDefaultFormat, rows,
                                                   listed, nullptr, options);
        if (count != g_folder->files.size()) {
            state.SkipWithError("the scan did not date every file");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_folder->files.size()));
}

void BM_MixedScan(benchmark::State& state) {
    MixedScan(state, false);
}

void BM_ColdMixedScan(benchmark::State& state) {
    MixedScan(state, true);
}

void BM_CraftedPng(benchmark::State& state) {
    CJpegFile reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.LoadImage(g_folder->crafted.c_str()));
    state.counters["inflated"] = static_cast<double>(reader.m_nBytesInflated);
}

void BM_ColdBareLoopAhead(benchmark::State& state) {
    bench::BareReadLoop(state, g_folder->files, 64, true);
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadImage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MixedScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColdBareLoopAhead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColdMixedScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CraftedPng)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const int count = bench::TakeFileCount(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv) || count < 1)
        return 2;
    MixedFolder folder;
    folder.samples = Samples();
    std::string pattern = (fs::temp_directory_path() / "velmora_formats_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    folder.path = pattern;
    for (int i = 0; i < count; ++i) {
        const std::size_t s = static_cast<std::size_t>(i) % folder.samples.size();
        char name[32];
        std::snprintf(name, sizeof(name), "F_%05d.", i);
        folder.files.push_back(folder.path + "/" + name + folder.samples[s].extension);
        folder.sampleOf.push_back(s);
        if (!WriteFile(folder.files.back(), folder.samples[s].bytes)) {
            std::fprintf(stderr, "cannot write the bench folder\n");
            fs::remove_all(folder.path);
            return 1;
        }
    }
    folder.crafted = folder.path + "_crafted.png";
    if (!WriteFile(folder.crafted, ProfilesPng(true, (4 << 20) + 1, 8))) {
        std::fprintf(stderr, "cannot write the crafted file\n");
        fs::remove_all(folder.path);
        return 1;
    }
    g_folder = &folder;
    bench::CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios({{"BM_LoadImage", "BM_BareLoop", "<= 3"},
                          {"BM_MixedScan", "BM_BareLoop", "<= 3"},
                          {"BM_ColdMixedScan", "BM_ColdBareLoopAhead", "<= 1.3"}});
    benchmark::Shutdown();
    fs::remove_all(folder.path);
    fs::remove(folder.crafted);
    return reporter.Failed() ? 1 : 0;
}
