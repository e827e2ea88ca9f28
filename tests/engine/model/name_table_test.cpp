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

    TEST(NameIndex, FindsEachNameAtItsFirstPlaceByteForByte)
    {
        std::string withNul("a\0b", 3);
        std::vector<std::string_view> names { "b", "", "B", "b", withNul, "" };
        NameIndex index(names);
        EXPECT_EQ(index.find("b"), 0U);
        EXPECT_EQ(index.find(""), 1U);
        EXPECT_EQ(index.find("B"), 2U) << "letter case counts";
        EXPECT_EQ(index.find(withNul), 4U);
        EXPECT_EQ(index.find("a"), NameIndex::absent) << "a prefix is another name";
        const std::uint32_t firsts[] = { 0, 1, 2, 0, 4, 1 };
        for (std::size_t place = 0; place < names.size(); ++place)
            EXPECT_EQ(index.firstPlace(place), firsts[place]) << place;
    }

    TEST(NameIndex, AnswersForManyNamesListedOnceOrTwice)
    {
        std::vector<std::string> texts;
        for (int number = 0; number < 5000; ++number)
            texts.push_back("IMG_" + std::to_string(number) + (number % 3 == 0 ? ".jpg" : ""));
        std::vector<std::string_view> unique(texts.begin(), texts.end());
        NameIndex once(unique);
        for (std::size_t place = 0; place < unique.size(); ++place) {
            ASSERT_EQ(once.find(unique[place]), place) << unique[place];
            ASSERT_EQ(once.firstPlace(place), place);
        }
        EXPECT_EQ(once.find("IMG_1.jpg"), NameIndex::absent);

        // A name repeated late: places before it are their own first places.
        auto twice = unique;
        twice.push_back(unique[4321]);
        twice.push_back("new");
        NameIndex repeated(twice);
        EXPECT_EQ(repeated.firstPlace(10), 10U);
        EXPECT_EQ(repeated.firstPlace(5000), 4321U);
        EXPECT_EQ(repeated.firstPlace(5001), 5001U);
        EXPECT_EQ(repeated.find("new"), 5001U);
    }

} // namespace
} // namespace sorvik
