#include "engine/model/condition.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"
#include "engine/model/regex.h"
#include "engine/model/text.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <nlohmann/json.hpp>

namespace sorvik {

namespace {

    constexpr std::array<std::string_view, 6> caseNames { "ext", "name", "nameRegex", "kind",
        "size", "modified" };

    struct KindList {
        std::string_view name;
        std::vector<std::string_view> extensions;
    };

    const std::array<KindList, 5>& kindLists()
    {
        static const std::array<KindList, 5> lists { {
            { "image",
                { "jpg", "jpeg", "png", "heic", "tiff", "gif", "dng", "cr2", "cr3", "nef",
                    "arw" } },
            { "video", { "mov", "mp4", "m4v", "avi" } },
            { "audio", { "mp3", "m4a", "wav", "aac", "flac", "aiff" } },
            { "document", { "pdf", "txt", "docx", "rtf", "md" } },
            { "archive", { "zip", "gz", "tar", "7z" } },
        } };
        return lists;
    }

    /// Lower case and composed, so that equal texts compare equal byte for byte.
    std::string loweredForComparison(std::string_view value)
    {
        return text::nfc(text::lowercased(value));
    }

    bool isInList(const std::string& loweredExtension, const std::vector<std::string_view>& list)
    {
        return std::find(list.begin(), list.end(), loweredExtension) != list.end();
    }

    bool matchesExt(const Condition::Ext& ext, const FileItem& item)
    {
        std::string extension = loweredForComparison(item.ext());
        return std::any_of(
            ext.extensions.begin(), ext.extensions.end(), [&extension](const std::string& entry) {
                return text::trimming(loweredForComparison(entry), ". ") == extension;
            });
    }

    bool matchesName(const Condition::Name& name, const FileItem& item)
    {
        // Names on disk may be composed or decomposed; either form of a text finds the other.
        return text::contains(text::nfc(item.name()), text::nfc(name.text), !name.caseSensitive);
    }

    /// The compiled form of the pattern last used on this thread. A preview matches one
    /// condition against every file in turn, so this spares compiling it again for each file.
    const std::optional<Regex>& compiled(const std::string& pattern)
    {
        thread_local std::string lastPattern;
        thread_local std::optional<Regex> lastRegex;
        thread_local bool isFilled = false;
        if (!isFilled || lastPattern != pattern) {
            lastRegex = Regex::tryCompile(pattern);
            lastPattern = pattern;
            isFilled = true;
        }
        return lastRegex;
    }

    bool matchesNameRegex(const Condition::NameRegex& nameRegex, const FileItem& item)
    {
        const auto& regex = compiled(nameRegex.pattern);
        return regex && regex->search(item.name());
    }

    bool matchesKind(const Condition::Kind& kind, const FileItem& item)
    {
        if (kind.name == "folder")
            return item.isDirectory;
        if (item.isDirectory)
            return false;
        std::string extension = loweredForComparison(item.ext());
        if (kind.name == "other") {
            return std::none_of(
                kindLists().begin(), kindLists().end(), [&extension](const KindList& list) {
                    return isInList(extension, list.extensions);
                });
        }
        for (const KindList& list : kindLists()) {
            if (list.name == kind.name)
                return isInList(extension, list.extensions);
        }
        return false;
    }

    bool matchesSize(const Condition::Size& size, const FileItem& item)
    {
        if (size.greaterThan && !(item.size > *size.greaterThan))
            return false;
        return !size.lessThan || item.size < *size.lessThan;
    }

    bool matchesModified(const Condition::Modified& modified, const FileItem& item)
    {
        if (modified.after && !(item.modified > *modified.after))
            return false;
        return !modified.before || item.modified < *modified.before;
    }

    template <class T>
    void writeOptional(nlohmann::json& object, std::string_view key, const std::optional<T>& value)
    {
        if (value)
            object[std::string(key)] = *value;
    }

} // namespace

bool Condition::matches(const FileItem& item) const
{
    return std::visit(
        [&item](const auto& payload) {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, Ext>)
                return matchesExt(payload, item);
            else if constexpr (std::is_same_v<Payload, Name>)
                return matchesName(payload, item);
            else if constexpr (std::is_same_v<Payload, NameRegex>)
                return matchesNameRegex(payload, item);
            else if constexpr (std::is_same_v<Payload, Kind>)
                return matchesKind(payload, item);
            else if constexpr (std::is_same_v<Payload, Size>)
                return matchesSize(payload, item);
            else
                return matchesModified(payload, item);
        },
        value);
}

bool ConditionGroup::matches(const FileItem& item) const
{
    auto holds = [&item](const Condition& condition) { return condition.matches(item); };
    if (matchAll)
        return std::all_of(conditions.begin(), conditions.end(), holds);
    return std::any_of(conditions.begin(), conditions.end(), holds);
}

