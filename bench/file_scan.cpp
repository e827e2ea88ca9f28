// What a batch reads of the disk before it plans: every file's values and fingerprint
// (`FileScan::readAllChecked`), and whether something exists at each planned name, asked one
// name at a time of a folder that holds them all (`ExistenceSnapshot`). Files in one folder
// of the scratch home, as the command line and watch folders meet them.
#include "app/store/file_scan.h"
#include "bench/scratch_home.h"
#include "engine/apply/local_file_system.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace sorvik;

std::vector<FileURL> photoURLs(int count)
{
    const auto& folder
        = bench::ScratchHome::shared().photos("scan-" + std::to_string(count), count);
    std::vector<FileURL> urls;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        urls.emplace_back(entry.path().string());
    std::sort(urls.begin(), urls.end());
    return urls;
}

void readEveryFile(benchmark::State& state)
{
    auto urls = photoURLs(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(FileScan::readAllChecked(urls));
    state.counters["files"] = static_cast<double>(urls.size());
}
BENCHMARK(readEveryFile)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Half of the names asked exist: the files themselves, and as many new names beside them.
void askEveryName(benchmark::State& state)
{
    auto urls = photoURLs(static_cast<int>(state.range(0)));
    std::vector<FileURL> asked;
    for (const auto& url : urls) {
        asked.push_back(url);
        asked.push_back(
            url.deletingLastPathComponent().appending("new " + url.lastPathComponent()));
    }
    std::string folder = urls.front().deletingLastPathComponent().path;
    for (auto _ : state) {
        ExistenceSnapshot existence({ { folder, asked.size() } });
        std::size_t found = 0;
        for (const auto& url : asked)
            found += existence(url) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
    state.counters["names"] = static_cast<double>(asked.size());
}
BENCHMARK(askEveryName)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
