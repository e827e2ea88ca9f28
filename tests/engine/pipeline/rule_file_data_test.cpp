#include "engine/pipeline/rule_file_data.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    InsertConfig insertOf(const char* text)
    {
        InsertConfig config;
        config.text = text;
        return config;
    }

    TEST(NeedsFileData, ByKindAndCondition)
    {
        struct Case {
            const char* label;
            RuleKind kind;
            bool kindNeeds;
        };
        const Case cases[] = {
            { "pattern {name}", PatternConfig { "{name}" }, false },
            { "pattern exif", PatternConfig { "{exif.date:yyyy-MM-dd|Undated}_{name}" }, true },
            { "insert gps", insertOf("{gps.city}"), true },
            { "insert plain", insertOf("gps.city"), false },
            { "list empty", ListConfig {}, true },
            { "ai", AIConfig {}, true },
            { "organize empty", OrganizeConfig { "" }, true },
            { "numbering", NumberingConfig {}, false },
            { "date", DateConfig {}, false },
            { "replace", ReplaceConfig {}, false },
        };
        for (const auto& entry : cases) {
            EXPECT_EQ(needsFileData(entry.kind), entry.kindNeeds) << entry.label;
            Rule rule(entry.kind);
            EXPECT_EQ(needsFileData(rule), entry.kindNeeds) << entry.label;
            rule.condition = ConditionGroup { true, {} };
            EXPECT_TRUE(needsFileData(rule)) << entry.label;
            rule.isEnabled = false;
            EXPECT_TRUE(needsFileData(rule)) << entry.label;
        }
    }

} // namespace
} // namespace sorvik
