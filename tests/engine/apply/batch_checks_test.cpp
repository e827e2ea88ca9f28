#include "engine/apply/batch_checks.h"

#include "engine/apply/local_file_system.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::CaseInsensitiveFileSystem;
    using testing::FailingFileSystem;
    using testing::FileSystemCall;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    class BatchChecksTest : public ::testing::Test {
    protected:
        FileURL url(const std::string& relative) const
        {
            return FileURL((folder / relative).string());
        }

        TemporaryFolder folder;
        LocalFileSystem fileSystem;
    };

    TEST_F(BatchChecksTest, OneEntryIsOneNameOfOneFolderReachedTwice)
    {
        folder.createFile("files/a.txt");
        folder.createFile("files/b.txt");
        folder.createFile("files/B.txt");
        folder.createFile("files/c.txt");
        fs::create_hard_link(folder / "files/a.txt", folder / "files/A.txt");
        fs::create_hard_link(folder / "files/c.txt", folder / "files/d.txt");
        folder.createFolder("other");
        fs::create_hard_link(folder / "files/c.txt", folder / "other/c.txt");
        fs::create_directory_symlink(folder / "files", folder / "again");
        struct Case {
            const char* first;
            const char* second;
            bool isOneEntry;
        };
        const Case cases[] {
            { "files/a.txt", "again/a.txt", true },
            { "files/a.txt", "files/./a.txt", true },
            // Two names of one file, alike but for letter case, on a volume that tells case
            // apart.
            { "files/a.txt", "files/A.txt", false },
            { "again/a.txt", "files/A.txt", false },
            // Two files.
            { "files/b.txt", "files/B.txt", false },
            // Two names of one file that are not alike, or in two folders.
            { "files/c.txt", "files/d.txt", false },
            { "files/c.txt", "other/c.txt", false },
            { "files/missing.txt", "files/MISSING.txt", false },
            { "files/a.txt", "files/missing.txt", false },
        };
        for (const auto& each : cases) {
            EXPECT_EQ(BatchChecks::isOneEntry(fileSystem, url(each.first), url(each.second)),
                each.isOneEntry)
                << each.first << " " << each.second;
        }
    }

    TEST_F(BatchChecksTest, TwoSpellingsAreOneEntryWhereTheVolumeIgnoresLetterCase)
    {
        CaseInsensitiveFileSystem insensitive;
        insensitive.addFolder("/v");
        insensitive.addFile("/v/photo.JPG");
        insensitive.addFile("/v/other.jpg");
        EXPECT_TRUE(
            BatchChecks::isOneEntry(insensitive, FileURL("/v/photo.JPG"), FileURL("/v/PHOTO.jpg")));
        EXPECT_FALSE(
            BatchChecks::isOneEntry(insensitive, FileURL("/v/photo.JPG"), FileURL("/v/other.jpg")));
    }

    TEST_F(BatchChecksTest, AVolumeThatCannotBeReadWholeCountsAFileOfManyNamesAsOneEntry)
    {
        folder.createFile("a.txt");
        folder.createFile("b.txt");
        fs::create_hard_link(folder / "a.txt", folder / "A.txt");
        FailingFileSystem unread;
        unread.fails = [](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::findNames;
        };
        EXPECT_TRUE(BatchChecks::isOneEntry(unread, url("a.txt"), url("A.txt")));
        // A file of one name is one entry however it is spelled; two files are two.
        EXPECT_TRUE(BatchChecks::isOneEntry(unread, url("b.txt"), url("b.txt")));
        EXPECT_FALSE(BatchChecks::isOneEntry(unread, url("b.txt"), url("a.txt")));
    }

    TEST_F(BatchChecksTest, FindsTheMovingSourcesThatAreOneEntryAndTheMissingOnes)
    {
        folder.createFile("files/a.txt");
        folder.createFile("files/c.txt");
        fs::create_hard_link(folder / "files/a.txt", folder / "files/A.txt");
        fs::create_directory_symlink(folder / "files", folder / "again");
        std::vector<FileURL> urls { url("files/a.txt"), url("files/A.txt"), url("again/a.txt"),
            url("files/gone.txt"), url("files/c.txt"), url("again/./c.txt"), url("nowhere/x.txt") };
        std::vector<const FileURL*> sources;
        for (const auto& each : urls)
            sources.push_back(&each);
        auto answers = BatchChecks::findSources(fileSystem, sources,
            { true, true, true, true, true, false, true },
            [&](const FileURL& url) { return fileSystem.itemExists(url); });
        EXPECT_EQ(
            answers.missing, (std::vector<bool> { false, false, false, true, false, false, true }));
        // "again/./c.txt" does not move, so it takes nothing from "files/c.txt"; the names of
        // one file alike but for letter case are two entries.
        EXPECT_EQ(
            answers.sameEntries, (std::vector<std::pair<std::size_t, std::size_t>> { { 0, 2 } }));
    }

    TEST_F(BatchChecksTest, TwoSpellingsOfOneFileAreOneEntryGivenTwiceWhereTheVolumeIgnoresCase)
    {
        CaseInsensitiveFileSystem insensitive;
        insensitive.addFolder("/v");
        insensitive.addFile("/v/photo.JPG");
        insensitive.addFile("/v/other.jpg");
        std::vector<FileURL> urls { FileURL("/v/other.jpg"), FileURL("/v/photo.JPG"),
            FileURL("/v/PHOTO.jpg") };
        std::vector<const FileURL*> sources { &urls[0], &urls[1], &urls[2] };
        auto answers = BatchChecks::findSources(insensitive, sources, { true, true, true },
            [&](const FileURL& url) { return insensitive.itemExists(url); });
        EXPECT_EQ(answers.missing, (std::vector<bool> { false, false, false }));
        EXPECT_EQ(
            answers.sameEntries, (std::vector<std::pair<std::size_t, std::size_t>> { { 1, 2 } }));
    }

    TEST_F(BatchChecksTest, FolderStateFindsWhatStandsInTheWay)
    {
        folder.createFolder("files/real");
        folder.createFile("files/x");
        folder.createFile("files/deep/y");
        fs::create_directory_symlink(folder / "files/real", folder / "files/link");
        fs::create_symlink(folder / "files/x", folder / "files/fileLink");
        struct Case {
            const char* folder;
            FolderAnswer::Kind kind;
            const char* blocking;
        };
        using Kind = FolderAnswer::Kind;
        const Case cases[] {
            { "files/real", Kind::usable, "" },
            { "files/new", Kind::usable, "" },
            { "files/new/deeper", Kind::usable, "" },
            { "files/link", Kind::usable, "" },
            { "files/link/new", Kind::usable, "" },
            { "files/x", Kind::notAFolder, "files/x" },
            { "files/x/y/z", Kind::notAFolder, "files/x" },
            { "files/deep/y/z", Kind::notAFolder, "files/deep/y" },
            { "files/fileLink", Kind::notAFolder, "files/fileLink" },
        };
        for (const auto& each : cases) {
            auto answer = BatchChecks::folderState(
                fileSystem, FileURL(url(each.folder).path, true), FileURL(url("files").path, true));
            EXPECT_EQ(answer.kind, each.kind) << each.folder;
            if (each.kind == Kind::notAFolder) {
                EXPECT_EQ(answer.blocking.path, url(each.blocking).path) << each.folder;
            }
        }
    }

    TEST_F(BatchChecksTest, AFolderThatCannotBeOpenedTakesNoFiles)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "root opens every folder";
        folder.createFolder("files/locked/inner");
        ::chmod((folder / "files/locked").c_str(), 0);
        auto answer = BatchChecks::folderState(fileSystem,
            FileURL(url("files/locked/inner").path, true), FileURL(url("files").path, true));
        ::chmod((folder / "files/locked").c_str(), 0700);
        EXPECT_EQ(answer.kind, FolderAnswer::Kind::unusable);
    }

} // namespace
} // namespace sorvik
