#include "app/rules/panels/row_moves.h"

#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    std::string moved(std::vector<std::size_t> offsets, std::size_t destination)
    {
        const std::vector<char> rows { 'A', 'B', 'C', 'D' };
        auto result = movedRows(rows, std::move(offsets), destination);
        return std::string(result.begin(), result.end());
    }

    TEST(RowMoves, TheDestinationCountsInTheListBeforeTheMove)
    {
        struct Case {
            std::vector<std::size_t> offsets;
            std::size_t destination;
            const char* expected;
        };
        const std::vector<Case> cases {
            { { 0 }, 2, "BACD" },
            { { 0 }, 4, "BCDA" },
            { { 3 }, 0, "DABC" },
            { { 2 }, 1, "ACBD" },
            // In place: before itself or right after itself.
            { { 1 }, 1, "ABCD" },
            { { 1 }, 2, "ABCD" },
            { { 0, 2 }, 4, "BDAC" },
            { { 2, 0 }, 1, "ACBD" },
            { { 1, 3 }, 0, "BDAC" },
            { {}, 2, "ABCD" },
            // Repeats count once, offsets past the end not at all, a far destination is the end.
            { { 0, 0 }, 4, "BCDA" },
            { { 9 }, 0, "ABCD" },
            { { 0 }, 99, "BCDA" },
        };
        for (const auto& [offsets, destination, expected] : cases)
            EXPECT_EQ(moved(offsets, destination), expected) << destination;
    }

    TEST(RowMoves, AnEmptyListStaysEmpty)
    {
        EXPECT_TRUE(movedRows(std::vector<int> {}, { 0 }, 0).empty());
    }

} // namespace
} // namespace sorvik
