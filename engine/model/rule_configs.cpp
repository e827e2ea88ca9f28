#include "engine/model/rule_configs.h"

#include "engine/model/hashing.h"
#include "engine/model/json.h"

#include <string_view>
#include <tuple>
#include <type_traits>

#include <nlohmann/json.hpp>

namespace sorvik {

namespace {

    // One table per record lists its JSON keys with their members, in field order; writing,
    // reading and hashing all walk the same table, so they cannot disagree.
    template <class Record, class Value> struct Field {
        std::string_view key;
        Value Record::*member;
    };

    template <class Record, class Value>
    constexpr Field<Record, Value> field(std::string_view key, Value Record::*member)
    {
        return { key, member };
    }

    template <class Record> struct Fields;

    template <> struct Fields<ReplaceConfig> {
        static constexpr auto all = std::make_tuple(field("find", &ReplaceConfig::find),
            field("replacement", &ReplaceConfig::replacement),
            field("regex", &ReplaceConfig::regex),
            field("caseSensitive", &ReplaceConfig::caseSensitive),
            field("scope", &ReplaceConfig::scope), field("occurrence", &ReplaceConfig::occurrence));
    };

    template <> struct Fields<RemoveConfig> {
        static constexpr auto all = std::make_tuple(field("first", &RemoveConfig::first),
            field("last", &RemoveConfig::last), field("rangeStart", &RemoveConfig::rangeStart),
            field("rangeEnd", &RemoveConfig::rangeEnd), field("before", &RemoveConfig::before),
            field("after", &RemoveConfig::after));
    };

    template <> struct Fields<CleanConfig> {
        static constexpr auto all = std::make_tuple(field("weird", &CleanConfig::weird),
            field("accents", &CleanConfig::accents), field("digits", &CleanConfig::digits),
            field("brackets", &CleanConfig::brackets), field("emoji", &CleanConfig::emoji),
            field("tidy", &CleanConfig::tidy));
    };

    template <> struct Fields<CaseConfig> {
        static constexpr auto all = std::make_tuple(
            field("style", &CaseConfig::style), field("pascal", &CaseConfig::pascal));
    };

    template <> struct Fields<SpaceConfig> {
        static constexpr auto all = std::make_tuple(field("mode", &SpaceConfig::mode));
    };

    template <> struct Fields<InsertConfig> {
        static constexpr auto all = std::make_tuple(field("text", &InsertConfig::text),
            field("position", &InsertConfig::position), field("index", &InsertConfig::index),
            field("marker", &InsertConfig::marker));
    };

    template <> struct Fields<NumberingConfig> {
        static constexpr auto all = std::make_tuple(field("placement", &NumberingConfig::placement),
            field("start", &NumberingConfig::start), field("step", &NumberingConfig::step),
            field("padding", &NumberingConfig::padding),
            field("separator", &NumberingConfig::separator),
            field("baseText", &NumberingConfig::baseText),
            field("perFolder", &NumberingConfig::perFolder),
            field("style", &NumberingConfig::style));
    };

    template <> struct Fields<DateConfig> {
        static constexpr auto all = std::make_tuple(field("source", &DateConfig::source),
            field("format", &DateConfig::format), field("placement", &DateConfig::placement),
            field("separator", &DateConfig::separator));
    };

    template <> struct Fields<PatternConfig> {
        static constexpr auto all
            = std::make_tuple(field("template", &PatternConfig::templateText));
    };

    template <> struct Fields<LimitConfig> {
        static constexpr auto all
            = std::make_tuple(field("maxCharacters", &LimitConfig::maxCharacters),
                field("keepEnd", &LimitConfig::keepEnd));
    };

    template <> struct Fields<ExtConfig> {
        static constexpr auto all
            = std::make_tuple(field("mode", &ExtConfig::mode), field("value", &ExtConfig::value));
    };

    template <> struct Fields<ListConfig> {
        static constexpr auto all = std::make_tuple(
            field("text", &ListConfig::text), field("byName", &ListConfig::byName));
    };

    template <> struct Fields<AIConfig> {
        static constexpr auto all = std::make_tuple(field("mode", &AIConfig::mode),
            field("maxWords", &AIConfig::maxWords), field("includeDate", &AIConfig::includeDate));
    };

    template <> struct Fields<OrganizeConfig> {
        static constexpr auto all
            = std::make_tuple(field("template", &OrganizeConfig::templateText));
    };

