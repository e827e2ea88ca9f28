#include "engine/model/rename_options.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"

namespace sorvik {

namespace {

    template <class Enum> void writeOption(nlohmann::json& json, Enum option)
    {
        json = std::string(rawValue(option));
    }

    template <class Enum> void readOption(const nlohmann::json& json, Enum& option)
    {
        option = json::decodeText(json, OptionTexts<Enum>::table);
    }

} // namespace

void to_json(nlohmann::json& json, CaseStyle option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, CaseStyle& option) { readOption(json, option); }
void to_json(nlohmann::json& json, SpaceMode option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, SpaceMode& option) { readOption(json, option); }
void to_json(nlohmann::json& json, Placement option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, Placement& option) { readOption(json, option); }
void to_json(nlohmann::json& json, NumberPlacement option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, NumberPlacement& option) { readOption(json, option); }
void to_json(nlohmann::json& json, DateSource option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, DateSource& option) { readOption(json, option); }
void to_json(nlohmann::json& json, ExtMode option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, ExtMode& option) { readOption(json, option); }
void to_json(nlohmann::json& json, SortKey option) { writeOption(json, option); }
void from_json(const nlohmann::json& json, SortKey& option) { readOption(json, option); }

void to_json(nlohmann::json& json, const RenameOptions& options)
{
    json = nlohmann::json::object();
    json["find"] = options.find;
    json["replaceWith"] = options.replaceWith;
    json["useRegex"] = options.useRegex;
    json["caseSensitive"] = options.caseSensitive;
    json["removeFirst"] = options.removeFirst;
    json["removeLast"] = options.removeLast;
    json["removeWeird"] = options.removeWeird;
    json["stripAccents"] = options.stripAccents;
    json["removeDigits"] = options.removeDigits;
    json["removeBrackets"] = options.removeBrackets;
    json["tidy"] = options.tidy;
    json["caseStyle"] = options.caseStyle;
    json["spaceMode"] = options.spaceMode;
    json["prefix"] = options.prefix;
    json["suffix"] = options.suffix;
    json["numberOn"] = options.numberOn;
    json["numberPlacement"] = options.numberPlacement;
    json["numberStart"] = options.numberStart;
    json["numberStep"] = options.numberStep;
    json["numberPadding"] = options.numberPadding;
    json["numberSeparator"] = options.numberSeparator;
    json["numberBaseText"] = options.numberBaseText;
    json["numberPerFolder"] = options.numberPerFolder;
    json["dateSource"] = options.dateSource;
    json["dateFormat"] = options.dateFormat;
    json["datePlacement"] = options.datePlacement;
    json["dateSeparator"] = options.dateSeparator;
    json["extMode"] = options.extMode;
    json["newExt"] = options.newExt;
}

void from_json(const nlohmann::json& json, RenameOptions& options)
{
    using json::field;
    RenameOptions read;
    read.find = field<std::string>(json, "find");
    read.replaceWith = field<std::string>(json, "replaceWith");
    read.useRegex = field<bool>(json, "useRegex");
    read.caseSensitive = field<bool>(json, "caseSensitive");
    read.removeFirst = field<std::int64_t>(json, "removeFirst");
    read.removeLast = field<std::int64_t>(json, "removeLast");
    read.removeWeird = field<bool>(json, "removeWeird");
    read.stripAccents = field<bool>(json, "stripAccents");
    read.removeDigits = field<bool>(json, "removeDigits");
    read.removeBrackets = field<bool>(json, "removeBrackets");
    read.tidy = field<bool>(json, "tidy");
    read.caseStyle = field<CaseStyle>(json, "caseStyle");
    read.spaceMode = field<SpaceMode>(json, "spaceMode");
    read.prefix = field<std::string>(json, "prefix");
    read.suffix = field<std::string>(json, "suffix");
    read.numberOn = field<bool>(json, "numberOn");
    read.numberPlacement = field<NumberPlacement>(json, "numberPlacement");
    read.numberStart = field<std::int64_t>(json, "numberStart");
    read.numberStep = field<std::int64_t>(json, "numberStep");
    read.numberPadding = field<std::int64_t>(json, "numberPadding");
    read.numberSeparator = field<std::string>(json, "numberSeparator");
    read.numberBaseText = field<std::string>(json, "numberBaseText");
    read.numberPerFolder = field<bool>(json, "numberPerFolder");
    read.dateSource = field<DateSource>(json, "dateSource");
    read.dateFormat = field<std::string>(json, "dateFormat");
    read.datePlacement = field<Placement>(json, "datePlacement");
    read.dateSeparator = field<std::string>(json, "dateSeparator");
    read.extMode = field<ExtMode>(json, "extMode");
    read.newExt = field<std::string>(json, "newExt");
    options = std::move(read);
}

} // namespace sorvik

std::size_t std::hash<sorvik::RenameOptions>::operator()(
    const sorvik::RenameOptions& options) const noexcept
{
    sorvik::Hasher hasher;
    auto addOption = [&hasher](auto option) { hasher.add(sorvik::rawValue(option)); };
    hasher.add(options.find).add(options.replaceWith).add(options.useRegex);
    hasher.add(options.caseSensitive).add(options.removeFirst).add(options.removeLast);
    hasher.add(options.removeWeird).add(options.stripAccents).add(options.removeDigits);
    hasher.add(options.removeBrackets).add(options.tidy);
    addOption(options.caseStyle);
    addOption(options.spaceMode);
    hasher.add(options.prefix).add(options.suffix).add(options.numberOn);
    addOption(options.numberPlacement);
    hasher.add(options.numberStart).add(options.numberStep).add(options.numberPadding);
    hasher.add(options.numberSeparator).add(options.numberBaseText).add(options.numberPerFolder);
    addOption(options.dateSource);
    hasher.add(options.dateFormat);
    addOption(options.datePlacement);
    hasher.add(options.dateSeparator);
    addOption(options.extMode);
    return hasher.add(options.newExt).value();
}
