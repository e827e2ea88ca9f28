// The main window as a person meets it: how soon it is first painted, and whether it stays
// responsive over 100,000 listed files.
//
// Start-up, two ways:
// - `--startup-log [HOME]`: one cold start in this fresh process, printed as a timestamped log
//   (milliseconds since the process began, as the kernel tells it, and since main), from main
//   to the end of the window's first painted frame: in a fresh scratch home, or in HOME as
//   `--write-state HOME` left it before (a session of 12 rules, 20 presets, 500 history
//   records and a granted folder, as a user's sorvik leaves them at quit).
// - startWindow/empty and startWindow/restored: the same store and window made again and
//   again in one process, to the end of the first painted frame.
//
// Responsiveness with 100,000 files listed: a 0 ms timer notes the time between its runs
// while the change is made and worked through to the painted window; the longest gap is the
// longest the window could not answer (counter longestGap_ms):
// - planPreview: a rule edit, planned and listed; sortByName / reverse: the toolbar's sort
//   picker and direction button; filter: the filter picker to "Problems" and back to "All";
//   scroll: 200 pages down through the table, then to its end and back to its top.
#include "app/shell/main_window.h"
#include "app/services/store_services.h"
#include "app/shell/content_view.h"
#include "app/shell/files_panel.h"
#include "app/shell/window_toolbar.h"
#include "app/store/history_file.h"
#include "app/store/renamer_store.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

namespace {

using namespace sorvik;

constexpr int largeCount = 100'000;
constexpr int restoredRules = 12;
constexpr int restoredPresets = 20;
constexpr int restoredHistory = 500;

double milliseconds(qint64 nanoseconds) { return double(nanoseconds) / 1e6; }

/// Milliseconds since the process began, from its start time in /proc (in clock ticks).
double sinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command's closing parenthesis; the start time is field 22.
    auto fields = text.substr(text.rfind(')') + 2);
    unsigned long long startTicks = 0;
    int field = 3;
    for (std::size_t begin = 0; begin < fields.size(); ++field) {
        auto end = fields.find(' ', begin);
        if (field == 22) {
            startTicks = std::stoull(fields.substr(begin, end - begin));
            break;
        }
        begin = end + 1;
    }
    timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    double nowMs = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    return nowMs - double(startTicks) * 1e3 / double(::sysconf(_SC_CLK_TCK));
}

std::vector<Rule> someRules(int count, const std::string& text)
{
    std::vector<Rule> rules;
    for (int index = 0; index < count; ++index) {
        switch (index % 4) {
        case 0: {
            ReplaceConfig replace;
            replace.find = "IMG";
            replace.replacement = text;
            rules.emplace_back(RuleKind(replace));
            break;
        }
        case 1:
            rules.emplace_back(RuleKind(CaseConfig {}));
            break;
        case 2:
            rules.emplace_back(RuleKind(NumberingConfig {}));
            break;
        default:
            rules.emplace_back(RuleKind(SpaceConfig {}));
            break;
        }
    }
    return rules;
}

