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

/// Times `countRepeats` over the paths, held as views as a batch holds them.
template <class CountRepeats> void timeRepeats(benchmark::State& state, CountRepeats countRepeats)
{
    auto texts = paths(static_cast<std::size_t>(state.range(0)));
    std::vector<std::string_view> views(texts.begin(), texts.end());
    for (auto _ : state)
        benchmark::DoNotOptimize(countRepeats(views));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void repeatsThroughIndex(benchmark::State& state)
{
    timeRepeats(state, [](const std::vector<std::string_view>& views) {
        NameIndex index(views);
        std::size_t repeats = 0;
        for (std::size_t place = 0; place < views.size(); ++place)
            repeats += index.firstPlace(place) != place;
        return repeats;
    });
}
BENCHMARK(repeatsThroughIndex)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void repeatsThroughHashSet(benchmark::State& state)
{
    timeRepeats(state, [](const std::vector<std::string_view>& views) {
        std::unordered_set<std::string_view> seen;
        seen.reserve(views.size());
        std::size_t repeats = 0;
        for (auto view : views)
            repeats += !seen.insert(view).second;
        return repeats;
    });
}
BENCHMARK(repeatsThroughHashSet)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
