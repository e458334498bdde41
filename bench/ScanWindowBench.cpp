// The cost of the main window during a scan: the same 200,000-file tree read with no window
// (a silent progress note) and with the window shown, its status bar and progress bar driven
// by the scan. Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "bench/BenchTree.h"

#include "engine/CatalogriumDoc.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "form/StandardViewDialogs.h"
#include "shell/CatalogriumApp.h"
#include "shell/MainFrame.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

namespace {

// One tree per shape (top-level files), made on first use and removed at exit.
const std::string& Tree(std::size_t topFiles) {
    struct Trees {
        std::map<std::size_t, std::string> paths;
        ~Trees() {
            for (const auto& [top, path] : paths)
                RemoveTree(path);
        }
    };
    static Trees trees;
    auto& path = trees.paths[topFiles];
    if (path.empty()) {
        TreeShape shape;
        shape.topFiles = topFiles;
        path = GenerateTree(std::filesystem::temp_directory_path().string(), shape);
    }
    return path;
}

void ScanTree(benchmark::State& state, CCatalogriumDoc& doc) {
    const std::string& path = Tree(static_cast<std::size_t>(state.range(0)));
    // One untimed reading, so both variants meet the tree in the cache.
    doc.ScanFolder(path, kFilesAndFolders);
    doc.m_scanList.clear();
    for (auto _ : state) {
        if (!doc.ScanFolder(path, kFilesAndFolders))
            state.SkipWithError("scan failed");
        doc.m_scanList.clear();
    }
    state.counters["files"] = doc.m_nFiles;
}

void BM_ScanWithoutWindow(benchmark::State& state) {
    CSilentPrompter prompter;
    CSilentProgressNote note;
    CCatalogriumDoc doc(prompter, note);
    ScanTree(state, doc);
}

void BM_ScanWithWindow(benchmark::State& state) {
    CSilentPrompter prompter;
    CStandardViewDialogs dialogs;
    CCatalogriumApp app(prompter, dialogs);
    app.InitInstance();
    QApplication::processEvents();
    ScanTree(state, *app.Document());
}

// 1,000 and 20,000 entries directly in the folder, each one a status text and a step.
BENCHMARK(BM_ScanWithoutWindow)
    ->Arg(1000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ScanWithWindow)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The window saves its options at exit: into a private profile, not the user's.
    std::string config = (std::filesystem::temp_directory_path() / "catalogrium-bench-XXXXXX");
    if (!::mkdtemp(config.data()))
        return 1;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(config);
    return 0;
}
