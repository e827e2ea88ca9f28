// What telling watch folders and files by identity costs a tick: judging the overlaps of ten
// watch folders (done at every tick), and finding the folders that a running batch of 20,000
// moves holds (its journal read once, then only looked at).
#include "app/automation/watch_folder_overlap.h"
#include "app/automation/watch_running_batches.h"
#include "bench/scratch_home.h"
#include "engine/apply/rename_journal.h"

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

void overlapsOfTenFolders(benchmark::State& state)
{
    auto root = bench::ScratchHome::shared().root() / "overlaps";
    std::vector<WatchFolder> folders(10);
    for (std::size_t index = 0; index < folders.size(); ++index) {
        auto path = root / ("Folder " + std::to_string(index)) / "Inbox";
        std::filesystem::create_directories(path);
        folders[index].folder = FileURL(path.string(), true);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(overlappingWatchFolders(folders));
}
BENCHMARK(overlapsOfTenFolders)->Unit(benchmark::kMicrosecond);

void foldersHeldByABatchOf20000(benchmark::State& state)
{
    auto root = bench::ScratchHome::shared().root() / "held";
    auto source = root / "Inbox";
    std::filesystem::create_directories(source);
    RenameJournalBatch batch;
    for (int index = 0; index < 20'000; ++index) {
        auto name = "file " + std::to_string(index);
        batch.entries.push_back({ FileURL((source / (name + ".txt")).string()),
            FileURL((source / (".twtmp-" + name)).string()),
            FileURL((source / (name + "-x.txt")).string()), 0 });
    }
    FileURL journals((root / "journals").string(), true);
    auto journal = RenameJournal::begin(journals, batch);
    bool cached = state.range(0) != 0;
    RunningBatches batches;
    for (auto _ : state) {
        if (!cached)
            batches = RunningBatches();
        benchmark::DoNotOptimize(batches.heldFolders(journals));
    }
    journal.finish();
}
BENCHMARK(foldersHeldByABatchOf20000)
    ->ArgName("cached")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
