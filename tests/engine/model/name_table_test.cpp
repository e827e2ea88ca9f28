#include "engine/model/name_table.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(NameTable, NumbersNamesInOrderOfFirstAdditionAndFindsThemByteForByte)
    {
        NameTable table;
        EXPECT_EQ(table.find("a"), NameTable::absent) << "an empty table holds nothing";
        EXPECT_EQ(table.add("b"), 0U);
        EXPECT_EQ(table.add(""), 1U);
        EXPECT_EQ(table.add("B"), 2U);
        EXPECT_EQ(table.add("b"), 0U) << "a name added again keeps its number";
        EXPECT_EQ(table.add(std::string("a\0b", 3)), 3U);
        EXPECT_EQ(table.size(), 4U);
        EXPECT_EQ(table.find("b"), 0U);
        EXPECT_EQ(table.find(""), 1U);
        EXPECT_EQ(table.find("B"), 2U);
        EXPECT_EQ(table.find(std::string("a\0b", 3)), 3U);
        EXPECT_EQ(table.find("a"), NameTable::absent) << "a prefix is another name";
        EXPECT_EQ(table.find("bb"), NameTable::absent);
        EXPECT_EQ(table[2], "B");
        EXPECT_EQ(table[1], "");
    }

    TEST(NameTable, KeepsEveryNameAcrossGrowth)
    {
        // Far more names than it was made for, and names that are prefixes of each other.
        NameTable table(4, 8);
        std::vector<std::string> names;
        for (int index = 0; index < 5000; ++index)
            names.push_back("IMG_" + std::to_string(index) + (index % 3 == 0 ? ".jpg" : ""));
        for (std::size_t index = 0; index < names.size(); ++index)
            ASSERT_EQ(table.add(names[index]), index) << names[index];
        ASSERT_EQ(table.size(), names.size());
        for (std::size_t index = 0; index < names.size(); ++index) {
            ASSERT_EQ(table.find(names[index]), index) << names[index];
            ASSERT_EQ(table[static_cast<std::uint32_t>(index)], names[index]);
        }
        EXPECT_EQ(table.find("IMG_5000"), NameTable::absent);
        EXPECT_EQ(table.find("IMG_1.jpg"), NameTable::absent);
    }

} // namespace
} // namespace sorvik
