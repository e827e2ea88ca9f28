// Which folder a watch folder is while sorvik runs: the one its bookmark finds, as a start of
// sorvik finds it, however its path changes meanwhile; and a folder that cannot be watched
// says so.
#include "app/automation/watch_folder_location.h"

#include "app/automation/watch_folder_store.h"
#include "app/store/bookmark.h"
#include "app/store/folder_access_manager.h"
#include "tests/app/automation/watch_test_support.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;

    class WatchFolderLocationTest : public testing::WatchStoreFixture {
    protected:
        std::string movedText(const fs::path& to, const std::string& name) const
        {
            return "The folder was moved, and is watched at \u201C" + to.string() + "\u201D now"
                + " \u00B7 " + name;
        }
    };

    TEST_F(WatchFolderLocationTest, AFolderBrieflyReplacedByALinkIsFollowedWhereARestartFindsIt)
    {
        files.createFile("Inbox/present.txt");
        auto other = files.createFolder("Other");
        files.createFile("Other/o.txt");
        auto old = files / "Old";
        watch();
        // mv Inbox Old; ln -s Other Inbox; …; rm Inbox; mkdir Inbox
        fs::rename(inbox, old);
        fs::create_directory_symlink(other, inbox);
        tickAfter(1);
        fs::remove(inbox);
        fs::create_directory(inbox);
        files.createFile("Inbox/new-in-inbox.txt");
        files.createFile("Old/new-in-old.txt");
        tickAfter(1);
        tickAfter(3);
        tickAfter(3);

        ASSERT_EQ(watches->folders().size(), 1u);
        EXPECT_EQ(watches->folders()[0].folder.path, old.string());
        EXPECT_EQ(names(old), (std::vector<std::string> { "new-in-old-x.txt", "present.txt" }));
        EXPECT_EQ(names(inbox), (std::vector<std::string> { "new-in-inbox.txt" }));
        EXPECT_EQ(names(other), (std::vector<std::string> { "o.txt" }));
        EXPECT_EQ(logTexts(),
            (std::vector<std::string> { "Renamed 1 files \u00B7 Old", movedText(old, "Inbox") }));
        ASSERT_FALSE(events->watched.empty());
        ASSERT_EQ(events->watched.back().size(), 1u);
        EXPECT_EQ(events->watched.back()[0].folder.path, old.string()) << "its events too";
        EXPECT_FALSE(watches->folderProblem(watches->folders()[0].id));

        // A restart finds the same folder, granted.
        watches.reset();
        makeStore();
        ASSERT_EQ(watches->folders().size(), 1u);
        EXPECT_EQ(watches->folders()[0].folder.path, old.string());
        EXPECT_TRUE(FolderAccessManager().covers(FileURL(old.string(), true)));
        watches->restart();
        files.createFile("Old/after-restart.txt");
        files.createFile("Inbox/after-restart.txt");
        tickAfter(1);
        tickAfter(3);
        EXPECT_EQ(names(old),
            (std::vector<std::string> {
                "after-restart-x.txt", "new-in-old-x.txt", "present.txt" }));
        EXPECT_EQ(
            names(inbox), (std::vector<std::string> { "after-restart.txt", "new-in-inbox.txt" }));
    }

    TEST_F(WatchFolderLocationTest, AFolderMovedWithFilesSettlingKeepsWhatIsKnownAndWaiting)
    {
        files.createFile("Inbox/present.txt");
        watch();
        files.createFile("Inbox/arriving.txt");
        tickAfter(1);
        ASSERT_EQ(watches->pending().size(), 1u);
        auto renamed = files / "Renamed";
        fs::rename(inbox, renamed);
        tickAfter(1);
        tickAfter(3);
        EXPECT_EQ(names(renamed), (std::vector<std::string> { "arriving-x.txt", "present.txt" }));
    }

    TEST_F(WatchFolderLocationTest, AFolderThatCannotBeWatchedSaysWhyInItsRowAndTheLogOnce)
    {
        struct Case {
            const char* label;
            std::function<void()> lose;
            std::function<void()> mend;
            std::string reason;
        };
        std::vector<Case> cases {
            { "deleted", [&] { fs::remove_all(inbox); }, [&] { fs::create_directory(inbox); },
                std::string(WatchFolderProblem::gone) },
            { "grant removed", [&] { store.folderAccess().remove(FileURL(inbox.string(), true)); },
                [&] { store.folderAccess().grant(FileURL(inbox.string(), true)); },
                std::string(WatchFolderProblem::notGranted) },
        };
        if (::geteuid() != 0) {
            cases.push_back({ "unreadable", [&] { fs::permissions(inbox, fs::perms::none); },
                [&] { fs::permissions(inbox, fs::perms::owner_all); },
                "The file \u201CInbox\u201D couldn\u2019t be opened because you don\u2019t have "
                "permission to view it." });
        }
        for (const auto& each : cases) {
            SCOPED_TRACE(each.label);
            watches.reset();
            fs::remove(JSONFiles::applicationFolder() / WatchFolder::fileName);
            fs::remove(JSONFiles::applicationFolder() / WatchFolderStore::logFileName);
            const auto& folder = watch();
            auto id = folder.id;
            each.lose();
            tickAfter(1);
            tickAfter(3);
            tickAfter(3);
            auto problem = WatchFolderProblem::text(each.reason);
            EXPECT_EQ(watches->folderProblem(id), problem);
            EXPECT_EQ(logTexts(), (std::vector<std::string> { problem + " \u00B7 Inbox" }));

            each.mend();
            tickAfter(1);
            files.createFile("Inbox/new.txt");
            tickAfter(1);
            tickAfter(3);
            EXPECT_FALSE(watches->folderProblem(id));
            EXPECT_EQ(logTexts(),
                (std::vector<std::string> { "Renamed 1 files \u00B7 Inbox",
                    std::string(WatchFolderStore::watchedAgainText) + " \u00B7 Inbox",
                    problem + " \u00B7 Inbox" }));
            EXPECT_EQ(names(), (std::vector<std::string> { "new-x.txt" }));
            fs::remove(inbox / "new-x.txt");
        }
    }

    TEST(WatchFolderLocation, IsTheFolderItsBookmarkFindsWheneverThePathLeadsElsewhere)
    {
        testing::TemporaryFolder files;
        auto inbox = files.createFolder("Inbox");
        auto other = files.createFolder("Other");
        WatchFolder folder;
        folder.folder = FileURL(inbox.string(), true);
        folder.bookmark = Bookmark::create(folder.folder);
        auto found = locateWatchFolder(folder, std::nullopt);
        EXPECT_EQ(found.folder.path, inbox.string());
        EXPECT_EQ(found.identity, folderIdentity(inbox.string()));

        // While the folder at its path is the one found last, nothing is looked up.
        EXPECT_EQ(locateWatchFolder(folder, found.identity), found);

        // Moved, and a link to another folder put in its place.
        fs::rename(inbox, files / "Moved");
        fs::create_directory_symlink(other, inbox);
        auto moved = locateWatchFolder(folder, found.identity);
        EXPECT_EQ(moved.folder.path, (files / "Moved").string());
        EXPECT_EQ(moved.identity, found.identity);

        // Gone for good: another folder at its path is the one.
        fs::remove_all(files / "Moved");
        fs::remove(inbox);
        fs::create_directory(inbox);
        auto replaced = locateWatchFolder(folder, found.identity);
        EXPECT_EQ(replaced.folder.path, inbox.string());
        EXPECT_EQ(replaced.identity, folderIdentity(inbox.string()));

        fs::remove(inbox);
        try {
            locateWatchFolder(folder, replaced.identity);
            ADD_FAILURE() << "found a folder that is gone";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), WatchFolderProblem::gone);
        }
    }

} // namespace
} // namespace sorvik
