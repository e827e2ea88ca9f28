#include "app/store/saved_session.h"

#include "engine/model/json.h"

#include <unordered_set>

namespace sorvik {

namespace {

    constexpr const char* schemaVersionKey = "schemaVersion";
    constexpr const char* rulesKey = "rules";
    constexpr const char* sortKey = "sort";
    constexpr const char* ascendingKey = "ascending";
    constexpr const char* presetsKey = "presets";

} // namespace

bool makeRuleIDsUnique(std::vector<Rule>& rules)
{
    std::unordered_set<Uuid> seen;
    bool changed = false;
    for (auto& rule : rules) {
        while (!seen.insert(rule.id).second) {
            rule.id = Uuid::random();
            changed = true;
        }
    }
    return changed;
}

void to_json(nlohmann::json& json, const SavedSession& session)
{
    nlohmann::json rules = nlohmann::json::array();
    for (const auto& rule : session.rules)
        rules.push_back(rule);
    json = nlohmann::json::object();
    json[schemaVersionKey] = session.schemaVersion;
    json[rulesKey] = std::move(rules);
    json[sortKey] = session.sort;
    json[ascendingKey] = session.ascending;
}

void from_json(const nlohmann::json& json, SavedSession& session)
{
    json::requireObject(json);
    session.schemaVersion = json::field<std::int64_t>(json, schemaVersionKey);
    session.rules = json::field<std::vector<Rule>>(json, rulesKey);
    session.sort = json::field<SortKey>(json, sortKey);
    session.ascending = json::field<bool>(json, ascendingKey);
}

void to_json(nlohmann::json& json, const SavedPresets& presets)
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto& preset : presets.presets)
        list.push_back(preset);
    json = nlohmann::json::object();
    json[schemaVersionKey] = presets.schemaVersion;
    json[presetsKey] = std::move(list);
}

void from_json(const nlohmann::json& json, SavedPresets& presets)
{
    json::requireObject(json);
    presets.schemaVersion = json::field<std::int64_t>(json, schemaVersionKey);
    presets.presets = json::field<std::vector<Preset>>(json, presetsKey);
}

} // namespace sorvik
