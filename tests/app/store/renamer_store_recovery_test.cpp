#include "app/store/renamer_store.h"

#include "app/store/batch_recovery.h"
#include "app/store/folder_access_manager.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <sys/stat.h>

// What the store does at its start with the batches that an earlier process left unfinished.
namespace sorvik {
namespace {

    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::readFile;
    using testing::TemporaryFolder;

    TEST(StoreStartupRecovery, PutsBackInterruptedBatchesAndNamesWhatStaysBehind)
    {
        IsolatedHome home;
        TemporaryFolder files;
        FolderAccessManager().grant(FileURL(files.path().string(), true));
        auto temporary
            = [&] { return FileURL((files / ("." + Uuid::random().text() + ".twtmp")).string()); };
        auto staged = temporary();
        auto stranded = temporary();
        files.createFile(staged.path.substr(files.path().string().size() + 1), "alpha");
        files.createFile(stranded.path.substr(files.path().string().size() + 1), "beta");
        files.createFile("b.txt", "someone else's");
        struct stat status { };
        ASSERT_EQ(::stat(staged.path.c_str(), &status), 0);
        {
            // A batch whose process died after both files reached their temporary names; the
            // second file's old name is taken since.
            std::vector<RenameJournalEntry> entries {
                { FileURL((files / "a.txt").string()), staged,
                    FileURL((files / "a-new.txt").string()), status.st_ino },
                { FileURL((files / "b.txt").string()), stranded,
                    FileURL((files / "b-new.txt").string()), 0 },
            };
            auto journal = RenameJournal::begin(batchJournalFolder(), entries);
        }

        RenamerStore store(std::make_shared<FakeServices>());
        EXPECT_EQ(readFile(files / "a.txt"), "alpha");
        EXPECT_EQ(store.message(),
            "An interrupted rename was put back as far as it could be.\n"
            "Some files could not be restored. They remain at:\n"
                + stranded.path + " (originally " + (files / "b.txt").string() + ")");
        EXPECT_EQ(readFile(stranded.path), "beta");
    }

    TEST(StoreStartupRecovery, NamesEachFileLeftBehindWhereItIsOrAsNotFound)
    {
        IsolatedHome home;
        TemporaryFolder files;
        FolderAccessManager().grant(FileURL(files.path().string(), true));
        auto temporary
            = [&] { return FileURL((files / ("." + Uuid::random().text() + ".twtmp")).string()); };
        auto inodeOf = [](const std::filesystem::path& path) {
            struct stat status { };
            return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
        };
        std::vector<RenameJournalEntry> entries;
        for (const char* name : { "a", "b", "c" }) {
            files.createFile(name, name);
            entries.push_back({ FileURL((files / name).string()), temporary(),
                FileURL((files / (std::string(name) + "-new")).string()), inodeOf(files / name) });
        }
        // Killed with every file staged and the first two placed; the first was renamed again
        // since, the second deleted.
        RenameJournal::begin(batchJournalFolder(), entries);
        for (const auto& entry : entries)
            std::filesystem::rename(entry.from.path, entry.temp.path);
        for (std::size_t index : { 0, 1 })
            std::filesystem::rename(entries[index].temp.path, entries[index].to.path);
        std::filesystem::rename(entries[0].to.path, files / "a-new-x");
        std::filesystem::remove(entries[1].to.path);

        EXPECT_EQ(recoverInterruptedBatches(),
            "An interrupted rename was put back as far as it could be.\n"
            "Some files could not be restored. They remain at:\n"
                + (files / "a-new-x").string() + " (originally " + entries[0].from.path
                + ")\n"
                  "Some files were not found where the rename left them, so they could not be "
                  "put back. Once a file is back at the place shown, the next start of sorvik "
                  "puts it home:\n"
                + entries[1].temp.path + " (originally " + entries[1].from.path + ")");
        EXPECT_EQ(readFile(files / "c"), "c");
        EXPECT_EQ(readFile(files / "a-new-x"), "a");
    }

    TEST(StoreStartupRecovery, ABatchKilledAfterItsMovesGetsItsRecordAtTheNextStart)
    {
        IsolatedHome home;
        TemporaryFolder files;
        FolderAccessManager().grant(FileURL(files.path().string(), true));
        files.createFile("a.txt", "alpha");
        FileURL from((files / "a.txt").string());
        FileURL to((files / "b.txt").string());
        auto id = Uuid::random();
        {
            LocalFileSystem fileSystem;
            BatchOptions options;
            options.recordId = id;
            auto applied
                = RenameExecutor(fileSystem, batchJournalFolder()).apply({ { from, to } }, options);
            // Killed here: moved and marked complete, no history yet.
        }
        RenamerStore store(std::make_shared<FakeServices>());
        EXPECT_FALSE(store.message());
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1U);
        EXPECT_EQ(history[0].id, id);
        EXPECT_EQ(history[0].moves, (std::vector<RenameMove> { { from, to } }));
        EXPECT_EQ(history[0].validateForUndo(), (std::vector<RenameMove> { { to, from } }));
        EXPECT_EQ(readFile(files / "b.txt"), "alpha");

        // Once recorded, the journal is gone: a second start adds nothing.
        RenamerStore again(std::make_shared<FakeServices>());
        EXPECT_EQ(HistoryFile::load().size(), 1U);
    }

    TEST(StoreStartupRecovery, ARecoveredRecordIsAddedOnceInDateOrder)
    {
        IsolatedHome home;
        auto record = [](double date) {
            HistoryRecord made;
            made.id = Uuid::random();
            made.date = Date { date };
            return made;
        };
        std::vector<HistoryRecord> stored { record(300), record(100) };
        JSONFiles::save(stored, HistoryFile::fileName);
        auto recovered = record(200);
        recordRecoveredBatch(recovered);
        recordRecoveredBatch(recovered);
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 3U);
        EXPECT_EQ(history[0].id, stored[0].id);
        EXPECT_EQ(history[1].id, recovered.id);
        EXPECT_EQ(history[2].id, stored[1].id);
    }

    TEST(StoreStartupRecovery, NothingToRecoverSaysNothing)
    {
        IsolatedHome home;
        RenamerStore store(std::make_shared<FakeServices>());
        EXPECT_FALSE(store.message());
    }

} // namespace
} // namespace sorvik
