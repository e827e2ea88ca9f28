#include "app/rules/template_tokens.h"

#include "engine/pipeline/token_parser.h"

#include <algorithm>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    std::string nameOf(std::string_view token)
    {
        return std::string(token.substr(0, token.find(':')));
    }

    TEST(TemplateTokens, AreTheEditorsOwnListOfKnownTokens)
    {
        ASSERT_EQ(templateTokens.size(), 44u);
        EXPECT_EQ(templateTokens.front(), "name");
        EXPECT_EQ(templateTokens[4], "#:3");
        EXPECT_EQ(templateTokens.back(), "pdf.pages");
        std::set<std::string_view> distinct(templateTokens.begin(), templateTokens.end());
        EXPECT_EQ(distinct.size(), templateTokens.size());
        const auto& known = TokenParser::knownTokens();
        for (auto token : templateTokens) {
            EXPECT_TRUE(known.contains(nameOf(token))) << token;
            EXPECT_FALSE(token.starts_with("ai.")) << token;
            // Each entry is inserted as one token, never as literal text beside one.
            auto inserted = appendingToken("", token);
            EXPECT_TRUE(TokenParser::unknownTokens(inserted).empty()) << inserted;
            auto segments = TokenParser::parse(inserted);
            ASSERT_EQ(segments.size(), 1u) << inserted;
            EXPECT_TRUE(std::holds_alternative<TokenSegment::Token>(segments[0].value)) << inserted;
        }
        // Every known name but the AI fields is offered.
        for (const auto& name : known) {
            if (name.starts_with("ai."))
                continue;
            bool offered = std::any_of(templateTokens.begin(), templateTokens.end(),
                [&](std::string_view token) { return nameOf(token) == name; });
            EXPECT_TRUE(offered) << name;
        }
    }

    TEST(TemplateTokens, SearchKeepsOrderAndLooksAtTheFormatToo)
    {
        auto tokens = templateTokenList();
        struct Case {
            std::string query;
            std::vector<std::string> expected;
        };
        const Case cases[] = {
            { "yyyy",
                { "date.created:yyyy-MM-dd", "date.modified:yyyy-MM-dd", "today:yyyy-MM-dd",
                    "exif.date:yyyy-MM-dd" } },
            { "#", { "#:3" } },
            { ":2", { "audio.track:2" } },
            { "mm-SS", { "video.duration:mm-ss" } },
            { " name", {} },
            { "zzz", {} },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(matchingTokens(tokens, entry.query), entry.expected) << entry.query;
        EXPECT_EQ(matchingTokens(tokens, ""), tokens);
        auto exif = matchingTokens(tokens, "EXIF");
        ASSERT_EQ(exif.size(), 12u);
        EXPECT_TRUE(std::all_of(exif.begin(), exif.end(),
            [](const std::string& token) { return token.starts_with("exif."); }));
        EXPECT_EQ(exif.front(), "exif.date:yyyy-MM-dd");
        EXPECT_EQ(exif.back(), "exif.shutter");
    }

    TEST(TemplateTokens, AppendGoesAtTheVeryEndWithNothingBetween)
    {
        EXPECT_EQ(appendingToken("", "name"), "{name}");
        EXPECT_EQ(appendingToken("Photo_", "#:3"), "Photo_{#:3}");
        EXPECT_EQ(appendingToken(appendingToken("", "name"), "ext"), "{name}{ext}");
        EXPECT_EQ(appendingToken("a {", "ext"), "a {{ext}");
        EXPECT_EQ(appendingToken("trailing ", "ext"), "trailing {ext}");
    }

} // namespace
} // namespace sorvik
