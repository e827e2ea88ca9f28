#include "app/store/item_order.h"

#include <algorithm>
#include <random>
#include <set>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using ItemOrder::itemSnapshot;
    using ItemOrder::sortedItems;
    using ItemOrder::sortURLsByPath;

    FileItem item(std::string_view path, std::int64_t order, std::int64_t size = 0,
        double modified = 0, double created = 0)
    {
        return FileItem(FileURL(path), true, Date { created }, Date { modified }, size, order);
    }

    FileItem folderItem(std::string_view path, std::int64_t order)
    {
        FileItem folder = item(path, order);
        folder.url.isDirectory = true;
        folder.isDirectory = true;
        return folder;
    }

    std::vector<std::string> namesOf(const std::vector<FileItem>& items)
    {
        std::vector<std::string> names;
        for (const auto& entry : items)
            names.push_back(entry.url.path);
        return names;
    }

    std::vector<std::string> namesOf(const std::vector<FileURL>& urls)
    {
        std::vector<std::string> names;
        for (const auto& url : urls)
            names.push_back(url.path);
        return names;
    }

    std::vector<std::string> reversed(std::vector<std::string> names)
    {
        std::reverse(names.begin(), names.end());
        return names;
    }

    TEST(ItemOrder, EachKeySortsAscendingAndDescendingAsTheExactMirror)
    {
        // Listed in insertion order 0..4, with keys deliberately out of that order.
        std::vector<FileItem> items = {
            item("/p/c10.txt", 3, 300, 20, 5),
            item("/p/a.txt", 1, 100, 30, 4),
            item("/p/c9.txt", 0, 200, 10, 3),
            item("/p/B.txt", 4, 500, 50, 2),
            item("/p/b.txt", 2, 400, 40, 1),
        };
        struct Case {
            SortKey key;
            std::vector<std::string> ascending;
        };
        for (const Case& sort : {
                 Case { SortKey::added,
                     { "/p/c9.txt", "/p/a.txt", "/p/b.txt", "/p/c10.txt", "/p/B.txt" } },
                 Case { SortKey::name,
                     { "/p/a.txt", "/p/b.txt", "/p/B.txt", "/p/c9.txt", "/p/c10.txt" } },
                 Case { SortKey::modified,
                     { "/p/c9.txt", "/p/c10.txt", "/p/a.txt", "/p/b.txt", "/p/B.txt" } },
                 Case { SortKey::created,
                     { "/p/b.txt", "/p/B.txt", "/p/c9.txt", "/p/a.txt", "/p/c10.txt" } },
                 Case { SortKey::size,
                     { "/p/a.txt", "/p/c9.txt", "/p/c10.txt", "/p/b.txt", "/p/B.txt" } },
             }) {
            EXPECT_EQ(namesOf(sortedItems(items, sort.key, true)), sort.ascending)
                << rawValue(sort.key);
            EXPECT_EQ(namesOf(sortedItems(items, sort.key, false)), reversed(sort.ascending))
                << rawValue(sort.key);
        }
    }

    TEST(ItemOrder, AddedOrderFollowsTheListAndItsReverse)
    {
        std::vector<FileItem> items;
        for (int index = 0; index < 6; ++index)
            items.push_back(item("/p/" + std::to_string(5 - index) + ".txt", index));
        EXPECT_EQ(sortedItems(items, SortKey::added, true), items);
        auto descending = sortedItems(items, SortKey::added, false);
        std::reverse(descending.begin(), descending.end());
        EXPECT_EQ(descending, items);
    }

    TEST(ItemOrder, TiesKeepListOrderAscendingAndAreMirroredDescending)
    {
        std::vector<FileItem> sameName = { item("/one/x.jpg", 0), item("/two/x.jpg", 1) };
        EXPECT_EQ(namesOf(sortedItems(sameName, SortKey::name, true)),
            (std::vector<std::string> { "/one/x.jpg", "/two/x.jpg" }));
        EXPECT_EQ(namesOf(sortedItems(sameName, SortKey::name, false)),
            (std::vector<std::string> { "/two/x.jpg", "/one/x.jpg" }));

        std::vector<FileItem> sameSize = { item("/p/X", 0, 10), item("/p/Y", 1, 10) };
        EXPECT_EQ(namesOf(sortedItems(sameSize, SortKey::size, true)),
            (std::vector<std::string> { "/p/X", "/p/Y" }));
        EXPECT_EQ(namesOf(sortedItems(sameSize, SortKey::size, false)),
            (std::vector<std::string> { "/p/Y", "/p/X" }));

        // Canonically equivalent names are equal keys too: list order decides.
        std::vector<FileItem> equivalent
            = { item("/p/e\xCC\x81.txt", 0), item("/p/\xC3\xA9.txt", 1) };
        EXPECT_EQ(namesOf(sortedItems(equivalent, SortKey::name, true)),
            (std::vector<std::string> { "/p/e\xCC\x81.txt", "/p/\xC3\xA9.txt" }));
    }

    TEST(ItemOrder, DescendingIsTheReverseOfAscendingForEveryKey)
    {
        std::mt19937 random(7);
        std::vector<FileItem> items;
        for (int index = 0; index < 300; ++index) {
            // Few distinct values, so that most keys tie.
            auto name = "/p/f" + std::to_string(random() % 7) + (random() % 2 ? "a" : "A");
            items.push_back(item(name, static_cast<std::int64_t>(random() % 5),
                static_cast<std::int64_t>(random() % 4), static_cast<double>(random() % 3),
                static_cast<double>(random() % 3)));
        }
        for (SortKey key : allCases<SortKey>()) {
            auto ascending = sortedItems(items, key, true);
            auto descending = sortedItems(items, key, false);
            std::reverse(descending.begin(), descending.end());
            EXPECT_EQ(ascending, descending) << rawValue(key);
        }
    }

    TEST(ItemOrder, NamesCompareNumericallyWithCaseOnlyBreakingTies)
    {
        std::vector<std::string> names
            = { "file10.jpg", "File2.jpg", "file2.jpg", "file1.jpg", "\xC3\xA9t\xC3\xA9.txt",
                  "zebra.txt", "etc.txt", "file02.jpg", "FILE10.jpg", "apple.txt" };
        std::vector<FileItem> items;
        for (std::size_t index = 0; index < names.size(); ++index)
            items.push_back(item("/p/" + names[index], static_cast<std::int64_t>(index)));
        auto sorted = namesOf(sortedItems(items, SortKey::name, true));
        auto position = [&sorted](const std::string& name) {
            return std::find(sorted.begin(), sorted.end(), "/p/" + name) - sorted.begin();
        };
        EXPECT_LT(position("file1.jpg"), position("file2.jpg"));
        EXPECT_LT(position("file2.jpg"), position("file10.jpg"));
        EXPECT_LT(position("File2.jpg"), position("file10.jpg"));
        EXPECT_LT(position("apple.txt"), position("etc.txt"));
        // An accented letter sorts with its base letter, not after "z".
        EXPECT_LT(position("etc.txt"), position("\xC3\xA9t\xC3\xA9.txt"));
        EXPECT_LT(position("\xC3\xA9t\xC3\xA9.txt"), position("file1.jpg"));
        EXPECT_LT(position("file10.jpg"), position("zebra.txt"));
        // Case decides only between names that are otherwise equal: the two spellings sit
        // side by side.
        // "file02" has the same number as "file2", so the three spellings form one block.
        auto twos = { position("file2.jpg"), position("File2.jpg"), position("file02.jpg") };
        EXPECT_EQ(std::max(twos) - std::min(twos), 2);
        EXPECT_EQ(std::abs(position("file10.jpg") - position("FILE10.jpg")), 1);
    }

    TEST(ItemOrder, NamesThatAreNotUtf8StillSort)
    {
        std::vector<FileItem> items
            = { item("/p/b\xFF.txt", 0), item("/p/a.txt", 1), item("/p/\xFE\xFF", 2) };
        auto sorted = sortedItems(items, SortKey::name, true);
        EXPECT_EQ(sorted.size(), 3U);
        EXPECT_EQ(sorted.front().url.path, "/p/a.txt");
    }

    TEST(ItemOrder, SnapshotIsACopyThatLeavesTheListAlone)
    {
        std::vector<FileItem> items = { item("/p/IMG_1.jpg", 1), item("/p/IMG_1.CR3", 0) };
        auto before = items;
        auto snapshot = itemSnapshot(items, SortKey::added, true, true);
        EXPECT_EQ(items, before);
        ASSERT_EQ(snapshot.size(), 2U);
        EXPECT_EQ(snapshot[0].id, items[1].id);
        EXPECT_TRUE(snapshot[0].pairGroup);
    }

    struct PairingCase {
        const char* label;
        std::vector<FileItem> items;
        /// For each item in list order: the index of the group it joins, or -1 for none.
        std::vector<int> groups;
    };

    TEST(ItemOrder, PairingGroupsCompanionFiles)
    {
        std::vector<PairingCase> cases = {
            { "RAW, JPEG and sidecar with base names in other case",
                { item("/p/IMG_0001.CR3", 0), item("/p/IMG_0001.jpg", 1),
                    item("/p/img_0001.xmp", 2), item("/p/IMG_0002.jpg", 3) },
                { 0, 0, 0, -1 } },
            { "same base name in two folders",
                { item("/p/a/IMG_0001.CR3", 0), item("/p/b/IMG_0001.jpg", 1) }, { -1, -1 } },
            { "png is no companion and a group of one stays unmarked",
                { item("/p/IMG_0001.png", 0), item("/p/IMG_0001.jpg", 1) }, { -1, -1 } },
            { "folders differing only in case",
                { item("/p/Trip/IMG_1.NEF", 0), item("/p/trip/IMG_1.jpg", 1) }, { -1, -1 } },
            { "a folder named like a photo",
                { folderItem("/p/Trip.jpg", 0), item("/p/Trip.dng", 1) }, { -1, -1 } },
            { "extensions compared lowercased, several groups",
                { item("/p/A.JPEG", 0), item("/p/B.ARW", 1), item("/p/a.Rw2", 2),
                    item("/p/b.raf", 3), item("/p/c.orf", 4) },
                { 0, 1, 0, 1, -1 } },
            { "names beyond ASCII: case mapping and canonical equivalence",
                { item("/p/\xC3\x89T\xC3\x89.NEF", 0), item("/p/e\xCC\x81t\xC3\xA9.jpg", 1),
                    item("/p/\xC3\xA9te\xCC\x81.xmp", 2), item("/p/ete.jpg", 3) },
                { 0, 0, 0, -1 } },
            { "a dot joined to a combining mark is no extension dot",
                { item("/p/a.\xCC\x81jpg", 0), item("/p/a.nef", 1) }, { -1, -1 } },
            { "no extension, hidden name and a text file",
                { item("/p/IMG", 0), item("/p/.jpg", 1), item("/p/IMG.txt", 2) }, { -1, -1, -1 } },
        };
        for (const auto& pairing : cases) {
            auto snapshot = itemSnapshot(pairing.items, SortKey::added, true, true);
            ASSERT_EQ(snapshot.size(), pairing.groups.size()) << pairing.label;
            std::map<int, Uuid> groupIds;
            std::set<Uuid> seen;
            for (std::size_t index = 0; index < snapshot.size(); ++index) {
                int group = pairing.groups[index];
                if (group < 0) {
                    EXPECT_FALSE(snapshot[index].pairGroup) << pairing.label << " #" << index;
                    continue;
                }
                ASSERT_TRUE(snapshot[index].pairGroup) << pairing.label << " #" << index;
                auto [known, isNew] = groupIds.emplace(group, *snapshot[index].pairGroup);
                EXPECT_EQ(known->second, *snapshot[index].pairGroup) << pairing.label;
                if (isNew) {
                    EXPECT_TRUE(seen.insert(known->second).second) << pairing.label;
                }
            }
        }
    }

    TEST(ItemOrder, PairingNeverMovesItemsAndMakesNewGroupsEachTime)
    {
        std::vector<FileItem> items = { item("/p/b.jpg", 0, 3), item("/p/a.nef", 1, 1),
            item("/p/b.nef", 2, 2), item("/p/a.jpg", 3, 4) };
        auto unpaired = itemSnapshot(items, SortKey::size, false, false);
        auto first = itemSnapshot(items, SortKey::size, false, true);
        auto second = itemSnapshot(items, SortKey::size, false, true);
        EXPECT_EQ(namesOf(first), namesOf(unpaired));
        for (const auto& entry : unpaired)
            EXPECT_FALSE(entry.pairGroup);
        for (std::size_t index = 0; index < first.size(); ++index) {
            ASSERT_TRUE(first[index].pairGroup && second[index].pairGroup);
            EXPECT_NE(*first[index].pairGroup, *second[index].pairGroup);
        }
    }

    TEST(ItemOrder, UngroupedItemsKeepTheirPairGroup)
    {
        Uuid earlier = Uuid::random();
        std::vector<FileItem> items = { item("/p/x.jpg", 0), item("/p/y.png", 1) };
        items[0].pairGroup = earlier;
        items[1].pairGroup = earlier;
        auto snapshot = itemSnapshot(items, SortKey::added, true, true);
        EXPECT_EQ(snapshot[0].pairGroup, earlier);
        EXPECT_EQ(snapshot[1].pairGroup, earlier);
    }

    TEST(ItemOrder, UrlsSortByPathStably)
    {
        std::vector<FileURL> urls = { FileURL("/p/file10.jpg"), FileURL("/p/b/z.jpg"),
            FileURL("/p/file2.jpg"), FileURL("/p/b", true), FileURL("/p/b"), FileURL("/p/B") };
        EXPECT_EQ(namesOf(sortURLsByPath(urls)),
            (std::vector<std::string> {
                "/p/b", "/p/b", "/p/B", "/p/b/z.jpg", "/p/file2.jpg", "/p/file10.jpg" }));
        auto sorted = sortURLsByPath(urls);
        // The folder URL was listed before the file URL of the same path and stays first.
        EXPECT_TRUE(sorted[0].isDirectory);
        EXPECT_FALSE(sorted[1].isDirectory);
        EXPECT_TRUE(sortURLsByPath({}).empty());
    }

} // namespace
} // namespace sorvik
