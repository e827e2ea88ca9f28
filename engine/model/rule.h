#pragma once

#include "engine/model/condition.h"
#include "engine/model/rule_kind.h"
#include "engine/model/uuid.h"

#include <cstddef>
#include <optional>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// One step of a rule stack. A disabled rule stays in the stack and is skipped; a rule with a
/// condition applies only to the files the condition matches.
struct Rule {
    Uuid id = Uuid::random();
    bool isEnabled = true;
    RuleKind kind;
    std::optional<ConditionGroup> condition;

    Rule() = default;
    /// A rule without a condition.
    Rule(Uuid id, bool isEnabled, RuleKind kind);
    /// A newly added rule: a new random id, enabled, without a condition.
    explicit Rule(RuleKind kind);

    friend bool operator==(const Rule&, const Rule&) = default;
};

/// Writes "id", "isEnabled", "kind", and "condition" only when there is one.
void to_json(nlohmann::json& json, const Rule& rule);
/// "id", "isEnabled" and "kind" are required; a missing or null "condition" reads as none.
void from_json(const nlohmann::json& json, Rule& rule);

} // namespace sorvik

template <> struct std::hash<sorvik::Rule> {
    std::size_t operator()(const sorvik::Rule& rule) const noexcept;
};
