// The file list over large batches, measured as the window feels it: the longest time the GUI
// thread spends on one event (a drop, a published preview, a paint) while the work runs.
//
// - dropFolder: a folder of 100,000 files dropped on the panel, until its preview is listed.
// - publishSameFiles: a rule edit over 100,000 listed rows (the model's data-change path).
// - publishNewFiles: 100,000 rows replaced by others, all selected (reset and selection).
// - resort: the 100,000 rows in the other direction (reset and selection).
// - problemsFilter: the "Problems" filter switched on and off.
// - dataOneScreen: every role of 40 rows not shown before.
// - typeOneCharacter: one more character in a rule's text with 10,000 files listed, until
//   the new names are painted (the store's real planning, its 0.15 s wait included).
#include "app/shell/file_list_model.h"
#include "app/shell/files_panel.h"
#include "app/shell/new_name_delegate.h"
#include "app/store/renamer_store.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTableView>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <memory>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

constexpr int largeCount = 100'000;
constexpr int typingCount = 10'000;

// Times every event the GUI thread delivers; nested deliveries count with the outer one.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (QThread::currentThread() != thread() || m_depth > 0) {
            ++m_depth;
            bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        ++m_depth;
        QElapsedTimer clock;
        clock.start();
        bool result = QApplication::notify(receiver, event);
        longest = std::max(longest, clock.nsecsElapsed());
        --m_depth;
        return result;
    }

    qint64 longest = 0;

private:
    int m_depth = 0;
};

TimedApplication& application()
{
    return *static_cast<TimedApplication*>(QCoreApplication::instance());
}

double milliseconds(qint64 nanoseconds) { return double(nanoseconds) / 1e6; }

FileURL largeFolder()
{
    return FileURL(bench::ScratchHome::shared().photos("Pictures", largeCount).string(), true);
}

std::vector<Rule> rules(const std::string& replacement)
{
    ReplaceConfig replace;
    replace.find = "IMG";
    replace.replacement = replacement;
    NumberingConfig numbering;
    return { Rule(RuleKind(replace)), Rule(RuleKind(numbering)) };
}

void settle(RenamerStore& store)
{
    while (store.isAdding() || store.isPlanning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // The paints and layouts the publication asked for.
    QCoreApplication::processEvents();
}

/// A store in the scratch home and the panel over it, shown offscreen.
struct Window {
    RenamerStore store { nullptr };
    QWidget window;
    FilesPanel* panel = new FilesPanel(store, &window);

    Window()
    {
        window.resize(1100, 760);
        panel->resize(1100, 760);
        window.show();
        store.setRules(rules("Photo"));
        settle(store);
    }

    void listLarge()
    {
        store.addFiles({ largeFolder() });
        settle(store);
    }
};

void drop(QWidget& target, const FileURL& folder)
{
    QMimeData mime;
    mime.setData(
        QStringLiteral("text/uri-list"), QByteArray::fromStdString(folder.text()) + "\r\n");
    auto* window = target.window()->windowHandle();
    QPoint position(200, 200);
    QDragEnterEvent enter(position, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent dropped(QPointF(position), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropped);
}

/// Runs `change` and waits for the store; reports the longest GUI event and the whole time.
template <class Change> void measure(benchmark::State& state, RenamerStore& store, Change&& change)
{
    QElapsedTimer clock;
    clock.start();
    application().longest = 0;
    change();
    qint64 direct = clock.nsecsElapsed();
    settle(store);
    qint64 total = clock.nsecsElapsed();
    auto longest = std::max(application().longest, direct);
    state.SetIterationTime(double(total) / 1e9);
    state.counters["longestEvent_ms"] = milliseconds(longest);
    state.counters["call_ms"] = milliseconds(direct);
    state.counters["total_ms"] = milliseconds(total);
}

void dropFolder(benchmark::State& state)
{
    auto folder = largeFolder();
    for (auto _ : state) {
        Window window;
        measure(state, window.store, [&] { drop(*window.panel, folder); });
        state.counters["rows"] = window.panel->model().rowCount();
    }
}
BENCHMARK(dropFolder)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void publishSameFiles(benchmark::State& state)
{
    Window window;
    window.listLarge();
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        measure(state, window.store, [&] { window.store.setRules(rules(flip ? "Pic" : "Photo")); });
    }
}
BENCHMARK(publishSameFiles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

void publishNewFiles(benchmark::State& state)
{
    Window window;
    window.listLarge();
    auto items = window.store.items();
    for (auto _ : state) {
        window.panel->table().selectAll();
        for (auto& item : items)
            item.id = Uuid::random();
        auto next = items;
        measure(state, window.store, [&] { window.store.setItems(std::move(next)); });
        state.counters["selected"] = window.panel->selection().size();
    }
}
BENCHMARK(publishNewFiles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5);

void resort(benchmark::State& state)
{
    Window window;
    window.listLarge();
    window.panel->table().selectAll();
    for (auto _ : state)
        measure(state, window.store, [&] { window.store.setAscending(!window.store.ascending()); });
}
BENCHMARK(resort)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

void problemsFilter(benchmark::State& state)
{
    Window window;
    window.listLarge();
    bool problems = false;
    for (auto _ : state) {
        problems = !problems;
        measure(state, window.store, [&] {
            window.store.setFilter(
                std::string(problems ? RenamerStore::filterProblems : RenamerStore::filterAll));
        });
    }
}
BENCHMARK(problemsFilter)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(6);

void dataOneScreen(benchmark::State& state)
{
    Window window;
    window.listLarge();
    const auto& model = window.panel->model();
    constexpr int screenRows = 40;
    int first = 0;
    for (auto _ : state) {
        first = (first + screenRows) % (model.rowCount() - screenRows);
        for (int row = first; row < first + screenRows; ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                auto index = model.index(row, column);
                for (int role :
                    { int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::ToolTipRole),
                        int(Qt::ForegroundRole), int(Qt::CheckStateRole), newNameCellRole })
                    benchmark::DoNotOptimize(model.data(index, role));
            }
        }
    }
}
BENCHMARK(dataOneScreen)->Unit(benchmark::kMicrosecond);

void typeOneCharacter(benchmark::State& state)
{
    RenamerStore store(nullptr);
    QWidget host;
    auto* panel = new FilesPanel(store, &host);
    host.resize(1100, 760);
    panel->resize(1100, 760);
    host.show();
    store.addFiles(
        { FileURL(bench::ScratchHome::shared().photos("Typing", typingCount).string(), true) });
    settle(store);
    bool changed = false;
    QObject::connect(&panel->model(), &QAbstractItemModel::dataChanged, [&] { changed = true; });
    std::string text = "trip";
    for (auto _ : state) {
        text += 'x';
        InsertConfig insert;
        insert.text = text;
        changed = false;
        QElapsedTimer clock;
        clock.start();
        application().longest = 0;
        store.setRules({ Rule(RuleKind(insert)) });
        while (!changed || store.isPlanning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        // On screen: the rows painted with their new names.
        panel->table().viewport()->repaint();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.counters["longestEvent_ms"] = milliseconds(application().longest);
    }
}
BENCHMARK(typeOneCharacter)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    largeFolder();
    TimedApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
