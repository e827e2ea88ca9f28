#include "app/store/renamer_store.h"

#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QThread>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::aiRule;
    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::replaceRule;
    using testing::waitUntil;

    std::vector<FileItem> itemsNamed(std::initializer_list<std::string_view> names)
    {
        std::vector<FileItem> items;
        std::int64_t order = 0;
        for (auto name : names)
            items.emplace_back(FileURL("/nowhere/sorvik-store/" + std::string(name)), true, Date {},
                Date {}, 0, order++);
        return items;
    }

    std::vector<std::string> newNames(const RenamerStore& store)
    {
        std::vector<std::string> names;
        for (const auto& row : store.rawPreviews())
            names.push_back(row.newName);
        return names;
    }

    class StorePlanning : public ::testing::Test {
    protected:
        void SetUp() override
        {
            store = std::make_unique<RenamerStore>(services);
            ASSERT_TRUE(settle());
        }

        bool settle()
        {
            return waitUntil([&] { return !store->isPlanning(); });
        }

        IsolatedHome home;
        std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
        std::unique_ptr<RenamerStore> store;
    };

    TEST_F(StorePlanning, PublishesRowsForTheCurrentItemsAndRules)
    {
        int published = 0;
        QObject::connect(store.get(), &RenamerStore::rawPreviewsChanged, [&] { ++published; });
        store->setItems(itemsNamed({ "a.txt", "b.txt" }));
        store->setRules({ replaceRule("a", "z") });
        EXPECT_TRUE(store->isPlanning());
        ASSERT_TRUE(settle());
        EXPECT_EQ(newNames(*store), (std::vector<std::string> { "z.txt", "b.txt" }));
        EXPECT_FALSE(store->aiProgress());
        // The first request was replaced before it could publish.
        EXPECT_EQ(published, 1);
    }

    TEST_F(StorePlanning, RequestThatIsNoLongerCurrentNeverPublishes)
    {
        int published = 0;
        QObject::connect(store.get(), &RenamerStore::rawPreviewsChanged, [&] { ++published; });
        store->setItems(itemsNamed({ "a.txt" }));
        // Let the task finish its pipeline and post its rows before a newer request comes.
        QThread::msleep(300);
        store->setRules({ replaceRule("a", "y") });
        ASSERT_TRUE(settle());
        EXPECT_EQ(published, 1);
        EXPECT_EQ(newNames(*store), std::vector<std::string> { "y.txt" });
    }

    TEST_F(StorePlanning, NewRequestCancelsTheRunningTask)
    {
        store->setItems(itemsNamed({ "a.jpg" }));
        ASSERT_TRUE(settle());
        services->holdNextCalls(1);
        store->setRules({ patternRule("{exif.date|first}") });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        store->setRules({ patternRule("{exif.date|second}") });
        ASSERT_TRUE(settle());
        // The cancelled task records its call when it gets back, which may be after the
        // newest one published.
        ASSERT_TRUE(waitUntil([&] { return services->metadataCalls().size() == 2; }));
        auto calls = services->metadataCalls();
        ASSERT_EQ(calls.size(), 2u);
        // The two tasks ran side by side, so their calls may end in either order.
        EXPECT_NE(calls[0].wasStopped, calls[1].wasStopped);
        EXPECT_EQ(newNames(*store), std::vector<std::string> { "second.jpg" });
    }

    TEST_F(StorePlanning, CancelledTaskLeavesPlanningOnUntilTheNewestPublishes)
    {
        store->setItems(itemsNamed({ "a.jpg" }));
        services->holdNextCalls(2);
        store->setRules({ patternRule("{exif.date|one}") });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        store->setRules({ patternRule("{exif.date|two}") });
        // The first task ends cancelled; the second waits in its metadata call.
        ASSERT_TRUE(waitUntil([&] { return services->metadataCalls().size() == 1; }));
        testing::runEvents(50);
        EXPECT_TRUE(store->isPlanning());
        services->release();
        ASSERT_TRUE(settle());
        EXPECT_EQ(newNames(*store), std::vector<std::string> { "two.jpg" });
    }

    TEST_F(StorePlanning, RulesWithoutMetadataTokensPublishEmptyMetadata)
    {
        store->setItems(itemsNamed({ "a.jpg" }));
        store->setRules({ patternRule("{name}_{#}") });
        ASSERT_TRUE(settle());
        EXPECT_TRUE(services->metadataCalls().empty());
        EXPECT_TRUE(services->aiCalls().empty());
        EXPECT_TRUE(store->metadataValues().empty());
    }

    TEST_F(StorePlanning, PlaceLookupOnlyWhenAllowedAndNamed)
    {
        store->setItems(itemsNamed({ "a.jpg" }));
        store->setRules({ patternRule("{gps.city|x}") });
        ASSERT_TRUE(settle());
        store->setOnlinePlaces(false);
        ASSERT_TRUE(settle());
        store->setRules({ patternRule("{gps.city|x}", false) });
        ASSERT_TRUE(settle());
        auto calls = services->metadataCalls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_TRUE(calls[0].lookUpPlaces);
        EXPECT_FALSE(calls[1].lookUpPlaces);
    }

    TEST_F(StorePlanning, MetadataIsPublishedWithTheRows)
    {
        auto items = itemsNamed({ "a.jpg" });
        services->metadataAnswer = [](const std::vector<FileItem>& asked) {
            MetadataMap answer;
            answer[asked[0].id] = { { "exif.date", "2024-05-06T10:00:00Z" } };
            return answer;
        };
        store->setItems(items);
        store->setRules({ patternRule("{exif.date:yyyy|none}") });
        ASSERT_TRUE(settle());
        EXPECT_EQ(store->metadataValues().at(items[0].id).at("exif.date"), "2024-05-06T10:00:00Z");
        EXPECT_EQ(newNames(*store), std::vector<std::string> { "2024.jpg" });
    }

    TEST_F(StorePlanning, AIProgressCountsUpAndIsClearedOnPublish)
    {
        auto items = itemsNamed({ "a.pdf", "b.pdf", "c.pdf", "d.pdf", "e.pdf" });
        items[3].included = false;
        items[4].included = false;
        std::vector<std::optional<std::string>> seen;
        QObject::connect(store.get(), &RenamerStore::aiProgressChanged,
            [&] { seen.push_back(store->aiProgress()); });
        store->setItems(items);
        store->setRules({ aiRule() });
        ASSERT_TRUE(settle());
        EXPECT_EQ(services->aiCalls().size(), 3u);
        EXPECT_EQ(seen,
            (std::vector<std::optional<std::string>> { "AI naming 1/5\xE2\x80\xA6",
                "AI naming 2/5\xE2\x80\xA6", "AI naming 3/5\xE2\x80\xA6", std::nullopt }));
        EXPECT_EQ(store->metadataValues().at(items[0].id).at("ai.title"), "a");
    }

    TEST_F(StorePlanning, ProgressOfAReplacedTaskDoesNotOutliveTheNewRows)
    {
        store->setItems(itemsNamed({ "a.pdf", "b.pdf" }));
        services->holdNextCalls(1);
        store->setRules({ aiRule() });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        store->setRules({ replaceRule("a", "b") });
        ASSERT_TRUE(settle());
        testing::runEvents(50);
        EXPECT_FALSE(store->aiProgress());
    }

    TEST_F(StorePlanning, DestroyingTheStoreCancelsAndWaitsForItsTask)
    {
        store->setItems(itemsNamed({ "a.pdf" }));
        ASSERT_TRUE(settle());
        services->holdNextCalls(1);
        store->setRules({ aiRule() });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        store.reset();
        // The destructor waited: the held call has ended, cancelled.
        auto calls = services->aiCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0].wasStopped);
        testing::runEvents(50);
    }

    TEST_F(StorePlanning, ManyQuickRequestsOnALargeListPlanOnce)
    {
        std::vector<FileItem> items;
        for (int index = 0; index < 2001; ++index)
            items.emplace_back(FileURL("/nowhere/sorvik-large/f" + std::to_string(index) + ".jpg"),
                true, Date {}, Date {}, 0, index);
        store->setItems(items);
        for (int index = 0; index < 5; ++index)
            store->setRules({ patternRule("{exif.date|" + std::to_string(index) + "}") });
        ASSERT_TRUE(settle());
        // Every request but the last was cancelled while it waited.
        EXPECT_EQ(services->metadataCalls().size(), 1u);
        EXPECT_EQ(store->rawPreviews().front().newName, "4.jpg");
    }

} // namespace
} // namespace sorvik
