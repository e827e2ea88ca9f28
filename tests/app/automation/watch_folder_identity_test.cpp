// The watch folder store tells folders and files by what they are, not by the path that
// reaches them: bind mounts and symbolic links of watched folders, and batches that other
// processes are running.
#include "app/automation/watch_folder_store.h"

#include "app/automation/automation_runner.h"
#include "app/automation/watch_folder_overlap.h"
#include "app/store/batch_recovery.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/automation/watch_test_support.h"

#include <QProcess>
#include <QSignalSpy>

#include <filesystem>
#include <optional>

#include <sys/mount.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::patternRule;

    /// Makes the empty folder `alias` show the folder `target` for as long as it lives: a bind
    /// mount where the test may make one (it runs as the superuser), else a symbolic link in the
    /// folder's place. Undone when it goes, or by `undo`.
    class SameFolder {
    public:
        SameFolder(fs::path target, fs::path alias)
            : m_alias(std::move(alias))
        {
            if (::mount(target.c_str(), m_alias.c_str(), nullptr, MS_BIND, nullptr) == 0) {
                m_isMount = true;
            } else {
                fs::remove(m_alias);
                fs::create_directory_symlink(target, m_alias);
            }
            m_isMade = true;
        }
        ~SameFolder() { undo(); }
        SameFolder(const SameFolder&) = delete;
        SameFolder& operator=(const SameFolder&) = delete;

        /// The alias is an empty folder of its own again.
        void undo()
        {
            if (!std::exchange(m_isMade, false))
                return;
            if (m_isMount) {
                ::umount2(m_alias.c_str(), MNT_DETACH);
            } else {
                fs::remove(m_alias);
                fs::create_directory(m_alias);
            }
        }

        bool isMount() const { return m_isMount; }

    private:
        fs::path m_alias;
        bool m_isMount = false;
        bool m_isMade = false;
    };

    class WatchFolderIdentityTest : public testing::WatchStoreFixture {
    protected:
        /// Ticks `count` times, `seconds` apart.
        void tickRepeatedly(int count, double seconds = 5)
        {
            for (int tick = 0; tick < count; ++tick)
                tickAfter(seconds);
        }

        /// "Inbox" watched with "g1.txt" and "g2.txt" in it, and "alias" made the same folder
        /// (`sameFolder`) and granted.
        fs::path watchTwoFilesWithAnAlias()
        {
            auto alias = files.createFolder("alias");
            files.createFile("Inbox/g1.txt");
            files.createFile("Inbox/g2.txt");
            watch();
            sameFolder.emplace(inbox, alias);
            store.folderAccess().grant(FileURL(alias.string(), true));
            return alias;
        }

        /// The folder's names after the ticks a rename's arrivals would meet: as they were,
        /// with no watch batch logged.
        void expectLeftAlone(const std::vector<std::string>& expected)
        {
            ASSERT_EQ(names(), expected);
            tickAfter(1);
            tickAfter(3);
            tickRepeatedly(5);
            EXPECT_EQ(names(), expected);
            EXPECT_TRUE(watches->log().empty());
        }

        std::optional<SameFolder> sameFolder;
    };

    // ---- One folder, watched once ----

    TEST_F(WatchFolderIdentityTest, TwoWatchFoldersThatBecomeOneFolderRenameAFileOnce)
    {
        auto alias = files.createFolder("alias");
        watch();
        const auto& later = watch(alias);
        auto laterID = later.id;
        auto firstID = watches->folders().front().id;
        EXPECT_FALSE(watches->folderProblem(laterID));

        SameFolder same(inbox, alias);
        SCOPED_TRACE(same.isMount() ? "bind mount" : "symbolic link");
        QSignalSpy changes(watches.get(), &WatchFolderStore::folderChanged);
        tickAfter(0);
        EXPECT_EQ(watches->folderProblem(laterID), std::string(WatchFolderStore::overlapText));
        EXPECT_FALSE(watches->folderProblem(firstID));
        ASSERT_EQ(changes.count(), 1);
        EXPECT_EQ(changes.at(0).at(0).value<Uuid>(), laterID);
        // Events come from the folder that watches alone.
        ASSERT_FALSE(events->watched.empty());
        ASSERT_EQ(events->watched.back().size(), 1u);
        EXPECT_EQ(events->watched.back().front().folder.path, inbox.string());

        files.createFile("Inbox/photo.txt");
        tickAfter(0);
        tickAfter(3);
        tickRepeatedly(20);
        EXPECT_EQ(names(), (std::vector<std::string> { "photo-x.txt" }));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 1 files \u00B7 Inbox" }));
        EXPECT_TRUE(watches->known(laterID).empty());

        // Apart again, the later folder watches, and takes nothing there for an arrival.
        same.undo();
        files.createFile("alias/own.txt");
        tickAfter(0);
        EXPECT_FALSE(watches->folderProblem(laterID));
        EXPECT_EQ(events->watched.back().size(), 2u);
        tickRepeatedly(5);
        EXPECT_EQ(names(alias), (std::vector<std::string> { "own.txt" }));
        files.createFile("alias/new.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(alias), (std::vector<std::string> { "new-x.txt", "own.txt" }));
    }

    TEST_F(WatchFolderIdentityTest, AFolderInsideAnotherThroughABindMountIsSkippedFromTheStart)
    {
        auto sub = files.createFolder("Inbox/sub");
        auto alias = files.createFolder("alias");
        const auto& first = watch();
        watches->updateFolder(first.id, [](WatchFolder& each) { each.includeSubfolders = true; });
        watches->save();
        auto laterID = watch(alias).id;
        SameFolder same(sub, alias);
        SCOPED_TRACE(same.isMount() ? "bind mount" : "symbolic link");

        // Judged when the folders are loaded, before any tick.
        watches.reset();
        makeStore();
        EXPECT_EQ(watches->folderProblem(laterID), std::string(WatchFolderStore::overlapText));
        EXPECT_FALSE(watches->folderProblem(watches->folders().front().id));
        watches->restart();
        ASSERT_EQ(events->watched.size(), 1u);
        ASSERT_EQ(events->watched.back().size(), 1u);
        EXPECT_EQ(events->watched.back().front().folder.path, inbox.string());

        files.createFile("Inbox/sub/photo.txt");
        tickAfter(0);
        tickAfter(3);
        tickRepeatedly(20);
        EXPECT_EQ(names(sub), (std::vector<std::string> { "photo-x.txt" }));

        // A folder switched off is no reason for another to stand aside, nor has one itself.
        watches->updateFolder(
            watches->folders().front().id, [](WatchFolder& each) { each.isEnabled = false; });
        tickAfter(0);
        EXPECT_FALSE(watches->folderProblem(laterID));
        EXPECT_FALSE(watches->folderProblem(watches->folders().front().id));
    }

    TEST_F(WatchFolderIdentityTest, OverlapsAreToldByTheFoldersThemselves)
    {
        auto sub = files.createFolder("Photos/inner/deeper");
        auto photos = files / "Photos";
        auto alias = files.createFolder("alias");
        auto other = files.createFolder("Photos2");
        SameFolder same(files / "Photos" / "inner", alias);
        SCOPED_TRACE(same.isMount() ? "bind mount" : "symbolic link");

        struct Case {
            std::string name;
            fs::path first;
            fs::path second;
            bool overlap;
        };
        const std::vector<Case> cases {
            { "the folder and its alias", files / "Photos" / "inner", alias, true },
            { "the alias inside the folder above", photos, alias, true },
            { "a folder inside the alias", alias / "deeper", sub, true },
            { "the alias and a folder inside its real folder", alias, sub, true },
            { "inside the alias and its real folder", alias / "deeper", photos, true },
            { "a sibling", other, alias, false },
            { "a sibling with a longer name", photos, other, false },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.name);
            FileURL first(each.first.string(), true);
            FileURL second(each.second.string(), true);
            EXPECT_EQ(watchFoldersOverlap(first, second), each.overlap);
            EXPECT_EQ(watchFoldersOverlap(second, first), each.overlap);
        }
    }

    // ---- Files placed by sorvik, whichever path reaches them ----

    TEST_F(WatchFolderIdentityTest, TheWindowsRenameThroughABindMountIsNotRenamedAgain)
    {
        auto alias = files.createFolder("alias");
        SameFolder same(inbox, alias);
        SCOPED_TRACE(same.isMount() ? "bind mount" : "symbolic link");
        files.createFile("Inbox/a.txt");
        watch();
        store.folderAccess().grant(FileURL(alias.string(), true));
        renameInWindow({ FileURL((alias / "a.txt").string()) }, { patternRule("{name}-mine") });
        ASSERT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
        tickRepeatedly(10);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
        EXPECT_TRUE(watches->log().empty());
    }

    TEST_F(WatchFolderIdentityTest, ARecordedRenameThroughAnotherPathIsNotRenamedAgain)
    {
        auto alias = watchTwoFilesWithAnAlias();
        SCOPED_TRACE(sameFolder->isMount() ? "bind mount" : "symbolic link");
        // Another process's renames reach this one only through "history.json".
        AutomationRunner(store, services)
            .run({ FileURL((alias / "g1.txt").string()), FileURL((alias / "g2.txt").string()) },
                { patternRule("{name}-cli") }, false);
        expectLeftAlone({ "g1-cli.txt", "g2-cli.txt" });
    }

    TEST_F(WatchFolderIdentityTest, TheCommandLinesRenameThroughAnAliasIsNotRenamedAgain)
    {
        auto alias = watchTwoFilesWithAnAlias();
        SCOPED_TRACE(sameFolder->isMount() ? "bind mount" : "symbolic link");
        QProcess sorvik;
        sorvik.start(QStringLiteral(SORVIK_PROGRAM),
            { "rename", "--apply", "--preset", "Suffix",
                QString::fromStdString((alias / "g1.txt").string()),
                QString::fromStdString((alias / "g2.txt").string()) });
        ASSERT_TRUE(sorvik.waitForFinished(60'000));
        ASSERT_EQ(sorvik.exitCode(), 0) << sorvik.readAllStandardError().toStdString();
        expectLeftAlone({ "g1-x.txt", "g2-x.txt" });
    }

    // ---- Batches running in another process ----

    /// The journal of a batch moving `from` to `to`, as a running batch holds it.
    RenameJournal runningBatch(const fs::path& from, const fs::path& to)
    {
        RenameJournalEntry entry { FileURL(from.string()),
            FileURL((from.parent_path() / ".twtmp-0-a").string()), FileURL(to.string()), 0 };
        return RenameJournal::begin(batchJournalFolder(), { entry });
    }

    TEST_F(WatchFolderIdentityTest, FilesOfABatchRunningElsewhereWaitUntilItsJournalIsGone)
    {
        auto alias = files.createFolder("alias");
        files.createFile("Inbox/a.txt");
        watch();
        tickAfter(0);
        SameFolder same(inbox, alias);
        SCOPED_TRACE(same.isMount() ? "bind mount" : "symbolic link");
        // The batch names the folder by another path than the watch folder's.
        auto journal = runningBatch(alias / "a.txt", alias / "b.txt");
        fs::rename(inbox / "a.txt", inbox / "b.txt");
        files.createFile("Inbox/arrived.txt");
        tickAfter(0);
        tickAfter(3);
        tickRepeatedly(10);
        EXPECT_EQ(names(), (std::vector<std::string> { "arrived.txt", "b.txt" }));
        EXPECT_TRUE(watches->log().empty());

        // Put back, the file has the name it had, which is known; what arrived meanwhile is an
        // arrival once the batch has ended.
        fs::rename(inbox / "b.txt", inbox / "a.txt");
        journal.finish();
        tickAfter(0);
        tickAfter(3);
        tickRepeatedly(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "arrived-x.txt" }));
    }

    TEST_F(WatchFolderIdentityTest, TheJournalOfABatchThatEndedWithoutFinishingHoldsNothing)
    {
        watch();
        tickAfter(0);
        {
            // Its process is gone: the lock went with it, the file stays for recovery.
            auto journal = runningBatch(inbox / "a.txt", inbox / "b.txt");
        }
        files.createFile("Inbox/arrived.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "arrived-x.txt" }));
    }

} // namespace
} // namespace sorvik
