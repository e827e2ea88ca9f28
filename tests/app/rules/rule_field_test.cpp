#include "app/rules/rule_field.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(RuleField, ChangesOneFieldOfTheKindAndKeepsTheRest)
    {
        Rule rule(RuleKind(NumberingConfig {}));
        rule.isEnabled = false;
        rule.condition = ConditionGroup { false, { Condition::kind("image") } };

        auto changed = withField(rule, &NumberingConfig::separator, std::string("-"));
        ASSERT_TRUE(changed);
        auto expected = rule;
        std::get<NumberingConfig>(expected.kind.config).separator = "-";
        EXPECT_EQ(*changed, expected);
        EXPECT_EQ(fieldValue(*changed, &NumberingConfig::separator), "-");
        EXPECT_EQ(fieldValue(*changed, &NumberingConfig::padding), 3);
    }

    TEST(RuleField, ARuleOfAnotherKindIsNeitherReadNorWritten)
    {
        // The same shape, another kind.
        Rule organize(RuleKind(OrganizeConfig { "{ext}" }));
        EXPECT_FALSE(withField(organize, &PatternConfig::templateText, std::string("{name}")));
        EXPECT_FALSE(fieldValue(organize, &PatternConfig::templateText));
        EXPECT_EQ(fieldValue(organize, &OrganizeConfig::templateText), "{ext}");
    }

} // namespace
} // namespace sorvik
