#include "app/store/renamer_store.h"

#include "tests/app/store/store_files_fixture.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::TemporaryFolder;

    using StoreAdding = testing::StoreFilesFixture;

    TEST_F(StoreAdding, ReturnsAtOnceAndListsTheFilesInOneChange)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        int published = 0;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] { ++published; });
        int addingSignals = 0;
        QObject::connect(&store, &RenamerStore::isAddingChanged, [&] { ++addingSignals; });

        store.addFiles({ folder("f") });
        // Nothing is listed until the files were read off the GUI thread.
        EXPECT_TRUE(store.isAdding());
        EXPECT_TRUE(store.items().empty());
        EXPECT_EQ(published, 0);

        ASSERT_TRUE(listed());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f/a.txt", "f/b.txt" }));
        EXPECT_EQ(published, 1);
        EXPECT_EQ(addingSignals, 2);
        ASSERT_EQ(store.folderAccess().folders().size(), 1u);
    }

    TEST_F(StoreAdding, ASecondCallWaitsForTheFirstAndSeesItsFiles)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        files.createFile("g.txt");
        store.addFiles({ folder("f") });
        store.addFiles({ url("f/b.txt") });
        store.addFiles({ url("g.txt"), url("f/a.txt") });
        ASSERT_TRUE(listed());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f/a.txt", "f/b.txt", "g.txt" }));
        std::vector<std::int64_t> orders;
        for (const auto& item : store.items())
            orders.push_back(item.order);
        EXPECT_EQ(orders, (std::vector<std::int64_t> { 0, 1, 2 }));
        EXPECT_EQ(store.nextOrder(), 3);
    }

    TEST_F(StoreAdding, AQueuedCallThatAddsNothingSaysSo)
    {
        files.createFile("a.txt");
        store.addFiles({ url("a.txt") });
        store.addFiles({ url("a.txt") });
        ASSERT_TRUE(listed());
        EXPECT_EQ(store.items().size(), 1u);
        EXPECT_EQ(store.toast(), "Nothing new to add");
    }

    TEST_F(StoreAdding, ScanOptionsAreThoseOfTheMomentOfTheCall)
    {
        files.createFile("top/a.txt");
        files.createFile("top/inner/b.txt");
        store.addFiles({ folder("top") });
        store.setIncludeSubfolders(true);
        ASSERT_TRUE(listed());
        EXPECT_EQ(listedNames(), std::vector<std::string> { "top/a.txt" });
    }

    TEST_F(StoreAdding, WhatIsListedWhenTheFilesArriveDecidesWhatIsNew)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        store.addFiles({ folder("f") });
        // Listed before the scan's result can come back: the GUI thread has not run since.
        store.setItems({ FileItem(url("f/b.txt"), true, {}, {}, 0, 0) });
        ASSERT_TRUE(listed());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f/b.txt", "f/a.txt" }));
    }

    TEST_F(StoreAdding, ACallAddedWhileItemsArePublishedWaitsItsTurn)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        bool again = true;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] {
            if (std::exchange(again, false))
                store.addFiles({ url("b.txt") });
        });
        store.addFiles({ url("a.txt") });
        ASSERT_TRUE(listed());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "a.txt", "b.txt" }));
        EXPECT_FALSE(store.isAdding());
    }

    TEST(StoreAddingLifetime, DestroyingTheStoreWhileAddingIsSafe)
    {
        IsolatedHome home;
        TemporaryFolder files;
        for (int index = 0; index < 2000; ++index)
            files.createFile("many/f" + std::to_string(index) + ".txt");
        {
            RenamerStore store(std::make_shared<FakeServices>());
            store.addFiles({ FileURL((files / "many").string(), true) });
            store.addFiles({ FileURL((files / "many").string(), true) });
        }
        // The result of a destroyed store's scan is never delivered.
        testing::runEvents(20);
    }

    TEST_F(StoreAdding, IncludingASetIsOneChange)
    {
        for (int index = 0; index < 5; ++index)
            files.createFile("s/f" + std::to_string(index) + ".txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("s") }));
        auto items = store.items();
        int published = 0;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] { ++published; });

        auto revision = store.revision();
        store.setIncluded(std::unordered_set<Uuid> { items[1].id, items[3].id }, false);
        EXPECT_EQ(published, 1);
        EXPECT_EQ(store.revision(), revision + 1);
        std::vector<bool> included;
        for (const auto& item : store.items())
            included.push_back(item.included);
        EXPECT_EQ(included, (std::vector<bool> { true, false, true, false, true }));

        // Ids no item has, and an empty set, change nothing.
        store.setIncluded(std::unordered_set<Uuid> { Uuid::random() }, false);
        store.setIncluded(std::unordered_set<Uuid> {}, true);
        EXPECT_EQ(published, 1);
        EXPECT_EQ(store.revision(), revision + 1);

        store.setIncluded(std::unordered_set<Uuid> { items[3].id, Uuid::random() }, true);
        EXPECT_TRUE(store.isIncluded(items[3].id));
        EXPECT_FALSE(store.isIncluded(items[1].id));
        EXPECT_EQ(published, 2);
    }

} // namespace
} // namespace sorvik
