#pragma once

#include "app/store/preview_services.h"
#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/rename_options.h"
#include "engine/model/rule.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// Everything one preview needs, captured on the GUI thread when the preview is asked for.
/// The item list is shared, not copied: the store replaces its list on every change and
/// never alters one it has handed out.
struct PreviewRequest {
    std::int64_t revision = 0;
    std::shared_ptr<const std::vector<FileItem>> items;
    SortKey sortKey = SortKey::added;
    bool ascending = true;
    bool pairPhotos = false;
    /// The whole rule stack, enabled or not.
    std::vector<Rule> rules;
    /// A token of the enabled rules' texts reads metadata.
    bool needsMetadata = false;
    /// Place names may be looked up: allowed by the user, and the texts name a place token.
    bool lookUpPlaces = false;
};

/// A planned preview: the metadata it used and one row per listed item.
struct PreviewResult {
    MetadataMap metadata;
    std::vector<PreviewRow> rows;
};

// The work of one preview, off the GUI thread. Phases, each ended early when the request is
// cancelled (nothing is then returned):
//   1. a list of more than 2000 items first waits 0.15 s, so that a burst of changes to a
//      large list is planned once;
//   2. the snapshot: the items sorted and, with pairing on, their companions grouped;
//   3. metadata of every listed item, only when a token of the enabled insert, pattern and
//      organize texts reads it;
//   4. for each enabled AI rename rule, the AI answer for each included item, one at a
//      time, with a progress text before each;
//   5. the pipeline, which asks the disk what the rename's own checks ask (the files are
//      looked for beside the naming) and stops touching the disk once cancelled.
namespace PreviewPlanner {

    /// Lists longer than this wait before they are planned.
    inline constexpr std::size_t largeListThreshold = 2000;
    inline constexpr std::chrono::milliseconds largeListWait { 150 };

    /// The texts of the enabled insert, pattern and organize rules, joined with " ".
    std::string ruleText(const std::vector<Rule>& rules);

    /// Whether `ruleText` names a place token ("gps.city" or "gps.country" anywhere).
    bool needsPlaces(std::string_view ruleText);

    /// The request for a list and rule stack, with `onlinePlaces` the user's place lookup.
    PreviewRequest request(std::int64_t revision,
        std::shared_ptr<const std::vector<FileItem>> items, SortKey sortKey, bool ascending,
        bool pairPhotos, std::vector<Rule> rules, bool onlinePlaces);

    /// Whether a list of `itemCount` items waits before it is planned.
    bool waitsFirst(std::size_t itemCount);

    /// "AI naming " + position + "/" + count + "…".
    std::string aiProgressText(std::size_t position, std::size_t count);

    /// Adds one AI answer to an item's metadata: every key under its own name, and again
    /// under "ai." + the rule's id + "." + the key without its "ai." prefix.
    void addAIAnswer(
        MetadataDictionary& entry, const Uuid& ruleID, const MetadataDictionary& answer);

    using Progress = std::function<void(std::string text)>;

    /// Plans the preview of `request`; nothing when `stop` was requested before the end.
    /// Without `services` neither metadata nor AI answers are asked for. `progress` is called
    /// on this thread before each AI call.
    std::optional<PreviewResult> plan(const PreviewRequest& request, PreviewServices* services,
        std::stop_token stop, const Progress& progress);

} // namespace PreviewPlanner

} // namespace sorvik
