// Sorting and pairing the preview's snapshot of 100,000 listed items, as every preview refresh
// does on the GUI thread.
#include "app/store/item_order.h"

#include <random>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

constexpr std::size_t itemCount = 100'000;

/// Names of about 35 characters in 200 folders, some of them RAW and JPEG companions.
std::vector<FileItem> makeItems()
{
    static const char* words[] = { "Holiday", "beach", "Family", "dinner", "Sunset", "report",
        "Invoice", "draft", "final", "Copy", "scan", "photo", "\xC3\xA9t\xC3\xA9", "Zebra" };
    static const char* extensions[] = { "jpg", "CR3", "png", "pdf", "NEF", "xmp", "txt", "JPG" };
    std::mt19937 random(42);
    std::vector<FileItem> items;
    items.reserve(itemCount);
    for (std::size_t index = 0; index < itemCount; ++index) {
        std::string folder = "/home/user/Pictures/Import " + std::to_string(random() % 200);
        std::string name = std::string(words[random() % 14]) + "_" + words[random() % 14] + " "
            + std::to_string(random() % 5000) + " IMG_" + std::to_string(random() % 3000) + "."
            + extensions[random() % 8];
        items.emplace_back(FileURL(folder + "/" + name), true, Date { double(random() % 100000) },
            Date { double(random() % 100000) }, std::int64_t(random() % 1'000'000),
            std::int64_t(index));
    }
    return items;
}

const std::vector<FileItem>& items()
{
    static const std::vector<FileItem> made = makeItems();
    return made;
}

void sortByName(benchmark::State& state)
{
    const auto& listed = items();
    for (auto _ : state)
        benchmark::DoNotOptimize(ItemOrder::sortedItems(listed, SortKey::name, state.range(0)));
}
BENCHMARK(sortByName)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void sortBySize(benchmark::State& state)
{
    const auto& listed = items();
    for (auto _ : state)
        benchmark::DoNotOptimize(ItemOrder::sortedItems(listed, SortKey::size, true));
}
BENCHMARK(sortBySize)->Unit(benchmark::kMillisecond);

void pairCompanions(benchmark::State& state)
{
    const auto& listed = items();
    for (auto _ : state) {
        state.PauseTiming();
        auto snapshot = listed;
        state.ResumeTiming();
        ItemOrder::assignPairGroups(snapshot);
        benchmark::DoNotOptimize(snapshot.data());
    }
}
BENCHMARK(pairCompanions)->Unit(benchmark::kMillisecond);

void snapshotByNameWithPairs(benchmark::State& state)
{
    const auto& listed = items();
    for (auto _ : state)
        benchmark::DoNotOptimize(ItemOrder::itemSnapshot(listed, SortKey::name, true, true));
}
BENCHMARK(snapshotByNameWithPairs)->Unit(benchmark::kMillisecond);

void sortPaths(benchmark::State& state)
{
    std::vector<FileURL> urls;
    for (const auto& item : items())
        urls.push_back(item.url);
    for (auto _ : state)
        benchmark::DoNotOptimize(ItemOrder::sortURLsByPath(urls));
}
BENCHMARK(sortPaths)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
