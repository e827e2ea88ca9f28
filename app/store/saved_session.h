#pragma once

#include "engine/model/preset.h"
#include "engine/model/rename_options.h"
#include "engine/model/rule.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

// What the window keeps between launches apart from history and grants. Both records are
// written with every key and schema version 1, and read strictly: a missing key, a null or a
// value of the wrong type fails the whole file; other keys are ignored. A record of another
// schema version still reads; the store then leaves its content alone.

/// The rule stack and sort order as the window was last left ("last-session.json").
struct SavedSession {
    static constexpr std::string_view fileName = "last-session.json";

    std::int64_t schemaVersion = 1;
    std::vector<Rule> rules;
    SortKey sort = SortKey::added;
    bool ascending = true;

    friend bool operator==(const SavedSession&, const SavedSession&) = default;
};

/// The user's presets in list order ("presets.json").
struct SavedPresets {
    static constexpr std::string_view fileName = "presets.json";

    std::int64_t schemaVersion = 1;
    std::vector<Preset> presets;

    friend bool operator==(const SavedPresets&, const SavedPresets&) = default;
};

/// Gives each rule whose id an earlier rule of the list already has a new random id, so that
/// every rule of a stack that comes in from a file (a hand-edited one, say) is one of its own.
/// Unique ids are kept. Whether any id changed.
bool makeRuleIDsUnique(std::vector<Rule>& rules);

void to_json(nlohmann::json& json, const SavedSession& session);
void from_json(const nlohmann::json& json, SavedSession& session);
void to_json(nlohmann::json& json, const SavedPresets& presets);
void from_json(const nlohmann::json& json, SavedPresets& presets);

} // namespace sorvik
