// The renaming engine over a folder of camera JPEGs: the scan against the bare
// read loop, name regeneration, and the rename run against a bare renameat2
// loop over the same files, plus a run in which every row's target is held by
// the next row.

#include "bench_folder.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "name_generation.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "safe_rename.h"
#include "undo_run.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;

namespace {

// Renames every file inside the folder, `from[i]` to `to[i]`; false on error.
bool RenameAll(int dirFd, const std::vector<std::string>& from,
               const std::vector<std::string>& to) {
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (renameat2(dirFd, from[i].c_str(), dirFd, to[i].c_str(), RENAME_NOREPLACE) != 0)
            return false;
    }
    return true;
}

std::vector<std::string> TargetNames(const std::vector<std::string>& names) {
    std::vector<std::string> targets;
    for (const std::string& name : names)
        targets.push_back("Renamed_" + name);
    return targets;
}

void BM_BareLoop(benchmark::State& state) {
    bench::BareReadLoop(state, bench::Folder().Paths());
}

// The scan with a read-ahead window of state.range(0) files: what the window
// costs when the files are in memory already.
void BM_EngineScan(benchmark::State& state) {
    CScanOptions options;
    options.nReadAhead = static_cast<int>(state.range(0));
    CListRows rows;
    for (auto _ : state) {
        bool listed = false;
        const unsigned count =
            ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed, nullptr, options);
        if (!listed || count != bench::Folder().Names().size()) {
            state.SkipWithError("the scan did not list and date every file");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(bench::Folder().Names().size()));
}

// The folder fresh from the device: its pages dropped before each repetition.
void BM_ColdBareLoop(benchmark::State& state) {
    bench::BareReadLoop(state, bench::Folder().Paths(), 0, true);
}

// The best a single process does: 64 files asked for ahead.
void BM_ColdBareLoopAhead(benchmark::State& state) {
    bench::BareReadLoop(state, bench::Folder().Paths(), 64, true);
}

// The engine scan with a read-ahead window of state.range(0) files.
void BM_ColdEngineScan(benchmark::State& state) {
    const std::vector<std::string> paths = bench::Folder().Paths();
    CScanOptions options;
    options.nReadAhead = static_cast<int>(state.range(0));
    CListRows rows;
    for (auto _ : state) {
        state.PauseTiming();
        bench::EvictFromPageCache(paths);
        state.ResumeTiming();
        bool listed = false;
        ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed, nullptr, options);
        if (!listed) {
            state.SkipWithError("the scan did not list the folder");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

void BM_NameRegeneration(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed);
    const char* formats[] = {"Img%Y%m%d_%H%M%S_%C", "Img%Y%m%d_%H%M%S_%"};
    std::size_t keystroke = 0;
    for (auto _ : state) {
        // Alternates two formats, as typing does.
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2]));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}

// The same with the list's counters in braces: the clash suffix needs a pass
// over the whole list after the rows are named. The folder's dates repeat,
// so that most names of the second format clash.
void BM_NameRegenerationCounters(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed);
    const char* formats[] = {"%Y%m%d_%{day}%{n}", "IMG_%Y%m%d_%H%M%S%{n}"};
    std::size_t keystroke = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2]));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}

// The same with value codes, whose texts the scan's facts give.
void BM_ValueCodeRegeneration(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    CDeviceTable devices;
    CTextTable lenses;
    ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed, nullptr, {}, nullptr, &devices,
               &lenses);
    const CNameFacts facts{&devices, &lenses, FolderNameOf(bench::Folder().Path())};
    const char* formats[] = {"%Y%m%d_%{device}_%{lens}", "%Y%m%d_%{device}_%{name}"};
    std::size_t keystroke = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2], &facts));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}

// The check of the names a rename would refuse, which the window runs once
// typing pauses: it holds the window while it runs.
void BM_RefusalCheck(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    ScanFolder(bench::Folder().Path(), "%Y%m%d", rows, listed); // many clashes
    const CFolderHandle folder(bench::Folder().Path());
    for (auto _ : state)
        benchmark::DoNotOptimize(FindRefusedRows(folder, rows));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}

