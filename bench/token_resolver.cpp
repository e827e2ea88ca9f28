// Resolving token templates for one file, as the preview does for every file of a run.
#include "engine/pipeline/token_resolver.h"
#include "engine/pipeline/token_parser.h"

#include <string>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

RenameContext photoContext(std::int64_t index)
{
    FileItem item(FileURL("/home/ana/Pictures/Holiday 2023/IMG_4821.JPG"), true,
        Date::fromUnixSeconds(1686830400.0), Date::fromUnixSeconds(1686830400.0), 3'482'113, 0);
    return RenameContext(std::move(item), index, Date::now(),
        { { "exif.date", "2023-06-15T14:32:07Z" }, { "exif.camera", "Canon EOS R6" },
            { "gps.city", "Lisboa" } });
}

// The starter template with a counter: the figure the preview's speed budget is set for.
void resolveStarterTemplate(benchmark::State& state)
{
    const std::string templateText = "{exif.date:yyyy-MM-dd|Undated}_{name}_{#:4}";
    auto context = photoContext(41);
    for (auto _ : state) {
        auto name = TokenResolver::render(templateText, context, "IMG_4821", "JPG");
        benchmark::DoNotOptimize(name);
        ++context.index;
    }
}
BENCHMARK(resolveStarterTemplate);

void resolveNonASCIITemplate(benchmark::State& state)
{
    const std::string templateText = "{gps.city|Sem local} — {name} ({date.modified:d.M.yyyy})";
    auto context = photoContext(0);
    for (auto _ : state) {
        auto name = TokenResolver::render(templateText, context, "Praça  do Comércio", "jpg");
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(resolveNonASCIITemplate);

// A date pattern that needs ICU's own formatting (names of days and months).
void resolveTextualDate(benchmark::State& state)
{
    const std::string templateText = "{exif.date:EEEE d MMMM yyyy}";
    auto context = photoContext(0);
    for (auto _ : state) {
        auto name = TokenResolver::render(templateText, context, "IMG_4821", "JPG");
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(resolveTextualDate);

void parseStarterTemplate(benchmark::State& state)
{
    const std::string templateText = "{exif.date:yyyy-MM-dd|Undated}_{name}_{#:4}";
    for (auto _ : state) {
        auto segments = TokenParser::parse(templateText);
        benchmark::DoNotOptimize(segments);
    }
}
BENCHMARK(parseStarterTemplate);

} // namespace

BENCHMARK_MAIN();
