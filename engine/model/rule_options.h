#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

// The option enumerations that only rules use. Each is stored in JSON as its case name.

enum class ReplaceScope { name, ext, both };
enum class Occurrence { all, first, last };
enum class InsertPosition { prefix, suffix, index, afterText };
enum class NumberStyle { decimal, alpha, roman };
enum class AIMode { smart, documents, photos };

template <class Enum> struct RuleOptionNames;

template <> struct RuleOptionNames<ReplaceScope> {
    static constexpr std::array<std::pair<ReplaceScope, std::string_view>, 3> table { {
        { ReplaceScope::name, "name" },
        { ReplaceScope::ext, "ext" },
        { ReplaceScope::both, "both" },
    } };
};

template <> struct RuleOptionNames<Occurrence> {
    static constexpr std::array<std::pair<Occurrence, std::string_view>, 3> table { {
        { Occurrence::all, "all" },
        { Occurrence::first, "first" },
        { Occurrence::last, "last" },
    } };
};

template <> struct RuleOptionNames<InsertPosition> {
    static constexpr std::array<std::pair<InsertPosition, std::string_view>, 4> table { {
        { InsertPosition::prefix, "prefix" },
        { InsertPosition::suffix, "suffix" },
        { InsertPosition::index, "index" },
        { InsertPosition::afterText, "afterText" },
    } };
};

template <> struct RuleOptionNames<NumberStyle> {
    static constexpr std::array<std::pair<NumberStyle, std::string_view>, 3> table { {
        { NumberStyle::decimal, "decimal" },
        { NumberStyle::alpha, "alpha" },
        { NumberStyle::roman, "roman" },
    } };
};

template <> struct RuleOptionNames<AIMode> {
    static constexpr std::array<std::pair<AIMode, std::string_view>, 3> table { {
        { AIMode::smart, "smart" },
        { AIMode::documents, "documents" },
        { AIMode::photos, "photos" },
    } };
};

/// The case name of a rule option.
template <class Enum> std::string_view caseName(Enum option)
{
    for (const auto& [candidate, name] : RuleOptionNames<Enum>::table) {
        if (candidate == option)
            return name;
    }
    return {};
}

/// The rule option whose case name is exactly `name`, or nothing.
template <class Enum> std::optional<Enum> optionFromCaseName(std::string_view name)
{
    for (const auto& [candidate, caseText] : RuleOptionNames<Enum>::table) {
        if (caseText == name)
            return candidate;
    }
    return std::nullopt;
}

void to_json(nlohmann::json& json, ReplaceScope option);
void from_json(const nlohmann::json& json, ReplaceScope& option);
void to_json(nlohmann::json& json, Occurrence option);
void from_json(const nlohmann::json& json, Occurrence& option);
void to_json(nlohmann::json& json, InsertPosition option);
void from_json(const nlohmann::json& json, InsertPosition& option);
void to_json(nlohmann::json& json, NumberStyle option);
void from_json(const nlohmann::json& json, NumberStyle& option);
void to_json(nlohmann::json& json, AIMode option);
void from_json(const nlohmann::json& json, AIMode& option);

} // namespace sorvik
