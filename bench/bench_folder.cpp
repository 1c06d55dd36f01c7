#include "bench_folder.h"

#include "jpeg_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace testdata;

namespace bench {
namespace {

const CBenchFolder* g_folder = nullptr;

constexpr std::size_t kBareReadSize = 64 * 1024;

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

// A library photo of 2.5..4 KB, dated `index` times 13 minutes (and
// `index` % 60 seconds) after the start of 1995, UTC.
Bytes TreePhoto(int index) {
    const std::time_t taken = 788918400 + static_cast<std::time_t>(index) * 13 * 60 + index % 60;
    std::tm fields{};
    gmtime_r(&taken, &fields);
    char date[32];
    std::strftime(date, sizeof(date), "%Y:%m:%d %H:%M:%S", &fields);
    const CTiffBuilder tiff =
        CameraTiff(index % 2 == 0 ? ByteOrder::Intel : ByteOrder::Motorola, date);
    CJpegBuilder jpeg;
    jpeg.Soi().Exif(tiff);
    jpeg.FrameHeader(4000, 3000, 3);
    jpeg.Sos();
    Bytes data = jpeg.Data();
    const std::size_t imageSize = 2500 + static_cast<std::size_t>(index) * 7919 % 1500;
    const Bytes image =
        ImageBytes(imageSize - std::min(imageSize, data.size()), static_cast<std::uint32_t>(index));
    data.insert(data.end() - 2, image.begin(), image.end());
    return data;
}

// Writes the whole file with one system call, in the open folder `dir`.
bool WriteAt(int dir, const char* name, const Bytes& bytes) {
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return close(fd) == 0 && written;
}

// Reads every file once in full so that no benchmark pays for the disk.
void WarmPageCache(const std::vector<std::string>& paths) {
    std::vector<char> buffer(1 << 20);
    for (const std::string& path : paths) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
}

} // namespace

bool WriteBenchPhotos(const std::string& folder, int count, std::vector<std::string>& names) {
    names.clear();
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "IMG_%05d.jpg", i);
        names.emplace_back(name);
        if (!WriteFile(folder + "/" + name, BenchPhoto(i)))
            return false;
    }
    return true;
}

bool WriteBenchTree(const std::string& root, int files, int folders) {
    constexpr int kFanOut = 16;
    if (folders < 1)
        return false;
    std::vector<std::string> paths(static_cast<std::size_t>(folders) + 1, root);
    for (int k = 1; k <= folders; ++k) {
        char name[16];
        std::snprintf(name, sizeof(name), "/F%05d", k);
        paths[k] = paths[(k - 1) / kFanOut] + name; // a parent comes before its children
        if (mkdir(paths[k].c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    int dir = -1;
    int dirFolder = 0;
    for (int i = 0; i < files; ++i) {
        const int folder = 1 + static_cast<int>(static_cast<long long>(i) * folders / files);
        if (folder != dirFolder) {
            if (dir >= 0)
                close(dir);
            dir = open(paths[folder].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            dirFolder = folder;
            if (dir < 0)
                return false;
        }
        char name[32];
        std::snprintf(name, sizeof(name), "IMG_%07d.jpg", i);
        if (!WriteAt(dir, name, TreePhoto(i))) {
            close(dir);
            return false;
        }
    }
    if (dir >= 0)
        close(dir);
    return true;
}

CBenchFolder::CBenchFolder(int count) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return;
    m_path = pattern;
    if (!WriteBenchPhotos(m_path, count, m_names))
        return;
    WarmPageCache(Paths());
    m_ok = true;
}

CBenchFolder::~CBenchFolder() {
    if (m_path.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
    std::filesystem::remove_all(m_path + ".journals", error); // the rename runs' journals
}

std::vector<std::string> CBenchFolder::Paths() const {
    std::vector<std::string> paths;
    paths.reserve(m_names.size());
    for (const std::string& name : m_names)
        paths.push_back(m_path + "/" + name);
    return paths;
}

void EvictFromPageCache(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        fdatasync(fd); // only clean pages can be dropped
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

void BareReadLoop(benchmark::State& state, const std::vector<std::string>& paths, int ahead,
                  bool cold) {
    std::vector<char> buffer(kBareReadSize);
    const std::size_t window = static_cast<std::size_t>(ahead) + 1;
    std::vector<int> ring(window, -1); // file i in slot i % window
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            EvictFromPageCache(paths);
            state.ResumeTiming();
        }
        std::size_t bytes = 0;
        std::size_t opened = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            for (; opened < std::min(i + window, paths.size()); ++opened) {
                const int fd = open(paths[opened].c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0 && ahead > 0)
                    posix_fadvise(fd, 0, static_cast<off_t>(kBareReadSize), POSIX_FADV_WILLNEED);
                ring[opened % window] = fd;
            }
            const int fd = ring[i % window];
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
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

// Colours only on a terminal, so that logs stay plain text.
CRatioReporter::CRatioReporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void CRatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        const std::string name = run.run_name.str();
        if (run.error_occurred)
            m_failed = true;
        else if (run.run_type == Run::RT_Iteration)
            m_times[name].push_back(run.GetAdjustedRealTime());
        else if (run.aggregate_name == "median")
            m_medians[run.run_name.function_name +
                      (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
}

double CRatioReporter::Time(const std::string& name) const {
    for (const auto& [key, median] : m_medians) {
        if (key.rfind(name, 0) == 0)
            return median;
    }
    for (const auto& [key, times] : m_times) {
        if (key.rfind(name, 0) != 0 || times.empty())
            continue;
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    return 0;
}

void CRatioReporter::PrintRatios(const std::vector<Ratio>& ratios) const {
    for (const Ratio& ratio : ratios) {
        const double a = Time(ratio.numerator);
        const double b = Time(ratio.denominator);
        if (a > 0 && b > 0)
            std::printf("%s/%s: %.2f (target: %s)\n", ratio.numerator.c_str(),
                        ratio.denominator.c_str(), a / b, ratio.target.c_str());
    }
}

int TakeFileCount(int& argc, char** argv, int fallback) {
    int count = fallback;
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

} // namespace bench

namespace bench {

const CBenchFolder& Folder() {
    return *g_folder;
}

int RunWithFolder(int argc, char** argv,
                  const std::function<void(const CRatioReporter&)>& summary) {
    const int count = TakeFileCount(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv) || count < 1)
        return 2;
    const CBenchFolder folder(count);
    if (!folder.Ok()) {
        std::fprintf(stderr, "cannot write the bench folder\n");
        return 1;
    }
    g_folder = &folder;
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summary(reporter);
    g_folder = nullptr;
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}

} // namespace bench
