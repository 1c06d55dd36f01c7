#pragma once

// What every benchmark shares: a generated folder of camera JPEGs in the page
// cache, the bare read loop they are measured against, and a console
// reporter that prints the ratios of median times at the end.

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

// A temporary folder of `count` camera photos (20..60 KB, EXIF dates, image
// bytes), IMG_00000.jpg upwards, read through once so that it is cached;
// removed by the destructor.
class CBenchFolder {
public:
    explicit CBenchFolder(int count);
    ~CBenchFolder();
    CBenchFolder(const CBenchFolder&) = delete;
    CBenchFolder& operator=(const CBenchFolder&) = delete;

    bool Ok() const { return m_ok; }
    const std::string& Path() const { return m_path; }
    const std::vector<std::string>& Names() const { return m_names; }
    std::vector<std::string> Paths() const;

private:
    std::string m_path;
    std::vector<std::string> m_names;
    bool m_ok = false;
};

// Writes `count` photos as CBenchFolder does into an existing folder; their
// names in `names`. False when one could not be written.
bool WriteBenchPhotos(const std::string& folder, int count, std::vector<std::string>& names);

// Writes a photo library of `files` small photos (2.5..4 KB each, so that a
// million take about 4 GB; each file its own bytes and its own date, 13
// minutes after the one before) over `folders` nested folders below the
// existing folder `root`: folder k (1..folders) is "F<k>" inside folder
// (k - 1) / 16 (0 is `root`), so that 10,000 folders nest four deep, and
// each folder holds an equal run of consecutive photos, IMG_0000000.jpg
// upwards. False when a folder or file could not be written.
bool WriteBenchTree(const std::string& root, int files, int folders);

// Opens, reads 64 KiB of and closes every file: what any reader must pay.
// With `ahead`, each file is opened and asked for (POSIX_FADV_WILLNEED) that
// many files before it is read: the best a single process does on a device
// that is not in memory. With `cold`, the files' pages are dropped from the
// page cache before each repetition (not timed).
void BareReadLoop(benchmark::State& state, const std::vector<std::string>& paths, int ahead = 0,
                  bool cold = false);

// Drops the files' pages from the page cache (POSIX_FADV_DONTNEED; no
// privileges needed), so that the next read goes to the device.
void EvictFromPageCache(const std::vector<std::string>& paths);

// Console output plus "A/B: ratio (target <= t)" lines at the end, from the
// median real time of each benchmark (by function name and argument).
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    CRatioReporter();
    void ReportRuns(const std::vector<Run>& runs) override;
    double Time(const std::string& name) const; // 0 when it did not run
    bool Failed() const { return m_failed; }
    struct Ratio {
        std::string numerator;
        std::string denominator;
        std::string target; // what the ratio should stay within
    };
    // Prints one line per ratio whose two benchmarks ran.
    void PrintRatios(const std::vector<Ratio>& ratios) const;

private:
    std::map<std::string, std::vector<double>> m_times;
    std::map<std::string, double> m_medians;
    bool m_failed = false;
};

// The folder of the running benchmark program (see RunWithFolder).
const CBenchFolder& Folder();

// The main of every benchmark program: takes --files=N (or
// VELMORA_BENCH_FILES, default 10,000), writes the folder, runs the
// benchmarks, hands the reporter to `summary` for the ratio lines and removes
// the folder. Exit status 1 when a benchmark failed, 2 for bad arguments.
int RunWithFolder(int argc, char** argv, const std::function<void(const CRatioReporter&)>& summary);

// Takes --files=N (or VELMORA_BENCH_FILES) out of the arguments, which the
// benchmark library would refuse; `fallback` when neither is given.
int TakeFileCount(int& argc, char** argv, int fallback = 10000);

} // namespace bench
