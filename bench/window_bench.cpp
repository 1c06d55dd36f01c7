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

// The two formats a keystroke alternates: with the date codes (argument 0),
// or with a value code and the clash suffix (1), which names most rows of
// the folder alike.
const char* const kKeystrokeFormats[2][2] = {
    {"Img%Y%m%d_%H%M%S_%C", "Img%Y%m%d_%H%M%S_%"},
    {"%Y%m%d_%{device}%{n}", "%Y%m%d_%{device}%{n}_"},
};

void BM_EngineKeystroke(benchmark::State& state) {
    CListRows rows;
    bool listed = false;
    CDeviceTable devices;
    CTextTable lenses;
    ScanFolder(bench::Folder().Path(), kDefaultFormat, rows, listed, nullptr, {}, nullptr, &devices,
               &lenses);
    const CNameFacts facts{&devices, &lenses, FolderNameOf(bench::Folder().Path())};
    const auto& formats = kKeystrokeFormats[state.range(0)];
    std::size_t keystroke = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(UpdateConvertedNames(rows, formats[keystroke++ % 2], &facts));
}

// One keystroke in the format field: names regenerated, list refreshed and
// painted.
void BM_WindowKeystroke(benchmark::State& state) {
    CVelmoraDlg dlg;
    dlg.show();
    dlg.ScanFolder(bench::Folder().Path());
    QApplication::processEvents();
    const auto& formats = kKeystrokeFormats[state.range(0)];
    std::size_t keystroke = 0;
    for (auto _ : state) {
        dlg.FormatField().setText(QString::fromLatin1(formats[keystroke++ % 2]));
        dlg.List().viewport()->repaint();
    }
}

BENCHMARK(BM_EngineScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowScan)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    return bench::RunWithFolder(argc, argv, [](const bench::CRatioReporter& reporter) {
        reporter.PrintRatios({{"BM_WindowScan", "BM_EngineScan", "<= 2"}});
        for (const char* name : {"BM_WindowKeystroke/0", "BM_WindowKeystroke/1"})
            std::printf("%s: %.2f ms per keystroke at %zu rows (target <= %d)\n", name,
                        reporter.Time(name), bench::Folder().Names().size(),
                        bench::Folder().Names().size() >= 100000 ? 16 : 30);
    });
}
