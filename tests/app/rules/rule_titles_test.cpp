#include "app/rules/rule_titles.h"

#include "engine/model/rule_kind.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
    constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();

    InsertConfig insert(std::string text)
    {
        InsertConfig config;
        config.text = std::move(text);
        return config;
    }

    TEST(RuleTitles, EveryKindHasItsTitleSymbolAndDefaultSummary)
    {
        struct Case {
            std::string_view typeName;
            std::string_view title;
            std::string_view symbol;
            std::string summary;
        };
        const Case cases[] = {
            { "replace", "Find & Replace", "textformat", " \u2192 " },
            { "remove", "Remove Characters", "textformat", "Remove Characters" },
            { "clean", "Clean Up", "sparkles", "Clean Up" },
            { "changeCase", "Change Case", "textformat", "lowercase" },
            { "spaces", "Spaces", "textformat", "Spaces" },
            { "insert", "Insert Text", "textformat", "" },
            { "numbering", "Numbering", "number", "1, 2\u2026" },
            { "date", "Date", "calendar", "Date" },
            { "pattern", "Pattern", "textformat", "{name}" },
            { "limitLength", "Limit Length", "textformat", "Limit Length" },
            { "ext", "Extension", "textformat", "Extension" },
            { "list", "Rename from List", "textformat", "Rename from List" },
            { "ai", "AI Rename", "wand.and.stars", "AI Rename" },
            { "organize", "Organize", "folder.badge.gearshape", "Organize" },
        };
        auto kinds = RuleKind::defaults();
        ASSERT_EQ(kinds.size(), std::size(cases));
        for (std::size_t index = 0; index < kinds.size(); ++index) {
            const auto& expected = cases[index];
            const auto& kind = kinds[index];
            SCOPED_TRACE(std::string(expected.typeName));
            EXPECT_EQ(kind.typeName(), expected.typeName);
            EXPECT_EQ(title(kind), expected.title);
            EXPECT_EQ(symbolName(kind), expected.symbol);
            EXPECT_EQ(summary(Rule(kind)), expected.summary);
        }
    }

    TEST(RuleTitles, SettingsThatTheSummaryShowsAreShownUnchanged)
    {
        struct Case {
            const char* name;
            RuleKind kind;
            std::string summary;
        };
        const Case cases[] = {
            { "find and replacement", ReplaceConfig { "  IMG_", "Photo " },
                "  IMG_ \u2192 Photo " },
            { "empty find", ReplaceConfig { "", "x" }, " \u2192 x" },
            { "insert keeps spaces", insert("  draft  "), "  draft  " },
            { "pattern", PatternConfig { "{exif.date:yyyy-MM-dd|Undated}_{name}" },
                "{exif.date:yyyy-MM-dd|Undated}_{name}" },
            { "empty pattern", PatternConfig { "" }, "" },
            { "organize shows only its title", OrganizeConfig { "{exif.year}" }, "Organize" },
            { "markup stays text", insert("<b>x</b>"), "<b>x</b>" },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(summary(Rule(entry.kind)), entry.summary) << entry.name;
    }

    TEST(RuleTitles, CaseSummaryIsTheStyleOrPascalCase)
    {
        struct Case {
            CaseStyle style;
            std::string name;
        };
        const Case cases[] = {
            { CaseStyle::keep, "Keep as is" },
            { CaseStyle::lower, "lowercase" },
            { CaseStyle::upper, "UPPERCASE" },
            { CaseStyle::title, "Title Case" },
            { CaseStyle::sentence, "Sentence case" },
            { CaseStyle::camel, "camelCase" },
            { CaseStyle::snake, "snake_case" },
            { CaseStyle::kebab, "kebab-case" },
        };
        for (const auto& entry : cases) {
            EXPECT_EQ(summary(Rule(CaseConfig { entry.style, false })), entry.name);
            EXPECT_EQ(summary(Rule(CaseConfig { entry.style, true })), "PascalCase") << entry.name;
        }
    }

    TEST(RuleTitles, NumberingSummaryWrapsAroundInPlainDecimals)
    {
        struct Case {
            std::int64_t start;
            std::int64_t step;
            std::string summary;
        };
        const Case cases[] = {
            { 1, 1, "1, 2\u2026" },
            { 10, -5, "10, 5\u2026" },
            { 0, 0, "0, 0\u2026" },
            { -3, 1, "-3, -2\u2026" },
            { 1000000, 1000000, "1000000, 2000000\u2026" },
            { int64Max, 1, "9223372036854775807, -9223372036854775808\u2026" },
            { int64Min, -1, "-9223372036854775808, 9223372036854775807\u2026" },
            { int64Max, int64Max, "9223372036854775807, -2\u2026" },
            { int64Min, int64Min, "-9223372036854775808, 0\u2026" },
            { int64Min, int64Max, "-9223372036854775808, -1\u2026" },
        };
        for (const auto& entry : cases) {
            NumberingConfig config;
            config.start = entry.start;
            config.step = entry.step;
            EXPECT_EQ(summary(Rule(config)), entry.summary) << entry.start << " + " << entry.step;
        }
    }

    TEST(RuleTitles, EnabledFlagAndConditionPlayNoPart)
    {
        for (const auto& kind : RuleKind::defaults()) {
            Rule plain(kind);
            Rule other = plain;
            other.isEnabled = false;
            other.condition = ConditionGroup { false, { Condition::name("x", true) } };
            EXPECT_EQ(summary(other), summary(plain)) << kind.typeName();
        }
    }

} // namespace
} // namespace sorvik
