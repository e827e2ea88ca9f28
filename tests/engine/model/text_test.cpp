#include "engine/model/error.h"
#include "engine/model/regex.h"
#include "engine/model/text.h"

#include <chrono>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // "e" followed by U+0301 COMBINING ACUTE ACCENT: two code points, one character.
    constexpr const char* decomposedE = "e\xCC\x81";
    constexpr const char* composedE = "\xC3\xA9";
    // A family emoji: several code points joined with U+200D, one character.
    constexpr const char* family
        = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";

    TEST(Text, CharacterCountIsInGraphemeClusters)
    {
        struct Case {
            std::string text;
            std::size_t count;
        };
        const Case cases[] = {
            { "", 0 },
            { "abc", 3 },
            { "a\r\nb", 3 },
            { std::string("caf") + decomposedE, 4 },
            { std::string("caf") + composedE, 4 },
            { family, 1 },
            { std::string(family) + "x", 2 },
            { ".\xCC\x81", 1 },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(text::characterCount(entry.text), entry.count) << entry.text;
    }

    TEST(Text, SlicingNeverSplitsACharacter)
    {
        std::string name = std::string("a") + decomposedE + family + "z";
        EXPECT_EQ(text::prefix(name, 2), std::string("a") + decomposedE);
        EXPECT_EQ(text::suffix(name, 2), std::string(family) + "z");
        EXPECT_EQ(text::dropFirst(name, 1), std::string(decomposedE) + family + "z");
        EXPECT_EQ(text::dropLast(name, 3), "a");
        EXPECT_EQ(text::prefix(name, 99), name);
        EXPECT_EQ(text::dropFirst(name, 99), "");
        EXPECT_EQ(text::dropLast(name, 99), "");
        EXPECT_EQ(text::suffix("", 3), "");
    }

    TEST(Text, CanonicalEquivalence)
    {
        EXPECT_TRUE(text::canonicallyEqual(composedE, decomposedE));
        EXPECT_FALSE(text::canonicallyEqual("e", composedE));
        EXPECT_FALSE(text::canonicallyEqual("A", "a"));
    }

    TEST(Text, CaseMappingUsesNoLocale)
    {
        EXPECT_EQ(text::lowercased("ÀÉ I"), "àé i");
        EXPECT_EQ(text::uppercased("straße"), "STRASSE");
        EXPECT_EQ(text::lowercased("\xC4\xB0"), "i\xCC\x87"); // İ, with the root locale's mapping
        EXPECT_EQ(text::capitalized("hELLO wORLD\tagain\nnow"), "Hello World\tAgain\nNow");
        EXPECT_EQ(text::capitalized("my-file name"), "My-file Name");
    }

    TEST(Text, FoldingRemovesDiacriticsAndWidthButKeepsCase)
    {
        EXPECT_EQ(text::foldingDiacriticsAndWidth("Café Ünïcode"), "Cafe Unicode");
        EXPECT_EQ(text::foldingDiacriticsAndWidth(std::string("caf") + decomposedE), "cafe");
        EXPECT_EQ(text::foldingDiacriticsAndWidth("\xEF\xBC\xA1\xEF\xBD\x82\xEF\xBC\x91"),
            "Ab1"); // Ａｂ１
        EXPECT_EQ(text::foldingDiacriticsAndWidth("\xE3\x80\x80"),
            " "); // the ideographic space is a wide space
    }

    TEST(Text, CharacterProperties)
    {
        EXPECT_TRUE(text::isLetter("a"));
        EXPECT_TRUE(text::isLetter("\xE6\x97\xA5")); // 日
        EXPECT_FALSE(text::isLetter("1"));
        EXPECT_TRUE(text::isNumber("7"));
        EXPECT_TRUE(text::isNumber("\xD9\xA3")); // Arabic-Indic three
        EXPECT_FALSE(text::isNumber("_"));
        EXPECT_TRUE(text::isUppercase("A"));
        EXPECT_TRUE(text::isLowercase(decomposedE));
    }

    TEST(Text, TrimmingWorksOnWholeCharacters)
    {
        EXPECT_EQ(text::trimming(" .jpg. ", ". "), "jpg");
        EXPECT_EQ(text::trimming("...", "."), "");
        EXPECT_EQ(text::trimming(std::string(".\xCC\x81x."), "."), ".\xCC\x81x");
    }

    TEST(Text, TrimmingWhitespaceAndNewlines)
    {
        struct Case {
            std::string input;
            std::string expected;
        };
        const Case cases[] = {
            { "  Trip\n", "Trip" }, { "\t\r\nTwo words \x0B\x0C", "Two words" },
            { "\xC2\xA0Trip\xE2\x80\xA8", "Trip" }, // no-break space, line separator
            { "\xC2\x85Trip\xE3\x80\x80", "Trip" }, // next line, ideographic space
            { " \n\t ", "" }, { "", "" }, { "a\xCC\x81 ", "a\xCC\x81" },
            { " \xFF ", "\xFF" }, // not UTF-8: kept
            { "\xE2\x80\x8BTrip", "\xE2\x80\x8BTrip" }, // zero-width space is no space
        };
        for (const auto& [input, expected] : cases)
            EXPECT_EQ(text::trimmingWhitespaceAndNewlines(input), expected) << input;
    }

    TEST(Text, ContainsIgnoringCase)
    {
        EXPECT_TRUE(text::contains("img_001.jpg", "IMG", true));
        EXPECT_FALSE(text::contains("img_001.jpg", "IMG", false));
        EXPECT_TRUE(text::contains("STRASSE", "straße", true));
        EXPECT_FALSE(text::contains("abc", "", true));
    }

    TEST(Text, Utf8Validation)
    {
        EXPECT_TRUE(text::isValidUtf8(family));
        EXPECT_FALSE(text::isValidUtf8("\xFF"));
        EXPECT_FALSE(text::isValidUtf8("\xC0\xAF")); // overlong "/"
        EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80")); // surrogate
        EXPECT_FALSE(text::isValidUtf8("\xE2\x82"));
    }

    TEST(Regex, ReplacementTemplates)
    {
        struct Case {
            const char* pattern;
            const char* input;
            const char* replacement;
            Regex::Occurrence occurrence;
            const char* expected;
        };
        const Case cases[] = {
            { "(\\d+)", "a1b22", "<$1>", Regex::Occurrence::all, "a<1>b<22>" },
            { "(\\d+)", "a1b22", "<$0>", Regex::Occurrence::first, "a<1>b22" },
            { "(\\d+)", "a1b22", "<$0>", Regex::Occurrence::last, "a1b<22>" },
            { "b", "abc", "\\$1", Regex::Occurrence::all, "a$1c" },
            { "b", "abc", "$", Regex::Occurrence::all, "a$c" },
            { "b", "abc", "$x", Regex::Occurrence::all, "a$xc" },
            { "(b)", "abc", "$12", Regex::Occurrence::all, "ab2c" },
            { "(b)", "abc", "$2", Regex::Occurrence::all, "ac" },
            { "b", "abc", "\\\\", Regex::Occurrence::all, "a\\c" },
            { "x", "abc", "y", Regex::Occurrence::all, "abc" },
            { "(a)|(z)", "a", "[$2]", Regex::Occurrence::all, "[]" },
        };
        for (const auto& entry : cases) {
            auto regex = Regex::compile(entry.pattern);
            EXPECT_EQ(
                regex.replacing(entry.input, entry.replacement, entry.occurrence), entry.expected)
                << entry.pattern << " / " << entry.replacement;
        }
    }

    TEST(Regex, LiteralPatternsMatchSpecialCharactersAsThemselves)
    {
        auto regex = Regex::literal("a.b(c)$\\E[", true);
        EXPECT_TRUE(regex.search("xxA.B(C)$\\E[yy"));
        EXPECT_FALSE(regex.search("aXb(c)$\\E["));
        EXPECT_EQ(Regex::literal("$").replacingLiterally("a$b", "$1"), "a$1b");
    }

    TEST(Regex, InvalidPatternsFailToCompile)
    {
        EXPECT_THROW(Regex::compile("(unbalanced"), Error);
        EXPECT_FALSE(Regex::tryCompile("[a-"));
        EXPECT_TRUE(Regex::tryCompile("(?i)abc"));
    }

    TEST(Regex, CatastrophicBacktrackingGivesUpInsteadOfHanging)
    {
        auto regex = Regex::compile("(a+)+$");
        std::string input(40, 'a');
        input += "!";
        auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(regex.search(input));
        EXPECT_EQ(regex.replacing(input, "x"), input);
        // Generous: the point is that it ends at all, not how fast.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    }

    TEST(Regex, MatchersAreReusedSafely)
    {
        // After giving up on one text, the same expression matches the next one in full.
        auto regex = Regex::compile("(a+)+$");
        std::string hopeless(40, 'a');
        hopeless += "!";
        EXPECT_FALSE(regex.search(hopeless));
        EXPECT_TRUE(regex.search("aaa"));
        EXPECT_EQ(regex.replacing("baa", "<$1>"), "b<aa>");
        // More expressions than are kept at once, used in turn, each on its own text.
        std::vector<Regex> expressions;
        for (int index = 0; index < 20; ++index)
            expressions.push_back(Regex::compile("x" + std::to_string(index)));
        for (int round = 0; round < 3; ++round) {
            for (int index = 0; index < 20; ++index) {
                std::string text = "ax" + std::to_string(index) + "b";
                EXPECT_EQ(expressions[static_cast<std::size_t>(index)].replacing(text, "-"), "a-b");
                EXPECT_FALSE(expressions[static_cast<std::size_t>(index)].search("ab"));
            }
        }
    }

    TEST(Regex, DeepRecursionHitsTheStackLimitInsteadOfCrashing)
    {
        auto regex = Regex::compile("(a|b)*c");
        std::string input(2'000'000, 'a');
        EXPECT_FALSE(regex.search(input));
    }

} // namespace
} // namespace sorvik
