#include "app/automation/watch_running_batches.h"

#include "engine/apply/rename_journal.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::TemporaryFolder;

    class RunningBatchesTest : public ::testing::Test {
    protected:
        FileURL journals() const { return FileURL((files / "journals").string(), true); }

        /// A journal of a batch moving `from` to `to`, held as a running batch holds it.
        RenameJournal begin(const fs::path& from, const fs::path& to,
            std::vector<FileURL> plannedFolders = {}) const
        {
            RenameJournalEntry entry { FileURL(from.string()),
                FileURL((from.parent_path() / ".twtmp-0-a").string()), FileURL(to.string()), 0 };
            return RenameJournal::begin(journals(),
                RenameJournalBatch {
                    std::nullopt, std::nullopt, { entry }, std::move(plannedFolders) });
        }

        FolderIdentity identity(const fs::path& folder) const
        {
            return *folderIdentity(folder.string());
        }

        TemporaryFolder files;
        RunningBatches batches;
    };

    TEST_F(RunningBatchesTest, ARunningBatchHoldsTheFoldersItsJournalNames)
    {
        auto source = files.createFolder("source");
        auto target = files.createFolder("target");
        auto planned = files.createFolder("target/2025");
        auto other = files.createFolder("other");
        EXPECT_TRUE(batches.heldFolders(journals()).empty());

        auto journal
            = begin(source / "a.txt", target / "b.txt", { FileURL(planned.string(), true) });
        auto held = batches.heldFolders(journals());
        EXPECT_EQ(
            held, (FolderIdentities { identity(source), identity(target), identity(planned) }));
        EXPECT_FALSE(held.contains(identity(other)));
        // Asked again, the same; the journal is read once.
        EXPECT_EQ(batches.heldFolders(journals()), held);

        journal.finish();
        EXPECT_TRUE(batches.heldFolders(journals()).empty());
    }

    TEST_F(RunningBatchesTest, FoldersAreHeldWhicheverPathTheJournalNamesThemBy)
    {
        auto real = files.createFolder("real");
        fs::create_directory_symlink(real, files / "alias");
        auto journal = begin(files / "alias" / "a.txt", files / "alias" / "b.txt");
        EXPECT_EQ(batches.heldFolders(journals()), (FolderIdentities { identity(real) }));
    }

    TEST_F(RunningBatchesTest, AJournalThatNoProcessHoldsHoldsNothing)
    {
        auto source = files.createFolder("source");
        {
            auto journal = begin(source / "a.txt", source / "b.txt");
            // The batch's process ends without finishing: the lock goes, the file stays.
        }
        ASSERT_FALSE(fs::is_empty(journals().path));
        EXPECT_TRUE(batches.heldFolders(journals()).empty());
        // Looking did not keep recovery from taking it.
        for (const auto& entry : fs::directory_iterator(journals().path)) {
            int descriptor = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(descriptor, 0);
            EXPECT_TRUE(RenameJournal::lockIfAbandoned(descriptor));
            ::close(descriptor);
        }
    }

    TEST_F(RunningBatchesTest, AJournalWhoseProcessDiedHoldsTheFilesItNamesUntilItGoes)
    {
        auto source = files.createFolder("source");
        auto target = files.createFolder("target");
        {
            // Its process died: the lock went with it, the journal stays for recovery.
            auto journal = begin(source / "a.txt", target / "b.txt");
        }
        auto held = batches.held(journals());
        EXPECT_TRUE(held.folders.empty()) << "no batch runs there";
        EXPECT_FALSE(held.anyRunning);
        EXPECT_EQ(held.files,
            (HeldFiles { { identity(source), { "a.txt", ".twtmp-0-a" } },
                { identity(target), { "b.txt" } } }));
        EXPECT_TRUE(held.anyNewlyAbandoned);
        // Until its recovery was tried, and again once monitoring starts afresh.
        EXPECT_TRUE(batches.held(journals()).anyNewlyAbandoned);
        batches.recoveryTried();
        held = batches.held(journals());
        EXPECT_FALSE(held.anyNewlyAbandoned);
        EXPECT_FALSE(held.files.empty()) << "held until it is gone";
        batches.lookAfresh();
        EXPECT_TRUE(batches.held(journals()).anyNewlyAbandoned);

        fs::remove_all(journals().path);
        held = batches.held(journals());
        EXPECT_TRUE(held.files.empty());
        EXPECT_FALSE(held.anyNewlyAbandoned);
    }

    TEST_F(RunningBatchesTest, AJournalOfAFinishedBatchHoldsItsFilesAndAsksForNoRecovery)
    {
        auto source = files.createFolder("source");
        {
            // Moved, but killed before its record was written: the next start records it.
            auto journal = begin(source / "a.txt", source / "b.txt");
            ASSERT_TRUE(journal.markComplete({ Date::now(), {} }));
        }
        auto held = batches.held(journals());
        EXPECT_EQ(
            held.files, (HeldFiles { { identity(source), { "a.txt", ".twtmp-0-a", "b.txt" } } }));
        EXPECT_FALSE(held.anyNewlyAbandoned);
    }

    TEST_F(RunningBatchesTest, ARunningBatchIsToldFromOneThatEnded)
    {
        auto source = files.createFolder("source");
        auto journal = begin(source / "a.txt", source / "b.txt");
        auto held = batches.held(journals());
        EXPECT_TRUE(held.anyRunning);
        EXPECT_FALSE(held.anyNewlyAbandoned);
        EXPECT_TRUE(held.files.empty()) << "its whole folder is held";
        EXPECT_EQ(held.folders, (FolderIdentities { identity(source) }));
    }

    TEST_F(RunningBatchesTest, WhatIsNotAReadableJournalHoldsNothingAndNeverStalls)
    {
        auto source = files.createFolder("source");
        auto folder = files.createFolder("journals");
        auto name
            = std::string(RenameJournal::fileNamePrefix) + "8C9A6D4B-3A9F-4E4B-9C2D-1F2E3D4C5B6A";
        ASSERT_EQ(::mkfifo((folder / name).c_str(), 0600), 0);
        fs::create_symlink(source,
            folder
                / (std::string(RenameJournal::fileNamePrefix)
                    + "1C9A6D4B-3A9F-4E4B-9C2D-1F2E3D4C5B6A"));
        auto damaged = folder
            / (std::string(RenameJournal::fileNamePrefix) + "2C9A6D4B-3A9F-4E4B-9C2D-1F2E3D4C5B6A");
        std::ofstream(damaged) << "damaged";
        // Held, as a running batch holds its journal, but not a journal at all.
        int descriptor = ::open(damaged.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::flock(descriptor, LOCK_EX), 0);
        EXPECT_TRUE(batches.heldFolders(journals()).empty());
        ::close(descriptor);
        EXPECT_TRUE(batches.heldFolders(FileURL((files / "missing").string(), true)).empty());
    }

} // namespace
} // namespace sorvik