void to_json(nlohmann::json& json, const Condition& condition)
{
    nlohmann::json payload = nlohmann::json::object();
    std::visit(
        [&payload](const auto& value) {
            using Payload = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Payload, Condition::Ext>) {
                payload["_0"] = value.extensions;
            } else if constexpr (std::is_same_v<Payload, Condition::Name>) {
                payload["_0"] = value.text;
                payload["caseSensitive"] = value.caseSensitive;
            } else if constexpr (std::is_same_v<Payload, Condition::NameRegex>) {
                payload["_0"] = value.pattern;
            } else if constexpr (std::is_same_v<Payload, Condition::Kind>) {
                payload["_0"] = value.name;
            } else if constexpr (std::is_same_v<Payload, Condition::Size>) {
                writeOptional(payload, "greaterThan", value.greaterThan);
                writeOptional(payload, "lessThan", value.lessThan);
            } else {
                writeOptional(payload, "after", value.after);
                writeOptional(payload, "before", value.before);
            }
        },
        condition.value);
    json = nlohmann::json::object();
    json[std::string(caseNames[condition.value.index()])] = std::move(payload);
}

namespace {

    Condition decodePayload(std::size_t position, const nlohmann::json& payload)
    {
        using json::field;
        using json::optionalField;
        json::requireObject(payload);
        switch (position) {
        case 0:
            return Condition::ext(field<std::vector<std::string>>(payload, "_0"));
        case 1: {
            auto text = field<std::string>(payload, "_0");
            return Condition::name(std::move(text), field<bool>(payload, "caseSensitive"));
        }
        case 2:
            return Condition::nameRegex(field<std::string>(payload, "_0"));
        case 3:
            return Condition::kind(field<std::string>(payload, "_0"));
        case 4: {
            auto greaterThan = optionalField<std::int64_t>(payload, "greaterThan");
            return Condition::size(greaterThan, optionalField<std::int64_t>(payload, "lessThan"));
        }
        default: {
            auto after = optionalField<Date>(payload, "after");
            return Condition::modified(after, optionalField<Date>(payload, "before"));
        }
        }
    }

} // namespace

void from_json(const nlohmann::json& json, Condition& condition)
{
    json::requireObject(json);
    std::optional<std::size_t> found;
    std::size_t count = 0;
    for (std::size_t position = 0; position < caseNames.size(); ++position) {
        if (json.contains(caseNames[position])) {
            found = position;
            ++count;
        }
    }
    if (count != 1)
        throw json::DecodeError("Invalid number of keys found, expected one.");
    std::string_view key = caseNames[*found];
    const nlohmann::json& payload = json::member(json, key);
    try {
        condition = decodePayload(*found, payload);
    } catch (json::DecodeError& error) {
        error.prependKey(key);
        throw;
    }
}

void to_json(nlohmann::json& json, const ConditionGroup& group)
{
    json = nlohmann::json::object();
    json["matchAll"] = group.matchAll;
    json["conditions"] = group.conditions;
}

void from_json(const nlohmann::json& json, ConditionGroup& group)
{
    ConditionGroup read;
    read.matchAll = json::field<bool>(json, "matchAll");
    read.conditions = json::field<std::vector<Condition>>(json, "conditions");
    group = std::move(read);
}

} // namespace sorvik

std::size_t std::hash<sorvik::Condition>::operator()(
    const sorvik::Condition& condition) const noexcept
{
    sorvik::Hasher hasher;
    hasher.add(condition.value.index());
    auto addOptional = [&hasher](const auto& optional) {
        hasher.add(optional.has_value());
        if (optional)
            hasher.add(*optional);
    };
    std::visit(
        [&](const auto& value) {
            using Payload = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Payload, sorvik::Condition::Ext>) {
                hasher.add(value.extensions.size());
                for (const auto& extension : value.extensions)
                    hasher.add(extension);
            } else if constexpr (std::is_same_v<Payload, sorvik::Condition::Name>) {
                hasher.add(value.text).add(value.caseSensitive);
            } else if constexpr (std::is_same_v<Payload, sorvik::Condition::NameRegex>) {
                hasher.add(value.pattern);
            } else if constexpr (std::is_same_v<Payload, sorvik::Condition::Kind>) {
                hasher.add(value.name);
            } else if constexpr (std::is_same_v<Payload, sorvik::Condition::Size>) {
                addOptional(value.greaterThan);
                addOptional(value.lessThan);
            } else {
                auto seconds = [](const std::optional<sorvik::Date>& date) {
                    return date ? std::optional<double>(date->seconds) : std::nullopt;
                };
                addOptional(seconds(value.after));
                addOptional(seconds(value.before));
            }
        },
        condition.value);
    return hasher.value();
}

std::size_t std::hash<sorvik::ConditionGroup>::operator()(
    const sorvik::ConditionGroup& group) const noexcept
{
    sorvik::Hasher hasher;
    hasher.add(group.matchAll).add(group.conditions.size());
    for (const auto& condition : group.conditions)
        hasher.add(condition);
    return hasher.value();
}
