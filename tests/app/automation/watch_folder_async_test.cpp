// The watch folder store with its work on its own thread, and once end to end with its real
// timer, inotify and clock.
#include "app/automation/inotify_watcher.h"
#include "app/automation/watch_folder_store.h"
#include "app/store/history_file.h"
#include "tests/app/automation/watch_test_support.h"

#include <QSignalSpy>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::aiRule;
    using testing::patternRule;
    using testing::waitUntil;

    class WatchFolderAsyncTest : public testing::WatchStoreFixture {
    protected:
        /// Watches Inbox with a preset that asks the AI service, whose calls are held.
        void watchWithHeldAI()
        {
            Preset named("Named", "sparkles", "3478F6", { aiRule(), patternRule("{ai.title}-x") });
            writePresets({ named });
            makeStore(false);
            watch();
            ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));
            watches->updateFolder(
                watches->folders()[0].id, [&](WatchFolder& each) { each.presetID = named.id; });
            services->holdNextCalls(100);
        }

        /// Ticks until a batch is being planned (its AI call waits).
        void startHeldBatch()
        {
            files.createFile("Inbox/a.txt");
            tickAfter(0);
            ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));
            tickAfter(3);
            ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
            ASSERT_TRUE(watches->isProcessing());
        }
    };

    TEST_F(WatchFolderAsyncTest, TheWindowKeepsWorkingWhileABatchIsPlanned)
    {
        watchWithHeldAI();
        startHeldBatch();
        // Firings meanwhile return at once; events only mark the store.
        QSignalSpy finished(watches.get(), &WatchFolderStore::tickFinished);
        tickAfter(5);
        events->send();
        EXPECT_TRUE(watches->isDirty());
        EXPECT_EQ(finished.count(), 0);

        // The window renames a file in the folder meanwhile; it becomes known there.
        files.createFile("Inbox/mine.txt");
        renameInWindow({ FileURL(inboxPath("mine.txt")) }, { patternRule("{name}-window") });
        EXPECT_TRUE(fs::exists(inbox / "mine-window.txt"));

        services->release();
        ASSERT_TRUE(waitUntil([&] { return finished.count() > 0; }));
        EXPECT_FALSE(watches->isProcessing());
        EXPECT_TRUE(fs::exists(inbox / "a-x.txt"));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 1 files \u00B7 Inbox" }));

        for (int tick = 0; tick < 4; ++tick) {
            tickAfter(5);
            ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a-x.txt", "mine-window.txt" }));
    }

    TEST_F(WatchFolderAsyncTest, RestartingDuringATickCancelsItsBatchAndKeepsItsFilesKnown)
    {
        watchWithHeldAI();
        startHeldBatch();
        watches->restart();
        ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "The rename was cancelled." }));
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        EXPECT_TRUE(store.history().empty());

        for (int tick = 0; tick < 3; ++tick) {
            tickAfter(5);
            ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        EXPECT_EQ(watches->log().size(), 1u);
    }

    TEST_F(WatchFolderAsyncTest, QuittingDropsABatchBeingPlannedAndWaitsForItsWork)
    {
        watchWithHeldAI();
        startHeldBatch();
        watches->shutdown();
        EXPECT_FALSE(watches->isMonitoring());
        EXPECT_FALSE(services->isWaiting()) << "the held call was stopped and waited for";
        // What the worker sent back before it stopped is dropped.
        QCoreApplication::processEvents();
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        EXPECT_TRUE(store.history().empty());
        watches.reset();
    }

    TEST_F(WatchFolderAsyncTest, EndToEndFilesCopiedInAreRenamedOnceSettled)
    {
        WatchFolderStore::Collaborators collaborators;
        collaborators.services = services;
        collaborators.events = std::make_unique<InotifyWatcher>();
        collaborators.loginItem = std::make_unique<testing::FakeLoginItem>();
        watches = std::make_unique<WatchFolderStore>(store, std::move(collaborators));
        watches->addFolder(preset.id, FileURL(inbox.string(), true));
        watches->updateFolder(
            watches->folders()[0].id, [](WatchFolder& each) { each.settleSeconds = 1; });
        watches->save();
        ASSERT_TRUE(watches->isMonitoring());
        ASSERT_TRUE(waitUntil([&] { return !watches->isProcessing(); }));

        QSignalSpy logged(watches.get(), &WatchFolderStore::logChanged);
        for (const auto* name : { "one.jpg", "two.jpg", "three.jpg" }) {
            std::ofstream file(inbox / name, std::ios::binary);
            file << std::string(64 * 1024, 'x');
        }
        ASSERT_TRUE(logged.wait(15'000));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 3 files \u00B7 Inbox" }));
        EXPECT_EQ(names(), (std::vector<std::string> { "one-x.jpg", "three-x.jpg", "two-x.jpg" }));
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves.size(), 3u);

        // A rename by the window in the folder is not renamed again.
        renameInWindow({ FileURL((inbox / "one-x.jpg").string()) }, { patternRule("mine") });
        ASSERT_TRUE(fs::exists(inbox / "mine.jpg"));
        std::ofstream(inbox / "four.jpg") << "late";
        ASSERT_TRUE(logged.wait(15'000));
        EXPECT_EQ(names(),
            (std::vector<std::string> { "four-x.jpg", "mine.jpg", "three-x.jpg", "two-x.jpg" }));
        EXPECT_EQ(logTexts().front(), "Renamed 1 files \u00B7 Inbox");
    }

} // namespace
} // namespace sorvik
