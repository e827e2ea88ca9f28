#include "app/services/content_rtf.h"

#include "engine/model/error.h"
#include "engine/model/text.h"
#include "tests/app/services/memory_growth.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(RtfPlainText, StripsControlWordsAndKeepsTheBody)
    {
        struct Case {
            std::string_view rtf;
            std::string_view expected;
        };
        const Case cases[] = {
            { "{\\rtf1 Hello}", "Hello" },
            { "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Helvetica;}}{\\colortbl;\\red0\\green0\\blue0;}"
              "\\f0\\fs24 \\b Bold\\b0  text\\par Next\\line line\\tab end}",
                "Bold text\nNext\nline\tend" },
            { "{\\rtf1 a\\{b\\}c\\\\d}", "a{b}c\\d" },
            { "{\\rtf1 caf\\'e9 ni\\'F1o}", "caf\u00E9 ni\u00F1o" },
            // Another code page: 1251 (Cyrillic).
            { "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}",
                "\u041F\u0440\u0438\u0432\u0435\u0442" },
            // \uN with its stand-in skipped, \ucN changing the stand-in length, and a
            // surrogate pair written as two negative numbers.
            { "{\\rtf1 \\u8364?uro {\\uc2\\u8364\\'80\\'80x} \\u-10179?\\u-8704?}",
                "\u20ACuro \u20ACx \U0001F600" },
            { "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~}",
                "\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0" },
            { "{\\rtf1 A{\\*\\generator Writer 1.0;}B{\\*\\unknowndest lots}C}", "ABC" },
            { "{\\rtf1{\\info{\\title Secret title}{\\author Me}}Body}", "Body" },
            { "{\\rtf1 Before{\\pict\\pngblip 89504e470d0a1a0a}After}", "BeforeAfter" },
            { "{\\rtf1{\\header Page header}Text{\\footer Page footer}}", "Text" },
            { "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"https://example.com\"}{\\fldrslt link}}}",
                "link" },
            { "{\\rtf1 x\\bin4 {}}}y}", "xy" },
            { "{\\rtf1 un\\-break\\_able}", "unbreak\u2011able" },
            { "{\\rtf1 line\r\nbreaks\r\n are ignored}", "linebreaks are ignored" },
            { "{\\rtf1 a\\\nb}", "a\nb" },
            { "{\\rtf1 Body} trailing text after the document", "Body" },
            { "  \r\n{\\rtf1 Leading space}", "Leading space" },
            { "{\\rtf1 unterminated {\\b bold", "unterminated bold" },
            // A malformed escape is dropped; what follows it is text.
            { "{\\rtf1 \\'zz\\'4}", "zz4" },
        };
        for (const auto& testCase : cases)
            EXPECT_EQ(rtfPlainText(testCase.rtf, 2000), testCase.expected) << testCase.rtf;
    }

    TEST(RtfPlainText, RefusesDataThatIsNotRtf)
    {
        EXPECT_THROW(rtfPlainText("", 2000), Error);
        EXPECT_THROW(rtfPlainText("Hello", 2000), Error);
        EXPECT_THROW(rtfPlainText("{\\rt", 2000), Error);
    }

    TEST(RtfPlainText, StopsOnceEnoughIsCollected)
    {
        std::string rtf = "{\\rtf1 ";
        for (int index = 0; index < 100000; ++index)
            rtf += "word\\par ";
        rtf += "}";
        std::string text = rtfPlainText(rtf, 2000);
        EXPECT_GT(text::characterCount(text), 2000u);
        EXPECT_LT(text.size(), 10000u);
    }

    /// Documents nest groups a few dozen deep. What lies deeper than 256 groups is no body
    /// text, and a file of nothing but opening braces takes no memory for them.
    TEST(RtfPlainText, ReadsNothingFromGroupsNestedTooDeep)
    {
        auto nested = [](int depth, std::string_view inside) {
            return "{\\rtf1 A" + std::string(depth, '{') + std::string(inside)
                + std::string(depth, '}') + "B}";
        };
        EXPECT_EQ(rtfPlainText(nested(200, "in"), 2000), "AinB");
        EXPECT_EQ(rtfPlainText(nested(255, "in"), 2000), "AinB");
        EXPECT_EQ(rtfPlainText(nested(256, "deep"), 2000), "AB");
        EXPECT_EQ(rtfPlainText(nested(5000, "deep{\\*\\x}\\uc5"), 2000), "AB");

        std::string braces = "{\\rtf1 " + std::string(32 * 1024 * 1024, '{');
        std::int64_t growth = testing::peakMemoryGrowth([&] { rtfPlainText(braces, 2000); });
        EXPECT_GE(growth, 0);
        EXPECT_LT(growth, 32 << 20);
    }

} // namespace
} // namespace sorvik
