#pragma once

#include "engine/model/date.h"
#include "engine/model/file_item.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// One test of a file's property: its extension, its name, its kind, its size or its
/// modification date. Matching never fails: an expression that does not compile, or that
/// runs out of time, and a kind name outside the known ones simply do not hold.
struct Condition {
    /// The item's extension is one of `extensions` (letter case, and dots and spaces around
    /// an entry, do not count).
    struct Ext {
        std::vector<std::string> extensions;
        friend bool operator==(const Ext&, const Ext&) = default;
    };
    /// The item's name contains `text`.
    struct Name {
        std::string text;
        bool caseSensitive = false;
        friend bool operator==(const Name&, const Name&) = default;
    };
    /// The item's name contains a match of the ICU regular expression `pattern`.
    struct NameRegex {
        std::string pattern;
        friend bool operator==(const NameRegex&, const NameRegex&) = default;
    };
    /// The item is a folder, or a file of the named kind ("image", "video", "audio",
    /// "document", "archive", "other").
    struct Kind {
        std::string name;
        friend bool operator==(const Kind&, const Kind&) = default;
    };
    /// The item's size lies strictly between the bounds that are present.
    struct Size {
        std::optional<std::int64_t> greaterThan;
        std::optional<std::int64_t> lessThan;
        friend bool operator==(const Size&, const Size&) = default;
    };
    /// The item's modification date lies strictly between the bounds that are present.
    struct Modified {
        std::optional<Date> after;
        std::optional<Date> before;
        friend bool operator==(const Modified&, const Modified&) = default;
    };

    /// The cases in their stored order; `value.index()` is a case's position.
    std::variant<Ext, Name, NameRegex, Kind, Size, Modified> value;

    static Condition ext(std::vector<std::string> extensions)
    {
        return { Ext { std::move(extensions) } };
    }
    static Condition name(std::string text, bool caseSensitive)
    {
        return { Name { std::move(text), caseSensitive } };
    }
    static Condition nameRegex(std::string pattern) { return { NameRegex { std::move(pattern) } }; }
    static Condition kind(std::string name) { return { Kind { std::move(name) } }; }
    static Condition size(
        std::optional<std::int64_t> greaterThan, std::optional<std::int64_t> lessThan)
    {
        return { Size { greaterThan, lessThan } };
    }
    static Condition modified(std::optional<Date> after, std::optional<Date> before)
    {
        return { Modified { after, before } };
    }

    /// Whether the condition holds for the item.
    bool matches(const FileItem& item) const;

    friend bool operator==(const Condition&, const Condition&) = default;
};

/// The conditions that limit a rule to some files: all of them must hold (`matchAll`), or
/// at least one. With no conditions, "all" holds for every item and "any" for none.
struct ConditionGroup {
    bool matchAll = true;
    std::vector<Condition> conditions;

    /// Whether the group matches the item; stops at the first condition that decides.
    bool matches(const FileItem& item) const;

    friend bool operator==(const ConditionGroup&, const ConditionGroup&) = default;
};

/// Writes the one-key object of the condition's case, e.g. {"kind": {"_0": "image"}}.
void to_json(nlohmann::json& json, const Condition& condition);
/// Reads the one-key form; fails unless exactly one key names a case.
void from_json(const nlohmann::json& json, Condition& condition);
void to_json(nlohmann::json& json, const ConditionGroup& group);
/// Both keys are required.
void from_json(const nlohmann::json& json, ConditionGroup& group);

} // namespace sorvik

template <> struct std::hash<sorvik::Condition> {
    std::size_t operator()(const sorvik::Condition& condition) const noexcept;
};

template <> struct std::hash<sorvik::ConditionGroup> {
    std::size_t operator()(const sorvik::ConditionGroup& group) const noexcept;
};
