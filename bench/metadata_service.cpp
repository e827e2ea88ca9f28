// The metadata service over 2,000 small JPEGs with capture dates and GPS positions, beside
// the exiv2 and exiftool programs reading the same files in one process each (exiv2 -pt, and
// exiftool -j with the five tags the renamer's photo tokens use). Run in a Release build; the
// summary at the end gives the medians and their ratios.
//
//   sorvik_bench_metadata_service [--files=N]

#include "app/services/metadata_service.h"

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <benchmark/benchmark.h>
#include <exiv2/exiv2.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace sorvik;

int fileCount = 2000;
std::filesystem::path workFolder;
std::vector<FileItem> items;
QStringList paths;
std::map<std::string, double> secondsPerRun;

void makeFiles()
{
    workFolder = std::filesystem::temp_directory_path()
        / ("sorvik-bench-metadata-" + std::to_string(::getpid()));
    std::filesystem::create_directories(workFolder / "photos");
    std::filesystem::create_directories(workFolder / "data");
    setenv("XDG_DATA_HOME", (workFolder / "data").c_str(), 1);

    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    for (int index = 0; index < fileCount; ++index) {
        auto path = workFolder / "photos" / ("IMG_" + std::to_string(10000 + index) + ".jpg");
        image.save(QString::fromStdString(path.string()), "JPEG", 80);
        auto picture = Exiv2::ImageFactory::open(path.string());
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Canon";
        exif["Exif.Image.Model"] = "EOS R6";
        exif["Exif.Photo.DateTimeOriginal"]
            = "2024:05:" + std::to_string(10 + index % 20) + " 08:20:30";
        exif["Exif.Photo.FNumber"].setValue("28/10");
        exif["Exif.GPSInfo.GPSLatitude"].setValue(
            "48/1 " + std::to_string(index % 60) + "/1 3015/100");
        exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        exif["Exif.GPSInfo.GPSLongitude"].setValue("2/1 17/1 3840/100");
        exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
        picture->setExifData(exif);
        picture->writeMetadata();

        struct stat status { };
        ::stat(path.c_str(), &status);
        items.emplace_back(FileURL(path.string()), true, Date {},
            Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec),
            static_cast<std::int64_t>(status.st_size), index);
        paths << QString::fromStdString(path.string());
    }
}

void removeCaches() { std::filesystem::remove_all(workFolder / "data" / "sorvik"); }

double seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// Runs a program over all the files, its output thrown away; the wall time of the run.
std::optional<double> runProgram(const QString& program, const QStringList& arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return std::nullopt;
    auto start = std::chrono::steady_clock::now();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments + paths);
    process.waitForFinished(-1);
    return seconds(std::chrono::steady_clock::now() - start);
}

/// The service and the programs in turn, each round over the same files, so that a change of
/// the machine's load touches all of them alike. Medians of the rounds are reported.
void sideBySide(benchmark::State& state)
{
    std::map<std::string, std::vector<double>> runs;
    for (auto _ : state) {
        removeCaches();
        {
            // A new service reads its (absent) cache files, every file, then writes the cache.
            auto start = std::chrono::steady_clock::now();
            MetadataService service;
            auto result = service.metadata(items, false);
            runs["service, cold cache"].push_back(
                seconds(std::chrono::steady_clock::now() - start));
            if (result.size() != items.size())
                state.SkipWithError("missing results");

            start = std::chrono::steady_clock::now();
            result = service.metadata(items, false);
            runs["service, warm cache"].push_back(
                seconds(std::chrono::steady_clock::now() - start));
        }
        {
            // A later launch: the cache is read from its file first.
            auto start = std::chrono::steady_clock::now();
            MetadataService service;
            auto result = service.metadata(items, false);
            runs["service, warm cache, new launch"].push_back(
                seconds(std::chrono::steady_clock::now() - start));
        }
        if (auto time = runProgram("exiv2", { "-pt" }))
            runs["exiv2 -pt"].push_back(*time);
        if (runs["exiftool"].empty()) {
            if (auto time = runProgram("exiftool",
                    { "-j", "-DateTimeOriginal", "-Make", "-Model", "-GPSLatitude",
                        "-GPSLongitude" }))
                runs["exiftool"].push_back(*time);
        }
    }
    for (const auto& [name, times] : runs) {
        if (times.empty())
            continue;
        secondsPerRun[name] = median(times);
        state.counters[name + " ms"] = median(times) * 1000;
    }
}

/// The extraction alone, without the service's batches and caches.
void extraction(benchmark::State& state)
{
    auto threadCount = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (std::size_t thread = 0; thread < threadCount; ++thread)
            threads.emplace_back([thread, threadCount] {
                for (std::size_t index = thread; index < items.size(); index += threadCount)
                    benchmark::DoNotOptimize(MetadataService::extract(items[index].url));
            });
        for (auto& thread : threads)
            thread.join();
    }
    state.counters["files/s"] = benchmark::Counter(
        static_cast<double>(fileCount) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(sideBySide)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(11);
BENCHMARK(extraction)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char** argv)
{
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        if (argument.rfind("--files=", 0) == 0)
            fileCount = std::max(1, std::atoi(argument.c_str() + 8));
    }
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    makeFiles();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::cout << "\nSummary over " << fileCount << " JPEGs (seconds per run, medians):\n";
    for (const auto& [name, value] : secondsPerRun)
        std::cout << "  " << name << ": " << value << "\n";
    auto ratio = [](const char* slower, const char* faster) {
        if (secondsPerRun.contains(slower) && secondsPerRun.contains(faster))
            std::cout << "  " << slower << " / " << faster << ": "
                      << secondsPerRun[slower] / secondsPerRun[faster] << "\n";
    };
    ratio("exiv2 -pt", "service, cold cache");
    ratio("exiftool", "service, cold cache");
    ratio("service, cold cache", "service, warm cache");
    ratio("service, cold cache", "service, warm cache, new launch");
    std::filesystem::remove_all(workFolder);
    return 0;
}
