#include "app/shell/character_difference.h"

#include "engine/model/text.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using Offsets = std::vector<std::size_t>;

    Offsets range(std::size_t first, std::size_t last)
    {
        Offsets offsets;
        for (auto offset = first; offset <= last; ++offset)
            offsets.push_back(offset);
        return offsets;
    }

    const std::string thumbsUp = "\xF0\x9F\x91\x8D";
    const std::string mediumSkin = "\xF0\x9F\x8F\xBD";
    const std::string family
        = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    const std::string composedE = "\xC3\xA9";
    const std::string decomposedE = "e\xCC\x81";

    TEST(CharacterDifference, MarksWhatAShortestScriptInserts)
    {
        struct Case {
            const char* name;
            std::string before;
            std::string after;
            Offsets inserted;
        };
        const Case cases[] = {
            { "letters lower-cased", "IMG_0001.jpg", "img_0001.jpg", { 0, 1, 2 } },
            { "unchanged", "IMG_0001.jpg", "IMG_0001.jpg", {} },
            { "date prefix", "IMG_0001.jpg", "2024-05-01_IMG_0001.jpg", range(0, 10) },
            { "suffix before the extension", "a.txt", "a_001.txt", { 1, 2, 3, 4 } },
            { "only removals", "IMG_0001 copy.jpg", "IMG_0001.jpg", {} },
            { "one replaced in the middle", "report-draft.pdf", "report_draft.pdf", { 6 } },
            { "everything new", "abc", "xyz", { 0, 1, 2 } },
            { "from nothing", "", "new.txt", range(0, 6) },
            { "to nothing", "old.txt", "", {} },
            { "both empty", "", "", {} },
            { "spaces to dashes", "My Holiday Photo.jpg", "my-holiday-photo.jpg",
                { 0, 2, 3, 10, 11 } },
            { "accent added as one character", "cafe.txt", "caf" + composedE + ".txt", { 3 } },
            { "combining accent added", "cafe.txt", "caf" + decomposedE + ".txt", { 3 } },
            { "canonically equal forms are the same", "caf" + decomposedE + ".txt",
                "caf" + composedE + ".txt", {} },
            { "skin tone makes a new character", thumbsUp + ".png", thumbsUp + mediumSkin + ".png",
                { 0 } },
            { "emoji sequence inserted whole", "us.jpg", "us" + family + ".jpg", { 2 } },
            { "line end pair is one character", "a\r\nb", "a\nb", { 1 } },
        };
        for (const auto& entry : cases)
            EXPECT_EQ(insertedCharacters(entry.before, entry.after), entry.inserted) << entry.name;
    }

    TEST(CharacterDifference, TextThatIsNotUtf8)
    {
        // The bad byte of the old name counts as one unknown character.
        EXPECT_EQ(insertedCharacters("bad\xFF.txt", "bad_.txt"), Offsets({ 3 }));
        EXPECT_EQ(insertedCharacters("bad\xFF.txt", "bad\xEF\xBF\xBD.txt"), Offsets());
        EXPECT_EQ(insertedCharacters("name.txt", "name\xFF.txt"), Offsets());
    }

    TEST(CharacterDifference, RepeatedLettersGiveStableMarks)
    {
        auto marks = insertedCharacters("aaa", "aaaa");
        ASSERT_EQ(marks.size(), 1u);
        for (int time = 0; time < 5; ++time)
            EXPECT_EQ(insertedCharacters("aaa", "aaaa"), marks);
        EXPECT_EQ(insertedCharacters("abab", "baba").size(), 1u);
    }

    // The length of a longest common subsequence, by the textbook table.
    std::size_t commonLength(const std::string& first, const std::string& second)
    {
        std::vector<std::vector<std::size_t>> table(
            first.size() + 1, std::vector<std::size_t>(second.size() + 1, 0));
        for (std::size_t i = 1; i <= first.size(); ++i) {
            for (std::size_t j = 1; j <= second.size(); ++j) {
                table[i][j] = first[i - 1] == second[j - 1]
                    ? table[i - 1][j - 1] + 1
                    : std::max(table[i - 1][j], table[i][j - 1]);
            }
        }
        return table[first.size()][second.size()];
    }

    bool isSubsequence(const std::string& part, const std::string& whole)
    {
        std::size_t next = 0;
        for (char character : whole) {
            if (next < part.size() && part[next] == character)
                ++next;
        }
        return next == part.size();
    }

    TEST(CharacterDifference, IsAlwaysAShortestScript)
    {
        std::mt19937 random(20240501);
        std::uniform_int_distribution<int> length(0, 24);
        std::uniform_int_distribution<int> letter(0, 3);
        for (int round = 0; round < 2000; ++round) {
            std::string before;
            std::string after;
            for (int count = length(random); count > 0; --count)
                before += char('a' + letter(random));
            for (int count = length(random); count > 0; --count)
                after += char('a' + letter(random));
            auto inserted = insertedCharacters(before, after);
            SCOPED_TRACE(before + " -> " + after);
            ASSERT_TRUE(std::is_sorted(inserted.begin(), inserted.end()));
            ASSERT_EQ(inserted.size(), after.size() - commonLength(before, after));
            // What is not inserted is kept from the old text, in order.
            std::string kept;
            for (std::size_t index = 0; index < after.size(); ++index) {
                if (!std::binary_search(inserted.begin(), inserted.end(), index))
                    kept += after[index];
            }
            ASSERT_TRUE(isSubsequence(kept, before));
        }
    }

    TEST(CharacterDifference, LongNamesStayCheap)
    {
        std::string before(255, 'a');
        std::string after(255, 'b');
        EXPECT_EQ(insertedCharacters(before, after), range(0, 254));
    }

} // namespace
} // namespace sorvik
