// Whole `sorvik` processes, as a user or a script runs them, each in a scratch home of its own:
//   - renaming one file while "history.json" holds a batch of 100,000 moves;
//   - six batches of 100,000 files in a row, each one renaming every file (back and forth),
//     beside a C loop of rename(2) over the same files;
//   - date names for 2,000 JPEGs, beside exiv2's own `mv`, with the metadata cache cold (removed
//     before each run) and warm;
//   - a preview of 2,000 photos with a warm metadata cache, once fresh and once after the cache
//     held 100,000 other files.
// Each child's wall time, processor time and peak resident memory (as /usr/bin/time reports
// it) are counters of the benchmark. Run it in a Release build:
//
//   sorvik_bench_whole_process [--benchmark_filter=…]
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"
#include "engine/model/preset.h"
#include "engine/model/rule.h"

#include <QCoreApplication>
#include <QImage>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace sorvik;
namespace fs = std::filesystem;

struct ChildRun {
    double seconds = 0;
    double peakMiB = 0;
    /// User and system time: less sensitive than the wall time to a machine under load.
    double cpuSeconds = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Runs `program` with `arguments` in `folder`, its output into files of the scratch home;
/// fails when it does not end with status 0.
///
/// The child runs under /usr/bin/time, which reports its peak memory: a process started
/// straight from this one would be charged with this one's memory too, since Linux carries a
/// process's largest resident size over an exec.
ChildRun run(const std::string& program, const std::vector<std::string>& arguments,
    const fs::path& folder, const fs::path& logFolder)
{
    auto out = (logFolder / "out.txt").string();
    auto err = (logFolder / "err.txt").string();
    auto times = (logFolder / "time.txt").string();
    std::vector<std::string> command { "/usr/bin/time", "-f", "%M", "-o", times, program };
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& part : command)
        argv.push_back(part.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    int status = 0;
    rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        throw std::runtime_error("cannot wait for " + program);
    double seconds = secondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream log(err);
        std::string text((std::istreambuf_iterator<char>(log)), {});
        throw std::runtime_error(program + " failed: " + text);
    }
    std::ifstream report(times);
    double peakKiB = 0;
    report >> peakKiB;
    auto cpu = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    // The time program's own share of the processor time is a millisecond or so.
    return ChildRun { seconds, peakKiB / 1024.0, cpu(usage.ru_utime) + cpu(usage.ru_stime) };
}

/// A scratch home (data, settings and cache folders) that the children inherit.
class Home {
public:
    Home() { fs::create_directories(files()); }

    fs::path files() const { return root() / "files"; }
    fs::path root() const { return m_scratch.root(); }

    /// Runs the program built with the benchmark, or the one named by $SORVIK_BENCH_PROGRAM
    /// (to compare two builds on the same machine).
    ChildRun sorvik(const std::vector<std::string>& arguments) const
    {
        const char* program = std::getenv("SORVIK_BENCH_PROGRAM");
        return run(program && *program ? program : SORVIK_PROGRAM, arguments, files(), root());
    }

private:
    bench::ScratchHome m_scratch;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// The runs of one kind of child over a benchmark's iterations.
struct ChildRuns {
    std::vector<double> seconds;
    std::vector<double> peakMiB;
    std::vector<double> cpuSeconds;

    void add(const ChildRun& child)
    {
        seconds.push_back(child.seconds);
        peakMiB.push_back(child.peakMiB);
        cpuSeconds.push_back(child.cpuSeconds);
    }

    /// Their medians as the counters `label`_s, `label`_cpu_s and `label`_MiB.
    void report(benchmark::State& state, const std::string& label) const
    {
        state.counters[label + "_s"] = median(seconds);
        state.counters[label + "_cpu_s"] = median(cpuSeconds);
        state.counters[label + "_MiB"] = median(peakMiB);
    }
};

void createEmptyFile(const fs::path& path)
{
    int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0)
        throw std::runtime_error("cannot create " + path.string());
    ::close(descriptor);
}

std::string numbered(const char* stem, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s_%06d beach dinner.jpg", stem, index);
    return name;
}

std::vector<std::string> numberedNames(const char* stem, int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index)
        names.push_back(numbered(stem, index));
    return names;
}

Rule replacing(std::string find, std::string replacement)
{
    ReplaceConfig config;
    config.find = std::move(find);
    config.replacement = std::move(replacement);
    return Rule(RuleKind(config));
}

Rule pattern(std::string text) { return Rule(RuleKind(PatternConfig { std::move(text) })); }

/// Saves the presets "There" (IMG -> PIC) and "Back" (PIC -> IMG), plus any given ones.
void savePresets(std::vector<Preset> more = {})
{
    SavedPresets saved;
    saved.presets.emplace_back(
        "There", "doc", "3478F6", std::vector<Rule> { replacing("IMG", "PIC") });
    saved.presets.emplace_back(
        "Back", "doc", "3478F6", std::vector<Rule> { replacing("PIC", "IMG") });
    for (auto& preset : more)
        saved.presets.push_back(std::move(preset));
    JSONFiles::save(saved, SavedPresets::fileName);
}

