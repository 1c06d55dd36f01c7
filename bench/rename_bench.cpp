// The rename as velmora-cli runs it, whole: the scan of a freshly listed
// folder, then the run with its plan, identity checks and journal. Measured
// against what no rename of the folder can do without: the same scan, then a
// bare renameat2(RENAME_NOREPLACE) loop giving every file the same new name.
// Both take turns in each iteration; the "ratio" counter is the first over the
// second (target <= 1.3). For 100,000 files: --files=100000.

#include "bench_folder.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "name_generation.h"
#include "rename_run.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace velmora;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The folder as the scan found it: its rows, their names before any run, and
// the time the scan took.
struct CScanned {
    CListRows rows;
    unsigned nToRename = 0;
    std::vector<std::string> listed;
    std::vector<bool> toRename;
    double seconds = 0;
};

CScanned Scan() {
    CScanned scanned;
    const Clock::time_point start = Clock::now();
    bool listed = false;
    scanned.nToRename = ScanFolder(bench::Folder().Path(), kDefaultFormat, scanned.rows, listed);
    scanned.seconds = SecondsSince(start);
    for (const CListRow& row : scanned.rows) {
        scanned.listed.emplace_back(row.Text(0));
        scanned.toRename.push_back(row.nImage == RowToRename);
    }
    return scanned;
}

// Gives each file to be renamed its new name (column 1), or `back` its name
// from before; false on error.
bool RenameEach(int dirFd, const CScanned& scanned, bool back) {
    for (std::size_t i = 0; i < scanned.rows.size(); ++i) {
        if (!scanned.toRename[i])
            continue;
        const std::string target(scanned.rows[i].Text(1));
        const std::string& from = back ? target : scanned.listed[i];
        const std::string& to = back ? scanned.listed[i] : target;
        if (renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) != 0)
            return false;
    }
    return true;
}

// The journals of the runs, beside the folder.
const CJournalStore& Journals() {
    static const CJournalStore store(bench::Folder().Path() + ".journals");
    return store;
}

void BM_RenameWhole(benchmark::State& state) {
    const int dirFd = open(bench::Folder().Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    double run = 0;
    double bare = 0;
    for (auto _ : state) {
        // The scan and the run, as velmora-cli rename.
        CScanned scanned = Scan();
        Clock::time_point start = Clock::now();
        const CRenameOutcome outcome = RunRename(bench::Folder().Path(), scanned.rows,
                                                 scanned.nToRename, nullptr, &Journals());
        const double whole = scanned.seconds + SecondsSince(start);
        // Every file to be renamed has its column 1 as its name now.
        bool ok = outcome.kind == CRenameOutcome::AllRenamed && RenameEach(dirFd, scanned, true);
        // The scan and the bare loop.
        scanned = Scan();
        start = Clock::now();
        ok = RenameEach(dirFd, scanned, false) && ok;
        const double yardstick = scanned.seconds + SecondsSince(start);
        ok = RenameEach(dirFd, scanned, true) && ok;
        if (!ok) {
            state.SkipWithError("a rename failed or the folder could not be put back");
            break;
        }
        state.SetIterationTime(whole);
        run += whole;
        bare += yardstick;
    }
    close(dirFd);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["list+renameat2_ms"] = bare > 0 ? bare / iterations * 1000 : 0;
    state.counters["ratio"] = bare > 0 ? run / bare : 0;
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(bench::Folder().Names().size()));
}

BENCHMARK(BM_RenameWhole)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithFolder(argc, argv, [](const bench::CRatioReporter&) {
        std::printf("BM_RenameWhole: ratio = the scan and run over the scan and a bare "
                    "renameat2 loop (target: <= 1.3)\n");
    });
}
