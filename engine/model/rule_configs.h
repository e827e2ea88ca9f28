#pragma once

#include "engine/model/rename_options.h"
#include "engine/model/rule_options.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

// The settings of each rule kind. Every record is a plain value whose fields keep the order
// below; its JSON form is one object with one key per field, each always written and each
// required on reading. Option fields are stored as their texts. The member initialisers are
// the settings of a newly added rule of the kind. The records do not check their values:
// negative counts or an empty template are kept as they are.

namespace sorvik {

/// Find and replace in the base name, the extension or both.
struct ReplaceConfig {
    std::string find;
    std::string replacement;
    bool regex = false;
    bool caseSensitive = false;
    ReplaceScope scope = ReplaceScope::name;
    Occurrence occurrence = Occurrence::all;

    friend bool operator==(const ReplaceConfig&, const ReplaceConfig&) = default;
};

/// Removal of characters by count, by position range, and before or after a marker.
struct RemoveConfig {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t rangeStart = 0;
    std::int64_t rangeEnd = 0;
    std::string before;
    std::string after;

    friend bool operator==(const RemoveConfig&, const RemoveConfig&) = default;
};

/// The six clean-up switches.
struct CleanConfig {
    bool weird = false;
    bool accents = false;
    bool digits = false;
    bool brackets = false;
    bool emoji = false;
    bool tidy = true;

    friend bool operator==(const CleanConfig&, const CleanConfig&) = default;
};

struct CaseConfig {
    CaseStyle style = CaseStyle::lower;
    bool pascal = false;

    friend bool operator==(const CaseConfig&, const CaseConfig&) = default;
};

struct SpaceConfig {
    SpaceMode mode = SpaceMode::dash;

    friend bool operator==(const SpaceConfig&, const SpaceConfig&) = default;
};

struct InsertConfig {
    std::string text;
    InsertPosition position = InsertPosition::prefix;
    std::int64_t index = 0;
    std::string marker;

    friend bool operator==(const InsertConfig&, const InsertConfig&) = default;
};

struct NumberingConfig {
    NumberPlacement placement = NumberPlacement::suffix;
    std::int64_t start = 1;
    std::int64_t step = 1;
    std::int64_t padding = 3;
    std::string separator = "_";
    std::string baseText;
    bool perFolder = false;
    NumberStyle style = NumberStyle::decimal;

    friend bool operator==(const NumberingConfig&, const NumberingConfig&) = default;
};

struct DateConfig {
    DateSource source = DateSource::modified;
    std::string format = "yyyy-MM-dd";
    Placement placement = Placement::prefix;
    std::string separator = "_";

    friend bool operator==(const DateConfig&, const DateConfig&) = default;
};

/// A token template whose result becomes the whole base name.
struct PatternConfig {
    std::string templateText = "{name}";

    friend bool operator==(const PatternConfig&, const PatternConfig&) = default;
};

struct LimitConfig {
    std::int64_t maxCharacters = 80;
    bool keepEnd = false;

    friend bool operator==(const LimitConfig&, const LimitConfig&) = default;
};

struct ExtConfig {
    ExtMode mode = ExtMode::lower;
    std::string value;

    friend bool operator==(const ExtConfig&, const ExtConfig&) = default;
};

/// The list of new names as CSV text, matched to files by position or by old name.
struct ListConfig {
    std::string text;
    bool byName = false;

    friend bool operator==(const ListConfig&, const ListConfig&) = default;
};

struct AIConfig {
    AIMode mode = AIMode::smart;
    std::int64_t maxWords = 6;
    bool includeDate = true;

    friend bool operator==(const AIConfig&, const AIConfig&) = default;
};

/// A token template for the subfolder, below the file's own folder, that receives the file.
struct OrganizeConfig {
    std::string templateText = "{date.created:yyyy}/{date.created:MM}";

    friend bool operator==(const OrganizeConfig&, const OrganizeConfig&) = default;
};

void to_json(nlohmann::json& json, const ReplaceConfig& config);
void from_json(const nlohmann::json& json, ReplaceConfig& config);
void to_json(nlohmann::json& json, const RemoveConfig& config);
void from_json(const nlohmann::json& json, RemoveConfig& config);
void to_json(nlohmann::json& json, const CleanConfig& config);
void from_json(const nlohmann::json& json, CleanConfig& config);
void to_json(nlohmann::json& json, const CaseConfig& config);
void from_json(const nlohmann::json& json, CaseConfig& config);
void to_json(nlohmann::json& json, const SpaceConfig& config);
void from_json(const nlohmann::json& json, SpaceConfig& config);
void to_json(nlohmann::json& json, const InsertConfig& config);
void from_json(const nlohmann::json& json, InsertConfig& config);
void to_json(nlohmann::json& json, const NumberingConfig& config);
void from_json(const nlohmann::json& json, NumberingConfig& config);
void to_json(nlohmann::json& json, const DateConfig& config);
void from_json(const nlohmann::json& json, DateConfig& config);
void to_json(nlohmann::json& json, const PatternConfig& config);
void from_json(const nlohmann::json& json, PatternConfig& config);
void to_json(nlohmann::json& json, const LimitConfig& config);
void from_json(const nlohmann::json& json, LimitConfig& config);
void to_json(nlohmann::json& json, const ExtConfig& config);
void from_json(const nlohmann::json& json, ExtConfig& config);
void to_json(nlohmann::json& json, const ListConfig& config);
void from_json(const nlohmann::json& json, ListConfig& config);
void to_json(nlohmann::json& json, const AIConfig& config);
void from_json(const nlohmann::json& json, AIConfig& config);
void to_json(nlohmann::json& json, const OrganizeConfig& config);
void from_json(const nlohmann::json& json, OrganizeConfig& config);

} // namespace sorvik

#define SORVIK_DECLARE_CONFIG_HASH(Config)                                                         \
    template <> struct std::hash<sorvik::Config> {                                                 \
        std::size_t operator()(const sorvik::Config& config) const noexcept;                       \
    };

SORVIK_DECLARE_CONFIG_HASH(ReplaceConfig)
SORVIK_DECLARE_CONFIG_HASH(RemoveConfig)
SORVIK_DECLARE_CONFIG_HASH(CleanConfig)
SORVIK_DECLARE_CONFIG_HASH(CaseConfig)
SORVIK_DECLARE_CONFIG_HASH(SpaceConfig)
SORVIK_DECLARE_CONFIG_HASH(InsertConfig)
SORVIK_DECLARE_CONFIG_HASH(NumberingConfig)
SORVIK_DECLARE_CONFIG_HASH(DateConfig)
SORVIK_DECLARE_CONFIG_HASH(PatternConfig)
SORVIK_DECLARE_CONFIG_HASH(LimitConfig)
SORVIK_DECLARE_CONFIG_HASH(ExtConfig)
SORVIK_DECLARE_CONFIG_HASH(ListConfig)
SORVIK_DECLARE_CONFIG_HASH(AIConfig)
SORVIK_DECLARE_CONFIG_HASH(OrganizeConfig)

#undef SORVIK_DECLARE_CONFIG_HASH