HistoryRecord someBatch(int number)
{
    HistoryRecord record;
    record.id = Uuid::random();
    record.date = Date::now();
    record.createdDirectories = std::vector<FileURL> {};
    for (int index = 0; index < 20; ++index) {
        auto from = "/home/user/Pictures/IMG_" + std::to_string(number * 20 + index) + ".jpg";
        auto to = "/home/user/Pictures/Beach_" + std::to_string(number * 20 + index) + ".jpg";
        record.moves.push_back({ FileURL(from), FileURL(to) });
        record.fingerprints[to] = FileFingerprint(1000 + index, Date::now(), 10'000 + index);
    }
    return record;
}

/// Leaves a session, presets, history and a grant in the scratch home, as a user's sorvik
/// leaves them at quit.
void writeRestoredState()
{
    RenamerStore store(nullptr);
    while (store.isPlanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    store.setRules(someRules(restoredRules, "Beach"));
    for (int index = 0; index < restoredPresets; ++index)
        store.savePreset("Preset " + std::to_string(index), "camera", "3478F6");
    for (int index = 0; index < restoredHistory; ++index)
        HistoryFile::insert(someBatch(index));
    auto granted = std::filesystem::path(qEnvironmentVariable("HOME").toStdString()) / "Granted";
    std::filesystem::create_directories(granted);
    store.folderAccess().grant(FileURL(granted.string(), true));
    store.flushSession();
}

/// Runs the event loop until the window has finished its first painted frame.
class FirstFrame : public QObject {
public:
    explicit FirstFrame(QWidget& window)
        : m_window(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    void wait()
    {
        while (!m_done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_painted && event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == &m_window) {
                m_painted = true;
                // Once this whole frame is drawn.
                QTimer::singleShot(0, this, [this] { m_done = true; });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& m_window;
    bool m_painted = false;
    bool m_done = false;
};

int startupLog(bool restored)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    double atMain = sinceProcessStart();
    auto log = [&](const char* step) {
        std::printf("%8.1f ms since start  %8.1f ms since main  %s\n", sinceProcessStart(),
            milliseconds(sinceMain.nsecsElapsed()), step);
    };
    std::printf("%8.1f ms since start  %8.1f ms since main  main\n", atMain, 0.0);
    int argc = 1;
    char name[] = "sorvik";
    char* argv[] = { name, nullptr };
    QApplication application(argc, argv);
    log("QApplication made");
    StoreServices::install();
    auto& store = RenamerStore::shared();
    log("store made (session, presets, grants restored)");
    MainWindow window(store);
    log("main window made");
    FirstFrame frame(window);
    window.show();
    log("shown");
    frame.wait();
    log(restored ? "first frame painted (restored session)" : "first frame painted (empty)");
    std::printf("rules %zu, presets %zu, granted folders %zu\n", store.rules().size(),
        store.presets().size(), store.folderAccess().folders().size());
    return 0;
}

void startWindow(benchmark::State& state, bool restored)
{
    if (restored)
        writeRestoredState();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        {
            RenamerStore store(nullptr);
            MainWindow window(store);
            FirstFrame frame(window);
            window.show();
            frame.wait();
            state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK_CAPTURE(startWindow, empty, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(startWindow, restored, true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void runUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // The paints the last change asked for.
    QCoreApplication::processEvents();
}

/// The window over 100,000 files, shown and settled.
struct LargeWindow {
    RenamerStore store { nullptr };
    MainWindow window { store };

    LargeWindow()
    {
        store.setRules(someRules(3, "Photo"));
        window.show();
        store.addFiles({ FileURL(
            bench::ScratchHome::shared().photos("Pictures", largeCount).string(), true) });
        runUntil([&] { return !store.isAdding() && !store.isPlanning(); });
    }

    bool settled() const { return !store.isAdding() && !store.isPlanning(); }
    QTableView& table() const { return window.content().filesPanel().table(); }
};

/// The longest gaps of a benchmark's iterations, reported as their largest.
class Gaps {
public:
    explicit Gaps(benchmark::State& state)
        : m_state(state)
    {
    }
    ~Gaps() { m_state.counters["longestGap_ms"] = milliseconds(m_longest); }
    Gaps(const Gaps&) = delete;
    Gaps& operator=(const Gaps&) = delete;

    /// Makes `change` and runs the window until `done` holds and what it asked is painted;
    /// the time it took is the iteration's.
    void measure(const std::function<void()>& change, const std::function<bool()>& done)
    {
        bench::GapMeter gaps(0);
        QElapsedTimer clock;
        clock.start();
        gaps.start();
        change();
        runUntil(done);
        m_longest = std::max(m_longest, gaps.stop());
        m_state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }

private:
    benchmark::State& m_state;
    qint64 m_longest = 0;
};

/// Makes `change` in every iteration, with true and false in turn (true first), and measures
/// it until the store has settled.
void measureInTurns(
    benchmark::State& state, const LargeWindow& large, const std::function<void(bool)>& change)
{
    Gaps gaps(state);
    bool turn = false;
    for (auto _ : state) {
        turn = !turn;
        gaps.measure([&] { change(turn); }, [&] { return large.settled(); });
    }
}

void planPreview(benchmark::State& state)
{
    LargeWindow large;
    measureInTurns(state, large,
        [&](bool flip) { large.store.setRules(someRules(3, flip ? "Pic" : "Photo")); });
    state.counters["rows"] = large.table().model()->rowCount();
}
BENCHMARK(planPreview)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

void chooseSort(LargeWindow& large, SortKey key)
{
    auto& sort = large.window.toolbar().sortPicker();
    int index = sort.findData(static_cast<int>(key));
    sort.setCurrentIndex(index);
    emit sort.activated(index);
}

void sortByName(benchmark::State& state)
{
    LargeWindow large;
    measureInTurns(state, large,
        [&](bool byName) { chooseSort(large, byName ? SortKey::name : SortKey::added); });
}
BENCHMARK(sortByName)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

void reverse(benchmark::State& state)
{
    LargeWindow large;
    Gaps gaps(state);
    for (auto _ : state) {
        gaps.measure([&] { large.window.toolbar().directionButton().click(); },
            [&] { return large.settled(); });
    }
}
BENCHMARK(reverse)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

void filter(benchmark::State& state)
{
    LargeWindow large;
    Gaps gaps(state);
    auto& picker = large.window.toolbar().filterPicker();
    const auto& model = *large.table().model();
    // "Problems" (none here), "Changes" (every row) and back to "All", in turn.
    const int order[] = { 2, 1, 0 };
    int step = 0;
    for (auto _ : state) {
        int index = order[step++ % 3];
        int expected = index == 2 ? 0 : largeCount;
        gaps.measure(
            [&] {
                picker.setCurrentIndex(index);
                emit picker.activated(index);
            },
            [&] { return model.rowCount() == expected; });
    }
}
BENCHMARK(filter)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

void scroll(benchmark::State& state)
{
    LargeWindow large;
    Gaps gaps(state);
    auto* bar = large.table().verticalScrollBar();
    for (auto _ : state) {
        gaps.measure(
            [&] {
                for (int page = 0; page < 200; ++page) {
                    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                    QCoreApplication::processEvents();
                }
                bar->triggerAction(QAbstractSlider::SliderToMaximum);
                QCoreApplication::processEvents();
                bar->triggerAction(QAbstractSlider::SliderToMinimum);
            },
            [] { return true; });
    }
}
BENCHMARK(scroll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--write-state") == 0) {
        bench::pointHomeAt(argv[2]);
        QCoreApplication application(argc, argv);
        writeRestoredState();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--startup-log") == 0) {
        if (argc >= 3)
            bench::pointHomeAt(argv[2]);
        else
            bench::ScratchHome::shared();
        return startupLog(argc >= 3);
    }
    bench::ScratchHome::shared().photos("Pictures", largeCount);
    QApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
