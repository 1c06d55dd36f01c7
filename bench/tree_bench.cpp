// A photo library as a tree (WriteBenchTree): the tree scan against a bare
// loop that walks the same tree and reads 64 KiB of each file, warm and cold,
// what each row costs, and a run that gathers the files into date folders
// against a bare mkdirat + renameat2 loop over the same moves. Each pair takes
// turns within every iteration and reports its "ratio" counter.
//   velmora_bench_tree [--files=N] [--folders=M] [benchmark options]
// N files (default 100,000) over M folders (default N / 100).

#include "bench_folder.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "name_generation.h"
#include "rename_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

// The format of the run into date folders.
constexpr const char* kDateFolders = "%Y/%m/%d/IMG_%H%M%S";

std::string g_root; // the tree
int g_files = 0;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool IsJpg(const char* name) {
    const std::size_t length = std::strlen(name);
    return length > 4 && strcasecmp(name + length - 4, ".jpg") == 0;
}

// Walks the tree depth first, each folder opened in its parent: `file` gets
// every *.jpg as its open folder and its name. No sorting, no status calls
// (the entry type says what is a folder): the least a walk does.
void WalkTree(const std::string& root, const std::function<void(int, const char*)>& file) {
    std::vector<int> pending{open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    while (!pending.empty()) {
        const int fd = pending.back();
        pending.pop_back();
        DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
        if (dir == nullptr)
            continue;
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_type == DT_DIR && entry->d_name[0] != '.')
                pending.push_back(openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            else if (entry->d_type == DT_REG && IsJpg(entry->d_name))
                file(fd, entry->d_name);
        }
        closedir(dir);
    }
}

// The bare loop: the walk, and each file opened, read 64 KiB of and closed.
// With `ahead`, each file is opened and asked for (POSIX_FADV_WILLNEED) that
// many files before it is read: the best a single process does on a device
// that is not in memory. Returns the files read.
std::size_t BareTreeLoop(int ahead) {
    std::vector<char> buffer(64 * 1024);
    std::deque<int> opened; // asked for, not yet read
    std::size_t read = 0;
    const auto readOldest = [&] {
        const int fd = opened.front();
        opened.pop_front();
        if (fd < 0)
            return;
        read += ::read(fd, buffer.data(), buffer.size()) >= 0;
        close(fd);
    };
    WalkTree(g_root, [&](int dir, const char* name) {
        const int fd = openat(dir, name, O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ahead > 0)
            posix_fadvise(fd, 0, static_cast<off_t>(buffer.size()), POSIX_FADV_WILLNEED);
        opened.push_back(fd);
        if (opened.size() > static_cast<std::size_t>(ahead))
            readOldest();
    });
    while (!opened.empty())
        readOldest();
    return read;
}

