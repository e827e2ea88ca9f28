#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorvik {

/// A day of the Gregorian calendar, as written in a document; it carries no time or zone.
struct CalendarDay {
    int year = 0;
    int month = 0;
    int day = 0;

    /// The day as "yyyy-MM-dd".
    std::string isoText() const;

    friend bool operator==(const CalendarDay&, const CalendarDay&) = default;
};

/// Finds dates written out in English or Spanish text. It reports only absolute dates, ones
/// that name a day, a month and a year: "2024-03-15", "15/03/2024", "3.15.24", "March 15,
/// 2024", "15th of March 2024", "15 de marzo de 2024", "15-Mar-2024". Words that only make
/// sense against the day they are read ("today", "mañana", "next Monday") and dates without
/// a year are never reported, because a document's date must not change with the day it is
/// named. Numbers that run on into a longer chain (a version "1.2.3.2024", an address) and
/// impossible days (February 30) are not dates.
///
/// A numeric date whose first two parts could each be the month is read in the order of the
/// locale; one that fits only one reading is read that way in every locale.
class DateDetector {
public:
    enum class NumericOrder { monthFirst, dayFirst };

    explicit DateDetector(NumericOrder order = NumericOrder::monthFirst);

    /// The order of day and month in the short date format of `localeName` (the user's
    /// locale when empty).
    static NumericOrder numericOrder(std::string_view localeName = {});

    /// The first date in the text, by position. Expects valid UTF-8.
    std::optional<CalendarDay> firstDate(std::string_view text) const;

private:
    NumericOrder m_order;
};

} // namespace sorvik
