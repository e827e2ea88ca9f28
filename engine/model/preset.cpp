#include "engine/model/preset.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"

#include <utility>

#include <nlohmann/json.hpp>

namespace sorvik {

Preset::Preset(
    std::string name_, std::string symbol_, std::string colorHex_, std::vector<Rule> rules_)
    : name(std::move(name_))
    , symbol(std::move(symbol_))
    , colorHex(std::move(colorHex_))
    , rules(std::move(rules_))
{
}

void to_json(nlohmann::json& json, const Preset& preset)
{
    json = nlohmann::json::object();
    json["id"] = preset.id;
    json["name"] = preset.name;
    json["symbol"] = preset.symbol;
    json["colorHex"] = preset.colorHex;
    json["rules"] = preset.rules;
    json["schemaVersion"] = preset.schemaVersion;
    json["isBuiltIn"] = preset.isBuiltIn;
}

void from_json(const nlohmann::json& json, Preset& preset)
{
    using json::field;
    Preset read;
    read.id = field<Uuid>(json, "id");
    read.name = field<std::string>(json, "name");
    read.symbol = field<std::string>(json, "symbol");
    read.colorHex = field<std::string>(json, "colorHex");
    read.rules = field<std::vector<Rule>>(json, "rules");
    read.schemaVersion = field<std::int64_t>(json, "schemaVersion");
    read.isBuiltIn = field<bool>(json, "isBuiltIn");
    preset = std::move(read);
}

} // namespace sorvik

std::size_t std::hash<sorvik::Preset>::operator()(const sorvik::Preset& preset) const noexcept
{
    sorvik::Hasher hasher;
    hasher.add(preset.id).add(preset.name).add(preset.symbol).add(preset.colorHex);
    hasher.add(preset.rules.size());
    for (const auto& rule : preset.rules)
        hasher.add(rule);
    return hasher.add(preset.schemaVersion).add(preset.isBuiltIn).value();
}
