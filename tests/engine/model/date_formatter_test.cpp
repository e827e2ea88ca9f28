#include "engine/model/date_formatter.h"

#include "engine/model/text.h"
#include "tests/support/scoped_time_zone.h"

#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <random>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    std::string formatDirectlyWithICU(
        const char* pattern, const char* localeName, const char* zoneID, Date date)
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::SimpleDateFormat format(
            icu::UnicodeString::fromUTF8(pattern), icu::Locale(localeName), status);
        EXPECT_TRUE(U_SUCCESS(status));
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneID)));
        icu::UnicodeString result;
        format.format(date.icuDate(), result, nullptr, status);
        EXPECT_TRUE(U_SUCCESS(status));
        return text::fromUnicode(result);
    }

    // The formatter takes its own route for simple numeric patterns; whatever the route, the
    // text must be ICU's, in zones with odd offsets and across daylight-saving changes.
    TEST(DateFormatter, GivesICUsTextForEveryPatternZoneAndMoment)
    {
        const char* patterns[] = { "yyyy-MM-dd", "y", "yy", "yyy", "yyyy", "HH:mm:ss", "H.m.s",
            "d/M/yyyy", "'T'HH''mm'ss'", "yyyy\xE5\xB9\xB4MM\xE6\x9C\x88", "MMM d", "EEEE",
            "yyyy-MM-dd HH:mm", "'unclosed", "a hh" };
        const char* zones[] = { "UTC", "Europe/Berlin", "Asia/Kolkata", "America/St_Johns",
            "Pacific/Chatham", "Australia/Lord_Howe", "America/Los_Angeles" };
        std::mt19937_64 random(2024);
        // 1500 to 10100: both ends of the hand-made route and beyond.
        std::uniform_real_distribution<double> unixSeconds(-14831769600.0, 256868553600.0);
        std::vector<Date> dates = { Date::fromUnixSeconds(1679792400.0), // Berlin spring change
            Date::fromUnixSeconds(1698541200.0), Date::fromUnixSeconds(-0.5),
            Date::fromUnixSeconds(-12219292800.0), Date::fromUnixSeconds(253402300799.0) };
        for (int index = 0; index < 100; ++index)
            dates.push_back(Date::fromUnixSeconds(std::floor(unixSeconds(random) * 1000) / 1000));
        for (const char* pattern : patterns) {
            for (const char* zone : zones) {
                for (const char* locale : { "en_US_POSIX", "de_DE" }) {
                    DateFormatter formatter(pattern, locale, zone);
                    for (Date date : dates) {
                        EXPECT_EQ(formatter.format(date),
                            formatDirectlyWithICU(pattern, locale, zone, date))
                            << pattern << " " << zone << " " << locale << " " << date.seconds;
                    }
                }
            }
        }
    }

    TEST(DateFormatter, LocalesWithOtherDigitsOrCalendarsKeepICUsText)
    {
        Date date = Date::fromUnixSeconds(1686830400.0); // 2023-06-15 12:00 UTC
        for (const char* locale : { "th_TH", "ar_EG", "fa_IR", "hi_IN@numbers=deva" }) {
            DateFormatter formatter("yyyy-MM-dd", locale, "UTC");
            EXPECT_EQ(
                formatter.format(date), formatDirectlyWithICU("yyyy-MM-dd", locale, "UTC", date))
                << locale;
        }
        EXPECT_EQ(DateFormatter("yyyy", "th_TH", "UTC").format(date), "2566");
    }

    TEST(DateFormatter, APatternICURefusesFormatsToNothing)
    {
        DateFormatter formatter("yyyy-MM-ddj", "en_US_POSIX", "UTC");
        EXPECT_EQ(formatter.format(Date {}), std::nullopt);
        EXPECT_EQ(DateFormatter("", "en_US_POSIX", "UTC").format(Date {}), "");
    }

    TEST(DateFormatter, CachedFormattersFollowTheDefaultZone)
    {
        Date date = Date::fromUnixSeconds(1686869999.0); // 2023-06-15 22:59:59 UTC
        {
            testing::ScopedTimeZone zone("UTC");
            const DateFormatter& first = DateFormatter::cached("yyyy-MM-dd HH", "en_US_POSIX");
            EXPECT_EQ(&first, &DateFormatter::cached("yyyy-MM-dd HH", "en_US_POSIX"));
            EXPECT_EQ(first.format(date), "2023-06-15 22");
        }
        {
            testing::ScopedTimeZone zone("Asia/Tokyo");
            EXPECT_EQ(DateFormatter::cached("yyyy-MM-dd HH", "en_US_POSIX").format(date),
                "2023-06-16 07");
        }
        EXPECT_EQ(
            DateFormatter::cached("yyyy-MM-dd HH", "en_US_POSIX", "America/New_York").format(date),
            "2023-06-15 18");
    }

    TEST(DateFormatter, CachedFormattersFollowTheDefaultLocale)
    {
        Date date = Date::fromUnixSeconds(1686830400.0);
        testing::ScopedTimeZone zone("UTC");
        {
            testing::ScopedLocale locale("en_US");
            EXPECT_EQ(DateFormatter::cached("yyyy MMMM").format(date), "2023 June");
        }
        {
            testing::ScopedLocale locale("de_DE");
            EXPECT_EQ(DateFormatter::cached("yyyy MMMM").format(date), "2023 Juni");
        }
    }

    TEST(DateFormatter, ManyPatternsDoNotExhaustTheCache)
    {
        for (int index = 0; index < 300; ++index) {
            std::string pattern = "'" + std::to_string(index) + "' yyyy";
            EXPECT_EQ(DateFormatter::cached(pattern, "en_US_POSIX", "UTC").format(Date {}),
                std::to_string(index) + " 2001");
        }
    }

} // namespace
} // namespace sorvik
