#include "engine/pipeline/token_parser.h"

#include <ostream>

#include <gtest/gtest.h>

namespace sorvik {

// Readable failure messages: gtest finds this through the segment's namespace.
[[maybe_unused]] static void PrintTo(const TokenSegment& segment, std::ostream* stream)
{
    if (const auto* piece = segment.asLiteral()) {
        *stream << "literal(\"" << piece->text << "\")";
        return;
    }
    const auto* piece = segment.asToken();
    *stream << "token(\"" << piece->name << "\", "
            << (piece->format ? "\"" + *piece->format + "\"" : "nil") << ", "
            << (piece->fallback ? "\"" + *piece->fallback + "\"" : "nil") << ", \""
            << piece->original << "\")";
}

namespace {

    using std::nullopt;

    TokenSegment literal(std::string text) { return TokenSegment::literal(std::move(text)); }

    TokenSegment token(std::string name, std::optional<std::string> format,
        std::optional<std::string> fallback, std::string original)
    {
        return TokenSegment::token(
            std::move(name), std::move(format), std::move(fallback), std::move(original));
    }

    struct ParseCase {
        const char* templateText;
        std::vector<TokenSegment> expected;
    };

    TEST(TokenParser, ParsesTemplatesIntoSegments)
    {
        const ParseCase cases[] = {
            { "", {} },
            { "abc", { literal("abc") } },
            // Escapes: a doubled brace is one literal brace, and only that.
            { "{{name}}", { literal("{name}") } },
            { "{{{name}}}",
                { literal("{"), token("name", nullopt, nullopt, "{name}"), literal("}") } },
            { "{{", { literal("{") } },
            { "}}}", { literal("}}") } },
            { "{{}", { literal("{}") } },
            { "a{{b{c}", { literal("a{b"), token("c", nullopt, nullopt, "{c}") } },
            // Unclosed and lone braces are literal text.
            { "a{b", { literal("a{b") } },
            { "a}b", { literal("a}b") } },
            { "{", { literal("{") } },
            { "x{y{z", { literal("x{y{z") } },
            { "{a{b}", { token("a{b", nullopt, nullopt, "{a{b}") } },
            { "{a}}", { token("a", nullopt, nullopt, "{a}"), literal("}") } },
            { "{}}", { token("", nullopt, nullopt, "{}"), literal("}") } },
            { "{}", { token("", nullopt, nullopt, "{}") } },
            { "{exif.date:yyyy-MM-dd|Undated}_{name}",
                { token("exif.date", "yyyy-MM-dd", "Undated", "{exif.date:yyyy-MM-dd|Undated}"),
                    literal("_"), token("name", nullopt, nullopt, "{name}") } },
            // The first "|" splits off the fallback, then the first ":" the format.
            { "{a:b:c|d|e}", { token("a", "b:c", "d|e", "{a:b:c|d|e}") } },
            { "{a|x:y}", { token("a", nullopt, "x:y", "{a|x:y}") } },
            { "{date.created:HH:mm}",
                { token("date.created", "HH:mm", nullopt, "{date.created:HH:mm}") } },
            { "{a:}", { token("a", "", nullopt, "{a:}") } },
            { "{a|}", { token("a", nullopt, "", "{a|}") } },
            { "{:f}", { token("", "f", nullopt, "{:f}") } },
            { "{:|}", { token("", "", "", "{:|}") } },
            { "{ name }", { token(" name ", nullopt, nullopt, "{ name }") } },
            { "a{x}b{y}c",
                { literal("a"), token("x", nullopt, nullopt, "{x}"), literal("b"),
                    token("y", nullopt, nullopt, "{y}"), literal("c") } },
            { "\r\n{name}\r\n",
                { literal("\r\n"), token("name", nullopt, nullopt, "{name}"), literal("\r\n") } },
            // Characters, not bytes: non-ASCII text passes through whole.
            { "Über{name}été",
                { literal("Über"), token("name", nullopt, nullopt, "{name}"), literal("été") } },
            { "{🇩🇪:—|…}", { token("🇩🇪", "—", "…", "{🇩🇪:—|…}") } },
            // A special character followed by a combining mark is one character, and not special.
            { "{\xCC\x81name}", { literal("{\xCC\x81name}") } },
            { "{name}\xCC\x81", { literal("{name}\xCC\x81") } },
            { "{{\xCC\x81name}", { token("{\xCC\x81name", nullopt, nullopt, "{{\xCC\x81name}") } },
            // Bytes that are not UTF-8 are kept, each on its own.
            { "\xFF{name}\xC3",
                { literal("\xFF"), token("name", nullopt, nullopt, "{name}"), literal("\xC3") } },
            { "{\xFF|\xFE}", { token("\xFF", nullopt, "\xFE", "{\xFF|\xFE}") } },
            { "{na:\xCC\x81me}", { token("na:\xCC\x81me", nullopt, nullopt, "{na:\xCC\x81me}") } },
            { "{a|\xCC\x81z|c}", { token("a|\xCC\x81z", nullopt, "c", "{a|\xCC\x81z|c}") } },
            { "{a:\xCC\x81|b}", { token("a:\xCC\x81", nullopt, "b", "{a:\xCC\x81|b}") } },
        };
        for (const auto& testCase : cases) {
            auto parsed = TokenParser::parse(testCase.templateText);
            EXPECT_EQ(parsed, testCase.expected) << testCase.templateText;
        }
    }

