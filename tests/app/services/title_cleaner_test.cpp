#include "app/services/title_cleaner.h"

#include "app/services/content_text.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(TitleCleaner, CleansAndCutsTitles)
    {
        struct Case {
            std::string_view text;
            std::int64_t max;
            std::string_view expected;
        };
        const Case cases[] = {
            { "Invoice: ACME/Berlin", 6, "Invoice ACME Berlin" },
            { "one two three", 0, "one" },
            { "one two three", -5, "one" },
            { "a b c d e f g h i j k l m n o", 20, "a b c d e f g h i j k l" },
            { "a b c d e f g h i j k l m n o", 12, "a b c d e f g h i j k l" },
            { " / : //  :: ", 6, "" },
            { "", 3, "" },
            { "  Quarterly\n\treport\r\n2024 ", 6, "Quarterly report 2024" },
            // No-break space, ideographic space and the line separator split words too.
            { "Caf\u00E9\u00A0Menu\u3000Ma\u00F1ana\u2028Hoy", 6,
                "Caf\u00E9 Menu Ma\u00F1ana Hoy" },
            { "Report", 3, "Report" },
            { "semi;colon-dash_kept", 3, "semi;colon-dash_kept" },
        };
        for (const auto& testCase : cases) {
            EXPECT_EQ(limitTitleWords(testCase.text, testCase.max), testCase.expected)
                << testCase.text << " / " << testCase.max;
        }
    }

    TEST(ContentText, DecodesMalformedUtf8WithReplacementCharacters)
    {
        EXPECT_EQ(contentText::decodingUtf8Lossily("caf\xC3\xA9"), "caf\u00E9");
        EXPECT_EQ(contentText::decodingUtf8Lossily("a\xFF"
                                                   "b"),
            "a\uFFFDb");
        // A sequence cut short at the end is one replacement character.
        EXPECT_EQ(contentText::decodingUtf8Lossily("ok\xE2\x82"), "ok\uFFFD");
        EXPECT_EQ(
            contentText::decodingUtf8Lossily(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    }

    TEST(ContentText, TrimsWhiteSpaceAndLineBreaks)
    {
        EXPECT_EQ(contentText::trimmed(" \n\u00A0 text here \u2029\t"), "text here");
        EXPECT_EQ(contentText::trimmed(" \n "), "");
        EXPECT_EQ(contentText::trimmed(""), "");
        EXPECT_EQ(contentText::prefixCharacters("e\u0301te\u0301", 2), "e\u0301t");
    }

} // namespace
} // namespace sorvik
