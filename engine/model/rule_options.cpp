#include "engine/model/rule_options.h"

#include "engine/model/json.h"

#include <string>

namespace sorvik {

namespace {

    template <class Enum> void writeOption(nlohmann::json& json, Enum option)
    {
        json = std::string(caseName(option));
    }

    template <class Enum> void readOption(const nlohmann::json& json, Enum& option)
    {
        option = json::decodeText(json, RuleOptionNames<Enum>::table);
    }

} // namespace

void to_json(nlohmann::json& json, ReplaceScope option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, ReplaceScope& option) { readOption(json, option); }
void to_json(nlohmann::json& json, Occurrence option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, Occurrence& option) { readOption(json, option); }
void to_json(nlohmann::json& json, InsertPosition option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, InsertPosition& option) { readOption(json, option); }
void to_json(nlohmann::json& json, NumberStyle option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, NumberStyle& option) { readOption(json, option); }
void to_json(nlohmann::json& json, AIMode option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, AIMode& option) { readOption(json, option); }

} // namespace sorvik