    TEST(TokenParser, KeepsEveryCharacterOfALongMalformedTemplate)
    {
        std::string templateText;
        for (int index = 0; index < 20000; ++index)
            templateText += "{a";
        auto parsed = TokenParser::parse(templateText);
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_EQ(parsed.front().asLiteral()->text, templateText);

        templateText += "}";
        parsed = TokenParser::parse(templateText);
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_EQ(parsed.front().asToken()->original, templateText);
    }

    TEST(TokenSegment, ComparesTextsByCanonicalEquivalence)
    {
        const std::string composed = "caf\xC3\xA9";
        const std::string decomposed = "cafe\xCC\x81";
        EXPECT_EQ(literal(composed), literal(decomposed));
        EXPECT_EQ(token(composed, composed, composed, composed),
            token(decomposed, decomposed, decomposed, decomposed));
        EXPECT_NE(literal("a"), literal("A"));
        EXPECT_NE(literal("{a}"), token("a", nullopt, nullopt, "{a}"));
        EXPECT_NE(token("a", nullopt, nullopt, "{a}"), literal("{a}"));
        // An absent format or fallback equals only an absent one.
        EXPECT_NE(token("a", "", nullopt, "{a}"), token("a", nullopt, nullopt, "{a}"));
        EXPECT_NE(token("a", nullopt, "", "{a}"), token("a", nullopt, nullopt, "{a}"));
        EXPECT_NE(token("a", nullopt, nullopt, "{a}"), token("a", nullopt, nullopt, "{a }"));
    }

    TEST(TokenParser, KnowsTheFortyEightBuiltInNames)
    {
        const auto& known = TokenParser::knownTokens();
        EXPECT_EQ(known.size(), 48u);
        for (const char* name : { "name", "ext", "folder", "parent", "#", "date.created",
                 "date.modified", "today", "size", "size.kb", "size.mb", "exif.date",
                 "exif.shutter", "gps.lon", "image.orientation", "audio.genre", "video.codec",
                 "pdf.pages", "ai.title", "ai.type", "ai.date", "ai.party" })
            EXPECT_TRUE(known.contains(name)) << name;
        for (const char* name : { "", "Name", "ai.engine", "ai.error", "exif.", "size.gb" })
            EXPECT_FALSE(known.contains(name)) << name;
    }

    TEST(TokenParser, ListsUnknownTokensInOrderWithDuplicates)
    {
        struct Case {
            const char* templateText;
            std::vector<std::string> expected;
        };
        const Case cases[] = {
            { "{foo}-{name}-{foo}", { "foo", "foo" } },
            { "{ai.engine}", { "ai.engine" } },
            { "{Name}", { "Name" } },
            { "{}", { "" } },
            { "{name:x|y}{#:3}{exif.date:yyyy|z}", {} },
            { "{{foo}} foo {bar", {} },
            { "{b}{a}{b|x}", { "b", "a", "b" } },
            { "", {} },
        };
        for (const auto& testCase : cases)
            EXPECT_EQ(TokenParser::unknownTokens(testCase.templateText), testCase.expected)
                << testCase.templateText;
    }

    TEST(TokenParser, TellsWhetherATemplateNeedsMetadata)
    {
        struct Case {
            const char* templateText;
            bool expected;
        };
        const Case cases[] = {
            { "{gps.city}", true },
            { "{name|exif.date}", false },
            { "{name:exif.date}", false },
            { "{EXIF.date}", false },
            { "exif.date", false },
            { "{{exif.date}}", false },
            { "", false },
            { "{ai}", false },
            { "{ai.}", true },
            { "{ai.engine}", true },
            { "{name}_{pdf.title:3}", true },
            { "{image.width}", true },
            { "{audio.anything}", true },
            { "{video.x|y}", true },
            { "{ exif.date}", false },
        };
        for (const auto& testCase : cases)
            EXPECT_EQ(TokenParser::requiresMetadata(testCase.templateText), testCase.expected)
                << testCase.templateText;
    }

} // namespace
} // namespace sorvik
