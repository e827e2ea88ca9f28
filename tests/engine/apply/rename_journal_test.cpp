#include "engine/apply/rename_journal.h"

#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/uuid.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    std::uint64_t inodeOf(const fs::path& path)
    {
        struct stat status { };
        return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
    }

    // A batch's files and journal, put by hand into the state a killed process leaves.
    class InterruptedBatch : public ::testing::Test {
    protected:
        /// Adds a move of a file whose content is its source's name.
        void add(const std::string& from, const std::string& to)
        {
            if (!fs::exists(files / from))
                files.createFile(from, from);
            entries.push_back({ url(from), url("." + Uuid::random().text() + ".twtmp"), url(to),
                inodeOf(files / from) });
        }
        FileURL url(const std::string& relative) const
        {
            return FileURL((files / relative).string());
        }
        void rename(const FileURL& from, const FileURL& to) const
        {
            fs::rename(from.path, to.path);
        }
        void stage(std::size_t index) const { rename(entries[index].from, entries[index].temp); }
        void place(std::size_t index) const { rename(entries[index].temp, entries[index].to); }

        /// Writes the journal and lets it go as a killed process would.
        void abandonJournal() { RenameJournal::begin(journalFolder(), entries); }
        FileURL journalFolder() const { return FileURL((data / "sorvik").string(), true); }
        std::vector<std::string> journals() const
        {
            std::vector<std::string> names;
            if (fs::exists(data / "sorvik")) {
                for (const auto& entry : fs::directory_iterator(data / "sorvik"))
                    names.push_back(entry.path().filename().string());
            }
            return names;
        }
        std::vector<FileURL> recover()
        {
            LocalFileSystem fileSystem;
            return RenameExecutor(fileSystem, journalFolder()).recoverInterruptedBatches();
        }
        std::string contentAt(const std::string& relative) const
        {
            return fs::exists(files / relative) ? readFile(files / relative) : "<missing>";
        }
        std::vector<std::string> listing() const
        {
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(files.path()))
                names.push_back(entry.path().filename().string());
            std::sort(names.begin(), names.end());
            return names;
        }

        TemporaryFolder files;
        TemporaryFolder data;
        std::vector<RenameJournalEntry> entries;
    };

    TEST_F(InterruptedBatch, JournalReadsBackExactly)
    {
        add("a", "b");
        entries.push_back({ FileURL("/x/na\xFFme with\nline"), FileURL("/x/.t.twtmp"),
            FileURL("/y/z"), 18446744073709551615ULL });
        auto journal = RenameJournal::begin(journalFolder(), entries);
        EXPECT_TRUE(journal.isOpen());
        EXPECT_EQ(RenameJournal::read(journal.url()), entries);
        journal.finish();
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, ADamagedJournalIsReportedAndKept)
    {
        add("a", "b");
        abandonJournal();
        auto name = journals().at(0);
        auto path = data / "sorvik" / name;
        std::string text = readFile(path);
        for (std::size_t cut : { text.size() - 1, text.size() / 2, std::size_t(5) }) {
            fs::remove(path);
            data.createFile("sorvik/" + name, text.substr(0, cut));
            EXPECT_THROW(RenameJournal::read(FileURL(path.string())), Error);
            EXPECT_THROW(recover(), Error);
            EXPECT_EQ(journals().size(), 1U);
        }
    }

    TEST_F(InterruptedBatch, NothingToDoWhenNoFileIsAtATemporaryName)
    {
        // Finished moving but killed before the journal was removed: all are placed.
        add("a", "b");
        add("b", "a");
        stage(0);
        stage(1);
        place(0);
        place(1);
        abandonJournal();
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "b");
        EXPECT_EQ(contentAt("b"), "a");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, StagedFilesReturnToTheirSources)
    {
        add("1", "one");
        add("2", "two");
        add("3", "three");
        abandonJournal();
        stage(0);
        stage(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "1", "2", "3" }));
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, PlacedFilesOfASwapGoBackToo)
    {
        add("a", "b");
        add("b", "a");
        add("c", "d");
        abandonJournal();
        for (std::size_t index = 0; index < entries.size(); ++index)
            stage(index);
        place(0);
        place(1);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_EQ(contentAt("b"), "b");
        EXPECT_EQ(contentAt("c"), "c");
        EXPECT_EQ(listing(), (std::vector<std::string> { "a", "b", "c" }));
    }

    TEST_F(InterruptedBatch, RotationWithoutFileNumbersIsStillResolved)
    {
        // A volume that renumbers its files when mounted again: placed files are found only
        // because they stand in a source's way.
        add("c", "a");
        add("a", "b");
        add("b", "c");
        for (auto& entry : entries)
            entry.inode = 0;
        abandonJournal();
        for (std::size_t index = 0; index < entries.size(); ++index)
            stage(index);
        place(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_EQ(contentAt("b"), "b");
        EXPECT_EQ(contentAt("c"), "c");
    }

    TEST_F(InterruptedBatch, AFileUnderTwoNamesKeepsOne)
    {
        // Killed between link and unlink, once while staging and once while placing.
        add("a", "x");
        add("b", "y");
        add("c", "z");
        abandonJournal();
        fs::create_hard_link(entries[0].from.path, entries[0].temp.path);
        stage(1);
        fs::create_hard_link(entries[1].temp.path, entries[1].to.path);
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(listing(), (std::vector<std::string> { "a", "b", "c" }));
        EXPECT_EQ(fs::hard_link_count(files / "a"), 1U);
        EXPECT_EQ(fs::hard_link_count(files / "b"), 1U);
    }

    TEST_F(InterruptedBatch, ASourceTakenByAnotherFileLeavesTheJournalForLater)
    {
        add("a", "b");
        add("c", "d");
        abandonJournal();
        stage(0);
        stage(1);
        files.createFile("a", "someone else's");
        auto left = recover();
        ASSERT_EQ(left.size(), 1U);
        EXPECT_EQ(left[0], entries[0].temp);
        EXPECT_EQ(contentAt("a"), "someone else's");
        EXPECT_EQ(contentAt("c"), "c");
        EXPECT_EQ(journals().size(), 1U);

        fs::remove(files / "a");
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
        EXPECT_TRUE(journals().empty());
    }

    TEST_F(InterruptedBatch, ARunningBatchIsLeftAlone)
    {
        add("a", "b");
        auto journal = RenameJournal::begin(journalFolder(), entries);
        stage(0);
        EXPECT_TRUE(recover().empty());
        EXPECT_TRUE(fs::exists(entries[0].temp.path));
        EXPECT_EQ(journals().size(), 1U);
        journal = RenameJournal();
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(contentAt("a"), "a");
    }

    TEST_F(InterruptedBatch, AJournalThatNeverGotItsNameIsRemoved)
    {
        data.createFile(
            "sorvik/" + std::string(RenameJournal::fileNamePrefix) + Uuid::random().text() + ".tmp",
            "sorvik rename");
        data.createFile("sorvik/history.json", "[]");
        EXPECT_TRUE(recover().empty());
        EXPECT_EQ(journals(), (std::vector<std::string> { "history.json" }));
    }

    TEST_F(InterruptedBatch, NoJournalFolderIsNoFailure) { EXPECT_TRUE(recover().empty()); }

} // namespace
} // namespace sorvik
