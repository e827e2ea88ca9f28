// "history.json" holding one batch of 100,000 moves (and five or six of them):
// putting a one-file batch's record first, marking a record undone, and loading the whole
// list, each in a scratch data folder. The file's size is a counter.
#include "app/store/history_file.h"
#include "app/store/json_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using namespace sorvik;
namespace fs = std::filesystem;

HistoryRecord batchOf(int moves)
{
    HistoryRecord record;
    record.id = Uuid::random();
    record.date = Date::now();
    record.createdDirectories = std::vector<FileURL> {};
    for (int index = 0; index < moves; ++index) {
        char from[96];
        char to[96];
        std::snprintf(from, sizeof from, "/home/user/Pictures/IMG_%06d beach dinner.jpg", index);
        std::snprintf(to, sizeof to, "/home/user/Pictures/PIC_%06d beach dinner.jpg", index);
        record.moves.push_back({ FileURL(from), FileURL(to) });
        record.fingerprints[to] = FileFingerprint(2'000'000 + index,
            Date { 737'000'000.0 + index * 0.001 }, 1'000'000 + static_cast<std::uint64_t>(index));
    }
    return record;
}

/// A scratch data folder whose history holds `batches` batches of 100,000 moves.
class Scratch {
public:
    explicit Scratch(int batches)
    {
        std::string pattern = (fs::temp_directory_path() / "sorvik-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_root = pattern;
        ::setenv("XDG_DATA_HOME", m_root.c_str(), 1);
        for (int batch = 0; batch < batches; ++batch)
            HistoryFile::insert(batchOf(100'000));
    }
    ~Scratch() { fs::remove_all(m_root); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    double megabytes() const
    {
        return double(fs::file_size(JSONFiles::applicationFolder() / HistoryFile::fileName)) / 1e6;
    }

private:
    fs::path m_root;
};

void insertOneFileBatch(benchmark::State& state)
{
    Scratch scratch(static_cast<int>(state.range(0)));
    auto small = batchOf(1);
    for (auto _ : state) {
        small.id = Uuid::random();
        HistoryFile::insert(small);
        // Keeps the file as it was, so every iteration copies the same history.
        state.PauseTiming();
        HistoryFile::update(
            [](std::vector<HistoryRecord>& records) { records.erase(records.begin()); });
        state.ResumeTiming();
    }
    state.counters["history_MB"] = scratch.megabytes();
}
BENCHMARK(insertOneFileBatch)->Arg(1)->Arg(5)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(5);

void insertABatchOf100000(benchmark::State& state)
{
    Scratch scratch(0);
    auto large = batchOf(100'000);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(JSONFiles::applicationFolder() / HistoryFile::fileName);
        large.id = Uuid::random();
        state.ResumeTiming();
        HistoryFile::insert(large);
    }
    state.counters["history_MB"] = scratch.megabytes();
}
BENCHMARK(insertABatchOf100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void markUndone(benchmark::State& state)
{
    Scratch scratch(static_cast<int>(state.range(0)));
    auto id = HistoryFile::load().back().id;
    for (auto _ : state)
        HistoryFile::markUndone(id);
    state.counters["history_MB"] = scratch.megabytes();
}
BENCHMARK(markUndone)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(5);

void loadAll(benchmark::State& state)
{
    Scratch scratch(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(HistoryFile::load());
    state.counters["history_MB"] = scratch.megabytes();
}
BENCHMARK(loadAll)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
