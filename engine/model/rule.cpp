#include "engine/model/rule.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"

#include <utility>

#include <nlohmann/json.hpp>

namespace sorvik {

Rule::Rule(Uuid id_, bool isEnabled_, RuleKind kind_)
    : id(id_)
    , isEnabled(isEnabled_)
    , kind(std::move(kind_))
{
}

Rule::Rule(RuleKind kind_)
    : kind(std::move(kind_))
{
}

void to_json(nlohmann::json& json, const Rule& rule)
{
    json = nlohmann::json::object();
    json["id"] = rule.id;
    json["isEnabled"] = rule.isEnabled;
    json["kind"] = rule.kind;
    if (rule.condition)
        json["condition"] = *rule.condition;
}

void from_json(const nlohmann::json& json, Rule& rule)
{
    Rule read(json::field<Uuid>(json, "id"), false, {});
    read.isEnabled = json::field<bool>(json, "isEnabled");
    read.kind = json::field<RuleKind>(json, "kind");
    read.condition = json::optionalField<ConditionGroup>(json, "condition");
    rule = std::move(read);
}

} // namespace sorvik

std::size_t std::hash<sorvik::Rule>::operator()(const sorvik::Rule& rule) const noexcept
{
    sorvik::Hasher hasher;
    hasher.add(rule.id).add(rule.isEnabled).add(rule.kind);
    if (!rule.condition)
        return hasher.add(0).value();
    hasher.add(1).add(rule.condition->matchAll).add(rule.condition->conditions.size());
    for (const auto& condition : rule.condition->conditions)
        hasher.add(condition);
    return hasher.value();
}
