#pragma once

#include "engine/model/rule_configs.h"

#include <array>
#include <concepts>
#include <cstddef>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// What a rule does: one of the 14 kinds, each with its settings. The kind is the type of the
/// configuration the variant holds; `PatternConfig` and `OrganizeConfig` have the same shape
/// but are distinct kinds.
struct RuleKind {
    using Config = std::variant<ReplaceConfig, RemoveConfig, CleanConfig, CaseConfig, SpaceConfig,
        InsertConfig, NumberingConfig, DateConfig, PatternConfig, LimitConfig, ExtConfig,
        ListConfig, AIConfig, OrganizeConfig>;

    /// The JSON "type" of each kind, in the order of `Config`'s alternatives.
    static constexpr std::array<std::string_view, 14> typeNames { "replace", "remove", "clean",
        "changeCase", "spaces", "insert", "numbering", "date", "pattern", "limitLength", "ext",
        "list", "ai", "organize" };

    Config config;

    RuleKind() = default;
    template <class Settings>
    requires(!std::same_as<std::remove_cvref_t<Settings>,
                 RuleKind> && std::constructible_from<Config, Settings>)
        RuleKind(Settings&& settings)
        : config(std::forward<Settings>(settings))
    {
    }

    /// The kind's place in the list of kinds, 0 for replace to 13 for organize.
    std::size_t position() const { return config.index(); }
    /// The kind's JSON type name, e.g. "changeCase".
    std::string_view typeName() const { return typeNames[config.index()]; }

    /// One kind of each sort, in order, each with the settings of a newly added rule.
    static std::vector<RuleKind> defaults();

    friend bool operator==(const RuleKind&, const RuleKind&) = default;
};

/// Writes {"type": type name, "config": settings}.
void to_json(nlohmann::json& json, const RuleKind& kind);
/// Fails with "Unknown rule type" on the "type" key when the type names no kind; "config" is
/// then not read. Otherwise "config" must hold every key of that kind's settings.
void from_json(const nlohmann::json& json, RuleKind& kind);

} // namespace sorvik

template <> struct std::hash<sorvik::RuleKind> {
    std::size_t operator()(const sorvik::RuleKind& kind) const noexcept;
};
