#pragma once

#include "engine/model/rule.h"
#include "engine/model/uuid.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// A named, saved rule stack. The record keeps its texts as they are given: an empty name, an
/// unknown symbol or a colour that is not hexadecimal is stored and written unchanged.
struct Preset {
    Uuid id = Uuid::random();
    std::string name;
    /// The name of the symbol shown beside the preset's name.
    std::string symbol;
    /// Six hexadecimal RGB digits without "#", e.g. "3478F6".
    std::string colorHex;
    std::vector<Rule> rules;
    std::int64_t schemaVersion = 1;
    bool isBuiltIn = false;

    Preset() = default;
    /// A new preset: a new random id, schema version 1, not built in.
    Preset(std::string name, std::string symbol, std::string colorHex, std::vector<Rule> rules);

    friend bool operator==(const Preset&, const Preset&) = default;
};

/// Writes all seven keys.
void to_json(nlohmann::json& json, const Preset& preset);
/// All seven keys are required; one rule that does not read fails the whole preset. The schema
/// version is read as it is, not checked.
void from_json(const nlohmann::json& json, Preset& preset);

} // namespace sorvik

template <> struct std::hash<sorvik::Preset> {
    std::size_t operator()(const sorvik::Preset& preset) const noexcept;
};
