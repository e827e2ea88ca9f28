#include "app/automation/watch_folder_store.h"

#include "app/automation/automation_error.h"
#include "app/automation/automation_runner.h"
#include "app/automation/watch_lock.h"
#include "app/store/bookmark.h"
#include "app/store/history_file.h"
#include "tests/app/automation/watch_test_support.h"

#include <QProcess>
#include <QSignalSpy>

#include <filesystem>
#include <fstream>
#include <limits>

#include <sys/stat.h>

#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::patternRule;
    using testing::readFile;
    using testing::replaceRule;

    class WatchFolderStoreTest : public testing::WatchStoreFixture { };

    // ---- Settling ----

    TEST_F(WatchFolderStoreTest, FilesPresentAtStartAreNeverRenamedEvenWhenModifiedLater)
    {
        files.createFile("Inbox/old.txt", "old", 1'500'000'000);
        watch();
        EXPECT_TRUE(watches->known(watches->folders()[0].id).contains(inboxPath("old.txt")));
        for (int tick = 0; tick < 20; ++tick) {
            if (tick == 5)
                files.createFile("Inbox/old.txt", "modified", 1'600'000'000);
            tickAfter(1);
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "old.txt" }));
        EXPECT_TRUE(watches->log().empty());
    }

    TEST_F(WatchFolderStoreTest, NewFileIsRenamedOnTheFirstTickThatFindsItQuietForTheSettleTime)
    {
        watch();
        // An old date does not count: the wait starts when a tick first sees the file.
        files.createFile("Inbox/new.txt", "content", 1'000'000'000);
        tickAfter(0);
        EXPECT_EQ(names(), (std::vector<std::string> { "new.txt" })) << "first sight never renames";
        ASSERT_EQ(watches->pending().count(inboxPath("new.txt")), 1u);
        tickAfter(2.999);
        EXPECT_EQ(names(), (std::vector<std::string> { "new.txt" }));
        tickAfter(0.001);
        EXPECT_EQ(names(), (std::vector<std::string> { "new-x.txt" }));
        EXPECT_TRUE(watches->pending().empty());
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 1 files \u00B7 Inbox" }));
        ASSERT_EQ(store.history().size(), 1u);
        EXPECT_EQ(HistoryFile::load(), store.history());
        EXPECT_EQ(store.history()[0].moves[0].to.path, inboxPath("new-x.txt"));

        // Never picked up again.
        for (int tick = 0; tick < 10; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "new-x.txt" }));
        EXPECT_EQ(watches->log().size(), 1u);
    }

    TEST_F(WatchFolderStoreTest, AnyChangeOfSizeOrDateStartsTheWaitAgain)
    {
        watch();
        files.createFile("Inbox/growing.txt", "a", 1'600'000'000);
        tickAfter(0);
        tickAfter(2);
        files.createFile("Inbox/growing.txt", "ab", 1'600'000'000);
        tickAfter(1);
        tickAfter(2.5);
        EXPECT_EQ(names(), (std::vector<std::string> { "growing.txt" })) << "size changed";
        files.createFile("Inbox/growing.txt", "ab", 1'600'000'500);
        tickAfter(0.5);
        tickAfter(2.9);
        EXPECT_EQ(names(), (std::vector<std::string> { "growing.txt" })) << "date changed";
        tickAfter(0.1);
        EXPECT_EQ(names(), (std::vector<std::string> { "growing-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, SettleTimeBelowOneSecondWaitsOneSecond)
    {
        for (std::int64_t seconds : { 0, -5 }) {
            SCOPED_TRACE(seconds);
            fs::remove_all(inbox);
            fs::create_directories(inbox);
            watches.reset();
            fs::remove(JSONFiles::applicationFolder() / WatchFolder::fileName);
            const auto& folder = watch();
            watches->updateFolder(
                folder.id, [&](WatchFolder& each) { each.settleSeconds = seconds; });
            files.createFile("Inbox/a.txt");
            tickAfter(0);
            tickAfter(0.999);
            EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
            tickAfter(0.001);
            EXPECT_EQ(names(), (std::vector<std::string> { "a-x.txt" }));
        }
    }

    TEST_F(WatchFolderStoreTest, FileThatGoesAndComesBackCountsAsNew)
    {
        files.createFile("Inbox/back.txt", "first");
        watch();
        fs::rename(inbox / "back.txt", files / "back.txt");
        tickAfter(1);
        EXPECT_FALSE(watches->known(watches->folders()[0].id).contains(inboxPath("back.txt")));
        fs::rename(files / "back.txt", inbox / "back.txt");
        tickAfter(1);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "back-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, WithoutAnEventOrACandidateATickLooksAtNothing)
    {
        watch();
        EXPECT_FALSE(watches->isDirty());
        files.createFile("Inbox/quiet.txt");
        clock->advance(std::chrono::seconds(10));
        watches->tick();
        EXPECT_TRUE(watches->pending().empty());
        events->send();
        EXPECT_TRUE(watches->isDirty());
        watches->tick();
        EXPECT_EQ(watches->pending().count(inboxPath("quiet.txt")), 1u);
        // A candidate keeps the ticks going without events.
        clock->advance(std::chrono::seconds(3));
        watches->tick();
        EXPECT_EQ(names(), (std::vector<std::string> { "quiet-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, FoldersWhoseEventsCannotBeTrustedAreLookedAtEveryTick)
    {
        watch();
        events->polling = true;
        files.createFile("Inbox/remote.txt");
        clock->advance(std::chrono::seconds(1));
        watches->tick();
        clock->advance(std::chrono::seconds(3));
        watches->tick();
        EXPECT_EQ(names(), (std::vector<std::string> { "remote-x.txt" }));
    }

    // ---- Results ----

    TEST_F(WatchFolderStoreTest, FilesMovedIntoASubfolderByTheirPresetAreNotPickedUpAgain)
    {
        writePresets({ Preset("Sort", "folder", "3478F6",
            { Rule(RuleKind(OrganizeConfig { "sorted" })), patternRule("{name}-x") }) });
        const auto& folder = watch();
        auto presetID = JSONFiles::load<SavedPresets>(SavedPresets::fileName)->presets[0].id;
        watches->updateFolder(folder.id, [&](WatchFolder& each) {
            each.includeSubfolders = true;
            each.presetID = presetID;
        });
        watches->save();
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_TRUE(fs::exists(inbox / "sorted" / "a-x.txt"));
        for (int tick = 0; tick < 10; ++tick)
            tickAfter(5);
        EXPECT_TRUE(fs::exists(inbox / "sorted" / "a-x.txt"));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 1 files \u00B7 Inbox" }));
    }

    TEST_F(WatchFolderStoreTest, ABatchWhoseHistoryCannotBeSavedIsNotRenamedAgainAndAgain)
    {
        watch();
        fs::create_directories(JSONFiles::applicationFolder() / HistoryFile::fileName);
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-x.txt" }));
        ASSERT_EQ(watches->log().size(), 1u);
        EXPECT_TRUE(logTexts()[0].starts_with(AutomationError::historyNotSaved)) << logTexts()[0];
        for (int tick = 0; tick < 20; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-x.txt" }));
        EXPECT_EQ(watches->log().size(), 1u);
    }

    TEST_F(WatchFolderStoreTest, AFilenameProblemIsLoggedAndTheFilesAreNotTriedAgain)
    {
        files.createFile("Inbox/a-x.txt");
        watch();
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(logTexts(),
            (std::vector<std::string> { std::string(AutomationError::filenameProblem) + "a.txt" }));
        tickAfter(3);
        tickAfter(3);
        EXPECT_EQ(watches->log().size(), 1u);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-x.txt", "a.txt" }));
    }

    TEST_F(WatchFolderStoreTest, ADeletedPresetIsLoggedOncePerBatchAndNotRetried)
    {
        watch();
        writePresets({});
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Preset not found." }));
        files.createFile("Inbox/b.txt");
        tickAfter(0);
        tickAfter(3);
        tickAfter(3);
        EXPECT_EQ(
            logTexts(), (std::vector<std::string> { "Preset not found.", "Preset not found." }));
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" }));

        // An absent file is no different.
        fs::remove(JSONFiles::applicationFolder() / SavedPresets::fileName);
        files.createFile("Inbox/c.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(logTexts().front(), "Preset not found.");
    }

    TEST_F(WatchFolderStoreTest, TheCountIsOfTheSettledFilesAlsoWhenSomeKeepTheirNames)
    {
        writePresets({ Preset("Replace", "folder", "3478F6", { replaceRule("a", "b") }) });
        const auto& folder = watch();
        auto presetID = JSONFiles::load<SavedPresets>(SavedPresets::fileName)->presets[0].id;
        watches->updateFolder(folder.id, [&](WatchFolder& each) { each.presetID = presetID; });
        files.createFile("Inbox/a1.txt");
        files.createFile("Inbox/a2.txt");
        files.createFile("Inbox/keep.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "b1.txt", "b2.txt", "keep.txt" }));
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "Renamed 3 files \u00B7 Inbox" }));
    }

    TEST_F(WatchFolderStoreTest, SettledFilesAreNumberedInTheOrderOfTheirNames)
    {
        writePresets({ Preset("Number", "folder", "3478F6", { patternRule("{#}-{name}") }) });
        const auto& folder = watch();
        auto presetID = JSONFiles::load<SavedPresets>(SavedPresets::fileName)->presets[0].id;
        watches->updateFolder(folder.id, [&](WatchFolder& each) { each.presetID = presetID; });
        files.createFile("Inbox/IMG_10.jpg");
        files.createFile("Inbox/IMG_2.jpg");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "1-IMG_2.jpg", "2-IMG_10.jpg" }));
    }

    // ---- Extensions ----

    TEST_F(WatchFolderStoreTest, ExtensionListAcceptsItsTypesInAnyCase)
    {
        const auto& folder = watch();
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.fileTypes = " JPG, png ,"; });
        tickAfter(0);
        files.createFile("Inbox/a.jpg");
        files.createFile("Inbox/b.PNG");
        files.createFile("Inbox/c.txt");
        files.createFile("Inbox/plain");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-x.jpg", "b-x.PNG", "c.txt", "plain" }));
    }

    TEST_F(WatchFolderStoreTest, APieceOfBlanksAloneLetsFilesWithoutAnExtensionThrough)
    {
        const auto& folder = watch();
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.fileTypes = "jpg, ,png"; });
        tickAfter(0);
        files.createFile("Inbox/plain");
        files.createFile("Inbox/c.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "c.txt", "plain-x" }));
    }

    // ---- Settings edits ----

    TEST_F(WatchFolderStoreTest, SwitchingOnAFolderLeavesItsFilesAloneAndRenamesNewOnes)
    {
        auto other = files.createFolder("Other");
        files.createFile("Other/there.txt");
        watch();
        const auto& folder = watch(other);
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.isEnabled = false; });
        watches->save();
        files.createFile("Other/while-off.txt");
        tickAfter(5);
        EXPECT_EQ(names(other), (std::vector<std::string> { "there.txt", "while-off.txt" }));

        // Switched on without saving: what is there stays, what arrives is renamed.
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.isEnabled = true; });
        tickAfter(0);
        files.createFile("Other/arrived.txt");
        tickAfter(0);
        tickAfter(3);
        tickAfter(3);
        EXPECT_EQ(names(other),
            (std::vector<std::string> { "arrived-x.txt", "there.txt", "while-off.txt" }));
    }

    TEST_F(WatchFolderStoreTest, WideningTheExtensionsOrIncludingSubfoldersLeavesExistingFilesAlone)
    {
        files.createFile("Inbox/old.txt");
        files.createFile("Inbox/sub/deep.txt");
        const auto& folder = watch();
        auto id = folder.id;
        watches->updateFolder(id, [](WatchFolder& each) { each.fileTypes = "jpg"; });
        watches->save();
        files.createFile("Inbox/later.txt");
        tickAfter(5);
        tickAfter(5);

        watches->updateFolder(id, [](WatchFolder& each) { each.fileTypes = ""; });
        tickAfter(1);
        tickAfter(5);
        watches->updateFolder(id, [](WatchFolder& each) { each.includeSubfolders = true; });
        tickAfter(1);
        tickAfter(5);
        watches->save();
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "later.txt", "old.txt", "sub" }));
        EXPECT_EQ(names(inbox / "sub"), (std::vector<std::string> { "deep.txt" }));

        files.createFile("Inbox/sub/new.txt");
        tickAfter(0);
        tickAfter(3);
        EXPECT_EQ(names(inbox / "sub"), (std::vector<std::string> { "deep.txt", "new-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, SwitchingOffActsAtOnceAndSwitchingOnAgainLooksAfresh)
    {
        const auto& folder = watch();
        auto id = folder.id;
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        watches->updateFolder(id, [](WatchFolder& each) { each.isEnabled = false; });
        EXPECT_TRUE(watches->pending().empty());
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        watches->updateFolder(id, [](WatchFolder& each) { each.isEnabled = true; });
        tickAfter(1);
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
    }

    TEST_F(WatchFolderStoreTest, SaveLooksAfreshOnlyAtNewOrChangedFolders)
    {
        watch();
        files.createFile("Inbox/settling.txt");
        tickAfter(0);
        ASSERT_EQ(watches->pending().size(), 1u);
        // Another folder added: saves and restarts monitoring.
        watch(files.createFolder("Second"));
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "settling-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, RemovingAFolderDropsItsCandidatesAtOnce)
    {
        const auto& folder = watch();
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        ASSERT_EQ(watches->pending().size(), 1u);
        watches->removeFolder(folder.id);
        EXPECT_TRUE(watches->folders().empty());
        EXPECT_TRUE(watches->pending().empty());
        EXPECT_FALSE(watches->isMonitoring());
        EXPECT_EQ(JSONFiles::load<std::vector<WatchFolder>>(WatchFolder::fileName),
            std::vector<WatchFolder> {});
    }

    // ---- Folders that cannot be listed ----

    TEST_F(WatchFolderStoreTest, AFolderMovedAwayAndBackKeepsWhatIsKnownOfIt)
    {
        files.createFile("Inbox/a.txt");
        watch();
        fs::rename(inbox, files / "Away");
        tickAfter(1);
        tickAfter(5);
        fs::rename(files / "Away", inbox);
        tickAfter(1);
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
    }

    TEST_F(WatchFolderStoreTest, AFolderWhoseGrantWentKeepsWhatIsKnownOfItForItsReturn)
    {
        files.createFile("Inbox/a.txt");
        watch();
        files.createFile("Inbox/pending.txt");
        tickAfter(0);
        store.folderAccess().remove(FileURL(inbox.string(), true));
        files.createFile("Inbox/while-away.txt");
        tickAfter(5);
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "pending.txt", "while-away.txt" }));
        EXPECT_EQ(watches->pending().size(), 1u);

        store.folderAccess().grant(FileURL(inbox.string(), true));
        tickAfter(1);
        tickAfter(3);
        tickAfter(3);
        // Files that arrived meanwhile are new; those there before are not.
        EXPECT_EQ(
            names(), (std::vector<std::string> { "a.txt", "pending-x.txt", "while-away-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, AnotherFolderAtThePathIsLookedAtAfresh)
    {
        watch();
        fs::rename(inbox, files / "Old");
        fs::create_directories(inbox);
        files.createFile("Inbox/b.txt");
        tickAfter(1);
        tickAfter(5);
        tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "b.txt" }));
    }

    TEST_F(WatchFolderStoreTest, AnUnreadableFolderOrSubfolderKeepsWhatIsKnownBelowIt)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "permissions do not stop the superuser";
        files.createFile("Inbox/a.txt");
        files.createFile("Inbox/sub/b.txt");
        const auto& folder = watch();
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.includeSubfolders = true; });
        watches->save();
        fs::permissions(inbox / "sub", fs::perms::none);
        tickAfter(5);
        fs::permissions(inbox / "sub", fs::perms::owner_all);
        tickAfter(5);
        fs::permissions(inbox, fs::perms::none);
        tickAfter(5);
        fs::permissions(inbox, fs::perms::owner_all);
        tickAfter(5);
        tickAfter(5);
        EXPECT_EQ(names(inbox / "sub"), (std::vector<std::string> { "b.txt" }));
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "sub" }));
    }

    // ---- sorvik's own renames ----

    TEST_F(WatchFolderStoreTest, TheWindowsRenameAndUndoAreNotRenamedAgainInAnyWatchFolder)
    {
        auto other = files.createFolder("Other");
        files.createFile("Inbox/a.txt");
        files.createFile("Other/b.txt");
        watch();
        watch(other);
        renameInWindow({ FileURL(inboxPath("a.txt")), FileURL((other / "b.txt").string()) },
            { patternRule("{name}-mine") });
        EXPECT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
        for (int tick = 0; tick < 5; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
        EXPECT_EQ(names(other), (std::vector<std::string> { "b-mine.txt" }));

        ASSERT_TRUE(waitUntilStoreIsIdle());
        store.undoLastApply();
        for (int tick = 0; tick < 5; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        EXPECT_EQ(names(other), (std::vector<std::string> { "b.txt" }));
        EXPECT_TRUE(watches->log().empty());
    }

    TEST_F(WatchFolderStoreTest, TheWindowsRenameThroughALinkIsKnownUnderTheWatchedSpelling)
    {
        fs::create_directory_symlink(inbox, files / "alias");
        files.createFile("Inbox/a.txt");
        watch();
        store.folderAccess().grant(FileURL((files / "alias").string(), true));
        renameInWindow(
            { FileURL((files / "alias" / "a.txt").string()) }, { patternRule("{name}-mine") });
        ASSERT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
        EXPECT_TRUE(watches->known(watches->folders()[0].id).contains(inboxPath("a-mine.txt")));
        for (int tick = 0; tick < 5; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a-mine.txt" }));
    }

    TEST_F(WatchFolderStoreTest, RevertingAWatchBatchIsNotUndoneByTheNextTicks)
    {
        watch();
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        ASSERT_EQ(names(), (std::vector<std::string> { "a-x.txt" }));
        store.revert(store.history()[0].id);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        for (int tick = 0; tick < 5; ++tick)
            tickAfter(5);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
    }

    TEST_F(WatchFolderStoreTest, ARecordedRenameFromElsewhereIsNotRenamedAgain)
    {
        watch();
        files.createFile("Inbox/b.txt");
        tickAfter(0);
        // Another process's renames reach this one only through "history.json".
        AutomationRunner(store, services)
            .run({ FileURL(inboxPath("b.txt")) }, { patternRule("{name}-cli") }, false);
        ASSERT_EQ(names(), (std::vector<std::string> { "b-cli.txt" }));
        tickAfter(1);
        tickAfter(3);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "b-cli.txt" }));
        EXPECT_TRUE(watches->log().empty());

        // Changed since its batch, it is a file like any other.
        files.createFile("Inbox/c.txt");
        AutomationRunner(store, services)
            .run({ FileURL(inboxPath("c.txt")) }, { patternRule("{name}-cli") }, false);
        files.createFile("Inbox/c-cli.txt", "edited");
        tickAfter(1);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "b-cli.txt", "c-cli-x.txt" }));
    }

    TEST_F(WatchFolderStoreTest, TheCommandLinesRenameInAnotherProcessIsNotRenamedAgain)
    {
        watch();
        files.createFile("Inbox/b.txt");
        tickAfter(0);
        QProcess sorvik;
        sorvik.start(QStringLiteral(SORVIK_PROGRAM),
            { "rename", "--apply", "--preset", "Suffix",
                QString::fromStdString(inboxPath("b.txt")) });
        ASSERT_TRUE(sorvik.waitForFinished(60'000));
        ASSERT_EQ(sorvik.exitCode(), 0) << sorvik.readAllStandardError().toStdString();
        ASSERT_EQ(names(), (std::vector<std::string> { "b-x.txt" }));
        tickAfter(1);
        tickAfter(3);
        tickAfter(3);
        EXPECT_EQ(names(), (std::vector<std::string> { "b-x.txt" }));
        EXPECT_TRUE(watches->log().empty());
    }

    TEST_F(WatchFolderStoreTest, SorviksDataFolderIsNeverLookedInto)
    {
        // The whole isolated home is watched, the data folder included.
        const auto& folder = watch(home.path());
        watches->updateFolder(folder.id, [](WatchFolder& each) { each.includeSubfolders = true; });
        watches->save();
        watches->appendLog("a line");
        tickAfter(0);
        tickAfter(3);
        EXPECT_TRUE(fs::exists(JSONFiles::applicationFolder() / WatchFolderStore::logFileName));
        EXPECT_EQ(watches->log().size(), 1u);
    }

    // ---- One watcher ----

    TEST_F(WatchFolderStoreTest, ASecondStoreCannotWatchWhileTheFirstHoldsTheLock)
    {
        watch();
        ASSERT_TRUE(watches->isMonitoring());
        WatchFolderStore::Collaborators collaborators;
        collaborators.runsWorkInline = true;
        WatchFolderStore second(store, std::move(collaborators));
        ASSERT_EQ(second.folders().size(), 1u);
        second.restart();
        EXPECT_FALSE(second.isMonitoring());
        EXPECT_EQ(second.error(), std::string(WatchLock::heldElsewhereText));

        watches.reset();
        second.restart();
        EXPECT_TRUE(second.isMonitoring());
    }

    // ---- Monitoring ----

    TEST_F(WatchFolderStoreTest, WithoutAnEnabledFolderNothingIsWatchedOrLookedAt)
    {
        makeStore();
        watches->restart();
        EXPECT_FALSE(watches->isMonitoring());
        EXPECT_TRUE(events->watched.empty());
        const auto& folder = watch();
        EXPECT_TRUE(watches->isMonitoring());
        ASSERT_EQ(events->watched.size(), 1u);
        ASSERT_EQ(events->watched[0].size(), 1u);
        EXPECT_EQ(events->watched[0][0].folder.path, inbox.string());

        watches->updateFolder(folder.id, [](WatchFolder& each) { each.isEnabled = false; });
        watches->save();
        EXPECT_FALSE(watches->isMonitoring());
        files.createFile("Inbox/a.txt");
        tickAfter(5);
        EXPECT_TRUE(watches->pending().empty());
    }

    // ---- Adding ----

    TEST_F(WatchFolderStoreTest, AnAddedFolderHasTheDefaultsAndIsSaved)
    {
        makeStore();
        QSignalSpy added(watches.get(), &WatchFolderStore::foldersChanged);
        const auto& folder = watch();
        EXPECT_EQ(added.count(), 1);
        EXPECT_EQ(folder.folder, FileURL(inbox.string(), true));
        EXPECT_EQ(folder.presetID, preset.id);
        EXPECT_FALSE(folder.includeSubfolders);
        EXPECT_EQ(folder.fileTypes, "");
        EXPECT_EQ(folder.settleSeconds, 3);
        EXPECT_TRUE(folder.isEnabled);
        EXPECT_EQ(Bookmark::resolve(folder.bookmark).url.path, inbox.string());
        EXPECT_TRUE(store.folderAccess().covers(FileURL(inbox.string(), true)));
        auto stored = JSONFiles::load<std::vector<WatchFolder>>(WatchFolder::fileName);
        ASSERT_TRUE(stored);
        EXPECT_EQ(*stored, watches->folders());
    }

    TEST_F(WatchFolderStoreTest, OverlappingFoldersAreRefused)
    {
        auto photos = files.createFolder("Photos");
        files.createFolder("Photos/inner");
        files.createFolder("Photos2");
        files.createFolder("Off");
        fs::create_directory_symlink(photos, files / "link");
        makeStore();
        watch(photos);
        const auto& off = watch(files / "Off");
        watches->updateFolder(off.id, [](WatchFolder& each) { each.isEnabled = false; });

        struct Case {
            std::string name;
            fs::path folder;
            bool refused;
        };
        const std::vector<Case> cases {
            { "equal", photos, true },
            { "equal with a dot", photos / ".", true },
            { "inside", photos / "inner", true },
            { "containing", files.path(), true },
            { "a folder switched off", files / "Off", true },
            { "a link to a watched folder", files / "link", true },
            { "a sibling with a longer name", files / "Photos2", false },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.name);
            auto before = watches->folders().size();
            QSignalSpy errors(watches.get(), &WatchFolderStore::errorChanged);
            watches->addFolder(preset.id, FileURL(each.folder.string(), true));
            if (each.refused) {
                EXPECT_EQ(watches->folders().size(), before);
                EXPECT_EQ(watches->error(), std::string(WatchFolderStore::overlapText));
            } else {
                EXPECT_EQ(watches->folders().size(), before + 1);
            }
        }
    }

    TEST_F(WatchFolderStoreTest, AFolderThatCannotBeGrantedIsNotAdded)
    {
        makeStore();
        watches->addFolder(preset.id, FileURL((files / "missing").string(), true));
        EXPECT_TRUE(watches->folders().empty());
        ASSERT_TRUE(watches->error());
        EXPECT_NE(watches->error()->find("missing"), std::string::npos);
        EXPECT_FALSE(fs::exists(JSONFiles::applicationFolder() / WatchFolder::fileName));
    }

    // ---- Files ----

    TEST_F(WatchFolderStoreTest, AnUndecodableFileIsNeverWrittenOver)
    {
        auto path = JSONFiles::applicationFolder() / WatchFolder::fileName;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "[{\"id\": 1}]";
        makeStore();
        ASSERT_TRUE(watches->error());
        EXPECT_TRUE(watches->folders().empty());
        watches->addFolder(preset.id, FileURL(inbox.string(), true));
        EXPECT_EQ(readFile(path), "[{\"id\": 1}]");
        ASSERT_TRUE(watches->error());
        EXPECT_TRUE(watches->error()->starts_with(WatchFolderStore::unreadableFoldersText));
        EXPECT_FALSE(watches->isMonitoring());
    }

    TEST_F(WatchFolderStoreTest, OneFolderThatIsGoneDoesNotKeepTheOthersFromLoading)
    {
        auto gone = files.createFolder("Gone");
        auto moved = files.createFolder("Moved");
        makeStore();
        watch(gone);
        watch(moved);
        watches.reset();
        fs::remove(gone);
        fs::rename(moved, files / "Moved elsewhere");

        makeStore();
        ASSERT_EQ(watches->folders().size(), 2u);
        EXPECT_EQ(watches->folders()[0].folder.path, gone.string());
        EXPECT_EQ(watches->folders()[1].folder.path, (files / "Moved elsewhere").string());
        EXPECT_EQ(
            watches->error(), "The file couldn\u2019t be opened because it doesn\u2019t exist.");
    }

    TEST_F(WatchFolderStoreTest, TheLogKeepsTheNewest200LinesFirstAndReadsBack)
    {
        makeStore();
        for (int line = 1; line <= 201; ++line)
            watches->appendLog("line " + std::to_string(line));
        ASSERT_EQ(watches->log().size(), 200u);
        EXPECT_EQ(logTexts().front(), "line 201");
        EXPECT_EQ(logTexts().back(), "line 2");
        auto stored = JSONFiles::load<std::vector<std::string>>(WatchFolderStore::logFileName);
        EXPECT_EQ(stored, watches->log());

        watches.reset();
        makeStore();
        EXPECT_EQ(watches->log().size(), 200u);
        EXPECT_EQ(logTexts().front(), "line 201");
    }

    TEST_F(WatchFolderStoreTest, AnUnreadableLogIsNeverLostAtTheFirstBatch)
    {
        auto path = JSONFiles::applicationFolder() / WatchFolderStore::logFileName;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "not a log";
        makeStore();
        ASSERT_TRUE(watches->error());
        watches->addFolder(preset.id, FileURL(inbox.string(), true));
        files.createFile("Inbox/a.txt");
        tickAfter(0);
        tickAfter(3);
        ASSERT_EQ(names(), (std::vector<std::string> { "a-x.txt" }));
        EXPECT_EQ(readFile(path.string() + ".damaged"), "not a log");
        EXPECT_EQ(JSONFiles::load<std::vector<std::string>>(WatchFolderStore::logFileName),
            watches->log());

        // A FIFO in its place is left as it is; the log lives in memory.
        watches.reset();
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        makeStore();
        watches->appendLog("kept in memory");
        EXPECT_EQ(logTexts(), (std::vector<std::string> { "kept in memory" }));
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(path)));
    }

    TEST_F(WatchFolderStoreTest, AHandEditedSettleTimeBeyondTheClockNeverSettles)
    {
        for (std::int64_t seconds :
            { std::int64_t { 9'223'372'037 }, std::numeric_limits<std::int64_t>::max() }) {
            SCOPED_TRACE(seconds);
            fs::remove_all(inbox);
            fs::create_directories(inbox);
            watches.reset();
            fs::remove(JSONFiles::applicationFolder() / WatchFolder::fileName);
            const auto& folder = watch();
            watches->updateFolder(
                folder.id, [&](WatchFolder& each) { each.settleSeconds = seconds; });
            files.createFile("Inbox/a.txt");
            tickAfter(0);
            tickAfter(1);
            tickAfter(60.0 * 60 * 24 * 365 * 100);
            EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));
        }
    }

    // ---- Start at login ----

    TEST_F(WatchFolderStoreTest, StartAtLoginFollowsTheLoginItemAndReportsItsFailures)
    {
        makeStore();
        QSignalSpy changed(watches.get(), &WatchFolderStore::loginItemChanged);
        EXPECT_FALSE(watches->startAtLogin());
        watches->setStartAtLogin(true);
        EXPECT_TRUE(watches->startAtLogin());
        watches->setStartAtLogin(false);
        EXPECT_FALSE(watches->startAtLogin());
        login->failure = "no session";
        watches->setStartAtLogin(true);
        EXPECT_FALSE(watches->startAtLogin());
        EXPECT_EQ(watches->error(), "no session");
        EXPECT_EQ(changed.count(), 3);
    }

    TEST(WatchFolderStoreShared, IsMadeOnceOnTheSharedStoreAndDoesNotWatchByItself)
    {
        auto& shared = WatchFolderStore::shared();
        EXPECT_EQ(&WatchFolderStore::shared(), &shared);
        EXPECT_EQ(shared.thread(), RenamerStore::shared().thread());
        EXPECT_FALSE(shared.isMonitoring());
    }

} // namespace
} // namespace sorvik
