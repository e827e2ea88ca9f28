// 10,000 renames in one folder: plain rename(2) calls against the executor (checks, two
// phases through temporary names, journal). Both run in the same program so that the ratio
// is taken on the same disk and in the same state of the machine. The second benchmark runs
// the batch as the command line does: inside a granted folder, every source checked against
// the fingerprint read before, and fingerprints handed back for the history record.
#include "engine/apply/rename_executor.h"

#include "engine/apply/local_file_system.h"
#include "engine/model/uuid.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int fileCount = 10'000;

std::string numbered(const char* stem, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s-%05d.jpg", stem, index);
    return name;
}

// A fresh folder with `fileCount` small files, removed again when the object goes.
class Folder {
public:
    Folder()
    {
        std::string pattern
            = (std::filesystem::temp_directory_path() / "sorvik-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        m_path = pattern;
        std::filesystem::create_directory(m_path / "photos");
        for (int index = 0; index < fileCount; ++index) {
            auto file = m_path / "photos" / numbered("IMG", index);
            int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (descriptor < 0 || ::write(descriptor, "x", 1) != 1)
                throw std::runtime_error("cannot create " + file.string());
            ::close(descriptor);
        }
        ::sync();
    }
    ~Folder() { std::filesystem::remove_all(m_path); }

    std::filesystem::path photos() const { return m_path / "photos"; }
    std::filesystem::path path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::string> paths(const std::filesystem::path& folder, const char* stem)
{
    std::vector<std::string> result;
    for (int index = 0; index < fileCount; ++index)
        result.push_back(folder / numbered(stem, index));
    return result;
}

double plainRename(const Folder& folder)
{
    auto from = paths(folder.photos(), "IMG");
    auto to = paths(folder.photos(), "Holiday");
    auto start = std::chrono::steady_clock::now();
    for (int index = 0; index < fileCount; ++index) {
        if (std::rename(from[index].c_str(), to[index].c_str()) != 0)
            throw std::runtime_error("rename failed");
    }
    return secondsSince(start);
}

double executorBatch(const Folder& folder, bool recorded)
{
    auto from = paths(folder.photos(), "IMG");
    auto to = paths(folder.photos(), "Holiday");
    std::vector<sorvik::RenameMove> moves;
    for (int index = 0; index < fileCount; ++index)
        moves.push_back({ sorvik::FileURL(from[index]), sorvik::FileURL(to[index]) });
    sorvik::BatchOptions options;
    if (recorded) {
        options.recordId = sorvik::Uuid::random();
        options.grantedFolders
            = std::vector<sorvik::FileURL> { sorvik::FileURL(folder.path().string(), true) };
        for (const auto& move : moves)
            options.expectedSources.emplace_back(sorvik::FileFingerprint(move.from));
    }
    sorvik::LocalFileSystem fileSystem;
    sorvik::RenameExecutor executor(
        fileSystem, sorvik::FileURL((folder.path() / "data").string(), true));
    auto start = std::chrono::steady_clock::now();
    auto applied = executor.apply(moves, options);
    applied.journal.finish();
    return secondsSince(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Each iteration times both on fresh folders, in alternating order, so that the load of a
// shared machine falls on both alike; the ratio is taken per iteration and the median kept.
// The iteration time reported is the executor's.
void compare(benchmark::State& state, bool recorded)
{
    std::vector<double> plainTimes;
    std::vector<double> executorTimes;
    std::vector<double> ratios;
    bool executorFirst = false;
    for (auto _ : state) {
        double plain = 0;
        double executor = 0;
        if (executorFirst) {
            executor = executorBatch(Folder(), recorded);
            plain = plainRename(Folder());
        } else {
            plain = plainRename(Folder());
            executor = executorBatch(Folder(), recorded);
        }
        executorFirst = !executorFirst;
        state.SetIterationTime(executor);
        plainTimes.push_back(plain);
        executorTimes.push_back(executor);
        ratios.push_back(executor / plain);
    }
    state.counters["plain_ms"] = median(plainTimes) * 1000;
    state.counters["executor_ms"] = median(executorTimes) * 1000;
    state.counters["ratio_median"] = median(ratios);
    state.counters["ratio_of_medians"] = median(executorTimes) / median(plainTimes);
}

void RenameExecutorAgainstPlainRename(benchmark::State& state) { compare(state, false); }

void RecordedBatchInGrantsAgainstPlainRename(benchmark::State& state) { compare(state, true); }

} // namespace

BENCHMARK(RenameExecutorAgainstPlainRename)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(RecordedBatchInGrantsAgainstPlainRename)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

BENCHMARK_MAIN();
