#include "app/rules/search_match.h"

#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(SearchMatch, ContainmentIgnoresCaseAndNormalForm)
    {
        struct Case {
            std::string text;
            std::string query;
            bool matches;
        };
        const Case cases[] = {
            { "Change Case", "", true },
            { "", "", true },
            { "", "a", false },
            { "Change Case", "case", true },
            { "Change Case", "CASE", true },
            { "Change Case", "cAsE", true },
            { "Change Case", "Case ", false },
            { "Change Case", " ", true },
            { "Spaces", " ", false },
            { "Find & Replace", "& r", true },
            { "exif.date:yyyy-MM-dd", "YYYY-mm", true },
            // "café" written with U+00E9 against "e" + U+0301, both ways round.
            { "Caf\xC3\xA9 photos", "cafe\xCC\x81", true },
            { "Cafe\xCC\x81 photos", "CAF\xC3\x89", true },
            { "Cafe photos", "caf\xC3\xA9", false },
            { "STRASSE", "stra", true },
            { "\xC3\x84rger", "\xC3\xA4r", true },
            // Bytes that are not UTF-8 are matched as they are.
            { "bad\xFF name", "\xFF n", true },
            { "bad\xFF name", "BAD", false },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(searchMatches(entry.text, entry.query), entry.matches)
                << '"' << entry.text << "\" / \"" << entry.query << '"';
    }

} // namespace
} // namespace sorvik