    template <class Record> void write(nlohmann::json& json, const Record& record)
    {
        json = nlohmann::json::object();
        std::apply(
            [&](const auto&... fields) {
                ((json[std::string(fields.key)] = record.*(fields.member)), ...);
            },
            Fields<Record>::all);
    }

    template <class Record> void read(const nlohmann::json& json, Record& record)
    {
        json::requireObject(json);
        Record result;
        std::apply(
            [&](const auto&... fields) {
                ((result.*(fields.member)
                     = json::field<std::remove_cvref_t<decltype(result.*(fields.member))>>(
                         json, fields.key)),
                    ...);
            },
            Fields<Record>::all);
        record = std::move(result);
    }

    template <class Enum>
    concept RuleOption = requires
    {
        RuleOptionNames<Enum>::table;
    };

    /// Option fields hash their stored text, like the form they are compared and kept in.
    template <class Value> std::size_t hashOf(const Value& value)
    {
        if constexpr (RuleOption<Value>)
            return std::hash<std::string_view> {}(caseName(value));
        else if constexpr (std::is_enum_v<Value>)
            return std::hash<std::string_view> {}(rawValue(value));
        else
            return std::hash<Value> {}(value);
    }

    template <class Record> std::size_t hashRecord(const Record& record)
    {
        Hasher hasher;
        std::apply(
            [&](const auto&... fields) { (hasher.combine(hashOf(record.*(fields.member))), ...); },
            Fields<Record>::all);
        return hasher.value();
    }

} // namespace

#define SORVIK_DEFINE_CONFIG_JSON(Config)                                                          \
    void to_json(nlohmann::json& json, const Config& config) { write(json, config); }              \
    void from_json(const nlohmann::json& json, Config& config) { read(json, config); }

SORVIK_DEFINE_CONFIG_JSON(ReplaceConfig)
SORVIK_DEFINE_CONFIG_JSON(RemoveConfig)
SORVIK_DEFINE_CONFIG_JSON(CleanConfig)
SORVIK_DEFINE_CONFIG_JSON(CaseConfig)
SORVIK_DEFINE_CONFIG_JSON(SpaceConfig)
SORVIK_DEFINE_CONFIG_JSON(InsertConfig)
SORVIK_DEFINE_CONFIG_JSON(NumberingConfig)
SORVIK_DEFINE_CONFIG_JSON(DateConfig)
SORVIK_DEFINE_CONFIG_JSON(PatternConfig)
SORVIK_DEFINE_CONFIG_JSON(LimitConfig)
SORVIK_DEFINE_CONFIG_JSON(ExtConfig)
SORVIK_DEFINE_CONFIG_JSON(ListConfig)
SORVIK_DEFINE_CONFIG_JSON(AIConfig)
SORVIK_DEFINE_CONFIG_JSON(OrganizeConfig)

#undef SORVIK_DEFINE_CONFIG_JSON

} // namespace sorvik

#define SORVIK_DEFINE_CONFIG_HASH(Config)                                                          \
    std::size_t std::hash<sorvik::Config>::operator()(const sorvik::Config& config) const noexcept \
    {                                                                                              \
        return sorvik::hashRecord(config);                                                         \
    }

SORVIK_DEFINE_CONFIG_HASH(ReplaceConfig)
SORVIK_DEFINE_CONFIG_HASH(RemoveConfig)
SORVIK_DEFINE_CONFIG_HASH(CleanConfig)
SORVIK_DEFINE_CONFIG_HASH(CaseConfig)
SORVIK_DEFINE_CONFIG_HASH(SpaceConfig)
SORVIK_DEFINE_CONFIG_HASH(InsertConfig)
SORVIK_DEFINE_CONFIG_HASH(NumberingConfig)
SORVIK_DEFINE_CONFIG_HASH(DateConfig)
SORVIK_DEFINE_CONFIG_HASH(PatternConfig)
SORVIK_DEFINE_CONFIG_HASH(LimitConfig)
SORVIK_DEFINE_CONFIG_HASH(ExtConfig)
SORVIK_DEFINE_CONFIG_HASH(ListConfig)
SORVIK_DEFINE_CONFIG_HASH(AIConfig)
SORVIK_DEFINE_CONFIG_HASH(OrganizeConfig)

#undef SORVIK_DEFINE_CONFIG_HASH
