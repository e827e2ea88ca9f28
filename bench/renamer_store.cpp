// The state store with a folder of 100,000 files: adding the folder until its preview is
// published, and planning the list again after a rule edit. Beside the wall time, each run
// reports the longest time the GUI thread went without serving its event loop while the
// files were read and the preview was planned (a 1 ms heartbeat timer measures the gaps).
#include "app/store/renamer_store.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

constexpr int fileCount = 100'000;

const std::filesystem::path& pictures()
{
    return bench::ScratchHome::shared().photos("Pictures", fileCount);
}

std::vector<Rule> simpleRules()
{
    ReplaceConfig replace;
    replace.find = "IMG";
    replace.replacement = "Photo";
    CaseConfig lower;
    NumberingConfig numbering;
    return { Rule(RuleKind(replace)), Rule(RuleKind(lower)), Rule(RuleKind(numbering)) };
}

/// Runs the event loop until the store has published, and gives the longest gap between two
/// heartbeats meanwhile, in milliseconds.
double waitForPreview(RenamerStore& store)
{
    bench::GapMeter heartbeat(1);
    heartbeat.start();
    while (store.isAdding() || store.isPlanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return double(heartbeat.stop()) / 1e6;
}

void addFolder(benchmark::State& state)
{
    auto folder = FileURL(pictures().string(), true);
    for (auto _ : state) {
        RenamerStore store(nullptr);
        store.setRules(simpleRules());
        while (store.isPlanning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);

        QElapsedTimer clock;
        clock.start();
        store.addFiles({ folder });
        double adding = double(clock.nsecsElapsed()) / 1e6;
        double stall = waitForPreview(store);
        double total = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(total / 1e3);
        state.counters["addFiles_ms"] = adding;
        state.counters["published_ms"] = total;
        state.counters["longestStall_ms"] = stall;
        state.counters["rows"] = double(store.rawPreviews().size());
        benchmark::DoNotOptimize(store.previews().size());
    }
}
BENCHMARK(addFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

void replanAfterRuleEdit(benchmark::State& state)
{
    auto folder = FileURL(pictures().string(), true);
    RenamerStore store(nullptr);
    store.setRules(simpleRules());
    store.addFiles({ folder });
    while (store.isAdding() || store.isPlanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    bool ascending = true;
    for (auto _ : state) {
        ascending = !ascending;
        QElapsedTimer clock;
        clock.start();
        store.setAscending(ascending);
        double request = double(clock.nsecsElapsed()) / 1e6;
        double stall = waitForPreview(store);
        double total = double(clock.nsecsElapsed()) / 1e6;
        state.SetIterationTime(total / 1e3);
        state.counters["refresh_ms"] = request;
        state.counters["published_ms"] = total;
        state.counters["longestStall_ms"] = stall;
        benchmark::DoNotOptimize(store.previews().size());
    }
}
BENCHMARK(replanAfterRuleEdit)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

} // namespace

int main(int argc, char** argv)
{
    pictures();
    QCoreApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