std::vector<std::string> renameArguments(const char* preset, const std::vector<std::string>& names)
{
    std::vector<std::string> arguments { "rename", "--apply", "--preset", preset, "--" };
    arguments.insert(arguments.end(), names.begin(), names.end());
    return arguments;
}

double plainRenames(const fs::path& folder, const std::vector<std::string>& from,
    const std::vector<std::string>& to)
{
    auto start = std::chrono::steady_clock::now();
    for (std::size_t index = 0; index < from.size(); ++index) {
        if (std::rename((folder / from[index]).c_str(), (folder / to[index]).c_str()) != 0)
            throw std::runtime_error("rename failed");
    }
    return secondsSince(start);
}

/// One file renamed, back and forth, while the history holds a batch of 100,000 moves.
void oneFileWithALargeHistory(benchmark::State& state)
{
    Home home;
    savePresets();
    auto names = numberedNames("IMG", 100'000);
    for (const auto& name : names)
        createEmptyFile(home.files() / name);
    createEmptyFile(home.files() / "IMG_single.txt");
    home.sorvik({ "grant", home.files().string() });
    home.sorvik(renameArguments("There", names));
    auto history = fs::file_size(JSONFiles::applicationFolder() / HistoryFile::fileName);

    ChildRuns runs;
    bool there = true;
    for (auto _ : state) {
        auto result = home.sorvik(renameArguments(
            there ? "There" : "Back", { there ? "IMG_single.txt" : "PIC_single.txt" }));
        there = !there;
        state.SetIterationTime(result.seconds);
        runs.add(result);
    }
    state.counters["median_s"] = median(runs.seconds);
    state.counters["median_cpu_s"] = median(runs.cpuSeconds);
    state.counters["peak_MiB"] = median(runs.peakMiB);
    state.counters["history_MB"] = double(history) / 1e6;
}
BENCHMARK(oneFileWithALargeHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

/// Six full batches of 100,000 files in a row, and a C loop of rename(2) over the same files.
void sixBatchesInARow(benchmark::State& state)
{
    for (auto _ : state) {
        Home home;
        savePresets();
        auto images = numberedNames("IMG", 100'000);
        auto pictures = numberedNames("PIC", 100'000);
        for (const auto& name : images)
            createEmptyFile(home.files() / name);
        home.sorvik({ "grant", home.files().string() });
        ::sync();

        double loop = plainRenames(home.files(), images, pictures);
        plainRenames(home.files(), pictures, images);
        std::vector<ChildRun> batches;
        for (int batch = 0; batch < 6; ++batch) {
            bool there = batch % 2 == 0;
            batches.push_back(
                home.sorvik(renameArguments(there ? "There" : "Back", there ? images : pictures)));
        }
        state.SetIterationTime(batches.back().seconds);
        state.counters["cLoop_s"] = loop;
        for (std::size_t batch = 0; batch < batches.size(); ++batch) {
            auto label = "batch" + std::to_string(batch + 1);
            state.counters[label + "_s"] = batches[batch].seconds;
            state.counters[label + "_cpu_s"] = batches[batch].cpuSeconds;
            state.counters[label + "_MiB"] = batches[batch].peakMiB;
        }
        state.counters["first_vs_cLoop"] = batches.front().seconds / loop;
        state.counters["sixth_vs_first_time"] = batches.back().seconds / batches.front().seconds;
        state.counters["sixth_vs_first_cpu"]
            = batches.back().cpuSeconds / batches.front().cpuSeconds;
        state.counters["sixth_vs_first_memory"] = batches.back().peakMiB / batches.front().peakMiB;
        state.counters["history_MB"]
            = double(fs::file_size(JSONFiles::applicationFolder() / HistoryFile::fileName)) / 1e6;
    }
}
BENCHMARK(sixBatchesInARow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

constexpr int photoCount = 2000;

/// 2,000 small JPEGs with capture dates, named IMG_….jpg.
std::vector<std::string> createPhotos(const fs::path& folder)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    std::vector<std::string> names;
    for (int index = 0; index < photoCount; ++index) {
        auto name = "IMG_" + std::to_string(10000 + index) + ".jpg";
        auto path = folder / name;
        image.save(QString::fromStdString(path.string()), "JPEG", 80);
        auto picture = Exiv2::ImageFactory::open(path.string());
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Canon";
        exif["Exif.Photo.DateTimeOriginal"] = "2024:05:" + std::to_string(10 + index % 20) + " "
            + std::to_string(10 + index % 13) + ":" + std::to_string(10 + index % 47) + ":"
            + std::to_string(10 + index % 43);
        picture->setExifData(exif);
        picture->writeMetadata();
        names.push_back(name);
    }
    return names;
}

/// Puts the photos back under their IMG_ names, whatever a run named them.
void renameBack(const fs::path& folder, const std::vector<std::string>& names)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path());
    for (const auto& path : found) {
        auto name = path.filename().string();
        auto at = name.find("IMG_");
        if (at == std::string::npos || at == 0)
            continue;
        fs::rename(path, folder / name.substr(at));
    }
    for (const auto& name : names) {
        if (!fs::exists(folder / name))
            throw std::runtime_error("lost " + name);
    }
}

/// Saves the preset "Dated" (capture date before the name) and grants the home's files folder
/// with 2,000 photos in it; their names.
std::vector<std::string> grantedPhotos(const Home& home)
{
    savePresets({ Preset("Dated", "calendar", "3478F6",
        std::vector<Rule> { pattern("{exif.date:yyyy-MM-dd_HHmmss}_{name}") }) });
    auto names = createPhotos(home.files());
    home.sorvik({ "grant", home.files().string() });
    return names;
}

/// Date names for 2,000 JPEGs: sorvik's apply against `exiv2 -r … mv`, in turns.
void dateNamesForPhotos(benchmark::State& state)
{
    Home home;
    auto names = grantedPhotos(home);
    auto cache = JSONFiles::applicationFolder() / "metadata-cache.json";

    ChildRuns exiv2Runs, coldRuns, warmRuns;
    for (auto _ : state) {
        std::vector<std::string> exiv2Arguments { "-r", "%Y-%m-%d_%H%M%S_:basename:", "mv" };
        exiv2Arguments.insert(exiv2Arguments.end(), names.begin(), names.end());
        auto exiv2 = run("exiv2", exiv2Arguments, home.files(), home.root());
        renameBack(home.files(), names);

        fs::remove(cache);
        auto cold = home.sorvik(renameArguments("Dated", names));
        renameBack(home.files(), names);
        auto warm = home.sorvik(renameArguments("Dated", names));
        renameBack(home.files(), names);

        state.SetIterationTime(cold.seconds);
        exiv2Runs.add(exiv2);
        coldRuns.add(cold);
        warmRuns.add(warm);
    }
    exiv2Runs.report(state, "exiv2");
    coldRuns.report(state, "cold");
    warmRuns.report(state, "warm");
    state.counters["cold_vs_exiv2"] = median(coldRuns.seconds) / median(exiv2Runs.seconds);
    state.counters["warm_vs_exiv2"] = median(warmRuns.seconds) / median(exiv2Runs.seconds);
}
BENCHMARK(dateNamesForPhotos)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

/// Writes a metadata cache of `count` files that do not exist, with the values a photo has.
void writeStaleCache(const fs::path& file, int count)
{
    std::ofstream out(file);
    out << "{\n";
    for (int index = 0; index < count; ++index) {
        out << "  \"\\/home\\/user\\/Old Pictures\\/trip " << index << "\\/DSC_" << index
            << ".JPG|1717000000." << index % 1000 << "|" << 2'000'000 + index << "\" : {\n"
            << "    \"exif.camera\" : \"Canon EOS R6\",\n"
            << "    \"exif.date\" : \"2024-05-29T08:20:30\",\n"
            << "    \"exif.day\" : \"29\",\n"
            << "    \"exif.make\" : \"Canon\",\n"
            << "    \"exif.model\" : \"EOS R6\",\n"
            << "    \"exif.month\" : \"05\",\n"
            << "    \"exif.year\" : \"2024\",\n"
            << "    \"image.height\" : \"4000\",\n"
            << "    \"image.width\" : \"6000\"\n"
            << "  }" << (index + 1 < count ? "," : "") << "\n";
    }
    out << "}\n";
}

/// A warm preview of 2,000 photos, with a cache of just them and with one that also held
/// 100,000 files that are gone.
void previewWithAStaleCache(benchmark::State& state)
{
    Home home;
    auto names = grantedPhotos(home);
    auto cache = JSONFiles::applicationFolder() / "metadata-cache.json";
    std::vector<std::string> arguments { "rename", "--preset", "Dated", "--" };
    arguments.insert(arguments.end(), names.begin(), names.end());

    ChildRuns freshRuns, staleRuns;
    for (auto _ : state) {
        fs::remove(cache);
        home.sorvik(arguments);
        auto fresh = home.sorvik(arguments);

        writeStaleCache(cache, 100'000);
        home.sorvik(arguments);
        home.sorvik(arguments);
        auto stale = home.sorvik(arguments);

        state.SetIterationTime(stale.seconds);
        freshRuns.add(fresh);
        staleRuns.add(stale);
    }
    freshRuns.report(state, "fresh");
    staleRuns.report(state, "stale");
    state.counters["stale_vs_fresh"] = median(staleRuns.seconds) / median(freshRuns.seconds);
    state.counters["cache_MB"] = double(fs::file_size(cache)) / 1e6;
}
BENCHMARK(previewWithAStaleCache)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    // 100,000 names on one command line need more room than the default 2 MiB of arguments,
    // which the kernel takes as a quarter of the stack limit.
    rlimit stack {};
    ::getrlimit(RLIMIT_STACK, &stack);
    if (stack.rlim_cur != RLIM_INFINITY && stack.rlim_cur < 64 * 1024 * 1024) {
        stack.rlim_cur = std::min<rlim_t>(64 * 1024 * 1024, stack.rlim_max);
        ::setrlimit(RLIMIT_STACK, &stack);
    }
    QCoreApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
