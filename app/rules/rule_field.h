#pragma once

#include "engine/model/rule.h"

#include <optional>
#include <utility>
#include <variant>

// How every control of a kind editor writes: the rule as it is, with its kind's settings
// holding one field changed. The rule's id, its switch and its condition pass through, and
// the kind never changes: a rule of another kind is not written at all, since a stored rule
// can hold any kind under the same id (a hand-edited file) and the control that asks belongs
// to the editor of one kind.
namespace sorvik {

/// The field of `rule`'s settings, when the rule is of the kind that `field` belongs to.
template <class Config, class Value>
std::optional<Value> fieldValue(const Rule& rule, Value Config::*field)
{
    const auto* config = std::get_if<Config>(&rule.kind.config);
    if (!config)
        return std::nullopt;
    return (*config).*field;
}

/// `rule` with the field of its settings set to `value`; nothing when the rule is of another
/// kind.
template <class Config, class Value, class Argument>
std::optional<Rule> withField(const Rule& rule, Value Config::*field, Argument&& value)
{
    const auto* config = std::get_if<Config>(&rule.kind.config);
    if (!config)
        return std::nullopt;
    Config changed = *config;
    changed.*field = std::forward<Argument>(value);
    Rule result = rule;
    result.kind = RuleKind(std::move(changed));
    return result;
}

} // namespace sorvik
