// The rule column under a stack of 50 rules, all cards expanded, over a list of 1,000 files:
// one character typed into a field of the last card, from the key press until the card shows
// its new summary and the store holds the rule, has recorded the undo step, has asked for a
// preview and has handed the session to its writer. Beside it, the write of that session
// itself (atomic, with fsync), which the writer thread does and the GUI thread no longer waits
// for; and opening the rule palette with 200 saved presets, until it is laid out and painted.
#include "app/rules/panels/rule_stack_panel.h"
#include "app/rules/panels/rule_palette.h"
#include "app/rules/rule_card.h"
#include "app/rules/rule_editor.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/session_writer.h"
#include "bench/bench_support.h"
#include "bench/scratch_home.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QUndoStack>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

constexpr int ruleCount = 50;
constexpr int fileCount = 1000;
constexpr int presetCount = 200;

std::vector<Rule> fiftyRules()
{
    std::vector<Rule> rules;
    auto kinds = RuleKind::defaults();
    for (int index = 0; index < ruleCount - 1; ++index)
        rules.emplace_back(kinds[std::size_t(index) % kinds.size()]);
    InsertConfig last;
    last.text = "Holiday_";
    rules.emplace_back(RuleKind(last));
    return rules;
}

std::vector<FileItem> files()
{
    std::vector<FileItem> items;
    for (int index = 0; index < fileCount; ++index) {
        items.emplace_back(FileURL("/photos/IMG_" + std::to_string(index) + ".jpg"), true, Date(),
            Date(), 1000, index);
    }
    return items;
}

void keystrokeInTheLastCard(benchmark::State& state)
{
    bench::ScratchHome scratch;
    {
        RenamerStore store(nullptr);
        QUndoStack undo;
        store.setRuleUndoManager(&undo);
        store.setItems(files());
        store.setRules(fiftyRules());
        RuleStackPanel panel(store);
        panel.resize(320, 900);
        panel.show();
        QCoreApplication::processEvents();
        auto* card = panel.cards().back();
        auto* field = card->editor()->findChild<QLineEdit*>("text");
        field->setFocus(Qt::OtherFocusReason);
        field->end(false);
        int typed = 0;
        for (auto _ : state) {
            bool isLetter = ++typed % 2 != 0;
            QKeyEvent press(QEvent::KeyPress, isLetter ? Qt::Key_A : Qt::Key_Backspace,
                Qt::NoModifier, isLetter ? QStringLiteral("a") : QString());
            QCoreApplication::sendEvent(field, &press);
            benchmark::DoNotOptimize(store.rules().back());
            state.PauseTiming();
            // The previews the keystrokes asked for come back between keystrokes, as they
            // would while a user types.
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        if (std::get<InsertConfig>(store.rules().back().kind.config).text.rfind("Holiday_", 0) != 0)
            state.SkipWithError("the keystrokes did not reach the store");
        store.flushSession();
    }
}
BENCHMARK(keystrokeInTheLastCard)->Unit(benchmark::kMillisecond);

void sessionWriteOfFiftyRules(benchmark::State& state)
{
    bench::ScratchHome scratch;
    SavedSession session { 1, fiftyRules(), SortKey::name, true };
    auto folder = JSONFiles::applicationFolder();
    for (auto _ : state)
        SessionWriter::writeFile(session, folder);
}
BENCHMARK(sessionWriteOfFiftyRules)->Unit(benchmark::kMillisecond);

void openingThePaletteWithTwoHundredPresets(benchmark::State& state)
{
    bench::ScratchHome scratch;
    {
        RenamerStore store(nullptr);
        store.setRules(fiftyRules());
        for (int index = 0; index < presetCount; ++index)
            store.savePreset("Preset " + std::to_string(index), "doc", "3478F6");
        QWidget window;
        window.resize(900, 700);
        window.show();
        QCoreApplication::processEvents();
        for (auto _ : state) {
            auto* palette = new RulePalette(store, &window);
            palette->open();
            QCoreApplication::processEvents();
            benchmark::DoNotOptimize(palette->grab());
            state.PauseTiming();
            palette->reject();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(openingThePaletteWithTwoHundredPresets)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
