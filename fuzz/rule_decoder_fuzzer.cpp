// Feeds arbitrary bytes to the rule decoders, as a rule, a list of rules and a preset. A
// decoder must either fail with `DecodeError` or give a value that is written and read back
// unchanged; conditions of a decoded rule are matched against a few files, and a decoded
// rule stack names a few files, to reach the matching and naming code with hostile patterns,
// numbers and templates too.
#include "engine/model/json.h"
#include "engine/model/preset.h"
#include "engine/model/rule.h"
#include "engine/pipeline/rename_pipeline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using namespace sorvik;

template <class T> void checkRoundTrip(const T& value)
{
    std::string stored = json::serialize(nlohmann::json(value));
    T read = json::decode<T>(json::parse(stored));
    if (!(read == value))
        std::abort();
    if constexpr (!std::is_same_v<T, std::vector<Rule>>) {
        if (std::hash<T> {}(read) != std::hash<T> {}(value))
            std::abort();
    }
}

const std::vector<FileItem>& sampleItems()
{
    static const std::vector<FileItem> items = [] {
        std::vector<FileItem> made;
        made.emplace_back(FileURL("/a/IMG_0001.JPG"), true, Date { 0 }, Date { 10 }, 4096, 0);
        made.emplace_back(FileURL("/a/notes"), true, Date { 0 }, Date { -10 }, 0, 1);
        made.emplace_back(
            FileURL("/a/b/\xC3\x89t\xC3\xA9 (1).tar.gz"), true, Date { 0 }, Date { 1e9 }, 1, 2);
        FileItem folder(FileURL("/a/Trip.2024", true), true, Date { 0 }, Date { 0 }, 0, 3);
        folder.isDirectory = true;
        made.push_back(folder);
        return made;
    }();
    return items;
}

void matchConditions(const Rule& rule)
{
    if (!rule.condition)
        return;
    for (const auto& item : sampleItems())
        (void)rule.condition->matches(item);
}

/// Names the sample files with the stack, as a preview does; the files are there and nothing
/// else on the disk is.
void nameFiles(const std::vector<Rule>& rules)
{
    PreviewDisk disk;
    disk.fileExists = [](const FileURL&) { return false; };
    disk.isSameEntry = [](const FileURL&, const FileURL&) { return false; };
    disk.findSources = [](const std::vector<const FileURL*>& files, const std::vector<bool>&) {
        return SourceAnswers { std::vector<bool>(files.size(), false), {} };
    };
    disk.destinationFolder = [](const FileURL&, const FileURL&) { return FolderAnswer {}; };
    (void)RenamePipeline::preview(sampleItems(), rules, MetadataMap(), Date { 7e8 }, disk);
}

template <class T> void decode(const nlohmann::json& document)
{
    T value;
    try {
        value = json::decode<T>(document);
    } catch (const json::DecodeError&) {
        return;
    }
    checkRoundTrip(value);
    if constexpr (std::is_same_v<T, Rule>) {
        matchConditions(value);
        nameFiles({ value });
    }
    if constexpr (std::is_same_v<T, std::vector<Rule>>)
        nameFiles(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nlohmann::json document;
    try {
        document = json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const json::DecodeError&) {
        return 0;
    }
    decode<Rule>(document);
    decode<std::vector<Rule>>(document);
    decode<Preset>(document);
    return 0;
}
