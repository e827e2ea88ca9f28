#include "app/automation/watch_folder_scan.h"

#include "app/store/file_scan.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::TemporaryFolder;

    std::vector<std::string> relative(const std::vector<std::string>& paths, const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& path : paths)
            names.push_back(fs::path(path).lexically_relative(folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    class WatchFolderListingTest : public ::testing::Test {
    protected:
        std::optional<WatchFolderListing> list(bool includeSubfolders,
            std::string_view fileTypes = {}, const std::optional<FolderIdentity>& excluded = {})
        {
            return listWatchFolder(FileURL(files.path().string(), true), includeSubfolders,
                wantedExtensions(fileTypes), excluded);
        }

        TemporaryFolder files;
        TemporaryFolder elsewhere;
    };

    TEST_F(WatchFolderListingTest, ListsVisibleRegularFilesAndNothingThroughLinks)
    {
        files.createFile("a.jpg");
        files.createFile(".hidden.jpg");
        files.createFile(".cache/b.jpg");
        files.createFile("sub/c.JPG");
        files.createFile("sub/d.txt");
        files.createFile("sub/deeper/e.jpg");
        elsewhere.createFile("outside.jpg");
        fs::create_symlink(files / "a.jpg", files / "link.jpg");
        fs::create_directory_symlink(elsewhere.path(), files / "linked folder");
        ::mkfifo((files / "pipe.jpg").c_str(), 0600);

        auto top = list(false, "jpg");
        ASSERT_TRUE(top);
        EXPECT_EQ(relative(top->files, files.path()), (std::vector<std::string> { "a.jpg" }));
        EXPECT_TRUE(top->unreadableFolders.empty());

        auto all = list(true);
        ASSERT_TRUE(all);
        EXPECT_EQ(relative(all->files, files.path()),
            (std::vector<std::string> { "a.jpg", "sub/c.JPG", "sub/d.txt", "sub/deeper/e.jpg" }));
        for (const auto& path : all->files)
            EXPECT_TRUE(path.starts_with(files.path().string() + "/")) << path;
    }

    TEST_F(WatchFolderListingTest, TheExcludedFolderIsPassedOverWithAllItHolds)
    {
        files.createFile("a.txt");
        files.createFile("data/sorvik/watch-log.json");
        auto excluded = folderIdentity((files / "data/sorvik").string());
        ASSERT_TRUE(excluded);
        auto listing = list(true, {}, excluded);
        ASSERT_TRUE(listing);
        EXPECT_EQ(relative(listing->files, files.path()), (std::vector<std::string> { "a.txt" }));
        // The watched folder itself excluded: nothing in it.
        auto itself = list(true, {}, folderIdentity(files.path().string()));
        ASSERT_TRUE(itself);
        EXPECT_TRUE(itself->files.empty());
    }

    TEST_F(WatchFolderListingTest, AFolderThatCannotBeOpenedIsNotListedAtAll)
    {
        EXPECT_FALSE(listWatchFolder(FileURL((files / "missing").string(), true), false, {}, {}));
        files.createFile("file");
        EXPECT_FALSE(listWatchFolder(FileURL((files / "file").string(), true), false, {}, {}));
    }

    TEST_F(WatchFolderListingTest, TheIdentityTellsAReplacedFolderApart)
    {
        auto first = list(false);
        fs::rename(files.path(), elsewhere / "moved");
        fs::create_directories(files.path());
        auto second = list(false);
        ASSERT_TRUE(first && second);
        EXPECT_NE(first->identity, second->identity);
        EXPECT_EQ(folderIdentity((elsewhere / "moved").string()), first->identity);
    }

    TEST(WatchFolderScan, SettleTimeIsTheSettingButNeverBelowOneSecond)
    {
        using std::chrono::seconds;
        EXPECT_EQ(settleThreshold(3), seconds(3));
        EXPECT_EQ(settleThreshold(1), seconds(1));
        EXPECT_EQ(settleThreshold(0), seconds(1));
        EXPECT_EQ(settleThreshold(-5), seconds(1));
    }

    TEST(WatchFolderScan, ASettleTimeTooLongForTheClockNeverPasses)
    {
        using std::chrono::seconds;
        constexpr std::int64_t longest = 9'223'372'036;
        EXPECT_EQ(settleThreshold(longest), seconds(longest));
        EXPECT_GT(settleThreshold(longest), settleThreshold(longest - 1));
        for (std::int64_t tooLong : { longest + 1, std::numeric_limits<std::int64_t>::max() }) {
            SCOPED_TRACE(tooLong);
            EXPECT_EQ(settleThreshold(tooLong), WatchClock::Duration::max());
        }
    }

    TEST(WatchFolderScan, AFileSettlesOnlyOnceAHandEditedSettleTimeHasPassed)
    {
        TemporaryFolder files;
        auto path = files.createFile("a.txt", "a").string();
        auto values = FileScan::readChecked(FileURL(path));
        WatchScanRequest request;
        request.folder.folder = FileURL(files.path().string(), true);
        WatchFolderState state;
        state.identity = *folderIdentity(files.path().string());
        state.path = request.folder.folder.path;
        state.pending.emplace(path, PendingFile { values.size, values.modified, {} });
        request.state = state;
        WatchScanContext context;
        context.grantedFolders = { request.folder.folder };

        struct Case {
            std::int64_t settleSeconds;
            WatchClock::Duration quiet;
            bool settles;
        };
        const auto ages = std::chrono::hours(24 * 365 * 200);
        const std::vector<Case> cases {
            { 9'223'372'036, ages, false },
            { 9'223'372'036, WatchClock::Duration::max(), true },
            { 9'223'372'037, ages, false },
            { 9'223'372'037, WatchClock::Duration::max(), false },
            { std::numeric_limits<std::int64_t>::max(), WatchClock::Duration::max(), false },
            { 3, std::chrono::seconds(3), true },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.settleSeconds);
            request.folder.settleSeconds = each.settleSeconds;
            context.now = each.quiet;
            auto result = scanWatchFolder(request, context);
            EXPECT_EQ(result.settled.size(), each.settles ? 1u : 0u);
        }
    }

    TEST(WatchFolderScan, AFolderOutsideTheGrantsIsSkippedWithItsStateKept)
    {
        TemporaryFolder files;
        files.createFile("a.txt");
        WatchScanRequest request;
        request.folder.folder = FileURL(files.path().string(), true);
        request.state = WatchFolderState {};
        WatchScanContext context;
        auto result = scanWatchFolder(request, context);
        EXPECT_FALSE(result.state);
        EXPECT_TRUE(result.settled.empty());

        context.grantedFolders = { FileURL(files.path().string(), true) };
        request.state.reset();
        result = scanWatchFolder(request, context);
        ASSERT_TRUE(result.state);
        EXPECT_TRUE(result.state->known->contains((files / "a.txt").string()));
    }

} // namespace
} // namespace sorvik
