#include "engine/apply/rename_executor.h"

#include "engine/apply/backup_folder.h"
#include "engine/apply/local_file_system.h"
#include "engine/model/json.h"
#include "engine/model/text.h"
#include "engine/model/uuid.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::CaseInsensitiveFileSystem;
    using testing::FailingFileSystem;
    using testing::FileSystemCall;
    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    // A folder of files whose content is their own name, renamed by relative paths.
    class Batch {
    public:
        explicit Batch(std::vector<std::string> files)
        {
            for (const auto& file : files)
                folder.createFile(file, file);
        }

        FileURL url(const std::string& relative) const
        {
            return FileURL((folder / relative).string());
        }
        RenameMove move(const std::string& from, const std::string& to) const
        {
            return { url(from), url(to) };
        }
        std::string contentAt(const std::string& relative) const
        {
            return fs::exists(folder / relative) ? readFile(folder / relative) : "<missing>";
        }
        /// Every file below the folder, as relative paths.
        std::vector<std::string> listing() const
        {
            std::vector<std::string> names;
            for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
                names.push_back(fs::relative(entry.path(), folder.path()).string());
            std::sort(names.begin(), names.end());
            return names;
        }

        TemporaryFolder folder;
    };

    std::string failureText(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "<no failure>";
    }

    TEST(RenameExecutor, MovesThatStayInPlaceAreDropped)
    {
        Batch batch({ "a/x.txt" });
        FailingFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        auto created
            = executor.execute({ { FileURL(batch.url("a/b/../x.txt")), batch.url("a/x.txt") },
                { batch.url("a/./x.txt"), batch.url("a/x.txt") } });
        EXPECT_TRUE(created.empty());
        EXPECT_TRUE(fileSystem.calls.empty());
        EXPECT_EQ(batch.contentAt("a/x.txt"), "a/x.txt");
    }

    TEST(RenameExecutor, SwapsAndRotatesNames)
    {
        Batch batch({ "a", "b", "c", "d", "e", "plain" });
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        auto created
            = executor.execute({ batch.move("a", "b"), batch.move("b", "a"), batch.move("c", "d"),
                batch.move("d", "e"), batch.move("e", "c"), batch.move("plain", "renamed") });
        EXPECT_TRUE(created.empty());
        EXPECT_EQ(batch.contentAt("a"), "b");
        EXPECT_EQ(batch.contentAt("b"), "a");
        EXPECT_EQ(batch.contentAt("c"), "e");
        EXPECT_EQ(batch.contentAt("d"), "c");
        EXPECT_EQ(batch.contentAt("e"), "d");
        EXPECT_EQ(batch.contentAt("renamed"), "plain");
        EXPECT_EQ(
            batch.listing(), (std::vector<std::string> { "a", "b", "c", "d", "e", "renamed" }));
    }

    TEST(RenameExecutor, ChangesOnlyTheLetterCaseOnACaseInsensitiveVolume)
    {
        CaseInsensitiveFileSystem fileSystem;
        fileSystem.addFolder("/v");
        fileSystem.addFile("/v/photo.JPG");
        // Why the executor passes through a temporary name: a direct move finds its own file.
        EXPECT_THROW(
            fileSystem.moveItem(FileURL("/v/photo.JPG"), FileURL("/v/photo.jpg")), FileSystemError);

        RenameExecutor executor(fileSystem);
        executor.execute({ { FileURL("/v/photo.JPG"), FileURL("/v/photo.jpg") } });
        EXPECT_EQ(fileSystem.spelling("/v/photo.jpg"), "/v/photo.jpg");
    }

    TEST(RenameExecutor, RefusesBatchesThatNameOneFileTwice)
    {
        Batch batch({ "Report.txt", "other.txt", "third.txt" });
        TemporaryFolder links;
        fs::create_directory_symlink(batch.folder.path(), links / "again");
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        const std::vector<std::vector<RenameMove>> batches = {
            { batch.move("other.txt", "Report.txt"), batch.move("third.txt", "report.txt") },
            // One name reached by two paths.
            { batch.move("other.txt", "x.txt"),
                { FileURL((links / "again/other.txt").string()), batch.url("y.txt") } },
            { batch.move("other.txt", "x.txt"), batch.move("./other.txt", "y.txt") },
            // Letter case beyond ASCII, and a name whose lowercase is ASCII.
            { batch.move("other.txt", "\xC3\x89t\xC3\xA9.txt"),
                batch.move("third.txt", "\xC3\xA9T\xC3\xA9.txt") },
            { batch.move("other.txt", "\xE2\x84\xAA.txt"), batch.move("third.txt", "k.txt") },
            // Bytes that are not UTF-8 still compare without ASCII letter case.
            { batch.move("other.txt",
                  "\xFF"
                  "A.txt"),
                batch.move("third.txt",
                    "\xFF"
                    "a.txt") },
        };
        for (const auto& moves : batches) {
            EXPECT_EQ(
                failureText([&] { executor.execute(moves); }), "Duplicate source or destination.");
        }
        EXPECT_EQ(
            batch.listing(), (std::vector<std::string> { "Report.txt", "other.txt", "third.txt" }));
    }

    /// Hard links are two names of one file: a batch renames each name, and both stay names
    /// of the file; only one name reached twice is one source.
    TEST(RenameExecutor, HardLinksAreTwoSourcesEachRenamed)
    {
        Batch batch({ "a.txt", "third.txt" });
        fs::create_directories(batch.folder / "sub");
        fs::create_hard_link(batch.folder / "a.txt", batch.folder / "b.txt");
        fs::create_hard_link(batch.folder / "a.txt", batch.folder / "sub/a.txt");
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        EXPECT_EQ(failureText([&] {
            executor.execute({ batch.move("a.txt", "x.txt"), batch.move("b.txt", "y.txt"),
                batch.move("sub/a.txt", "sub/z.txt"), batch.move("third.txt", "a.txt") });
        }),
            "<no failure>");
        EXPECT_EQ(batch.listing(),
            (std::vector<std::string> { "a.txt", "sub", "sub/z.txt", "x.txt", "y.txt" }));
        EXPECT_EQ(fs::hard_link_count(batch.folder / "x.txt"), 3U);
        EXPECT_TRUE(fs::equivalent(batch.folder / "x.txt", batch.folder / "y.txt"));
        EXPECT_TRUE(fs::equivalent(batch.folder / "x.txt", batch.folder / "sub/z.txt"));
        EXPECT_EQ(batch.contentAt("a.txt"), "third.txt");
    }

    /// Where the volume tells letter case apart, two names of one file alike but for letter
    /// case are two entries: each is renamed on its own, and neither takes the other's place.
    TEST(RenameExecutor, HardLinksAlikeButForLetterCaseAreTwoNames)
    {
        Batch batch({ "a.txt" });
        fs::create_hard_link(batch.folder / "a.txt", batch.folder / "A.txt");
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        // Onto the other name, which stays: refused before anything moves.
        EXPECT_EQ(failureText([&] { executor.execute({ batch.move("a.txt", "A.txt") }); }),
            "Destination already exists: " + batch.url("A.txt").path);
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "A.txt", "a.txt" }));

        EXPECT_EQ(failureText([&] {
            executor.execute({ batch.move("a.txt", "1_a.txt"), batch.move("A.txt", "2_A.txt") });
        }),
            "<no failure>");
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "1_a.txt", "2_A.txt" }));
        EXPECT_TRUE(fs::equivalent(batch.folder / "1_a.txt", batch.folder / "2_A.txt"));

        // Many at once, so that the folder is read whole for the sources' numbers.
        Batch many({});
        std::vector<RenameMove> moves;
        for (int index = 0; index < 70; ++index) {
            auto name = "f" + std::to_string(index) + ".txt";
            auto other = "F" + std::to_string(index) + ".txt";
            many.folder.createFile(name, name);
            fs::create_hard_link(many.folder / name, many.folder / other);
            moves.push_back(many.move(name, "x" + name));
            moves.push_back(many.move(other, "y" + other));
        }
        EXPECT_EQ(failureText([&] { executor.execute(moves); }), "<no failure>");
        EXPECT_EQ(many.listing().size(), 140U);
        EXPECT_TRUE(fs::equivalent(many.folder / "xf69.txt", many.folder / "yF69.txt"));
    }

    TEST(RenameExecutor, NamesDifferingOnlyInLetterCaseAreTwoFilesWhereTheVolumeSaysSo)
    {
        struct Case {
            const char* label;
            std::vector<std::pair<std::string, std::string>> moves;
            /// Content expected at each name afterwards, or the failure.
            std::vector<std::pair<std::string, std::string>> after;
            std::string failure;
        };
        const Case cases[] {
            { "both renamed", { { "Photo.JPG", "Photo 1.JPG" }, { "photo.jpg", "photo 2.jpg" } },
                { { "Photo 1.JPG", "Photo.JPG" }, { "photo 2.jpg", "photo.jpg" } }, "" },
            // One file on a volume that ignores case: refused, as the preview refuses it.
            { "swapped", { { "Photo.JPG", "photo.jpg" }, { "photo.jpg", "Photo.JPG" } }, {},
                "Duplicate source or destination." },
            { "one onto the other", { { "Photo.JPG", "photo.jpg" } }, {},
                "Destination already exists: photo.jpg" },
            { "onto the other that moves away",
                { { "Photo.JPG", "x.jpg" }, { "other", "PHOTO.JPG" } },
                { { "x.jpg", "Photo.JPG" }, { "PHOTO.JPG", "other" },
                    { "photo.jpg", "photo.jpg" } },
                "" },
            { "onto a name of the other's key that stays",
                { { "Photo.JPG", "x.jpg" }, { "other", "photo.jpg" } }, {},
                "Destination already exists: photo.jpg" },
        };
        for (const auto& each : cases) {
            Batch batch({ "Photo.JPG", "photo.jpg", "other" });
            std::vector<RenameMove> moves;
            for (const auto& [from, to] : each.moves)
                moves.push_back(batch.move(from, to));
            LocalFileSystem fileSystem;
            RenameExecutor executor(fileSystem);
            auto failure = failureText([&] { executor.execute(moves); });
            if (!each.failure.empty()) {
                auto separator = each.failure.find(": ");
                auto expected = separator == std::string::npos
                    ? each.failure
                    : each.failure.substr(0, separator + 2)
                        + batch.url(each.failure.substr(separator + 2)).path;
                // Refused before anything moved: nothing to say of restoring.
                EXPECT_EQ(failure, expected) << each.label;
                EXPECT_EQ(batch.listing(),
                    (std::vector<std::string> { "Photo.JPG", "other", "photo.jpg" }))
                    << each.label;
                continue;
            }
            EXPECT_EQ(failure, "<no failure>") << each.label;
            for (const auto& [name, content] : each.after)
                EXPECT_EQ(batch.contentAt(name), content) << each.label << ": " << name;
        }
    }

    TEST(RenameExecutor, TwoSpellingsOfOneFileOnACaseInsensitiveVolumeAreOneSource)
    {
        CaseInsensitiveFileSystem fileSystem;
        fileSystem.addFolder("/v");
        fileSystem.addFile("/v/photo.JPG");
        RenameExecutor executor(fileSystem);
        EXPECT_EQ(failureText([&] {
            executor.execute({ { FileURL("/v/photo.JPG"), FileURL("/v/a.jpg") },
                { FileURL("/v/PHOTO.jpg"), FileURL("/v/b.jpg") } });
        }),
            "Duplicate source or destination.");
        EXPECT_EQ(fileSystem.spelling("/v/photo.jpg"), "/v/photo.JPG");
    }

    TEST(RenameExecutor, ChecksEveryMoveBeforeTouchingAnything)
    {
        Batch batch({ "a", "b", "taken" });
        FailingFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        EXPECT_EQ(failureText([&] {
            executor.execute({ batch.move("a", "x"), batch.move("missing", "y") });
        }),
            "Source is missing: " + batch.url("missing").path);
        EXPECT_EQ(failureText([&] {
            executor.execute({ batch.move("a", "x"), batch.move("b", "taken") });
        }),
            "Destination already exists: " + batch.url("taken").path);
        EXPECT_EQ(fileSystem.count(FileSystemCall::Kind::moveItem), 0U);
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "a", "b", "taken" }));
    }

    TEST(RenameExecutor, CreatesMissingFoldersOutermostFirstAndRemovesThemInReverse)
    {
        Batch batch({ "f.txt", "g.txt" });
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        auto created = executor.execute(
            { batch.move("f.txt", "x/y/f.txt"), batch.move("g.txt", "x/g.txt") });
        ASSERT_EQ(created.size(), 2U);
        EXPECT_EQ(created[0].path, batch.url("x").path);
        EXPECT_EQ(created[1].path, batch.url("x/y").path);
        EXPECT_TRUE(created[0].isDirectory);
        EXPECT_EQ(batch.contentAt("x/y/f.txt"), "f.txt");
        EXPECT_EQ(batch.contentAt("x/g.txt"), "g.txt");

        // Undo moves the files back first; a folder that still holds anything stays.
        executor.execute({ batch.move("x/y/f.txt", "f.txt") });
        executor.removeCreatedDirectories(created);
        EXPECT_FALSE(fs::exists(batch.folder / "x" / "y"));
        EXPECT_EQ(batch.contentAt("x/g.txt"), "g.txt");
        executor.execute({ batch.move("x/g.txt", "g.txt") });
        executor.removeCreatedDirectories(created);
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "f.txt", "g.txt" }));
    }

    TEST(RenameExecutor, AFailureWhilePlacingPutsEveryFileBack)
    {
        Batch batch({ "1", "2", "3", "4", "5" });
        FailingFileSystem fileSystem;
        std::size_t placing = 0;
        fileSystem.fails = [&placing](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::moveItem
                && call.second.path.find(".twtmp") == std::string::npos && ++placing == 3;
        };
        RenameExecutor executor(fileSystem);
        std::string text = failureText([&] {
            executor.execute({ batch.move("1", "one"), batch.move("2", "two"),
                batch.move("3", "three"), batch.move("4", "four"), batch.move("5", "five") });
        });
        EXPECT_TRUE(text.starts_with("Injected failure moving")) << text;
        EXPECT_TRUE(text.ends_with("\nAll staged files were restored.")) << text;
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "1", "2", "3", "4", "5" }));
        for (const char* name : { "1", "2", "3", "4", "5" })
            EXPECT_EQ(batch.contentAt(name), name);
    }

    TEST(RenameExecutor, SaysFilesWereRestoredOnlyWhereSomeWereStaged)
    {
        struct Case {
            /// Which staging move fails, counted from 1.
            std::size_t failingMove;
            bool saysRestored;
        };
        for (const Case& each : { Case { 1, false }, Case { 2, true } }) {
            Batch batch({ "1", "2" });
            FailingFileSystem fileSystem;
            std::size_t moves = 0;
            fileSystem.fails = [&](const FileSystemCall& call) {
                return call.kind == FileSystemCall::Kind::moveItem && ++moves == each.failingMove;
            };
            RenameExecutor executor(fileSystem);
            std::string text = failureText([&] {
                executor.execute({ batch.move("1", "one"), batch.move("2", "two") });
            });
            EXPECT_TRUE(text.starts_with("Injected failure moving")) << text;
            EXPECT_EQ(text.ends_with("\nAll staged files were restored."), each.saysRestored)
                << text;
            EXPECT_EQ(text.find("restored") != std::string::npos, each.saysRestored) << text;
            EXPECT_EQ(batch.listing(), (std::vector<std::string> { "1", "2" }));
        }
    }

    TEST(RenameExecutor, FilesThatCannotGoBackAreListed)
    {
        Batch batch({ "1", "2", "3" });
        FailingFileSystem fileSystem;
        bool rollingBack = false;
        fileSystem.fails = [&](const FileSystemCall& call) {
            if (call.kind != FileSystemCall::Kind::moveItem)
                return false;
            // The third file cannot be placed; once rolling back, neither the first file can
            // leave its destination nor the second its temporary name.
            if (call.first.path.ends_with(".twtmp") && call.second.path.ends_with("/c"))
                return rollingBack = true;
            if (!rollingBack)
                return false;
            return call.first.path.ends_with("/a") || call.second.path.ends_with("/2");
        };
        RenameExecutor executor(fileSystem);
        try {
            executor.execute({ batch.move("1", "a"), batch.move("2", "b"), batch.move("3", "c") });
            FAIL();
        } catch (const RenameExecutionError& error) {
            ASSERT_EQ(error.recoveryFiles().size(), 2U);
            // From the last staged move to the first: the second file's temporary name, then
            // the first file's destination.
            EXPECT_TRUE(error.recoveryFiles()[0].path.ends_with(".twtmp"));
            EXPECT_EQ(error.recoveryFiles()[1], batch.url("a"));
            // Each with the place it belongs at, so that the user can put it back by hand.
            EXPECT_EQ(std::string(error.what()),
                error.cause() + "\nSome files could not be restored. They remain at:\n"
                    + error.recoveryFiles()[0].path + " (originally " + batch.url("2").path + ")\n"
                    + error.recoveryFiles()[1].path + " (originally " + batch.url("1").path + ")");
            EXPECT_EQ(readFile(error.recoveryFiles()[0].path), "2");
        }
        EXPECT_EQ(batch.contentAt("a"), "1");
        EXPECT_EQ(batch.contentAt("3"), "3");
    }

    TEST(RenameExecutor, FilesLeftBehindByARollbackAreRecoveredAtTheNextStart)
    {
        Batch batch({ "1", "2", "3" });
        TemporaryFolder journalFolder;
        FailingFileSystem fileSystem;
        bool rollingBack = false;
        fileSystem.fails = [&](const FileSystemCall& call) {
            if (call.kind != FileSystemCall::Kind::moveItem)
                return false;
            if (call.first.path.ends_with(".twtmp") && call.second.path.ends_with("/c"))
                return rollingBack = true;
            return rollingBack && call.second.path.ends_with("/2");
        };
        RenameExecutor executor(fileSystem, FileURL(journalFolder.path().string(), true));
        try {
            executor.execute({ batch.move("1", "a"), batch.move("2", "b"), batch.move("3", "c") });
            FAIL();
        } catch (const RenameExecutionError& error) {
            ASSERT_FALSE(error.recoveryFiles().empty());
        }
        EXPECT_FALSE(fs::is_empty(journalFolder.path())) << "the journal stays for the next start";

        LocalFileSystem local;
        RenameExecutor restarted(local, FileURL(journalFolder.path().string(), true));
        EXPECT_TRUE(restarted.recoverInterruptedBatches().empty());
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "1", "2", "3" }));
        for (const char* name : { "1", "2", "3" })
            EXPECT_EQ(batch.contentAt(name), name);
        EXPECT_TRUE(fs::is_empty(journalFolder.path()));
    }

    TEST(RenameExecutor, RollbackRemovesCreatedFoldersBeforeMovingFilesHome)
    {
        // "a" leaves, a folder "a" is made for the second file, and the third file fails: the
        // folder must be gone before the first file can return to "a".
        Batch batch({ "a", "c", "e" });
        FailingFileSystem fileSystem;
        fileSystem.fails = [&](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::moveItem && call.second.path.ends_with("/g");
        };
        RenameExecutor executor(fileSystem);
        try {
            executor.execute(
                { batch.move("a", "b"), batch.move("c", "a/f.txt"), batch.move("e", "g") });
            FAIL();
        } catch (const RenameExecutionError& error) {
            EXPECT_TRUE(error.recoveryFiles().empty());
        }
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "a", "c", "e" }));
        EXPECT_EQ(batch.contentAt("a"), "a");
    }

    TEST(RenameExecutor, ADestinationWithoutAnyExistingFolderAboveFails)
    {
        Batch batch({ "a" });
        FailingFileSystem fileSystem;
        // Nothing above the destination can be found, not even the root; only the source's
        // own folder opens.
        fileSystem.failureCode = ENOENT;
        fileSystem.fails = [&](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::openFolder
                && call.first.path != batch.folder.path().string();
        };
        FileURL destination("/sorvik-" + Uuid::random().text() + "/w/x/a");
        RenameExecutor executor(fileSystem);
        EXPECT_EQ(failureText([&] {
            executor.execute({ { batch.url("a"), destination } });
        }),
            "Couldn't create the folder \"" + destination.deletingLastPathComponent().path
                + "\": Permission denied");
        EXPECT_EQ(fileSystem.count(FileSystemCall::Kind::createDirectory), 0U);
        EXPECT_EQ(fileSystem.count(FileSystemCall::Kind::moveItem), 0U);
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "a" }));
    }

    TEST(RenameExecutor, BackupCopiesEverySourceUnderItsPositionAndOldName)
    {
        Batch batch({ "IMG_1.jpg", "IMG_2.jpg", "album/inside.txt" });
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        FileURL backup(batch.url("Backups/" + Uuid::random().text()).path, true);
        std::vector<RenameMove> moves = { batch.move("IMG_1.jpg", "a.jpg"),
            batch.move("IMG_2.jpg", "b.jpg"), batch.move("album", "Album 2024") };
        executor.execute(moves, backup);
        fs::path backupPath = backup.path;
        EXPECT_EQ(readFile(backupPath / "0_IMG_1.jpg"), "IMG_1.jpg");
        EXPECT_EQ(readFile(backupPath / "1_IMG_2.jpg"), "IMG_2.jpg");
        EXPECT_EQ(readFile(backupPath / "2_album" / "inside.txt"), "album/inside.txt");
        auto manifest = json::parse(readFile(backupPath / "manifest.json"));
        EXPECT_EQ(json::decode<std::vector<RenameMove>>(manifest), moves);

        // A second run into the same folder fails on its first copy and moves nothing.
        Batch again({ "IMG_1.jpg" });
        EXPECT_THROW(
            executor.execute({ again.move("IMG_1.jpg", "c.jpg") }, backup), FileSystemError);
        EXPECT_EQ(again.listing(), (std::vector<std::string> { "IMG_1.jpg" }));
    }

    TEST(RenameExecutor, AnEmptyBatchStillWritesItsBackupManifest)
    {
        TemporaryFolder folder;
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        FileURL backup((folder / "Backups" / "B").string(), true);
        EXPECT_TRUE(executor.execute({}, backup).empty());
        EXPECT_EQ(readFile(folder / "Backups" / "B" / "manifest.json"), "[]");
        // Never over an existing manifest.
        EXPECT_THROW(executor.execute({}, backup), FileSystemError);
    }

    TEST(BackupFolder, CopyNamesStayWithinTheNameLimitAtACharacterBoundary)
    {
        struct Case {
            std::size_t position;
            std::string oldName;
            std::string expected;
        };
        const std::string e = "e\xCC\x81"; // "e" + combining acute: one character, three bytes
        const std::string longAscii(255, 'a');
        std::string longComposed;
        for (int index = 0; index < 85; ++index)
            longComposed += e;
        const Case cases[] = {
            { 0, "IMG_1.jpg", "0_IMG_1.jpg" },
            { 12, "x", "12_x" },
            { 0, longAscii, "0_" + std::string(253, 'a') },
            { 1000, longAscii, "1000_" + std::string(250, 'a') },
            // 2 + 84 * 3 = 254 bytes; one more character would need 257.
            { 7, longComposed, "7_" + longComposed.substr(0, 84 * 3) },
            // Not UTF-8: cut at the limit, but not inside what looks like a sequence.
            { 0, std::string(252, 'b') + "\xC3\xA9\xFF", "0_" + std::string(252, 'b') },
        };
        for (const auto& item : cases) {
            auto name = backup::copyName(item.position, item.oldName);
            EXPECT_EQ(name, item.expected) << item.position;
            EXPECT_LE(name.size(), 255U);
        }
    }

    TEST(BackupFolder, AFileWithTheLongestNameIsBackedUpAndPruned)
    {
        TemporaryFolder folder;
        std::string name;
        for (int index = 0; index < 127; ++index)
            name += "\xC3\xA9"; // 254 bytes
        name += "x";
        folder.createFile("files/" + name, "long");
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem);
        auto id = Uuid::random().text();
        FileURL backup((folder / "Backups" / id).string(), true);
        executor.execute({ { FileURL((folder / "files" / name).string()),
                             FileURL((folder / "files" / "short").string()) } },
            backup);
        auto copy = backup::copyName(0, name);
        EXPECT_EQ(copy.size(), 2U + 252U);
        EXPECT_EQ(readFile(folder / "Backups" / id / copy), "long");

        RenameExecutor::pruneBackups(FileURL((folder / "Backups").string(), true),
            Date::fromUnixSeconds(Date::now().unixSeconds() + 86400));
        EXPECT_FALSE(fs::exists(folder / "Backups" / id));
    }

    // Backup folders in every state the pruning must tell apart.
    class PruneBackups : public ::testing::Test {
    protected:
        std::string addBackup(const std::vector<std::string>& oldNames)
        {
            std::string id = Uuid::random().text();
            std::vector<RenameMove> moves;
            for (const auto& name : oldNames) {
                folder.createFile("files/" + id + "/" + name, name);
                moves.push_back({ FileURL((folder / "files" / id / name).string()),
                    FileURL((folder / "files" / id / ("new " + name)).string()) });
            }
            backup::write(FileURL((folder / "Backups" / id).string(), true), moves);
            return id;
        }
        void prune(double secondsFromNow)
        {
            RenameExecutor::pruneBackups(FileURL((folder / "Backups").string(), true),
                Date::fromUnixSeconds(Date::now().unixSeconds() + secondsFromNow));
        }
        bool exists(const std::string& name) const
        {
            return fs::exists(fs::symlink_status(folder / "Backups" / name));
        }

        TemporaryFolder folder;
    };

    TEST_F(PruneBackups, RemovesOnlyOldUntouchedBackupFolders)
    {
        auto untouched = addBackup({ "a.jpg", ".hidden" });
        auto lowerCase = addBackup({ "b.jpg" });
        fs::rename(
            folder / "Backups" / lowerCase, folder / "Backups" / text::lowercased(lowerCase));
        lowerCase = text::lowercased(lowerCase);
        auto extra = addBackup({ "c.jpg" });
        folder.createFile("Backups/" + extra + "/notes.txt");
        auto missing = addBackup({ "d.jpg", "e.jpg" });
        fs::remove(folder / "Backups" / missing / "1_e.jpg");
        auto noManifest = addBackup({ "f.jpg" });
        fs::remove(folder / "Backups" / noManifest / "manifest.json");
        auto badManifest = addBackup({ "g.jpg" });
        fs::remove(folder / "Backups" / badManifest / "manifest.json");
        folder.createFile("Backups/" + badManifest + "/manifest.json", "{\"not\":\"moves\"}");
        auto target = addBackup({ "h.jpg" });
        auto link = Uuid::random().text();
        fs::create_directory_symlink(folder / "Backups" / target, folder / "Backups" / link);
        folder.createFolder("Backups/not-a-uuid");
        folder.createFile("Backups/" + Uuid::random().text(), "a file");

        prune(-86400);
        for (const auto& name :
            { untouched, lowerCase, extra, missing, noManifest, badManifest, link })
            EXPECT_TRUE(exists(name)) << "removed a backup made after the cutoff: " << name;

        prune(86400);
        EXPECT_FALSE(exists(untouched));
        EXPECT_FALSE(exists(lowerCase));
        EXPECT_FALSE(exists(target)) << "the folder itself is old and untouched";
        for (const auto& name :
            { extra, missing, noManifest, badManifest, link, std::string("not-a-uuid") })
            EXPECT_TRUE(exists(name)) << name;
        EXPECT_TRUE(fs::exists(folder / "files")) << "sources are never touched";
    }

    TEST_F(PruneBackups, AManifestThatIsNotAFileNeitherStallsNorGoes)
    {
        auto fifo = addBackup({ "a.jpg" });
        fs::remove(folder / "Backups" / fifo / "manifest.json");
        ASSERT_EQ(mkfifo((folder / "Backups" / fifo / "manifest.json").c_str(), 0600), 0);
        auto linked = addBackup({ "b.jpg" });
        fs::rename(folder / "Backups" / linked / "manifest.json", folder / "elsewhere.json");
        fs::create_symlink(
            folder / "elsewhere.json", folder / "Backups" / linked / "manifest.json");

        prune(86400); // returns instead of waiting for a writer on the FIFO
        EXPECT_TRUE(exists(fifo));
        EXPECT_TRUE(exists(linked));
    }

    TEST_F(PruneBackups, AMissingFolderIsNoFailure) { EXPECT_NO_THROW(prune(86400)); }

    TEST(RenameExecutor, LeavesNoJournalBehind)
    {
        TemporaryFolder data;
        Batch batch({ "a", "b" });
        LocalFileSystem local;
        RenameExecutor executor(local, FileURL((data / "sorvik").string(), true));
        executor.execute({ batch.move("a", "b"), batch.move("b", "a") });
        EXPECT_TRUE(fs::is_empty(data / "sorvik"));

        FailingFileSystem failing;
        failing.fails = [](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::moveItem && call.second.path.ends_with("/c");
        };
        RenameExecutor failingExecutor(failing, FileURL((data / "sorvik").string(), true));
        EXPECT_THROW(failingExecutor.execute({ batch.move("a", "c") }), RenameExecutionError);
        EXPECT_TRUE(fs::is_empty(data / "sorvik"));
        EXPECT_EQ(batch.listing(), (std::vector<std::string> { "a", "b" }));
    }

} // namespace
} // namespace sorvik
