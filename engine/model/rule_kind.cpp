#include "engine/model/rule_kind.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace sorvik {

namespace {

    using ConfigReader = RuleKind (*)(const nlohmann::json&);

    template <std::size_t Position> RuleKind readConfig(const nlohmann::json& object)
    {
        using Settings = std::variant_alternative_t<Position, RuleKind::Config>;
        return RuleKind(json::field<Settings>(object, "config"));
    }

    template <std::size_t... Positions>
    constexpr std::array<ConfigReader, sizeof...(Positions)> makeReaders(
        std::index_sequence<Positions...>)
    {
        return { &readConfig<Positions>... };
    }

    constexpr auto configReaders
        = makeReaders(std::make_index_sequence<std::variant_size_v<RuleKind::Config>>());

    static_assert(configReaders.size() == RuleKind::typeNames.size());

} // namespace

std::vector<RuleKind> RuleKind::defaults()
{
    return { ReplaceConfig {}, RemoveConfig {}, CleanConfig {}, CaseConfig {}, SpaceConfig {},
        InsertConfig {}, NumberingConfig {}, DateConfig {}, PatternConfig {}, LimitConfig {},
        ExtConfig {}, ListConfig {}, AIConfig {}, OrganizeConfig {} };
}

void to_json(nlohmann::json& json, const RuleKind& kind)
{
    json = nlohmann::json::object();
    json["type"] = std::string(kind.typeName());
    std::visit([&json](const auto& settings) { json["config"] = settings; }, kind.config);
}

void from_json(const nlohmann::json& json, RuleKind& kind)
{
    auto type = json::field<std::string>(json, "type");
    for (std::size_t position = 0; position < RuleKind::typeNames.size(); ++position) {
        if (RuleKind::typeNames[position] == type) {
            kind = configReaders[position](json);
            return;
        }
    }
    json::DecodeError error("Unknown rule type");
    error.prependKey("type");
    throw error;
}

} // namespace sorvik

std::size_t std::hash<sorvik::RuleKind>::operator()(const sorvik::RuleKind& kind) const noexcept
{
    sorvik::Hasher hasher;
    hasher.add(kind.position());
    std::visit([&hasher](const auto& settings) { hasher.add(settings); }, kind.config);
    return hasher.value();
}
