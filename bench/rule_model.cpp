// Costs of the rule model on the paths that run for every file of a preview or every import:
// matching a rule's conditions, parsing a rename list, and reading a stored rule stack.
#include "engine/model/condition.h"
#include "engine/model/csv_parser.h"
#include "engine/model/json.h"
#include "engine/model/preset.h"

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace {

using namespace sorvik;

std::vector<FileItem> items(std::size_t count)
{
    static const char* extensions[] = { "jpg", "PNG", "mov", "txt", "cr3", "zip", "" };
    std::vector<FileItem> made;
    made.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        std::string name = "IMG_" + std::to_string(index) + " Caf\xC3\xA9";
        if (*extensions[index % 7])
            name += std::string(".") + extensions[index % 7];
        made.emplace_back(FileURL("/photos/" + name), true, Date { 0 },
            Date { static_cast<double>(index) }, static_cast<std::int64_t>(index * 100), index);
    }
    return made;
}

void matchGroup(benchmark::State& state, const ConditionGroup& group)
{
    auto files = items(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::size_t matched = 0;
        for (const auto& file : files)
            matched += group.matches(file);
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ConditionsWithoutRegex(benchmark::State& state)
{
    matchGroup(state,
        ConditionGroup { true,
            { Condition::kind("image"), Condition::ext({ "JPG", " .png", "cr3" }),
                Condition::name("caf\xC3\xA9", false), Condition::size(100, std::nullopt) } });
}
BENCHMARK(BM_ConditionsWithoutRegex)->Arg(10000);

void BM_ConditionWithRegex(benchmark::State& state)
{
    matchGroup(state, ConditionGroup { true, { Condition::nameRegex("^IMG_\\d+[02468] ") } });
}
BENCHMARK(BM_ConditionWithRegex)->Arg(10000);

std::string list(std::size_t lines, bool nonAscii)
{
    std::string text;
    for (std::size_t index = 0; index < lines; ++index) {
        text += "\"IMG_" + std::to_string(index) + (nonAscii ? " caf\xC3\xA9" : " cafe")
            + ".jpg\",Holiday " + std::to_string(index) + ".jpg\r\n";
    }
    return text;
}

void BM_ParseList(benchmark::State& state)
{
    std::string text = list(static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(CSVParser::parse(text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseList)->Args({ 2000, 0 })->Args({ 2000, 1 });

void BM_ReadPreset(benchmark::State& state)
{
    std::vector<Rule> rules;
    for (int round = 0; round < 2; ++round) {
        for (const auto& kind : RuleKind::defaults()) {
            Rule rule(kind);
            rule.condition = ConditionGroup { false, { Condition::kind("image") } };
            rules.push_back(rule);
        }
    }
    std::string stored
        = json::serialize(nlohmann::json(Preset("Bench", "star", "3478F6", std::move(rules))));
    for (auto _ : state)
        benchmark::DoNotOptimize(json::decode<Preset>(json::parse(stored)));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stored.size()));
}
BENCHMARK(BM_ReadPreset);

} // namespace

BENCHMARK_MAIN();
