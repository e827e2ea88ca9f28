#include "engine/model/preset.h"

#include "engine/model/json.h"

#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sorvik {
namespace {

    Preset sample()
    {
        Rule first(PatternConfig { "{exif.date:yyyy-MM-dd|Undated}_{name}" });
        Rule second(NumberingConfig {});
        second.condition = ConditionGroup { true, { Condition::kind("image") } };
        return Preset("Photos by date", "camera", "3478F6", { first, second });
    }

    TEST(Preset, NewPresetsHaveTheirOwnIDVersionOneAndAreNotBuiltIn)
    {
        Preset preset("Empty", "slider.horizontal.3", "34A853", {});
        EXPECT_FALSE(preset.id.isNull());
        EXPECT_EQ(preset.schemaVersion, 1);
        EXPECT_FALSE(preset.isBuiltIn);

        nlohmann::json written = preset;
        EXPECT_EQ(written["rules"], nlohmann::json::array());
        std::set<std::string> keys;
        for (const auto& item : written.items())
            keys.insert(item.key());
        EXPECT_EQ(keys,
            (std::set<std::string> {
                "id", "name", "symbol", "colorHex", "rules", "schemaVersion", "isBuiltIn" }));
        EXPECT_EQ(json::parse(json::serialize(written)).get<Preset>(), preset);

        Preset twin("Empty", "slider.horizontal.3", "34A853", {});
        EXPECT_NE(twin, preset);
        twin.id = preset.id;
        EXPECT_EQ(twin, preset);
        EXPECT_EQ(std::hash<Preset> {}(twin), std::hash<Preset> {}(preset));
    }

    TEST(Preset, KeepsUncheckedTextsAndRoundTrips)
    {
        Preset preset = sample();
        preset.name = "";
        preset.colorHex = "not hex/";
        preset.symbol = "no.such.symbol";
        preset.isBuiltIn = true;
        preset.schemaVersion = 7;
        std::string stored = json::serialize(nlohmann::json(preset));
        EXPECT_NE(stored.find("\"not hex\\/\""), std::string::npos) << stored;
        EXPECT_EQ(json::parse(stored).get<Preset>(), preset);
    }

    TEST(Preset, EqualityAndHashFollowTheRuleList)
    {
        Preset preset = sample();
        Preset swapped = preset;
        std::swap(swapped.rules[0], swapped.rules[1]);
        Preset shorter = preset;
        shorter.rules.pop_back();
        Preset otherVersion = preset;
        otherVersion.schemaVersion = 2;
        std::hash<Preset> hash;
        for (const Preset* other : { &swapped, &shorter, &otherVersion }) {
            EXPECT_NE(*other, preset);
            EXPECT_NE(hash(*other), hash(preset));
        }
    }

    TEST(Preset, ReadingIsStrict)
    {
        nlohmann::json valid = sample();

        nlohmann::json laterVersion = valid;
        laterVersion["schemaVersion"] = 2;
        EXPECT_EQ(laterVersion.get<Preset>().schemaVersion, 2);

        nlohmann::json extraKey = valid;
        extraKey["comment"] = "ignored";
        EXPECT_EQ(extraKey.get<Preset>(), valid.get<Preset>());

        for (const char* key :
            { "id", "name", "symbol", "colorHex", "rules", "schemaVersion", "isBuiltIn" }) {
            nlohmann::json missing = valid;
            missing.erase(key);
            EXPECT_THROW((void)missing.get<Preset>(), json::DecodeError) << key;
            nlohmann::json null = valid;
            null[key] = nullptr;
            EXPECT_THROW((void)null.get<Preset>(), json::DecodeError) << key;
        }
        nlohmann::json textVersion = valid;
        textVersion["schemaVersion"] = "1";
        EXPECT_THROW((void)textVersion.get<Preset>(), json::DecodeError);
        nlohmann::json numericFlag = valid;
        numericFlag["isBuiltIn"] = 0;
        EXPECT_THROW((void)numericFlag.get<Preset>(), json::DecodeError);
    }

    TEST(Preset, OneUnreadableRuleFailsThePreset)
    {
        nlohmann::json document = Preset("Three", "star", "E88728",
            { Rule(CleanConfig {}), Rule(SpaceConfig {}), Rule(LimitConfig {}) });
        document["rules"][2]["kind"]["type"] = "shuffle";
        try {
            (void)document.get<Preset>();
            ADD_FAILURE() << "read a preset with an unknown rule type";
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.reason(), "Unknown rule type");
            EXPECT_EQ(error.path(), "rules[2].kind.type");
        }

        document["rules"][2]["kind"]["type"] = "limitLength";
        document["rules"][2]["kind"]["config"].erase("keepEnd");
        EXPECT_THROW((void)document.get<Preset>(), json::DecodeError);
    }

} // namespace
} // namespace sorvik
