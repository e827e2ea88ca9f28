// The list editor with a list near the 2,000,000-byte import limit: a keystroke at its end
// (the text read back from the edit and handed on as the changed rule, then shown again),
// and counting its entries, which the editor puts off until typing stops for such lists.
#include "app/rules/list_rule_editor.h"
#include "bench/bench_support.h"
#include "engine/model/csv_parser.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <benchmark/benchmark.h>

namespace {

std::string largestList()
{
    std::string text;
    while (text.size() + 10 < 2'000'000)
        text += "abcdefghi\n";
    return text;
}

void countEntries(benchmark::State& state)
{
    auto text = largestList();
    for (auto _ : state)
        benchmark::DoNotOptimize(sorvik::CSVParser::parse(text).size());
}
BENCHMARK(countEntries)->Unit(benchmark::kMillisecond);

void keystroke(benchmark::State& state)
{
    sorvik::Rule rule(sorvik::RuleKind(sorvik::ListConfig { largestList(), false }));
    sorvik::ListRuleEditor editor(rule, {});
    QObject::connect(&editor, &sorvik::RuleEditor::ruleEdited, &editor,
        [&editor](const sorvik::Rule& edited, const std::optional<std::string>&) {
            editor.setRule(edited);
        });
    auto* text = editor.findChild<QPlainTextEdit*>("text");
    text->moveCursor(QTextCursor::End);
    int typed = 0;
    for (auto _ : state) {
        bool isLetter = ++typed % 2 != 0;
        QKeyEvent press(QEvent::KeyPress, isLetter ? Qt::Key_A : Qt::Key_Backspace, Qt::NoModifier,
            isLetter ? QStringLiteral("a") : QString());
        QCoreApplication::sendEvent(text, &press);
    }
}
BENCHMARK(keystroke)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return sorvik::bench::runBenchmarks(argc, argv);
}
