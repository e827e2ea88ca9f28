// Planning a whole file list under a typical rule stack, as the preview does on every change,
// and the memory the plan takes beyond its input.
#include "engine/pipeline/rename_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <malloc.h>

#include <benchmark/benchmark.h>

namespace {

// Counting costs time of its own, so only the runs that report memory count.
std::atomic<bool> isCounting { false };
// Signed: a block made before counting began may be freed while it runs.
std::atomic<std::int64_t> allocatedBytes { 0 };
std::atomic<std::int64_t> peakBytes { 0 };
std::atomic<std::size_t> allocationCount { 0 };

void countAllocation(void* pointer)
{
    if (!pointer || !isCounting.load(std::memory_order_relaxed))
        return;
    ++allocationCount;
    std::int64_t now = allocatedBytes += static_cast<std::int64_t>(malloc_usable_size(pointer));
    std::int64_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) { }
}

void countRelease(void* pointer)
{
    if (pointer && isCounting.load(std::memory_order_relaxed))
        allocatedBytes -= static_cast<std::int64_t>(malloc_usable_size(pointer));
}

} // namespace

void* operator new(std::size_t size)
{
    void* pointer = std::malloc(size == 0 ? 1 : size);
    if (!pointer)
        throw std::bad_alloc();
    countAllocation(pointer);
    return pointer;
}

void operator delete(void* pointer) noexcept
{
    countRelease(pointer);
    std::free(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    countRelease(pointer);
    std::free(pointer);
}

namespace {

using namespace sorvik;

/// Photos of a few hundred trips, 200 to a folder, with names of some 20 to 40 characters.
std::vector<FileItem> photoLibrary(std::size_t count)
{
    std::vector<FileItem> items;
    items.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        std::string folder = "/home/ana/Pictures/Trip " + std::to_string(index / 200);
        std::string name = "IMG_" + std::to_string(100000 + index)
            + (index % 3 == 0 ? " copy  (2).JPG" : "__Holiday-Beach.jpeg");
        items.emplace_back(FileURL(folder + "/" + name), true, Date::fromUnixSeconds(1.6e9),
            Date::fromUnixSeconds(1.7e9), 3'000'000, static_cast<std::int64_t>(index));
    }
    return items;
}

std::vector<Rule> typicalStack()
{
    return {
        Rule(ReplaceConfig {
            "IMG_(\\d+)", "Photo $1", true, false, ReplaceScope::name, Occurrence::all }),
        Rule(CleanConfig {}),
        Rule(CaseConfig { CaseStyle::lower, false }),
        Rule(PatternConfig { "{name}_{#:4}" }),
        Rule(NumberingConfig {}),
        Rule(ExtConfig { ExtMode::lower, "" }),
    };
}

/// A disk where every file of the list is there and `fileExists` tells what is at each target:
/// the list's folders are made up, so only targets can be asked about on a real disk.
PreviewDisk diskWith(RenamePipeline::ExistenceTest fileExists)
{
    PreviewDisk disk;
    disk.fileExists = std::move(fileExists);
    disk.isSameEntry = [](const FileURL&, const FileURL&) { return false; };
    disk.findSources = [](const std::vector<const FileURL*>& files, const std::vector<bool>&) {
        return SourceAnswers { std::vector<bool>(files.size(), false), {} };
    };
    disk.destinationFolder = [](const FileURL&, const FileURL&) { return FolderAnswer {}; };
    return disk;
}

PreviewDisk nothingAtTargets()
{
    return diskWith([](const FileURL&) { return false; });
}

void planWith(benchmark::State& state, const PreviewDisk& disk)
{
    auto items = photoLibrary(static_cast<std::size_t>(state.range(0)));
    auto rules = typicalStack();
    const Date now = Date::now();
    for (auto _ : state) {
        auto rows = RenamePipeline::preview(items, rules, {}, now, disk);
        benchmark::DoNotOptimize(rows);
        // The rows live on in the store until the next plan; dropping them is not planning.
        state.PauseTiming();
        rows = {};
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(items.size());
}

/// One planning per iteration with every allocation counted: the peak of the bytes held during
/// the call beyond what was held before it, per row, and the number of allocations per row.
/// `plan` plans over the items it is given, lent or given up.
template <typename Plan> void countAllocations(benchmark::State& state, Plan plan)
{
    auto items = photoLibrary(static_cast<std::size_t>(state.range(0)));
    auto rules = typicalStack();
    double peakPerRow = 0;
    double allocationsPerRow = 0;
    for (auto _ : state) {
        auto given = items;
        allocatedBytes = 0;
        peakBytes = 0;
        allocationCount = 0;
        isCounting = true;
        auto rows = plan(given, rules);
        isCounting = false;
        peakPerRow = static_cast<double>(peakBytes.load()) / static_cast<double>(items.size());
        allocationsPerRow
            = static_cast<double>(allocationCount.load()) / static_cast<double>(items.size());
        benchmark::DoNotOptimize(rows);
    }
    state.counters["peak bytes per row"] = peakPerRow;
    state.counters["allocations per row"] = allocationsPerRow;
}

/// The items lent, as the window plans: the rows copy them.
void measureMemory(benchmark::State& state)
{
    countAllocations(state, [](const std::vector<FileItem>& items, const std::vector<Rule>& rules) {
        return RenamePipeline::preview(items, rules, {}, Date::now(), nothingAtTargets());
    });
}
BENCHMARK(measureMemory)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond);

/// The items given up, as the command line and watch folders plan: the rows take them over
/// instead of copying them.
void measureMemoryGivingUpItems(benchmark::State& state)
{
    countAllocations(state, [](std::vector<FileItem>& items, const std::vector<Rule>& rules) {
        return RenamePipeline::preview(
            std::move(items), rules, {}, Date::now(), nothingAtTargets());
    });
}
BENCHMARK(measureMemoryGivingUpItems)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The pipeline alone: nothing exists at any target.
void planTypicalStack(benchmark::State& state) { planWith(state, nothingAtTargets()); }
BENCHMARK(planTypicalStack)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// With the file system asked about every target (none exists: the folders are made up).
void planTypicalStackOnDisk(benchmark::State& state)
{
    planWith(state, diskWith(RenameEngine::localFileExists));
}
BENCHMARK(planTypicalStackOnDisk)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Folders listed among their files: the nesting test must not compare every pair.
void planFoldersAndFiles(benchmark::State& state)
{
    auto items = photoLibrary(static_cast<std::size_t>(state.range(0)));
    for (std::size_t index = 0; index < items.size(); index += 50) {
        FileItem folder(FileURL("/home/ana/Other/Folder " + std::to_string(index), true), true,
            Date(), Date(), 0, 0);
        folder.isDirectory = true;
        items[index] = folder;
    }
    auto rules = typicalStack();
    for (auto _ : state) {
        auto rows = RenamePipeline::preview(items, rules, {}, Date::now(), nothingAtTargets());
        benchmark::DoNotOptimize(rows);
        state.PauseTiming();
        rows = {};
        state.ResumeTiming();
    }
}
BENCHMARK(planFoldersAndFiles)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
