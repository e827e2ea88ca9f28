#include "engine/pipeline/token_resolver.h"

#include "engine/pipeline/padded_number.h"
#include "engine/pipeline/token_parser.h"
#include "tests/support/scoped_time_zone.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();
    constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();

    struct File {
        const char* path = "/home/ana/Fotos Été/IMG  1.JPG";
        std::int64_t size = 1536;
        std::int64_t index = 0;
        MetadataDictionary metadata = {};
    };

    RenameContext contextFor(const File& file)
    {
        FileItem item(FileURL(file.path), true,
            Date::fromUnixSeconds(1577934245.0), // created 2020-01-02 03:04:05 UTC
            Date::fromUnixSeconds(1709820309.0), // modified 2024-03-07 14:05:09 UTC
            file.size, 0);
        return RenameContext(std::move(item), file.index,
            Date::fromUnixSeconds(1686830400.0), // now 2023-06-15 12:00:00 UTC, a Thursday
            file.metadata);
    }

    struct Case {
        const char* templateText;
        File file;
        const char* expected;
        const char* zone = "UTC";
        const char* baseName = "IMG  1";
        const char* ext = "JPG";
    };

    void expectRenders(const Case& testCase)
    {
        testing::ScopedTimeZone zone(testCase.zone);
        testing::ScopedLocale locale("en_US_POSIX");
        EXPECT_EQ(TokenResolver::render(testCase.templateText, contextFor(testCase.file),
                      testCase.baseName, testCase.ext),
            testCase.expected)
            << testCase.templateText << " in " << testCase.zone;
    }

    TEST(TokenResolver, ResolvesTheFileTokens)
    {
        const Case cases[] = {
            { "{name}-{#:3}", { .index = 2 }, "IMG 1-003" },
            { "{name}.{ext}", {}, "IMG 1.JPG" },
            { "{name:x}{ext:3}", {}, "IMG 1JPG" },
            { "{folder}", {}, "Fotos Été" },
            { "{folder:3}", {}, "Fotos Été" },
            { "{parent}", {}, "ana" },
            // The root's last path component "/" is cleaned like any value.
            { "{folder}", { .path = "/a.txt" }, "-" },
            { "{parent}", { .path = "/a.txt" }, "-" },
            { "{folder}", { .path = "/tmp/caf\xE9/x.txt" }, "caf\xE9" },
            { "{size}", {}, "1536" },
            { "{size:8}", {}, "1536" },
            { "{size.kb}", {}, "1" },
            { "{size.kb}", { .size = 1023 }, "0" },
            { "{size.kb}", { .size = -1536 }, "-1" },
            { "{size.mb}", { .size = 1048575 }, "0" },
            { "{size.mb}", { .size = 1048576 }, "1" },
            { "{size}", { .size = int64Min }, "-9223372036854775808" },
            { "{name}", {}, "Ünïcödé nämé", "UTC", "  Ünïcödé\t\u3000nämé \n" },
            { "{name}", {}, "a-b-c", "UTC", "a/b:c" },
            { "{name|Untitled}", {}, "Untitled", "UTC", "" },
            // Only an empty value takes the fallback; one of white space alone cleans to nothing.
            { "{name|Untitled}", {}, "", "UTC", " \t " },
            { "{ext|none}", {}, "none", "UTC", "x", "" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);
    }

    TEST(TokenResolver, NumbersTheRunWithTheCounter)
    {
        const Case cases[] = {
            { "{#}", {}, "1" },
            { "{#}", { .index = 9 }, "10" },
            { "{#:3}", { .index = 1233 }, "1234" },
            { "{#:+4}", {}, "0001" },
            { "{#:0}", {}, "1" },
            { "{#:-2}", {}, "1" },
            { "{#:abc}", {}, "1" },
            { "{#:}", {}, "1" },
            { "{#: 3}", {}, "1" },
            { "{#:3x}", {}, "1" },
            { "{#:99999999999999999999}", {}, "1" },
            { "{#|x}", {}, "1" },
            // A hand-built context at the end of the range still gets a number.
            { "{#}", { .index = int64Max }, "9223372036854775807" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);

        auto wide = TokenResolver::render("{#:100000}", contextFor({}), "a", "b");
        EXPECT_EQ(wide, std::string(254, '0') + "1");
    }

    TEST(TokenResolver, FormatsTheDatesOfTheFileAndTheRun)
    {
        const Case cases[] = {
            { "{date.created}", {}, "2020-01-02" },
            { "{date.modified}", {}, "2024-03-07" },
            { "{today}", {}, "2023-06-15" },
            { "{date.modified:HH:mm}", {}, "14-05" },
            { "{date.modified:HH:mm}", {}, "15-05", "Europe/Berlin" },
            { "{date.modified:yyyy-MM-dd HH}", {}, "2024-03-07 19", "Asia/Kolkata" },
            { "{date.created}", {}, "2020-01-01", "America/Los_Angeles" },
            { "{today:EEEE, d MMMM yy}", {}, "Thursday, 15 June 23" },
            { "{today:'week' w}", {}, "week 24" },
            // An empty pattern formats to nothing, so the fallback applies.
            { "{today:}", {}, "" },
            { "{today:|none}", {}, "none" },
            // A pattern that ICU refuses gives an empty value, never an error.
            { "{today:yyyy-MM-ddj}", {}, "" },
            { "{today:yyyy-MM-ddj|Undated}", {}, "Undated" },
            { "{today:'open}", {}, "open" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);
    }

    TEST(TokenResolver, DateTokensUseAFixedLocaleButExifDatesTheUsers)
    {
        testing::ScopedTimeZone zone("UTC");
        testing::ScopedLocale locale("de_DE");
        auto context = contextFor({ .metadata = { { "exif.date", "2023-06-15T10:00:00Z" } } });
        EXPECT_EQ(TokenResolver::render("{today:EEEE MMMM}", context, "a", "b"), "Thursday June");
        EXPECT_EQ(
            TokenResolver::render("{exif.date:EEEE MMMM}", context, "a", "b"), "Donnerstag Juni");
    }

    TEST(TokenResolver, ReadsExifDatesAsInternetDateTimes)
    {
        const MetadataDictionary lateEvening = { { "exif.date", "2023-06-15T23:30:00Z" } };
        const MetadataDictionary earlyMorning = { { "exif.date", "2023-06-15T02:30:00Z" } };
        const MetadataDictionary withOffset = { { "exif.date", "2023-06-16T01:00:00+09:00" } };
        const MetadataDictionary behindUTC = { { "exif.date", "2023-06-15T20:00:00-05:30" } };
        auto only = [](const char* value) { return MetadataDictionary { { "exif.date", value } }; };
        const Case cases[] = {
            { "{exif.date:yyyy-MM-dd|Undated}_{name}", {}, "Undated_IMG 1" },
            { "{exif.date:yyyy-MM-dd|Undated}", { .metadata = lateEvening }, "2023-06-15" },
            { "{exif.date:yyyy-MM-dd|Undated}", { .metadata = lateEvening }, "2023-06-16",
                "Asia/Tokyo" },
            { "{exif.date}", { .metadata = earlyMorning }, "2023-06-15" },
            { "{exif.date}", { .metadata = earlyMorning }, "2023-06-14", "America/Los_Angeles" },
            { "{exif.date:yyyy-MM-dd HH}", { .metadata = withOffset }, "2023-06-15 16" },
            { "{exif.date:HH:mm}", { .metadata = behindUTC }, "01-30" },
            { "{exif.date:HH:mm}", { .metadata = behindUTC }, "03-30", "Europe/Berlin" },
            { "{exif.date:yyyy}", { .metadata = only("2024-02-29T12:00:00Z") }, "2024" },
            // Values the reader rejects stay as they are, cleaned.
            { "{exif.date:yyyy|Undated}", { .metadata = only("2023:06:15 10:00:00") },
                "2023-06-15 10-00-00" },
            { "{exif.date}", { .metadata = only("2023-06-15T10:00:00.5Z") },
                "2023-06-15T10-00-00.5Z" },
            { "{exif.date}", { .metadata = only("2023-06-15") }, "2023-06-15" },
            { "{exif.date}", { .metadata = only("2023-06-15T10:00:00") }, "2023-06-15T10-00-00" },
            { "{exif.date}", { .metadata = only("2023-06-15 10:00:00Z") }, "2023-06-15 10-00-00Z" },
            { "{exif.date}", { .metadata = only("2023-02-29T10:00:00Z") }, "2023-02-29T10-00-00Z" },
            { "{exif.date}", { .metadata = only("2023-06-15T24:00:00Z") }, "2023-06-15T24-00-00Z" },
            { "{exif.date}", { .metadata = only("2023-06-15T10:00:00+0100") },
                "2023-06-15T10-00-00+0100" },
            { "{exif.date}", { .metadata = only("2023-06-15t10:00:00z") }, "2023-06-15t10-00-00z" },
            { "{exif.date}", { .metadata = only("Undated") }, "Undated" },
            // A refused or empty pattern gives an empty value: the fallback, or nothing.
            { "{exif.date:yyyy-MM-ddj|Undated}", { .metadata = lateEvening }, "Undated" },
            { "{exif.date:yyyy-MM-ddj}", { .metadata = lateEvening }, "" },
            { "{exif.date:}", { .metadata = lateEvening }, "" },
            { "{exif.date:|X}", { .metadata = lateEvening }, "X" },
            // The fallback stands in for a missing value before the value is read.
            { "{exif.date:yyyy|2020-01-01T00:00:00Z}", {}, "2020" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);
    }

    TEST(TokenResolver, ResolvesMetadataTokensWithFormatsAndFallbacks)
    {
        auto with = [](const char* key, const char* value) {
            return File { .metadata = { { key, value } } };
        };
        const Case cases[] = {
            { "{gps.city}", {}, "" },
            { "{gps.city|}", {}, "" },
            { "{gps.city|Nowhere}", {}, "Nowhere" },
            { "{gps.city|Nowhere}", with("gps.city", ""), "Nowhere" },
            { "{gps.city|Nowhere}", with("gps.city", " \n "), "" },
            { "{gps.city}", with("gps.city", "  São   Paulo \n"), "São Paulo" },
            { "{gps.city}", with("gps.city", "São\u00A0Paulo\u2028Brasil\u0085!"),
                "São Paulo Brasil !" },
            { "{gps.city|a/b: c}", {}, "a-b- c" },
            { "{gps.city:3}", {}, "" },
            { "{pdf.title}", with("pdf.title", "Q3: Report/Final"), "Q3- Report-Final" },
            { "{pdf.title}", with("pdf.title", "bad \xFF\xFE bytes"), "bad \xFF\xFE bytes" },
            { "{ai.engine}", with("ai.engine", "heuristic"), "heuristic" },
            { "{exif.unheard.of|x}", {}, "x" },
            { "{audio.track:3}", with("audio.track", "7"), "007" },
            { "{audio.track:2}", with("audio.track", "7"), "07" },
            { "{audio.track:3}", with("audio.track", "7/12"), "7-12" },
            { "{audio.track:2}", with("audio.track", "+7"), "07" },
            { "{audio.track:2}", with("audio.track", "-7"), "-07" },
            { "{audio.track:2}", with("audio.track", "007"), "07" },
            { "{audio.track:+3}", with("audio.track", "7"), "007" },
            { "{audio.track: 2}", with("audio.track", "7"), "7" },
            { "{audio.track:2}", with("audio.track", " 7"), "7" },
            { "{audio.track:x}", with("audio.track", "7"), "7" },
            { "{audio.track:99999999999999999999}", with("audio.track", "7"), "7" },
            { "{audio.track:2}", with("audio.track", "99999999999999999999"),
                "99999999999999999999" },
            // A file's own tags can hold the most negative number: no overflow.
            { "{audio.track:2}", with("audio.track", "-9223372036854775808"),
                "-9223372036854775808" },
            { "{audio.track:25}", with("audio.track", "-9223372036854775808"),
                "-0000009223372036854775808" },
            { "{audio.track:2|5}", {}, "05" },
            { "{image.width:6}", with("image.width", "4032"), "004032" },
            { "{video.duration:mm-ss}", with("video.duration", "125"), "02-05" },
            { "{video.duration}", with("video.duration", "125"), "125" },
            { "{video.duration:5}", with("video.duration", "125"), "00125" },
            { "{video.duration:mm-ss}", with("video.duration", "2:05"), "2-05" },
            { "{video.duration:mm-ss}", with("video.duration", "3725"), "62-05" },
            { "{video.duration:mm-ss}", with("video.duration", "5"), "00-05" },
            { "{video.duration:mm-ss}", with("video.duration", "-125"), "-2--5" },
            { "{video.duration:mm:ss}", with("video.duration", "125"), "125" },
            { "{video.duration:mm-ss}", with("video.duration", "9223372036854775807"),
                "153722867280912930-07" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);

        auto wide = TokenResolver::render(
            "{audio.track:1000000000000}", contextFor(with("audio.track", "7")), "a", "b");
        EXPECT_EQ(wide, std::string(254, '0') + "7");
    }

    TEST(TokenResolver, KeepsUnknownTokensAndLiteralTextAsWritten)
    {
        const Case cases[] = {
            { "{Name}", {}, "{Name}" },
            { "{foo}", {}, "{foo}" },
            { "{}", {}, "{}" },
            { "{foo:x}", {}, "{foo:x}" },
            { "{foo|x}", {}, "{foo|x}" },
            { "{foo|}", {}, "{foo|}" },
            { "{ name }", {}, "{ name }" },
            { "{EXIF.date|x}", {}, "{EXIF.date|x}" },
            { "a/b: {name}", {}, "a/b: IMG 1" },
            { "  {name}  ", {}, "  IMG 1  " },
            { "{{name}}", {}, "{name}" },
            { "{{{name}}}", {}, "{IMG 1}" },
            { "a{name", {}, "a{name" },
            { "}{name}{", {}, "}IMG 1{" },
            { "", {}, "" },
            { "Été — {name}", {}, "Été — IMG 1" },
        };
        for (const auto& testCase : cases)
            expectRenders(testCase);
    }

    TEST(TokenResolver, ResolvesOneSegmentAtATime)
    {
        auto context = contextFor({ .metadata = { { "gps.city", "Oslo" } } });
        EXPECT_EQ(
            TokenResolver::resolve(TokenSegment::literal(" a/b "), "n", "e", context), " a/b ");
        EXPECT_EQ(TokenResolver::resolve(
                      TokenSegment::token("name", std::nullopt, std::nullopt, "{name}"), " n ", "e",
                      context),
            "n");
        EXPECT_EQ(TokenResolver::resolve(
                      TokenSegment::token("gps.city", std::nullopt, "x", "{gps.city|x}"), "n", "e",
                      context),
            "Oslo");
        EXPECT_EQ(TokenResolver::resolve(
                      TokenSegment::token("nope", "f", "x", "{nope:f|x}"), "n", "e", context),
            "{nope:f|x}");
    }

    TEST(TokenResolver, RendersTheSameTemplateForManyFilesAndTemplates)
    {
        // More templates than the per-thread cache keeps, interleaved, each still correct.
        for (int round = 0; round < 3; ++round) {
            for (int index = 0; index < 150; ++index) {
                std::string templateText = std::to_string(index) + "_{#:2}";
                EXPECT_EQ(
                    TokenResolver::render(templateText, contextFor({ .index = round }), "a", "b"),
                    std::to_string(index) + "_0" + std::to_string(round + 1));
            }
        }
    }

    // Preview planning renders on worker threads; each keeps its own parsed templates and
    // date formatters.
    TEST(TokenResolver, RendersOnSeveralThreadsAtOnce)
    {
        testing::ScopedTimeZone zone("Europe/Berlin");
        std::vector<std::thread> threads;
        std::atomic<int> mismatches = 0;
        for (int thread = 0; thread < 4; ++thread) {
            threads.emplace_back([thread, &mismatches] {
                for (int index = 0; index < 200; ++index) {
                    auto context = contextFor({ .index = index,
                        .metadata = { { "exif.date", "2023-06-15T23:30:00Z" } } });
                    auto name
                        = TokenResolver::render("{exif.date:yyyy-MM-dd HH|Undated}_{name}_{#:4}",
                            context, "t" + std::to_string(thread), "jpg");
                    char expected[64];
                    std::snprintf(
                        expected, sizeof expected, "2023-06-16 01_t%d_%04d", thread, index + 1);
                    if (name != expected)
                        ++mismatches;
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(mismatches, 0);
    }

    TEST(PaddedNumber, PadsDigitsNotTheSign)
    {
        struct PadCase {
            std::int64_t value;
            std::int64_t width;
            std::string expected;
        };
        const PadCase cases[] = {
            { 7, 3, "007" },
            { 7, 1, "7" },
            { 7, 0, "7" },
            { 7, -5, "7" },
            { 1234, 2, "1234" },
            { 0, 3, "000" },
            { -7, 3, "-007" },
            { -1234, 2, "-1234" },
            { int64Max, 1, "9223372036854775807" },
            { int64Min, 1, "-9223372036854775808" },
            { int64Min, 21, "-009223372036854775808" },
            { 7, 255, std::string(254, '0') + "7" },
            { 7, 256, std::string(254, '0') + "7" },
            { -7, int64Max, "-" + std::string(254, '0') + "7" },
            { 7, int64Min, "7" },
        };
        for (const auto& testCase : cases)
            EXPECT_EQ(
                RenamePipeline::paddedNumber(testCase.value, testCase.width), testCase.expected)
                << testCase.value << " width " << testCase.width;
    }

} // namespace
} // namespace sorvik
