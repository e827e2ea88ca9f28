#include "app/store/starter_presets.h"

#include "engine/model/rule_configs.h"

#include <set>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    struct Expected {
        std::string name;
        std::string symbol;
        std::vector<RuleKind> kinds;
    };

    TEST(StarterPresets, TheTenPresetsExactly)
    {
        const NumberingConfig sequence { NumberPlacement::replace, 1, 1, 3, "_", "File", false,
            NumberStyle::decimal };
        const NumberingConfig suffix { NumberPlacement::suffix, 1, 1, 3, "_", "", false,
            NumberStyle::decimal };
        const std::vector<Expected> expected {
            { "AI: Documents", "doc.text", { AIConfig { AIMode::documents, 6, true } } },
            { "AI: Photos", "photo", { AIConfig { AIMode::photos, 6, true } } },
            { "Clean Downloads", "sparkles",
                { CleanConfig { true, true, false, false, false, true },
                    SpaceConfig { SpaceMode::dash } } },
            { "Photos by Date", "camera",
                { PatternConfig { "{exif.date:yyyy-MM-dd|Undated}_{name}" } } },
            { "Lowercase & dashes", "textformat",
                { CaseConfig { CaseStyle::lower, false }, SpaceConfig { SpaceMode::dash } } },
            { "Number sequence", "number", { sequence } },
            { "Music Library", "music.note",
                { PatternConfig { "{audio.artist|Unknown}_{audio.album|Album}_{audio.track:2|00}_"
                                  "{audio.title|Track}" } } },
            { "PDF Titles", "doc", { PatternConfig { "{pdf.title|Untitled}" } } },
            { "Web filenames", "globe",
                { CleanConfig { false, true, false, false, false, true },
                    CaseConfig { CaseStyle::kebab, false }, ExtConfig { ExtMode::lower, "" } } },
            { "Date and sequence", "calendar",
                { DateConfig { DateSource::modified, "yyyy-MM-dd", Placement::prefix, "_" },
                    suffix } },
        };

        auto presets = starterPresets();
        ASSERT_EQ(presets.size(), expected.size());
        std::set<Uuid> ids;
        for (std::size_t index = 0; index < presets.size(); ++index) {
            const auto& preset = presets[index];
            SCOPED_TRACE(expected[index].name);
            EXPECT_EQ(preset.name, expected[index].name);
            EXPECT_EQ(preset.symbol, expected[index].symbol);
            EXPECT_EQ(preset.colorHex, "3478F6");
            EXPECT_EQ(preset.schemaVersion, 1);
            EXPECT_FALSE(preset.isBuiltIn);
            EXPECT_TRUE(ids.insert(preset.id).second);
            ASSERT_EQ(preset.rules.size(), expected[index].kinds.size());
            for (std::size_t position = 0; position < preset.rules.size(); ++position) {
                const auto& rule = preset.rules[position];
                EXPECT_EQ(rule.kind, expected[index].kinds[position]);
                EXPECT_TRUE(rule.isEnabled);
                EXPECT_FALSE(rule.condition);
                EXPECT_TRUE(ids.insert(rule.id).second);
            }
        }
    }

    TEST(StarterPresets, EveryCallMakesNewPresets)
    {
        auto first = starterPresets();
        auto second = starterPresets();
        ASSERT_EQ(first.size(), second.size());
        for (std::size_t index = 0; index < first.size(); ++index) {
            EXPECT_NE(first[index], second[index]);
            EXPECT_NE(first[index].id, second[index].id);
            auto copy = second[index];
            copy.id = first[index].id;
            for (std::size_t position = 0; position < copy.rules.size(); ++position)
                copy.rules[position].id = first[index].rules[position].id;
            EXPECT_EQ(copy, first[index]);
        }
    }

} // namespace
} // namespace sorvik
