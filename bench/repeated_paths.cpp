// Finding repeats among a batch's paths, as the runner does before it reads any file
// (`uniqueURLs`) and the executor does before it moves any: through an index of the paths
// where they are (`NameIndex`), against a hash set that makes a node per path.
#include "app/automation/automation_runner.h"
#include "engine/model/name_table.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

using namespace sorvik;

std::vector<std::string> paths(std::size_t count)
{
    std::vector<std::string> texts;
    texts.reserve(count);
    for (std::size_t index = 0; index < count; ++index)
        texts.push_back(
            "/home/someone/Pictures/Holiday 2026/IMG-" + std::to_string(index) + ".jpg");
    return texts;
}

void uniqueOfGivenURLs(benchmark::State& state)
{
    std::vector<FileURL> urls;
    for (auto& path : paths(static_cast<std::size_t>(state.range(0))))
        urls.emplace_back(path, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(uniqueURLs(urls));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(uniqueOfGivenURLs)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void repeatsThroughIndex(benchmark::State& state)
{
    auto texts = paths(static_cast<std::size_t>(state.range(0)));
    std::vector<std::string_view> views(texts.begin(), texts.end());
    for (auto _ : state) {
        NameIndex index(views);
        std::size_t repeats = 0;
        for (std::size_t place = 0; place < views.size(); ++place)
            repeats += index.firstPlace(place) != place;
        benchmark::DoNotOptimize(repeats);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(repeatsThroughIndex)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void repeatsThroughHashSet(benchmark::State& state)
{
    auto texts = paths(static_cast<std::size_t>(state.range(0)));
    std::vector<std::string_view> views(texts.begin(), texts.end());
    for (auto _ : state) {
        std::unordered_set<std::string_view> seen;
        seen.reserve(views.size());
        std::size_t repeats = 0;
        for (auto view : views)
            repeats += !seen.insert(view).second;
        benchmark::DoNotOptimize(repeats);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(repeatsThroughHashSet)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
