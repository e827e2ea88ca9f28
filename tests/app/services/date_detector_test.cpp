#include "app/services/date_detector.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using Order = DateDetector::NumericOrder;

    std::string firstDate(std::string_view text, Order order = Order::monthFirst)
    {
        auto found = DateDetector(order).firstDate(text);
        return found ? found->isoText() : std::string("none");
    }

    TEST(DateDetector, FindsAbsoluteDates)
    {
        struct Case {
            std::string_view text;
            std::string_view expected;
        };
        const Case cases[] = {
            { "Invoice date 2024-03-15, due 2024-04-15", "2024-03-15" },
            { "2024/3/5", "2024-03-05" },
            { "Stamp 2024-03-15T10:30:00Z", "2024-03-15" },
            { "Paid on 15/03/2024", "2024-03-15" },
            { "Paid on 03/15/2024", "2024-03-15" },
            { "Fecha: 31.12.2023", "2023-12-31" },
            { "on 3/15/24 at noon", "2024-03-15" },
            { "March 15, 2024", "2024-03-15" },
            { "Monday, March 4th, 2024", "2024-03-04" },
            { "signed Mar. 1st 2024 in Leeds", "2024-03-01" },
            { "15 March 2024", "2024-03-15" },
            { "the 2nd of February, 2024", "2024-02-02" },
            { "Madrid, 15 de marzo de 2024", "2024-03-15" },
            { "1 de enero del 2025", "2025-01-01" },
            { "marzo 15, 2024", "2024-03-15" },
            { "SEPT 9 2024", "2024-09-09" },
            { "15-Mar-2024", "2024-03-15" },
            { "15-Mar-24", "2024-03-15" },
            { "2024 March 15", "2024-03-15" },
            { "29 February 2024", "2024-02-29" },
            { "diciembre 1, 1999", "1999-12-01" },
            { "FACTURA 7 ago 2023", "2023-08-07" },
            { "first 12 May 2020 then 2021-01-01", "2020-05-12" },
        };
        for (const auto& testCase : cases)
            EXPECT_EQ(firstDate(testCase.text), testCase.expected) << testCase.text;
    }

    TEST(DateDetector, NeverTakesRelativeOrIncompleteDates)
    {
        const std::string_view texts[] = {
            "today",
            "Due tomorrow, paid yesterday",
            "see you next Monday",
            "hoy y mañana",
            "el lunes 5",
            "March 15",
            "15 de marzo",
            "March 2024",
            "Q3 2024",
            "at 10:30 on Friday",
            "",
        };
        for (auto text : texts)
            EXPECT_EQ(firstDate(text), "none") << text;
    }

    TEST(DateDetector, RejectsNumbersThatAreNotDates)
    {
        const std::string_view texts[] = {
            "February 30, 2024",
            "29 February 2023",
            "2024-13-01",
            "2024-02-30",
            "13/13/2024",
            "00/10/2024",
            "version 1.2.3.2024",
            "host 10.1.12.2024.5",
            "INV2024-03-15",
            "2024-03-15abc",
            "ID 12/03/20245",
            "15-Mar 24",
            "March 15, 24",
            "15 March 0999",
            "15/03-2024",
        };
        for (auto text : texts)
            EXPECT_EQ(firstDate(text), "none") << text;
    }

    TEST(DateDetector, ReadsAmbiguousNumericDatesInTheLocaleOrder)
    {
        EXPECT_EQ(firstDate("03/04/2024", Order::monthFirst), "2024-03-04");
        EXPECT_EQ(firstDate("03/04/2024", Order::dayFirst), "2024-04-03");
        // Only one reading is a real day: taken in either order.
        EXPECT_EQ(firstDate("25/12/2024", Order::monthFirst), "2024-12-25");
        EXPECT_EQ(firstDate("12/25/2024", Order::dayFirst), "2024-12-25");
        // Year first is always year, month, day.
        EXPECT_EQ(firstDate("2024-03-04", Order::dayFirst), "2024-03-04");

        EXPECT_EQ(DateDetector::numericOrder("en_US"), Order::monthFirst);
        EXPECT_EQ(DateDetector::numericOrder("es_ES"), Order::dayFirst);
        EXPECT_EQ(DateDetector::numericOrder("en_GB"), Order::dayFirst);
    }

    TEST(DateDetector, SkipsNonLatinTextAroundDates)
    {
        EXPECT_EQ(firstDate("Счёт от 2024-03-15 — оплачен"), "2024-03-15");
        EXPECT_EQ(firstDate("日付2024-03-15"), "none"); // a letter touches the number
        EXPECT_EQ(firstDate("«15 de marzo de 2024»"), "2024-03-15");
    }

} // namespace
} // namespace sorvik
