// The scan and the name regeneration in the main window (offscreen) against
// the same work of the engine alone: what progress display and list refresh
// add.

#include "bench_folder.h"
#include "folder_scan.h"
#include "name_generation.h"
#include "velmora_dlg.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>
#include <cstdlib>

using namespace velmora;

namespace {

void BM_EngineScan(benchmark::State& state) {
    CListRows rows;
    for (auto _ : state) {
        bool listed = false;
        ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed);
        if (!listed)
            state.SkipWithError("the scan listed nothing");
    }
}

void BM_WindowScan(benchmark::State& state) {
    CVelmoraDlg dlg;
    dlg.show();
    for (auto _ : state) {
        dlg.ScanFolder(bench::Folder().Path());
        QApplication::processEvents(); // the repaints a user would see
        if (dlg.List().GetItemCount() != static_cast<int>(bench::Folder().Names().size()))
            state.SkipWithError("the window did not list every file");
    }
}

void BM_EngineKeystroke(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed);
    const char* formats[] = {"Img%Y%m%d_%H%M%S_%C", "Img%Y%m%d_%H%M%S_%"};
    std::size_t keystroke = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2]));
}

// One keystroke in the format field: names regenerated, list refreshed and
// painted.
void BM_WindowKeystroke(benchmark::State& state) {
    CVelmoraDlg dlg;
    dlg.show();
    dlg.ScanFolder(bench::Folder().Path());
    QApplication::processEvents();
    const QString formats[] = {QStringLiteral("Img%Y%m%d_%H%M%S_%C"),
                               QStringLiteral("Img%Y%m%d_%H%M%S_%")};
    std::size_t keystroke = 0;
    for (auto _ : state) {
        dlg.FormatField().setText(formats[keystroke++ % 2]);
        dlg.List().viewport()->repaint();
    }
}

BENCHMARK(BM_EngineScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    return bench::RunWithFolder(argc, argv, [](const bench::CRatioReporter& reporter) {
        reporter.PrintRatios({{"BM_WindowScan", "BM_EngineScan", "<= 2"}});
        std::printf("BM_WindowKeystroke: %.2f ms per keystroke at %zu rows (target <= %d)\n",
                    reporter.Time("BM_WindowKeystroke"), bench::Folder().Names().size(),
                    bench::Folder().Names().size() >= 100000 ? 16 : 30);
    });
}
