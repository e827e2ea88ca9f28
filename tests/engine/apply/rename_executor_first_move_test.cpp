// The last moment a batch can be dropped: after its checks, backup and journal, just before
// its first move. A batch dropped there leaves nothing behind: no file moved, no journal, no
// backup.
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/uuid.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    struct Dropped { };

    /// Every entry below `folder`, hidden ones included, as relative paths with their content.
    std::vector<std::string> listing(const fs::path& folder)
    {
        std::vector<std::string> entries;
        if (!fs::exists(folder))
            return entries;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            auto name = fs::relative(entry.path(), folder).string();
            entries.push_back(entry.is_regular_file() ? name + "=" + readFile(entry.path()) : name);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    class FirstMove : public ::testing::Test {
    protected:
        FirstMove()
        {
            for (const char* name : { "a", "b", "c" })
                files.createFile(name, name);
        }

        FileURL url(const std::string& relative) const
        {
            return FileURL((files / relative).string());
        }

        /// A swap, and a move into a folder the batch makes.
        std::vector<RenameMove> moves() const
        {
            return { { url("a"), url("b") }, { url("b"), url("a") }, { url("c"), url("new/c") } };
        }

        TemporaryFolder files;
        TemporaryFolder data;
        LocalFileSystem fileSystem;
    };

    TEST_F(FirstMove, WhatTheHookThrowsDropsTheBatchWithNothingLeftBehind)
    {
        struct Case {
            bool journal;
            bool backup;
            /// Something of the user's in the backup folder before the batch.
            bool backupFolderInUse;
        };
        for (const auto& each : { Case { false, false, false }, Case { true, false, false },
                 Case { false, true, false }, Case { true, true, false },
                 Case { true, true, true } }) {
            std::string label = std::string(each.journal ? "journal" : "no journal")
                + (each.backup ? ", backup" : "") + (each.backupFolderInUse ? " in use" : "");
            auto before = listing(files.path());
            auto backupFolder = data / "Backups" / Uuid::random().text();
            if (each.backupFolderInUse)
                data.createFile(fs::relative(backupFolder / "mine.txt", data.path()).string(), "m");
            auto backupBefore = listing(backupFolder);

            BatchOptions options;
            if (each.backup)
                options.backupDirectory = FileURL(backupFolder.string(), true);
            int calls = 0;
            options.beforeFirstMove = [&] {
                ++calls;
                // Everything but the moves is done, and nothing has moved.
                EXPECT_EQ(listing(files.path()), before) << label;
                if (each.backup) {
                    EXPECT_EQ(readFile(backupFolder / "2_c"), "c") << label;
                }
                throw Dropped {};
            };
            std::optional<FileURL> journalFolder;
            if (each.journal)
                journalFolder = FileURL((data / "journals").string(), true);
            RenameExecutor executor(fileSystem, journalFolder);
            EXPECT_THROW(executor.apply(moves(), options), Dropped) << label;

            EXPECT_EQ(calls, 1) << label;
            EXPECT_EQ(listing(files.path()), before) << label;
            EXPECT_EQ(listing(data / "journals"), std::vector<std::string> {}) << label;
            EXPECT_EQ(listing(backupFolder), backupBefore) << label;
            EXPECT_EQ(fs::exists(backupFolder), each.backupFolderInUse) << label;
        }
    }

    TEST_F(FirstMove, AHookThatReturnsLetsTheBatchThrough)
    {
        BatchOptions options;
        int calls = 0;
        options.beforeFirstMove = [&] { ++calls; };
        RenameExecutor executor(fileSystem, FileURL((data / "journals").string(), true));
        auto applied = executor.apply(moves(), options);
        applied.journal.finish();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(
            listing(files.path()), (std::vector<std::string> { "a=b", "b=a", "new", "new/c=c" }));
    }

    TEST_F(FirstMove, ABatchThatWillNotMoveNeverReachesIt)
    {
        files.createFile("taken", "taken");
        int calls = 0;
        BatchOptions options;
        options.beforeFirstMove = [&] { ++calls; };
        RenameExecutor executor(fileSystem);
        // Refused by its checks.
        EXPECT_THROW(executor.apply({ { url("a"), url("taken") } }, options), RenameExecutionError);
        // Nothing to move: every file stays where it is.
        executor.apply({ { url("a"), url("a") } }, options);
        EXPECT_EQ(calls, 0);
    }

    TEST(RenameJournalNaming, WhatTheHookThrowsLeavesNoJournal)
    {
        TemporaryFolder folder;
        FileURL journals(folder.path().string(), true);
        RenameJournalBatch batch;
        batch.entries = { { FileURL("/x/a"), FileURL("/x/.t"), FileURL("/x/b"), 1 } };
        auto throwing = [] { throw Dropped {}; };
        EXPECT_THROW(RenameJournal::begin(journals, batch, {}, throwing), Dropped);
        EXPECT_TRUE(fs::is_empty(folder.path()));
        // Where a file cannot be made without a name, it is never named either.
        EXPECT_THROW(RenameJournal::beginNamed(journals, batch, {}, throwing), Dropped);
        EXPECT_TRUE(fs::is_empty(folder.path()));

        bool asked = false;
        auto journal = RenameJournal::begin(journals, batch, {}, [&] {
            asked = true;
            EXPECT_TRUE(fs::is_empty(folder.path()));
        });
        EXPECT_TRUE(asked);
        EXPECT_EQ(RenameJournal::read(journal.url()).batch, batch);
        journal.finish();
    }

} // namespace
} // namespace sorvik
