#include "app/automation/inotify_watcher.h"

#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QSignalSpy>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <linux/magic.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::TemporaryFolder;

    class InotifyWatcherTest : public ::testing::Test {
    protected:
        void watch(bool includeSubfolders, const fs::path& excluded = {})
        {
            watcher.watch({ { FileURL(files.path().string(), true), includeSubfolders } },
                FileURL(excluded.string(), true));
        }

        /// Waits for a change; whether one came.
        bool changed(int milliseconds = 5000) { return spy.count() > 0 || spy.wait(milliseconds); }

        TemporaryFolder files;
        InotifyWatcher watcher;
        QSignalSpy spy { &watcher, &WatchEventSource::changed };
    };

    TEST_F(InotifyWatcherTest, ANewFileIsReported)
    {
        watch(false);
        EXPECT_FALSE(watcher.needsPolling());
        EXPECT_EQ(watcher.watchCount(), 1u);
        files.createFile("a.txt", "data");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, AFileInASubfolderMadeAfterTheStartIsReported)
    {
        files.createFolder("existing");
        files.createFolder(".hidden");
        watch(true);
        EXPECT_EQ(watcher.watchCount(), 2u) << "the folder and its visible subfolder";
        files.createFolder("new");
        ASSERT_TRUE(changed());
        EXPECT_EQ(watcher.watchCount(), 3u);
        spy.clear();
        files.createFile("new/inside.txt");
        EXPECT_TRUE(changed());
        spy.clear();
        files.createFile("existing/deeper/file.txt");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, WithoutSubfoldersOnlyTheFolderIsWatched)
    {
        files.createFolder("sub");
        watch(false);
        EXPECT_EQ(watcher.watchCount(), 1u) << "the subfolder is not watched";
    }

    TEST_F(InotifyWatcherTest, TheExcludedFolderIsNotWatched)
    {
        auto data = files.createFolder("data");
        watch(true, data);
        EXPECT_EQ(watcher.watchCount(), 1u) << "the data folder is not watched";
    }

    TEST_F(InotifyWatcherTest, AnOverflowedQueueWalksTheFoldersAgainAndReportsIt)
    {
        watch(true);
        // Without the event loop nothing is read: the kernel's queue overflows.
        std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
        int limit = 16384;
        limitFile >> limit;
        for (int index = 0; index < limit / 2 + 10; ++index)
            files.createFile("f" + std::to_string(index));
        files.createFile("late/inside.txt");
        ASSERT_TRUE(changed());
        EXPECT_EQ(watcher.watchCount(), 2u) << "the subfolder lost with the events is watched";
        spy.clear();
        files.createFile("late/another.txt");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, AFolderThatIsGoneIsPolledUntilItIsBack)
    {
        auto watched = files.createFolder("watched");
        watcher.watch({ { FileURL(watched.string(), true), false } }, FileURL());
        EXPECT_FALSE(watcher.needsPolling());
        fs::remove_all(watched);
        ASSERT_TRUE(changed());
        EXPECT_TRUE(testing::waitUntil([&] { return watcher.needsPolling(); }));
        watcher.retry();
        EXPECT_TRUE(watcher.needsPolling()) << "still gone";

        fs::create_directories(watched);
        spy.clear();
        watcher.retry();
        EXPECT_FALSE(watcher.needsPolling());
        EXPECT_EQ(spy.count(), 1);
        spy.clear();
        files.createFile("watched/a.txt");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, AFolderMovedAwayIsNoLongerWatchedAtItsPath)
    {
        auto watched = files.createFolder("watched");
        watcher.watch({ { FileURL(watched.string(), true), false } }, FileURL());
        fs::rename(watched, files / "elsewhere");
        ASSERT_TRUE(changed());
        EXPECT_TRUE(testing::waitUntil([&] { return watcher.needsPolling(); }));
    }

    TEST_F(InotifyWatcherTest, APathThatLeadsToAnotherFolderWithoutAnEventIsWatchedAgain)
    {
        auto watched = files.createFolder("watched");
        auto other = files.createFolder("other");
        watcher.watch({ { FileURL(watched.string(), true), false } }, FileURL());
        // Moved away (an event), a link put in its place, then the link replaced by a new
        // folder (no event in what is watched).
        fs::rename(watched, files / "old");
        fs::create_directory_symlink(other, watched);
        ASSERT_TRUE(changed());
        watcher.retry();
        fs::remove(watched);
        fs::create_directory(watched);
        spy.clear();
        watcher.retry();
        EXPECT_EQ(spy.count(), 1) << "the folder now at the path is looked at";
        EXPECT_FALSE(watcher.needsPolling());
        spy.clear();
        files.createFile("watched/a.txt");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, AFolderWhoseParentIsRenamedIsWatchedAgainAtItsPath)
    {
        auto watched = files.createFolder("parent/watched");
        watcher.watch({ { FileURL(watched.string(), true), false } }, FileURL());
        fs::rename(files / "parent", files / "renamed");
        watcher.retry();
        EXPECT_TRUE(watcher.needsPolling()) << "nothing is at its path";
        fs::create_directories(watched);
        spy.clear();
        watcher.retry();
        EXPECT_FALSE(watcher.needsPolling());
        spy.clear();
        files.createFile("parent/watched/a.txt");
        EXPECT_TRUE(changed());
    }

    TEST_F(InotifyWatcherTest, AFolderThatDoesNotExistYetIsPolled)
    {
        watcher.watch({ { FileURL((files / "later").string(), true), false } }, FileURL());
        EXPECT_TRUE(watcher.needsPolling());
        watcher.stop();
        EXPECT_FALSE(watcher.needsPolling()) << "nothing is watched";
    }

    TEST(InotifyWatcher, NetworkAndFuseFileSystemsCannotBeTrusted)
    {
        EXPECT_TRUE(InotifyWatcher::isRemoteFileSystem(NFS_SUPER_MAGIC));
        EXPECT_TRUE(InotifyWatcher::isRemoteFileSystem(0xFF534D42)); // CIFS
        EXPECT_TRUE(InotifyWatcher::isRemoteFileSystem(0x65735546)); // FUSE
        EXPECT_FALSE(InotifyWatcher::isRemoteFileSystem(EXT4_SUPER_MAGIC));
        EXPECT_FALSE(InotifyWatcher::isRemoteFileSystem(TMPFS_MAGIC));
        EXPECT_FALSE(InotifyWatcher::isRemoteFileSystem(BTRFS_SUPER_MAGIC));
    }

} // namespace
} // namespace sorvik