// Drops the tree's file pages from the page cache (no privileges needed).
void EvictTree() {
    WalkTree(g_root, [](int dir, const char* name) {
        const int fd = openat(dir, name, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        fdatasync(fd); // only clean pages can be dropped
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    });
}

// The tree scan as the window and `velmora-cli list --recursive` run it;
// false unless it dated every file.
bool ScanTree(CListRows& rows, const std::string& format = kDefaultFormat) {
    CScanOptions options;
    options.bRecursive = true;
    bool listed = false;
    const unsigned count = ScanFolder(g_root, format, rows, listed, nullptr, options);
    return listed && count == static_cast<unsigned>(g_files);
}

// Takes turns: the bare loop, then the scan, each timed; with `cold` the
// tree's pages are dropped before each (not timed).
void MeasureScan(benchmark::State& state, bool cold, int ahead) {
    double scan = 0;
    double bare = 0;
    for (auto _ : state) {
        if (cold)
            EvictTree();
        Clock::time_point start = Clock::now();
        const std::size_t read = BareTreeLoop(ahead);
        const double yardstick = SecondsSince(start);
        if (cold)
            EvictTree();
        CListRows rows;
        start = Clock::now();
        const bool scanned = ScanTree(rows);
        const double seconds = SecondsSince(start);
        if (!scanned || read != static_cast<std::size_t>(g_files)) {
            state.SkipWithError("the scan or the bare loop missed files");
            break;
        }
        state.SetIterationTime(seconds);
        scan += seconds;
        bare += yardstick;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bare > 0 ? bare / iterations * 1000 : 0;
    state.counters["ratio"] = bare > 0 ? scan / bare : 0;
    state.SetItemsProcessed(state.iterations() * g_files);
}

// Target: ratio <= 1.3.
void BM_TreeScan(benchmark::State& state) {
    MeasureScan(state, false, 0);
}

// Against the bare loop asking for 64 files ahead. Target: ratio <= 1.3.
void BM_TreeScanCold(benchmark::State& state) {
    MeasureScan(state, true, 64);
}

// What the rows of a scanned tree hold beyond their two names, as the
// allocator counts it: the 64-byte rows in their vector and each row's one
// block of texts past the names, the allocator's own header and rounding
// included (target: at most 64 bytes beyond the names).
void BM_TreeRowMemory(benchmark::State& state) {
    for (auto _ : state) {
        // Blocks the allocator maps on their own (a large vector of rows) count too.
        const auto inUse = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
        const std::size_t before = inUse();
        CListRows rows;
        if (!ScanTree(rows)) {
            state.SkipWithError("the scan did not date every file");
            break;
        }
        const std::size_t heap = inUse() - before;
        double names = 0;
        for (const CListRow& row : rows)
            names += static_cast<double>(row.Text(0).size() + row.Text(1).size());
        const double count = static_cast<double>(rows.size());
        state.counters["name_bytes"] = names / count;
        state.counters["row_struct"] = sizeof(CListRow);
        state.counters["bytes_over_names"] = (static_cast<double>(heap) - names) / count;
    }
}

// One move of the run into date folders.
struct CMove {
    std::string strFrom;
    std::string strTo;
};

// Gives every file of `moves` its new place (or `back` its old one); false
// on error. The way out makes each new folder with mkdirat, each part from
// the one before, when no move before made it: what any such run must do.
bool MoveAll(int root, const std::vector<CMove>& moves, bool back) {
    std::unordered_set<std::string> made;
    for (const CMove& move : moves) {
        const std::string& from = back ? move.strTo : move.strFrom;
        const std::string& to = back ? move.strFrom : move.strTo;
        const std::size_t slash = to.rfind('/');
        if (!back && slash != std::string::npos && made.insert(to.substr(0, slash)).second) {
            for (std::size_t part = to.find('/'); part <= slash; part = to.find('/', part + 1)) {
                if (mkdirat(root, to.substr(0, part).c_str(), 0755) != 0 && errno != EEXIST)
                    return false;
            }
        }
        if (renameat2(root, from.c_str(), root, to.c_str(), RENAME_NOREPLACE) != 0)
            return false;
    }
    return true;
}

// Removes the date folders the moves made, deepest first, once empty again.
void RemoveDateFolders(int root, const std::vector<CMove>& moves) {
    std::vector<std::string> folders;
    for (const CMove& move : moves) {
        for (std::size_t part = move.strTo.find('/'); part != std::string::npos;
             part = move.strTo.find('/', part + 1))
            folders.push_back(move.strTo.substr(0, part));
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders)
        unlinkat(root, folder.c_str(), AT_REMOVEDIR);
}

// The journals of the runs, beside the tree.
const CJournalStore& Journals() {
    static const CJournalStore store(g_root + ".journals");
    return store;
}

// The run of `velmora-cli rename --recursive --create-folders` with the date
// folders' format (its lock, plan, identity checks, journal, made folders),
// after a scan that is not timed, against the bare loop over the same moves.
// Each puts the tree back (not timed). Target: ratio <= 1.5.
void BM_TreeMoveRun(benchmark::State& state) {
    const int root = open(g_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    double run = 0;
    double bare = 0;
    for (auto _ : state) {
        CListRows rows;
        if (!ScanTree(rows, kDateFolders)) {
            state.SkipWithError("the scan did not date every file");
            break;
        }
        std::vector<CMove> moves;
        for (const CListRow& row : rows)
            moves.push_back({std::string(row.Text(0)), std::string(row.Text(1))});
        Clock::time_point start = Clock::now();
        const CRenameOutcome outcome =
            RunRename(g_root, rows, static_cast<unsigned>(rows.size()), nullptr, &Journals(), {},
                      CRunChoices{.bCreateFolders = true});
        const double seconds = SecondsSince(start);
        bool ok = outcome.kind == CRenameOutcome::AllRenamed && MoveAll(root, moves, true);
        RemoveDateFolders(root, moves);
        start = Clock::now();
        ok = MoveAll(root, moves, false) && ok;
        const double yardstick = SecondsSince(start);
        ok = MoveAll(root, moves, true) && ok;
        RemoveDateFolders(root, moves);
        if (!ok) {
            state.SkipWithError("a move failed or the tree could not be put back");
            break;
        }
        state.SetIterationTime(seconds);
        run += seconds;
        bare += yardstick;
    }
    close(root);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bare > 0 ? bare / iterations * 1000 : 0;
    state.counters["ratio"] = bare > 0 ? run / bare : 0;
    state.SetItemsProcessed(state.iterations() * g_files);
}

BENCHMARK(BM_TreeScan)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_TreeScanCold)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_TreeRowMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TreeMoveRun)->Unit(benchmark::kMillisecond)->UseManualTime();

// Takes --folders=M out of the arguments; `fallback` without it.
int TakeFolderCount(int& argc, char** argv, int fallback) {
    int count = fallback;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--folders=", 10) == 0)
            count = std::atoi(argv[i] + 10);
        else
            argv[out++] = argv[i];
    }
    argc = out;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    g_files = bench::TakeFileCount(argc, argv, 100000);
    const int folders = TakeFolderCount(argc, argv, std::max(g_files / 100, 1));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv) || g_files < 1 || folders < 1)
        return 2;
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora_tree_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "cannot make the bench tree's folder\n");
        return 1;
    }
    g_root = pattern;
    const Clock::time_point start = Clock::now();
    const bool written = bench::WriteBenchTree(g_root, g_files, folders);
    std::printf("%d files in %d folders written in %.1f s\n", g_files, folders,
                SecondsSince(start));
    int status = 1;
    if (written) {
        BareTreeLoop(0); // in the page cache for the warm scans
        bench::CRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        std::printf("ratio: the scan over the bare walk and read (target <= 1.3, cold: with 64 "
                    "files asked for ahead), the run over bare mkdirat + renameat2 (<= 1.5)\n");
        status = reporter.Failed() ? 1 : 0;
    } else {
        std::fprintf(stderr, "cannot write the bench tree\n");
    }
    benchmark::Shutdown();
    std::error_code error;
    std::filesystem::remove_all(g_root, error);
    std::filesystem::remove_all(g_root + ".journals", error);
    return status;
}
