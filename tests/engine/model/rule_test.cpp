#include "engine/model/rule.h"

#include "engine/model/json.h"

#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sorvik {
namespace {

    constexpr const char* ruleID = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

    Uuid fixedID() { return *Uuid::parse(ruleID); }

    /// A rule document whose kind is `kind` (JSON text of the kind object).
    std::string ruleWithKind(const std::string& kind)
    {
        return std::string(R"({"id":")") + ruleID + R"(","isEnabled":true,"kind":)" + kind + "}";
    }

    std::string kindOf(const std::string& type, const std::string& config)
    {
        return R"({"type":")" + type + R"(","config":)" + config + "}";
    }

    const std::string numberingConfig = R"({"baseText":"","padding":3,"perFolder":false,
        "placement":"After name","separator":"_","start":1,"step":1,"style":"decimal"})";
    const std::string replaceConfig = R"({"find":"a","replacement":"b","regex":false,
        "caseSensitive":false,"scope":"name","occurrence":"all"})";

    TEST(RuleKind, DefaultsListEveryKindInOrderWithItsSettings)
    {
        // The settings of a newly added rule of each kind, as stored.
        const std::vector<std::pair<std::string, std::string>> expected = {
            { "replace", replaceConfig },
            { "remove",
                R"({"first":0,"last":0,"rangeStart":0,"rangeEnd":0,"before":"","after":""})" },
            { "clean",
                R"({"weird":false,"accents":false,"digits":false,"brackets":false,"emoji":false,
                    "tidy":true})" },
            { "changeCase", R"({"style":"lowercase","pascal":false})" },
            { "spaces", R"({"mode":"Use -"})" },
            { "insert", R"({"text":"","position":"prefix","index":0,"marker":""})" },
            { "numbering", numberingConfig },
            { "date",
                R"({"source":"Date modified","format":"yyyy-MM-dd","placement":"Before name",
                    "separator":"_"})" },
            { "pattern", R"({"template":"{name}"})" },
            { "limitLength", R"({"maxCharacters":80,"keepEnd":false})" },
            { "ext", R"({"mode":"lowercase","value":""})" },
            { "list", R"({"text":"","byName":false})" },
            { "ai", R"({"mode":"smart","maxWords":6,"includeDate":true})" },
            { "organize", R"({"template":"{date.created:yyyy}/{date.created:MM}"})" },
        };
        auto defaults = RuleKind::defaults();
        ASSERT_EQ(defaults.size(), expected.size());
        for (std::size_t position = 0; position < defaults.size(); ++position) {
            const auto& [type, config] = expected[position];
            EXPECT_EQ(defaults[position].position(), position);
            EXPECT_EQ(defaults[position].typeName(), type);
            nlohmann::json written = defaults[position];
            nlohmann::json wanted
                = { { "type", type }, { "config", nlohmann::json::parse(config) } };
            if (type == "replace")
                wanted["config"]["find"] = wanted["config"]["replacement"] = "";
            EXPECT_EQ(written, wanted) << type;
        }
        auto again = RuleKind::defaults();
        EXPECT_EQ(again, defaults);
        std::get<PatternConfig>(again[8].config).templateText = "changed";
        EXPECT_EQ(std::get<PatternConfig>(RuleKind::defaults()[8].config).templateText, "{name}");
    }

    TEST(Rule, DefaultNumberingRuleIsWrittenAsDocumented)
    {
        Rule rule(fixedID(), true, NumberingConfig {});
        nlohmann::json written = rule;
        EXPECT_EQ(
            written, nlohmann::json::parse(ruleWithKind(kindOf("numbering", numberingConfig))));
        EXPECT_FALSE(written.contains("condition"));
        EXPECT_EQ(json::parse(json::serialize(written)).get<Rule>(), rule);
    }

    struct DecodeCase {
        const char* label;
        std::string document;
        std::optional<Rule> expected; // nothing: decoding fails
        std::string reason = {};
        std::string path = {};
    };

    Rule rule(RuleKind kind, std::optional<ConditionGroup> condition = std::nullopt)
    {
        Rule result(fixedID(), true, std::move(kind));
        result.condition = std::move(condition);
        return result;
    }

    ReplaceConfig replaceAB()
    {
        ReplaceConfig config;
        config.find = "a";
        config.replacement = "b";
        return config;
    }

    std::vector<DecodeCase> decodeCases()
    {
        const std::string replace = kindOf("replace", replaceConfig);
        auto missing = [](const char* key) { return "Missing key \"" + std::string(key) + "\""; };
        const std::string null = "Unexpected null value";
        auto invalid = [](const char* text) {
            return "Cannot initialize from invalid value \"" + std::string(text) + "\"";
        };
        DateConfig dateOff;
        dateOff.source = DateSource::none;
        dateOff.format = "";
        InsertConfig insertAfter;
        insertAfter.position = InsertPosition::afterText;
        AIConfig aiDocuments;
        aiDocuments.mode = AIMode::documents;
        PatternConfig pattern;
        pattern.templateText = "{name}_x";
        Rule disabled = rule(replaceAB());
        disabled.isEnabled = false;

        return {
            // Documents that must decode.
            { "replace rule", ruleWithKind(replace), rule(replaceAB()) },
            { "null condition",
                R"({"id":")" + std::string(ruleID)
                    + R"(","isEnabled":true,"condition":null,"kind":)" + replace + "}",
                rule(replaceAB()) },
            { "condition",
                R"({"id":")" + std::string(ruleID)
                    + R"(","isEnabled":true,"condition":{"matchAll":false,"conditions":[
                    {"kind":{"_0":"image"}}]},"kind":)"
                    + replace + "}",
                rule(replaceAB(), ConditionGroup { false, { Condition::kind("image") } }) },
            { "empty condition group",
                R"({"id":")" + std::string(ruleID)
                    + R"(","isEnabled":false,"condition":{"matchAll":true,"conditions":[]},
                    "kind":)"
                    + replace + "}",
                [&] {
                    Rule result = disabled;
                    result.condition = ConditionGroup { true, {} };
                    return result;
                }() },
            { "lower-case id",
                R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","isEnabled":true,
                "kind":)"
                    + replace + "}",
                rule(replaceAB()) },
            { "unknown keys everywhere",
                R"({"id":")" + std::string(ruleID)
                    + R"(","isEnabled":true,"extra":[1],"kind":{"type":"pattern","more":0,
                    "config":{"template":"{name}_x","old":"y"}}})",
                rule(pattern) },
            { "date source Off and empty format",
                ruleWithKind(kindOf("date",
                    R"({"source":"Off","format":"","placement":"Before name","separator":"_"})")),
                rule(dateOff) },
            { "insert after text",
                ruleWithKind(kindOf(
                    "insert", R"({"text":"","position":"afterText","index":0,"marker":""})")),
                rule(insertAfter) },
            { "AI documents",
                ruleWithKind(
                    kindOf("ai", R"({"mode":"documents","maxWords":6,"includeDate":true})")),
                rule(aiDocuments) },
            { "largest whole number",
                ruleWithKind(kindOf(
                    "limitLength", R"({"maxCharacters":9223372036854775807,"keepEnd":true})")),
                rule(LimitConfig { INT64_MAX, true }) },
            { "negative counts are kept",
                ruleWithKind(kindOf("remove",
                    R"({"first":-1,"last":0,"rangeStart":5,"rangeEnd":2,"before":"","after":""})")),
                rule(RemoveConfig { -1, 0, 5, 2, "", "" }) },

            // The rule record.
            { "missing id", R"({"isEnabled":true,"kind":)" + replace + "}", std::nullopt,
                missing("id"), "" },
            { "id that is not a UUID", R"({"id":"nope","isEnabled":true,"kind":)" + replace + "}",
                std::nullopt, "Invalid UUID string", "id" },
            { "numeric id", R"({"id":1,"isEnabled":true,"kind":)" + replace + "}", std::nullopt,
                "Expected a string but found an integer", "id" },
            { "missing isEnabled",
                R"({"id":")" + std::string(ruleID) + R"(","kind":)" + replace + "}", std::nullopt,
                missing("isEnabled"), "" },
            { "null isEnabled",
                R"({"id":")" + std::string(ruleID) + R"(","isEnabled":null,"kind":)" + replace
                    + "}",
                std::nullopt, null, "isEnabled" },
            { "isEnabled as a number",
                R"({"id":")" + std::string(ruleID) + R"(","isEnabled":1,"kind":)" + replace + "}",
                std::nullopt, "Expected a boolean but found an integer", "isEnabled" },
            { "missing kind", R"({"id":")" + std::string(ruleID) + R"(","isEnabled":true})",
                std::nullopt, missing("kind"), "" },
            { "kind as a string", ruleWithKind(R"("replace")"), std::nullopt,
                "Expected an object but found a string", "kind" },
            { "condition as an array",
                R"({"id":")" + std::string(ruleID) + R"(","isEnabled":true,"condition":[],"kind":)"
                    + replace + "}",
                std::nullopt, "Expected an object but found an array", "condition" },
            { "condition without a case",
                R"({"id":")" + std::string(ruleID)
                    + R"(","isEnabled":true,"condition":{"matchAll":true,"conditions":[{}]},
                    "kind":)"
                    + replace + "}",
                std::nullopt, "Invalid number of keys found, expected one.",
                "condition.conditions[0]" },
            { "not an object", "[]", std::nullopt, "Expected an object but found an array", "" },

            // The kind's type.
            { "missing type", ruleWithKind(R"({"config":{}})"), std::nullopt, missing("type"),
                "kind" },
            { "capital letter in the type", ruleWithKind(kindOf("Replace", replaceConfig)),
                std::nullopt, "Unknown rule type", "kind.type" },
            { "trailing space in the type", ruleWithKind(kindOf("replace ", replaceConfig)),
                std::nullopt, "Unknown rule type", "kind.type" },
            { "unknown type without a config", ruleWithKind(R"({"type":"rotate"})"), std::nullopt,
                "Unknown rule type", "kind.type" },
            { "type with another case of a kind", ruleWithKind(kindOf("changecase", "{}")),
                std::nullopt, "Unknown rule type", "kind.type" },
            { "numeric type", ruleWithKind(R"({"type":3,"config":{}})"), std::nullopt,
                "Expected a string but found an integer", "kind.type" },
            { "null type", ruleWithKind(R"({"type":null,"config":{}})"), std::nullopt, null,
                "kind.type" },

            // The kind's configuration.
            { "missing config", ruleWithKind(R"({"type":"replace"})"), std::nullopt,
                missing("config"), "kind" },
            { "null config", ruleWithKind(R"({"type":"replace","config":null})"), std::nullopt,
                null, "kind.config" },
            { "config as an array", ruleWithKind(R"({"type":"list","config":[]})"), std::nullopt,
                "Expected an object but found an array", "kind.config" },
            { "numbering without baseText",
                ruleWithKind(kindOf("numbering",
                    R"({"padding":3,"perFolder":false,"placement":"After name","separator":"_",
                        "start":1,"step":1,"style":"decimal"})")),
                std::nullopt, missing("baseText"), "kind.config" },
            { "pattern without template", ruleWithKind(kindOf("pattern", R"({"text":"{name}"})")),
                std::nullopt, missing("template"), "kind.config" },
            { "organize with the pattern's form but no template",
                ruleWithKind(kindOf("organize", "{}")), std::nullopt, missing("template"),
                "kind.config" },
            { "null text", ruleWithKind(kindOf("list", R"({"text":null,"byName":false})")),
                std::nullopt, null, "kind.config.text" },
            { "number for a switch",
                ruleWithKind(kindOf("replace",
                    R"({"find":"","replacement":"","regex":0,"caseSensitive":false,
                        "scope":"name","occurrence":"all"})")),
                std::nullopt, "Expected a boolean but found an integer", "kind.config.regex" },
            { "fraction for a whole number",
                ruleWithKind(kindOf("limitLength", R"({"maxCharacters":80.5,"keepEnd":false})")),
                std::nullopt, "Expected an integer but found a number",
                "kind.config.maxCharacters" },
            { "string for a whole number",
                ruleWithKind(kindOf("ai", R"({"mode":"smart","maxWords":"6","includeDate":true})")),
                std::nullopt, "Expected an integer but found a string", "kind.config.maxWords" },
            { "integer too large",
                ruleWithKind(kindOf(
                    "limitLength", R"({"maxCharacters":9223372036854775808,"keepEnd":false})")),
                std::nullopt, "Number 9223372036854775808 does not fit in a 64-bit integer",
                "kind.config.maxCharacters" },

            // Option texts.
            { "scope with a capital letter",
                ruleWithKind(kindOf("replace",
                    R"({"find":"","replacement":"","regex":false,"caseSensitive":false,
                        "scope":"Name","occurrence":"all"})")),
                std::nullopt, invalid("Name"), "kind.config.scope" },
            { "occurrence that is not a case",
                ruleWithKind(kindOf("replace",
                    R"({"find":"","replacement":"","regex":false,"caseSensitive":false,
                        "scope":"name","occurrence":"every"})")),
                std::nullopt, invalid("every"), "kind.config.occurrence" },
            { "position in another letter case",
                ruleWithKind(kindOf(
                    "insert", R"({"text":"","position":"aftertext","index":0,"marker":""})")),
                std::nullopt, invalid("aftertext"), "kind.config.position" },
            { "singular AI mode",
                ruleWithKind(
                    kindOf("ai", R"({"mode":"document","maxWords":6,"includeDate":true})")),
                std::nullopt, invalid("document"), "kind.config.mode" },
            { "case name of a case style",
                ruleWithKind(kindOf("changeCase", R"({"style":"lower","pascal":false})")),
                std::nullopt, invalid("lower"), "kind.config.style" },
            { "number style as a number",
                ruleWithKind(kindOf("numbering",
                    R"({"baseText":"","padding":3,"perFolder":false,"placement":"After name",
                        "separator":"_","start":1,"step":1,"style":0})")),
                std::nullopt, "Expected a string but found an integer", "kind.config.style" },
            { "placement in lower case",
                ruleWithKind(kindOf("date",
                    R"({"source":"Today","format":"","placement":"before name","separator":""})")),
                std::nullopt, invalid("before name"), "kind.config.placement" },
            { "extension mode with three full stops",
                ruleWithKind(kindOf("ext", R"({"mode":"Change to...","value":"txt"})")),
                std::nullopt, invalid("Change to..."), "kind.config.mode" },
            { "space mode of another enumeration",
                ruleWithKind(kindOf("spaces", R"({"mode":"lowercase"})")), std::nullopt,
                invalid("lowercase"), "kind.config.mode" },
        };
    }

    TEST(Rule, DecodesOrFailsAsAWhole)
    {
        for (const auto& test : decodeCases()) {
            nlohmann::json document;
            ASSERT_NO_THROW(document = json::parse(test.document)) << test.label;
            if (test.expected) {
                try {
                    EXPECT_EQ(document.get<Rule>(), *test.expected) << test.label;
                } catch (const std::exception& error) {
                    ADD_FAILURE() << test.label << ": " << error.what();
                }
                continue;
            }
            try {
                (void)document.get<Rule>();
                ADD_FAILURE() << test.label << ": decoded";
            } catch (const json::DecodeError& error) {
                EXPECT_EQ(error.reason(), test.reason) << test.label;
                EXPECT_EQ(error.path(), test.path) << test.label;
            }
        }
    }

    /// One kind of each sort with every field away from its default.
    std::vector<RuleKind> unusualKinds()
    {
        return {
            ReplaceConfig {
                "(\\d+)", "#$1/\u00e9", true, true, ReplaceScope::both, Occurrence::last },
            RemoveConfig { 1, 2, 3, 4, "x\"", "\\y" },
            CleanConfig { true, true, true, true, true, false },
            CaseConfig { CaseStyle::kebab, true },
            SpaceConfig { SpaceMode::dot },
            InsertConfig { "{exif.date}", InsertPosition::afterText, -7, "IMG" },
            NumberingConfig {
                NumberPlacement::replace, -5, 10, 4000, "", "Trip", true, NumberStyle::roman },
            DateConfig { DateSource::today, "", Placement::suffix, " - " },
            PatternConfig { "" },
            LimitConfig { 0, true },
            ExtConfig { ExtMode::change, "tar.gz" },
            ListConfig { "old,new\n\"a,b\",c", true },
            AIConfig { AIMode::photos, INT64_MIN, false },
            OrganizeConfig { "{name}/../x" },
        };
    }

    TEST(RuleKind, EveryConfigurationRoundTripsThroughStoredText)
    {
        auto kinds = unusualKinds();
        ASSERT_EQ(kinds.size(), RuleKind::typeNames.size());
        auto defaults = RuleKind::defaults();
        for (std::size_t position = 0; position < kinds.size(); ++position) {
            const RuleKind& kind = kinds[position];
            EXPECT_EQ(kind.position(), position);
            EXPECT_NE(kind, defaults[position]) << kind.typeName();
            std::string stored = json::serialize(nlohmann::json(kind));
            RuleKind read = json::parse(stored).get<RuleKind>();
            EXPECT_EQ(read, kind) << stored;
            EXPECT_EQ(std::hash<RuleKind> {}(read), std::hash<RuleKind> {}(kind)) << stored;

            // The written configuration has exactly the keys of the default one.
            std::set<std::string> keys;
            std::set<std::string> defaultKeys;
            nlohmann::json written = kind;
            nlohmann::json writtenDefault = defaults[position];
            for (const auto& item : written["config"].items())
                keys.insert(item.key());
            for (const auto& item : writtenDefault["config"].items())
                defaultKeys.insert(item.key());
            EXPECT_EQ(keys, defaultKeys) << kind.typeName();
        }
    }

    TEST(RuleKind, EveryConfigKeyIsRequired)
    {
        for (const RuleKind& kind : unusualKinds()) {
            nlohmann::json written = kind;
            for (const auto& item : written["config"].items()) {
                nlohmann::json document = written;
                document["config"].erase(item.key());
                try {
                    (void)document.get<RuleKind>();
                    ADD_FAILURE() << kind.typeName() << " read without " << item.key();
                } catch (const json::DecodeError& error) {
                    EXPECT_EQ(error.reason(), "Missing key \"" + item.key() + "\"");
                    EXPECT_EQ(error.path(), "config");
                }
                document["config"][item.key()] = nullptr;
                EXPECT_THROW((void)document.get<RuleKind>(), json::DecodeError)
                    << kind.typeName() << " read with null " << item.key();
            }
        }
    }

    TEST(RuleKind, ReplaceConfigurationWritesItsSixKeys)
    {
        nlohmann::json written = ReplaceConfig {};
        std::set<std::string> keys;
        for (const auto& item : written.items())
            keys.insert(item.key());
        EXPECT_EQ(keys,
            (std::set<std::string> {
                "find", "replacement", "regex", "caseSensitive", "scope", "occurrence" }));
    }

    TEST(RuleKind, EqualityAndHashFollowKindAndFields)
    {
        NumberingConfig perFolder;
        perFolder.perFolder = true;
        EXPECT_NE(RuleKind(NumberingConfig {}), RuleKind(perFolder));
        EXPECT_EQ(CleanConfig({ false, false, false, false, false, false }),
            CleanConfig({ false, false, false, false, false, false }));

        // Same shape, different kinds.
        RuleKind pattern = PatternConfig { "{name}" };
        RuleKind organize = OrganizeConfig { "{name}" };
        EXPECT_NE(pattern, organize);
        EXPECT_NE(std::hash<RuleKind> {}(pattern), std::hash<RuleKind> {}(organize));
        EXPECT_EQ(nlohmann::json(pattern)["config"], nlohmann::json(organize)["config"]);

        std::unordered_set<RuleKind> seen;
        for (const auto& kind : RuleKind::defaults())
            seen.insert(kind);
        for (const auto& kind : unusualKinds())
            seen.insert(kind);
        for (const auto& kind : RuleKind::defaults())
            seen.insert(kind);
        EXPECT_EQ(seen.size(), 28u);
    }

    TEST(Rule, EqualityAndHashCoverEveryField)
    {
        Rule base = rule(replaceAB(),
            ConditionGroup { true, { Condition::kind("image"), Condition::name("a", false) } });
        std::hash<Rule> hash;
        EXPECT_EQ(hash(base), hash(Rule(base)));

        Rule otherID = base;
        otherID.id = Uuid::random();
        Rule disabled = base;
        disabled.isEnabled = false;
        Rule otherKind = base;
        otherKind.kind = RemoveConfig {};
        Rule reordered = base;
        std::swap(reordered.condition->conditions[0], reordered.condition->conditions[1]);
        Rule withoutCondition = base;
        withoutCondition.condition.reset();
        Rule emptyCondition = base;
        emptyCondition.condition = ConditionGroup { true, {} };
        for (const Rule* other :
            { &otherID, &disabled, &otherKind, &reordered, &withoutCondition, &emptyCondition }) {
            EXPECT_NE(*other, base);
            EXPECT_NE(hash(*other), hash(base));
        }
        EXPECT_NE(withoutCondition, emptyCondition);
    }

    TEST(Rule, NewRulesAreEnabledWithoutConditionAndHaveTheirOwnID)
    {
        Rule first(RuleKind::defaults()[2]);
        Rule second(RuleKind::defaults()[2]);
        EXPECT_TRUE(first.isEnabled);
        EXPECT_FALSE(first.condition);
        EXPECT_NE(first.id, second.id);
        EXPECT_NE(first, second);
    }

    TEST(Rule, RoundTripsWithAndWithoutCondition)
    {
        for (const RuleKind& kind : unusualKinds()) {
            Rule plain(kind);
            plain.isEnabled = false;
            Rule limited = plain;
            limited.condition = ConditionGroup { false,
                { Condition::ext({ "JPG", " .png" }), Condition::name("IMG", true),
                    Condition::nameRegex("^\\d+$"), Condition::kind("other"),
                    Condition::size(std::nullopt, 1 << 20),
                    Condition::modified(Date { 7.000001 }, Date { 1e9 }) } };
            for (const Rule& written : { plain, limited }) {
                std::string stored = json::serialize(nlohmann::json(written));
                EXPECT_EQ(json::parse(stored).get<Rule>(), written) << stored;
                EXPECT_EQ(stored.find("\"condition\"") != std::string::npos,
                    written.condition.has_value());
            }
        }
    }

} // namespace
} // namespace sorvik
