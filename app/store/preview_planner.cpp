#include "app/store/preview_planner.h"

#include "app/store/item_order.h"
#include "engine/apply/local_preview_disk.h"
#include "engine/pipeline/rename_pipeline.h"
#include "engine/pipeline/token_parser.h"

#include <condition_variable>
#include <mutex>
#include <type_traits>
#include <variant>

namespace sorvik::PreviewPlanner {

namespace {

    /// Sleeps for `duration` unless `stop` is requested first; false when it was.
    bool sleep(std::chrono::milliseconds duration, const std::stop_token& stop)
    {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_for(lock, stop, duration, [] { return false; });
        return !stop.stop_requested();
    }

} // namespace

std::string ruleText(const std::vector<Rule>& rules)
{
    std::string text;
    bool first = true;
    for (const auto& rule : rules) {
        if (!rule.isEnabled)
            continue;
        const std::string* part = std::visit(
            [](const auto& config) -> const std::string* {
                using Config = std::decay_t<decltype(config)>;
                if constexpr (std::is_same_v<Config, InsertConfig>)
                    return &config.text;
                else if constexpr (std::is_same_v<Config,
                                       PatternConfig> || std::is_same_v<Config, OrganizeConfig>)
                    return &config.templateText;
                else
                    return nullptr;
            },
            rule.kind.config);
        if (!part)
            continue;
        if (!first)
            text += ' ';
        text += *part;
        first = false;
    }
    return text;
}

bool needsPlaces(std::string_view ruleText)
{
    return ruleText.find("gps.city") != std::string_view::npos
        || ruleText.find("gps.country") != std::string_view::npos;
}

PreviewRequest request(std::int64_t revision, std::shared_ptr<const std::vector<FileItem>> items,
    SortKey sortKey, bool ascending, bool pairPhotos, std::vector<Rule> rules, bool onlinePlaces)
{
    auto text = ruleText(rules);
    PreviewRequest made;
    made.revision = revision;
    made.items = std::move(items);
    made.sortKey = sortKey;
    made.ascending = ascending;
    made.pairPhotos = pairPhotos;
    made.rules = std::move(rules);
    made.needsMetadata = TokenParser::requiresMetadata(text);
    made.lookUpPlaces = onlinePlaces && needsPlaces(text);
    return made;
}

bool waitsFirst(std::size_t itemCount) { return itemCount > largeListThreshold; }

std::string aiProgressText(std::size_t position, std::size_t count)
{
    return "AI naming " + std::to_string(position) + "/" + std::to_string(count) + "\u2026";
}

void addAIAnswer(MetadataDictionary& entry, const Uuid& ruleID, const MetadataDictionary& answer)
{
    const std::string rulePrefix = "ai." + ruleID.text() + ".";
    for (const auto& [key, value] : answer) {
        entry.insert_or_assign(key, value);
        // The service's keys all begin with "ai."; anything shorter is kept whole.
        std::string_view field = key.size() >= 3 ? std::string_view(key).substr(3) : key;
        entry.insert_or_assign(rulePrefix + std::string(field), value);
    }
}

std::optional<PreviewResult> plan(const PreviewRequest& request, PreviewServices* services,
    std::stop_token stop, const Progress& progress)
{
    static const std::vector<FileItem> noItems;
    const auto& items = request.items ? *request.items : noItems;

    if (waitsFirst(items.size()) && !sleep(largeListWait, stop))
        return std::nullopt;
    if (stop.stop_requested())
        return std::nullopt;

    auto snapshot
        = ItemOrder::itemSnapshot(items, request.sortKey, request.ascending, request.pairPhotos);

    PreviewResult result;
    if (request.needsMetadata && services)
        result.metadata = services->metadata(snapshot, request.lookUpPlaces, stop);

    for (const auto& rule : request.rules) {
        const auto* config = std::get_if<AIConfig>(&rule.kind.config);
        if (!rule.isEnabled || !config || !services)
            continue;
        std::size_t position = 0;
        for (const auto& item : snapshot) {
            if (!item.included)
                continue;
            if (stop.stop_requested())
                return std::nullopt;
            ++position;
            if (progress)
                progress(aiProgressText(position, snapshot.size()));
            auto answer = services->aiMetadata(
                item, config->mode, config->maxWords, config->includeDate, stop);
            addAIAnswer(result.metadata[item.id], rule.id, answer);
        }
    }
    if (stop.stop_requested())
        return std::nullopt;

    // A cancelled pipeline still runs to its end, but no longer asks the disk.
    LocalPreviewDisk disk(snapshot, stop);
    disk.lookForFilesAhead(snapshot);
    result.rows = RenamePipeline::preview(
        snapshot, request.rules, result.metadata, Date::now(), disk.questions());
    if (stop.stop_requested())
        return std::nullopt;
    return result;
}

} // namespace sorvik::PreviewPlanner
