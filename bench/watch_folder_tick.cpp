// A watch folder receiving 1,000 files that a preset with an AI rename rule renames, the AI
// service taking 1 ms per file. Reported: the time from the tick that finds them settled until
// they are renamed and logged, and the longest time the GUI thread went without serving its
// event loop meanwhile (a 1 ms heartbeat timer measures the gaps), for both ticks: the one that
// first sees the files and the one that renames them.
#include "app/automation/watch_folder_store.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace sorvik;

constexpr int fileCount = 1'000;

/// An AI service that takes a millisecond per file.
class SlowServices : public PreviewServices {
public:
    MetadataMap metadata(const std::vector<FileItem>&, bool, std::stop_token) override
    {
        return {};
    }
    MetadataDictionary aiMetadata(
        const FileItem& item, AIMode, std::int64_t, bool, std::stop_token) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return { { "ai.title", "Doc " + item.baseName() }, { "ai.engine", "slow" } };
    }
};

class ManualClock : public WatchClock {
public:
    explicit ManualClock(Duration* now)
        : m_now(now)
    {
    }
    Duration now() const override { return *m_now; }

private:
    Duration* m_now;
};

/// Ticks and runs the event loop until the tick has ended; the longest heartbeat gap in ms.
double tickAndMeasure(WatchFolderStore& watches)
{
    bench::GapMeter heartbeat(1);
    heartbeat.start();
    bool finished = false;
    auto connection = QObject::connect(
        &watches, &WatchFolderStore::tickFinished, [&finished] { finished = true; });
    watches.markDirty();
    watches.tick();
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QObject::disconnect(connection);
    return double(heartbeat.stop()) / 1e6;
}

void tickOfAThousandFiles(benchmark::State& state)
{
    Rule ai(RuleKind(AIConfig { AIMode::smart, 6, false }));
    Rule pattern(RuleKind(PatternConfig { "{ai.title} {name}" }));
    Preset preset("Named", "sparkles", "3478F6", { ai, pattern });
    JSONFiles::save(SavedPresets { 1, { preset } }, SavedPresets::fileName);
    auto services = std::make_shared<SlowServices>();
    RenamerStore store(services);
    static int round = 0;
    for (auto _ : state) {
        auto inbox = bench::ScratchHome::shared().root() / ("Inbox " + std::to_string(round++));
        std::filesystem::create_directories(inbox);
        // Each round starts without watch folders and with an empty history: the history is
        // rewritten whole by every batch, so a growing one would be measured instead.
        std::filesystem::remove(JSONFiles::applicationFolder() / WatchFolder::fileName);
        std::filesystem::remove(JSONFiles::applicationFolder() / "history.json");
        WatchClock::Duration now { std::chrono::hours(1) };
        WatchFolderStore::Collaborators collaborators;
        collaborators.services = services;
        collaborators.clock = std::make_unique<ManualClock>(&now);
        WatchFolderStore watches(store, std::move(collaborators));
        watches.addFolder(preset.id, FileURL(inbox.string(), true));
        if (!watches.isMonitoring()) {
            state.SkipWithError(watches.error().value_or("not monitoring").c_str());
            break;
        }
        while (watches.isProcessing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        for (int index = 0; index < fileCount; ++index) {
            auto name = "scan " + std::to_string(index) + ".pdf";
            int fd = ::open((inbox / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }

        double firstSight = tickAndMeasure(watches);
        now += std::chrono::seconds(3);
        QElapsedTimer clock;
        clock.start();
        double renaming = tickAndMeasure(watches);
        double total = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(total / 1e3);
        state.counters["firstSightStall_ms"] = firstSight;
        state.counters["renameStall_ms"] = renaming;
        state.counters["renamed_ms"] = total;
        state.counters["logged"] = double(watches.log().size());
        watches.shutdown();
    }
}
BENCHMARK(tickOfAThousandFiles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

} // namespace

int main(int argc, char** argv)
{
    bench::ScratchHome::shared();
    QCoreApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
