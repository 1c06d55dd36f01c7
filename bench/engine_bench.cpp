// The renaming engine over a folder of camera JPEGs: the scan against the bare
// read loop, name regeneration, and the rename run against a bare renameat2
// loop over the same files, plus a run in which every row's target is held by
// the next row.

#include "bench_folder.h"
#include "folder_scan.h"
#include "name_generation.h"
#include "rename_run.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace velmora;

namespace {

std::unique_ptr<bench::CBenchFolder> g_folder;
std::vector<std::string> g_paths;

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
    bench::BareReadLoop(state, g_paths);
}

void BM_EngineScan(benchmark::State& state) {
    CListRows rows;
    for (auto _ : state) {
        bool listed = false;
        const unsigned count = ScanFolder(g_folder->Path(), kDefaultFormat, rows, listed);
        if (!listed || count != g_paths.size()) {
            state.SkipWithError("the scan did not list and date every file");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(g_paths.size()));
}

void BM_NameRegeneration(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    ScanFolder(g_folder->Path(), kDefaultFormat, rows, listed);
    const char* formats[] = {"Img%Y%m%d_%H%M%S_%C", "Img%Y%m%d_%H%M%S_%"};
    std::size_t keystroke = 0;
    for (auto _ : state) {
        // Alternates two formats, as typing does.
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2]));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}

void BM_BareRenameLoop(benchmark::State& state) {
    const int dirFd = open(g_folder->Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = g_folder->Names();
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

// Rows to rename every file to its own fresh name.
CListRows PlainRows(const std::vector<std::string>& names,
                    const std::vector<std::string>& targets) {
    CListRows rows(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        rows[i].strText[0] = names[i];
        rows[i].strText[1] = targets[i];
        rows[i].nImage = RowToRename;
    }
    return rows;
}

void BM_RenameRun(benchmark::State& state) {
    const int dirFd = open(g_folder->Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = g_folder->Names();
    const std::vector<std::string> targets = TargetNames(names);
    for (auto _ : state) {
        state.PauseTiming();
        CListRows rows = PlainRows(names, targets);
        state.ResumeTiming();
        const CRenameOutcome outcome =
            RunRename(g_folder->Path(), rows, static_cast<unsigned>(rows.size()));
        state.PauseTiming();
        const bool back = RenameAll(dirFd, targets, names);
        state.ResumeTiming();
        if (outcome.kind != CRenameOutcome::AllRenamed || !back)
            state.SkipWithError("the rename run did not rename every file");
    }
    close(dirFd);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

// Row i wants the name row i + 1 holds; the last row wants a free name. Each
// rename first moves the next row's file aside.
void BM_RotationRun(benchmark::State& state) {
    const int dirFd = open(g_folder->Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string>& names = g_folder->Names();
    std::vector<std::string> targets(names.begin() + 1, names.end());
    targets.push_back("IMG_last.jpg");
    for (auto _ : state) {
        state.PauseTiming();
        CListRows rows = PlainRows(names, targets);
        state.ResumeTiming();
        const CRenameOutcome outcome =
            RunRename(g_folder->Path(), rows, static_cast<unsigned>(rows.size()));
        state.PauseTiming();
        // Back from the first row to the last: each row's old name is free
        // once the row before has left it.
        const bool back = RenameAll(dirFd, targets, names);
        state.ResumeTiming();
        if (outcome.kind != CRenameOutcome::AllRenamed || !back)
            state.SkipWithError("the rotation did not rename every file");
    }
    close(dirFd);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

BENCHMARK(BM_BareLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NameRegeneration)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareRenameLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenameRun)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotationRun)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    reporter.PrintRatios(
        {{"BM_EngineScan", "BM_BareLoop", "<= 3"},
         {"BM_RenameRun", "BM_BareRenameLoop", "<= 2"},
         // Two renames per file (aside, then home): linear, about 2-3 whatever the size.
         {"BM_RotationRun", "BM_BareRenameLoop", "linear, not growing with the file count"}});
    std::printf("BM_NameRegeneration: %.2f ms per keystroke (target <= 10)\n",
                reporter.Time("BM_NameRegeneration"));
    g_folder.reset();
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