void BM_BareRenameLoop(benchmark::State& state) {
    const int dirFd = open(bench::Folder().Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = bench::Folder().Names();
    const std::vector<std::string> targets = TargetNames(names);
    for (auto _ : state) {
        if (!RenameAll(dirFd, names, targets))
            state.SkipWithError("bare rename failed");
        state.PauseTiming();
        const bool back = RenameAll(dirFd, targets, names);
        state.ResumeTiming();
        if (!back)
            state.SkipWithError("cannot restore the folder");
    }
    close(dirFd);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

// Rows to rename every file to its own fresh name, each with the file
// identity a scan would have recorded.
CListRows PlainRows(int dirFd, const std::vector<std::string>& names,
                    const std::vector<std::string>& targets) {
    CListRows rows(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        rows[i].SetText(0, names[i]);
        rows[i].SetText(1, targets[i]);
        rows[i].nImage = RowToRename;
        struct stat st {};
        if (fstatat(dirFd, names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            rows[i].SetId(CFileId::FromStat(st.st_dev, st.st_ino));
    }
    return rows;
}

// The journals of the benchmark runs, beside the folder.
const CJournalStore& Journals() {
    static const CJournalStore store(bench::Folder().Path() + ".journals");
    return store;
}

// Runs the rename over rows from `names` to `targets`, journaled unless
// `journals` is null, then puts the files back (not timed). The way back goes
// from the first row to the last: each row's old name is free once the row
// before has left it.
void MeasureRenameRun(benchmark::State& state, const std::vector<std::string>& targets,
                      const CJournalStore* journals = &Journals()) {
    const int dirFd = open(bench::Folder().Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = bench::Folder().Names();
    for (auto _ : state) {
        state.PauseTiming();
        CListRows rows = PlainRows(dirFd, names, targets);
        state.ResumeTiming();
        const CRenameOutcome outcome = RunRename(
            bench::Folder().Path(), rows, static_cast<unsigned>(rows.size()), nullptr, journals);
        state.PauseTiming();
        const bool back = RenameAll(dirFd, targets, names);
        state.ResumeTiming();
        if (outcome.kind != CRenameOutcome::AllRenamed || !back)
            state.SkipWithError("the rename run did not rename every file");
    }
    close(dirFd);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

void BM_RenameRun(benchmark::State& state) {
    MeasureRenameRun(state, TargetNames(bench::Folder().Names()));
}

void BM_RenameRunUnjournaled(benchmark::State& state) {
    MeasureRenameRun(state, TargetNames(bench::Folder().Names()), nullptr);
}

// The rename (not timed), then the undo of it from its journal.
void BM_UndoRun(benchmark::State& state) {
    const int dirFd = open(bench::Folder().Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = bench::Folder().Names();
    const std::vector<std::string> targets = TargetNames(names);
    for (auto _ : state) {
        state.PauseTiming();
        CListRows rows = PlainRows(dirFd, names, targets);
        const CRenameOutcome outcome = RunRename(
            bench::Folder().Path(), rows, static_cast<unsigned>(rows.size()), nullptr, &Journals());
        state.ResumeTiming();
        const CUndoOutcome undo = RunUndo(bench::Folder().Path(), Journals());
        if (outcome.kind != CRenameOutcome::AllRenamed ||
            undo.nRestored != static_cast<int>(names.size()))
            state.SkipWithError("the undo did not give every file its name back");
    }
    close(dirFd);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

// Row i wants the name row i + 1 holds; the last row wants a free name. Each
// rename first moves the next row's file aside.
void BM_RotationRun(benchmark::State& state) {
    const std::vector<std::string>& names = bench::Folder().Names();
    std::vector<std::string> targets(names.begin() + 1, names.end());
    targets.push_back("IMG_last.jpg");
    MeasureRenameRun(state, targets);
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineScan)->Arg(0)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColdBareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColdBareLoopAhead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColdEngineScan)
    ->Arg(0)
    ->Arg(8)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_NameRegeneration)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NameRegenerationCounters)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ValueCodeRegeneration)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefusalCheck)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareRenameLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenameRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenameRunUnjournaled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UndoRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotationRun)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return bench::RunWithFolder(argc, argv, [](const bench::CRatioReporter& reporter) {
        reporter.PrintRatios(
            {{"BM_EngineScan/32", "BM_BareLoop", "<= 3"},
             {"BM_EngineScan/32", "BM_EngineScan/0", "no cost in memory"},
             {"BM_ColdEngineScan/32", "BM_ColdBareLoopAhead", "<= 1.3"},
             {"BM_ColdEngineScan/0", "BM_ColdEngineScan/32", "the speed-up of the read-ahead"},
             {"BM_RenameRun", "BM_BareRenameLoop", "<= 2"},
             {"BM_RenameRun", "BM_RenameRunUnjournaled", "<= 1.2"},
             {"BM_UndoRun", "BM_RenameRun", "<= 2"},
             // Two renames per file (aside, then home): about 2-3 whatever the size.
             {"BM_RotationRun", "BM_BareRenameLoop", "linear, not growing with the file count"}});
        // The target tightens for the largest lists, which need a frame's time.
        std::printf("BM_NameRegeneration: %.2f ms per keystroke at %zu rows (target <= %d)\n",
                    reporter.Time("BM_NameRegeneration"), bench::Folder().Names().size(),
                    bench::Folder().Names().size() >= 100000 ? 8 : 10);
    });
}
