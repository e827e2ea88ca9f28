#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

// The option enumerations of the single-form options. Each case's text is at once its
// display title, its id and its stored JSON form; the tables list the cases in order.

enum class CaseStyle { keep, lower, upper, title, sentence, camel, snake, kebab };
enum class SpaceMode { keep, remove, underscore, dash, dot };
enum class Placement { prefix, suffix };
enum class NumberPlacement { prefix, suffix, replace };
enum class DateSource { none, modified, created, today };
enum class ExtMode { keep, lower, upper, change, remove };
enum class SortKey { added, name, modified, created, size };

template <class Enum> struct OptionTexts;

template <> struct OptionTexts<CaseStyle> {
    static constexpr std::array<std::pair<CaseStyle, std::string_view>, 8> table { {
        { CaseStyle::keep, "Keep as is" },
        { CaseStyle::lower, "lowercase" },
        { CaseStyle::upper, "UPPERCASE" },
        { CaseStyle::title, "Title Case" },
        { CaseStyle::sentence, "Sentence case" },
        { CaseStyle::camel, "camelCase" },
        { CaseStyle::snake, "snake_case" },
        { CaseStyle::kebab, "kebab-case" },
    } };
};

template <> struct OptionTexts<SpaceMode> {
    static constexpr std::array<std::pair<SpaceMode, std::string_view>, 5> table { {
        { SpaceMode::keep, "Keep" },
        { SpaceMode::remove, "Remove" },
        { SpaceMode::underscore, "Use _" },
        { SpaceMode::dash, "Use -" },
        { SpaceMode::dot, "Use ." },
    } };
};

template <> struct OptionTexts<Placement> {
    static constexpr std::array<std::pair<Placement, std::string_view>, 2> table { {
        { Placement::prefix, "Before name" },
        { Placement::suffix, "After name" },
    } };
};

template <> struct OptionTexts<NumberPlacement> {
    static constexpr std::array<std::pair<NumberPlacement, std::string_view>, 3> table { {
        { NumberPlacement::prefix, "Before name" },
        { NumberPlacement::suffix, "After name" },
        { NumberPlacement::replace, "Replace name" },
    } };
};

template <> struct OptionTexts<DateSource> {
    static constexpr std::array<std::pair<DateSource, std::string_view>, 4> table { {
        { DateSource::none, "Off" },
        { DateSource::modified, "Date modified" },
        { DateSource::created, "Date created" },
        { DateSource::today, "Today" },
    } };
};

template <> struct OptionTexts<ExtMode> {
    static constexpr std::array<std::pair<ExtMode, std::string_view>, 5> table { {
        { ExtMode::keep, "Keep" },
        { ExtMode::lower, "lowercase" },
        { ExtMode::upper, "UPPERCASE" },
        { ExtMode::change, "Change to\u2026" },
        { ExtMode::remove, "Remove" },
    } };
};

template <> struct OptionTexts<SortKey> {
    static constexpr std::array<std::pair<SortKey, std::string_view>, 5> table { {
        { SortKey::added, "Order added" },
        { SortKey::name, "Name" },
        { SortKey::modified, "Date modified" },
        { SortKey::created, "Date created" },
        { SortKey::size, "Size" },
    } };
};

/// The display title, id and stored text of an option.
template <class Enum> std::string_view rawValue(Enum option)
{
    for (const auto& [candidate, text] : OptionTexts<Enum>::table) {
        if (candidate == option)
            return text;
    }
    return {};
}

/// The option whose text is exactly `text` (case-sensitive), or nothing.
template <class Enum> std::optional<Enum> optionFromRawValue(std::string_view text)
{
    for (const auto& [candidate, title] : OptionTexts<Enum>::table) {
        if (title == text)
            return candidate;
    }
    return std::nullopt;
}

/// Every case of an option enumeration, in order.
template <class Enum> auto allCases()
{
    std::array<Enum, OptionTexts<Enum>::table.size()> cases {};
    for (std::size_t index = 0; index < cases.size(); ++index)
        cases[index] = OptionTexts<Enum>::table[index].first;
    return cases;
}

void to_json(nlohmann::json& json, CaseStyle option);
void from_json(const nlohmann::json& json, CaseStyle& option);
void to_json(nlohmann::json& json, SpaceMode option);
void from_json(const nlohmann::json& json, SpaceMode& option);
void to_json(nlohmann::json& json, Placement option);
void from_json(const nlohmann::json& json, Placement& option);
void to_json(nlohmann::json& json, NumberPlacement option);
void from_json(const nlohmann::json& json, NumberPlacement& option);
void to_json(nlohmann::json& json, DateSource option);
void from_json(const nlohmann::json& json, DateSource& option);
void to_json(nlohmann::json& json, ExtMode option);
void from_json(const nlohmann::json& json, ExtMode& option);
void to_json(nlohmann::json& json, SortKey option);
void from_json(const nlohmann::json& json, SortKey& option);

/// The flat set of options that one pass of the single-form transform applies to a name.
struct RenameOptions {
    std::string find;
    std::string replaceWith;
    bool useRegex = false;
    bool caseSensitive = false;
    std::int64_t removeFirst = 0;
    std::int64_t removeLast = 0;
    bool removeWeird = false;
    bool stripAccents = false;
    bool removeDigits = false;
    bool removeBrackets = false;
    bool tidy = false;
    CaseStyle caseStyle = CaseStyle::keep;
    SpaceMode spaceMode = SpaceMode::keep;
    std::string prefix;
    std::string suffix;
    bool numberOn = false;
    NumberPlacement numberPlacement = NumberPlacement::suffix;
    std::int64_t numberStart = 1;
    std::int64_t numberStep = 1;
    std::int64_t numberPadding = 3;
    std::string numberSeparator = "_";
    std::string numberBaseText;
    bool numberPerFolder = false;
    DateSource dateSource = DateSource::none;
    std::string dateFormat = "yyyy-MM-dd";
    Placement datePlacement = Placement::prefix;
    std::string dateSeparator = "_";
    ExtMode extMode = ExtMode::keep;
    std::string newExt;

    bool isDefault() const { return *this == RenameOptions {}; }

    friend bool operator==(const RenameOptions&, const RenameOptions&) = default;
};

/// Writes all 29 keys.
void to_json(nlohmann::json& json, const RenameOptions& options);
/// Every one of the 29 keys is required; unknown keys are ignored.
void from_json(const nlohmann::json& json, RenameOptions& options);

} // namespace sorvik

/// Feeds the 29 fields in order; an option field by its text.
template <> struct std::hash<sorvik::RenameOptions> {
    std::size_t operator()(const sorvik::RenameOptions& options) const noexcept;
};
