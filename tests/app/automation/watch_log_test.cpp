#include "app/automation/watch_log.h"

#include "tests/support/scoped_time_zone.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::ScopedLocale;
    using testing::ScopedTimeZone;

    // 2025-06-28 15:04:09 UTC.
    const Date sample = Date::fromUnixSeconds(1'751'123'049);

    TEST(WatchLog, DatesAreNumericWithAShortTimeInTheUsersLocale)
    {
        ScopedTimeZone utc("UTC");
        EXPECT_EQ(watchLogDate(sample, "en_US"), "6/28/2025, 3:04\u202FPM");
        EXPECT_EQ(watchLogDate(sample, "en_GB"), "28/06/2025, 15:04");
        EXPECT_EQ(watchLogDate(sample, "de_DE"), "28.6.2025, 15:04");
        ScopedLocale british("en_GB");
        EXPECT_EQ(watchLogDate(sample), "28/06/2025, 15:04");
    }

    TEST(WatchLog, ALineIsTheDateTheSeparatorAndTheText)
    {
        ScopedTimeZone utc("UTC");
        ScopedLocale british("en_GB");
        EXPECT_EQ(watchLogLine(sample, "Renamed 3 files \u00B7 Inbox"),
            "28/06/2025, 15:04 \u00B7 Renamed 3 files \u00B7 Inbox");
    }

} // namespace
} // namespace sorvik
