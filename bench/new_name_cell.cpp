// Cost of a file list row's new-name cell, made once per row that the list shows: the
// characters a rename marks, found by a shortest edit script over the old and new names.
#include "app/shell/new_name_cell.h"

#include <string>
#include <utility>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

PreviewRow row(const std::string& oldName, const std::string& newName)
{
    FileItem item(FileURL("/photos/" + oldName), true, Date(), Date(), 1, 0);
    return PreviewRow(item, newName, RenameStatus::ready());
}

void cell(benchmark::State& state, const std::string& oldName, const std::string& newName)
{
    auto planned = row(oldName, newName);
    for (auto _ : state)
        benchmark::DoNotOptimize(newNameCell(planned));
}

const std::string photo = "IMG_20240501_143012_0001.jpg";

BENCHMARK_CAPTURE(cell, unchanged, photo, photo);
BENCHMARK_CAPTURE(cell, datePrefix, photo, "2024-05-01_" + photo);
BENCHMARK_CAPTURE(cell, lowercased, photo, "img_20240501_143012_0001.jpg");
BENCHMARK_CAPTURE(cell, wholeNewName, photo, "2024-05-01 Quarterly report Northwind invoice.pdf");
BENCHMARK_CAPTURE(cell, accentsAndEmoji, "Cafe\xCC\x81 menu \xF0\x9F\x8D\xB0 draft.txt",
    "caf\xC3\xA9-menu-\xF0\x9F\x8D\xB0\xF0\x9F\x8F\xBD-final.txt");
BENCHMARK_CAPTURE(cell, longestNamesAllDifferent, std::string(255, 'a'), std::string(255, 'b'));
BENCHMARK_CAPTURE(cell, longestNamesInterleaved, std::string(255, 'a'), [] {
    std::string text;
    for (int index = 0; index < 127; ++index)
        text += index % 2 ? "ab" : "ba";
    return text;
}());

} // namespace

BENCHMARK_MAIN();
