// The executor while the folders of a batch change under it, inside and outside the granted
// folders, and with the journal and fingerprints that a recorded batch leaves.
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/uuid.h"
#include "tests/engine/apply/test_file_systems.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FailingFileSystem;
    using testing::FileSystemCall;
    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    std::vector<std::string> listing(const fs::path& folder)
    {
        std::vector<std::string> names;
        if (!fs::exists(folder))
            return names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            names.push_back(fs::relative(entry.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // "photos" with files 1 to `count` (content: their name), renamed to "new-1" and so on.
    class Photos {
    public:
        explicit Photos(int count)
        {
            for (int index = 1; index <= count; ++index)
                root.createFile("photos/" + std::to_string(index), std::to_string(index));
            for (int index = 1; index <= count; ++index)
                moves.push_back({ url("photos/" + std::to_string(index)),
                    url("photos/new-" + std::to_string(index)) });
        }
        FileURL url(const std::string& relative) const
        {
            return FileURL((root / relative).string());
        }
        fs::path folder() const { return root / "photos"; }

        TemporaryFolder root;
        std::vector<RenameMove> moves;
    };

    /// Runs `change` once, right before the `count`-th move of the batch.
    std::function<void(const FileSystemCall&)> beforeMove(int count, std::function<void()> change)
    {
        auto seen = std::make_shared<int>(0);
        return [=](const FileSystemCall& call) {
            if (call.kind == FileSystemCall::Kind::moveItem && ++*seen == count)
                change();
        };
    }

    TEST(RenameExecutorFolders, AFolderRenamedBetweenTwoMovesHoldsTheRenamedFiles)
    {
        for (int moment : { 2, 5, 7 }) {
            SCOPED_TRACE(moment);
            Photos photos(4);
            FailingFileSystem fileSystem;
            fileSystem.beforeCall
                = beforeMove(moment, [&] { fs::rename(photos.folder(), photos.root / "renamed"); });
            RenameExecutor(fileSystem).execute(photos.moves);
            EXPECT_EQ(listing(photos.root.path()),
                (std::vector<std::string> { "renamed", "renamed/new-1", "renamed/new-2",
                    "renamed/new-3", "renamed/new-4" }));
            EXPECT_EQ(readFile(photos.root / "renamed" / "new-3"), "3");
        }
    }

    TEST(RenameExecutorFolders, AFolderSwappedForALinkBetweenTwoMovesLeavesTheLinksTargetAlone)
    {
        Photos photos(4);
        TemporaryFolder elsewhere;
        for (int index = 1; index <= 4; ++index)
            elsewhere.createFile(std::to_string(index), "not granted");
        FailingFileSystem fileSystem;
        fileSystem.beforeCall = beforeMove(3, [&] {
            fs::rename(photos.folder(), photos.root / "moved");
            fs::create_directory_symlink(elsewhere.path(), photos.folder());
        });
        RenameExecutor(fileSystem).execute(photos.moves);
        EXPECT_EQ(listing(elsewhere.path()), (std::vector<std::string> { "1", "2", "3", "4" }));
        EXPECT_EQ(listing(photos.root / "moved"),
            (std::vector<std::string> { "new-1", "new-2", "new-3", "new-4" }));
    }

    TEST(RenameExecutorFolders, AFolderRemovedDuringTheMovesRollsBackInsideIt)
    {
        // The folder goes away (renamed, then a file put where it was) before phase 2: the files
        // still go home inside the folder they were in.
        Photos photos(3);
        FailingFileSystem fileSystem;
        fileSystem.beforeCall = beforeMove(4, [&] {
            fs::rename(photos.folder(), photos.root / "moved");
            photos.root.createFile("photos", "a file now");
        });
        fileSystem.fails = [](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::moveItem
                && call.second.path.ends_with("new-2");
        };
        EXPECT_THROW(RenameExecutor(fileSystem).execute(photos.moves), RenameExecutionError);
        EXPECT_EQ(listing(photos.root / "moved"), (std::vector<std::string> { "1", "2", "3" }));
        EXPECT_EQ(readFile(photos.root / "photos"), "a file now");
    }

    TEST(RenameExecutorFolders, ASourceReplacedDuringTheMovesRollsBackTheBatch)
    {
        Photos photos(3);
        FailingFileSystem fileSystem;
        // Right before "2" leaves for its temporary name, another file takes its place.
        fileSystem.beforeCall = beforeMove(2, [&] {
            fs::rename(photos.folder() / "2", photos.root / "the-real-2");
            photos.root.createFile("photos/2", "impostor");
        });
        try {
            RenameExecutor(fileSystem).execute(photos.moves);
            FAIL() << "no failure";
        } catch (const RenameExecutionError& error) {
            EXPECT_NE(std::string(error.what()).find("was replaced while it was being renamed"),
                std::string::npos)
                << error.what();
            EXPECT_TRUE(error.recoveryFiles().empty());
        }
        EXPECT_EQ(listing(photos.folder()), (std::vector<std::string> { "1", "2", "3" }));
        EXPECT_EQ(readFile(photos.folder() / "2"), "impostor");
        EXPECT_EQ(readFile(photos.root / "the-real-2"), "2");
    }

    TEST(RenameExecutorFolders, FoldersOutsideTheGrantsAreRefusedBeforeAnythingMoves)
    {
        Photos photos(2);
        TemporaryFolder granted;
        LocalFileSystem fileSystem;
        BatchOptions options;
        options.grantedFolders = std::vector<FileURL> { FileURL(granted.path().string(), true) };
        try {
            RenameExecutor(fileSystem).apply(photos.moves, options);
            FAIL() << "no failure";
        } catch (const RenameExecutionError& error) {
            EXPECT_NE(std::string(error.what()).find("is not inside a folder you have granted"),
                std::string::npos)
                << error.what();
        }
        EXPECT_EQ(listing(photos.folder()), (std::vector<std::string> { "1", "2" }));

        // A destination outside the grants is refused too, even when the sources are inside.
        options.grantedFolders = std::vector<FileURL> { FileURL(photos.folder().string(), true) };
        std::vector<RenameMove> outward { { photos.url("photos/1"),
            FileURL((granted / "1").string()) } };
        EXPECT_THROW(RenameExecutor(fileSystem).apply(outward, options), RenameExecutionError);
        EXPECT_TRUE(listing(granted.path()).empty());
    }

    TEST(RenameExecutorFolders, AFolderReachedThroughALinkIsJudgedWhereItLeads)
    {
        Photos photos(2);
        TemporaryFolder links;
        fs::create_directory_symlink(photos.folder(), links / "photos");
        std::vector<RenameMove> moves { { FileURL((links / "photos/1").string()),
            FileURL((links / "photos/one").string()) } };
        LocalFileSystem fileSystem;
        BatchOptions options;
        options.grantedFolders = std::vector<FileURL> { FileURL(photos.folder().string(), true) };
        RenameExecutor(fileSystem).apply(moves, options).journal.finish();
        EXPECT_EQ(listing(photos.folder()), (std::vector<std::string> { "2", "one" }));

        // A link inside the granted folder that leads out of it is no way out.
        TemporaryFolder outside;
        outside.createFile("x", "outside");
        fs::create_directory_symlink(outside.path(), photos.folder() / "out");
        std::vector<RenameMove> escaping { { FileURL((photos.folder() / "out/x").string()),
            FileURL((photos.folder() / "out/y").string()) } };
        EXPECT_THROW(RenameExecutor(fileSystem).apply(escaping, options), RenameExecutionError);
        EXPECT_EQ(listing(outside.path()), (std::vector<std::string> { "x" }));
    }

    TEST(RenameExecutorFolders, ABatchInOneGrantedFolderAsksForRealPathsOncePerFolder)
    {
        Photos photos(300);
        // A second folder below the grant, with a batch of its own in the same run.
        for (int index = 1; index <= 300; ++index) {
            photos.root.createFile("photos/sub/" + std::to_string(index), "s");
            photos.moves.push_back({ photos.url("photos/sub/" + std::to_string(index)),
                photos.url("photos/sub/x-" + std::to_string(index)) });
        }
        FailingFileSystem fileSystem;
        BatchOptions options;
        options.grantedFolders = std::vector<FileURL> { FileURL(photos.folder().string(), true) };
        RenameExecutor(fileSystem).apply(photos.moves, options);
        std::vector<std::string> asked;
        for (const auto& call : fileSystem.calls) {
            if (call.kind == FileSystemCall::Kind::realPath)
                asked.push_back(call.first.path);
        }
        // The granted folder is known by its identity; only the subfolder needs paths, once
        // for itself and once for the grant.
        std::sort(asked.begin(), asked.end());
        EXPECT_EQ(asked,
            (std::vector<std::string> {
                photos.folder().string(), (photos.folder() / "sub").string() }));
        EXPECT_EQ(fileSystem.count(FileSystemCall::Kind::openFolder), 3U);
    }

    TEST(RenameExecutorFolders, ARecordedBatchHandsBackFingerprintsAndACompleteJournal)
    {
        Photos photos(2);
        TemporaryFolder data;
        FileURL journalFolder((data / "sorvik").string(), true);
        LocalFileSystem fileSystem;
        BatchOptions options;
        options.recordId = Uuid::random();
        photos.moves.push_back({ photos.url("photos/2"), photos.url("photos/sorted/2") });
        photos.moves.erase(photos.moves.begin() + 1);
        auto applied = RenameExecutor(fileSystem, journalFolder).apply(photos.moves, options);
        ASSERT_EQ(applied.fingerprints.size(), 2U);
        EXPECT_EQ(applied.fingerprints[0], FileFingerprint(photos.url("photos/new-1")));
        EXPECT_EQ(applied.fingerprints[1], FileFingerprint(photos.url("photos/sorted/2")));
        EXPECT_EQ(applied.createdDirectories,
            (std::vector<FileURL> { FileURL(photos.url("photos/sorted").path, true) }));

        ASSERT_TRUE(applied.journal.isOpen());
        auto contents = RenameJournal::read(applied.journal.url());
        EXPECT_EQ(contents.batch.id, options.recordId);
        ASSERT_TRUE(contents.completion);
        EXPECT_EQ(contents.completion->createdDirectories, applied.createdDirectories);

        auto record = recordOf(*options.recordId, photos.moves, applied, std::nullopt);
        EXPECT_EQ(record.validateForUndo().size(), 2U);
        applied.journal.finish();
        EXPECT_TRUE(fs::is_empty(journalFolder.path));
    }

    TEST(RenameExecutorFolders, ASourceThatIsNoLongerTheFileReadIsRefusedBeforeAnythingMoves)
    {
        Photos photos(2);
        LocalFileSystem fileSystem;
        BatchOptions options;
        options.expectedSources
            = { FileFingerprint(photos.url("photos/1")), FileFingerprint(photos.url("photos/2")) };
        options.expectedSources[1]->size += 1;
        try {
            RenameExecutor(fileSystem).apply(photos.moves, options);
            FAIL() << "no failure";
        } catch (const SourceChangedError& error) {
            EXPECT_EQ(error.source(), photos.url("photos/2"));
        }
        // Gone since it was read.
        options.expectedSources[1] = FileFingerprint(photos.url("photos/2"));
        fs::remove(photos.folder() / "2");
        EXPECT_THROW(RenameExecutor(fileSystem).apply(photos.moves, options), SourceChangedError);
        EXPECT_EQ(listing(photos.folder()), (std::vector<std::string> { "1" }));
    }

    TEST(RenameExecutorFolders, RollingBackAnOrganizedBatchRemovesTheFoldersItMade)
    {
        TemporaryFolder root;
        for (const char* name : { "a", "b", "c" })
            root.createFile(name, name);
        auto url = [&](const std::string& relative) { return FileURL((root / relative).string()); };
        FailingFileSystem fileSystem;
        fileSystem.fails = [](const FileSystemCall& call) {
            return call.kind == FileSystemCall::Kind::moveItem && call.second.path.ends_with("/c2");
        };
        EXPECT_THROW(RenameExecutor(fileSystem)
                         .execute({ { url("a"), url("2024/07/a") }, { url("b"), url("2024/08/b") },
                             { url("c"), url("c2") } }),
            RenameExecutionError);
        EXPECT_EQ(listing(root.path()), (std::vector<std::string> { "a", "b", "c" }));
    }

    // The backup is written under a file size limit, in a child process, so that copying
    // fails part way as on a full disk.
    std::string backupFailureInChild(const std::vector<RenameMove>& moves, const FileURL& backup)
    {
        int pipe[2];
        EXPECT_EQ(::pipe(pipe), 0);
        pid_t child = ::fork();
        if (child == 0) {
            ::close(pipe[0]);
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit { 4096, 4096 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::string text = "<no failure>";
            try {
                LocalFileSystem fileSystem;
                RenameExecutor(fileSystem).execute(moves, backup);
            } catch (const std::exception& error) {
                text = error.what();
            }
            ssize_t written = ::write(pipe[1], text.data(), text.size());
            ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
        }
        ::close(pipe[1]);
        std::string text;
        char buffer[512];
        for (ssize_t count; (count = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(count));
        ::close(pipe[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return text;
    }

    TEST(RenameExecutorFolders, AFailedBackupIsRemovedAndSaysWhy)
    {
        TemporaryFolder root;
        root.createFile("small.jpg", "small");
        root.createFile("large.jpg", std::string(64 * 1024, 'x'));
        std::vector<RenameMove> moves {
            { FileURL((root / "small.jpg").string()), FileURL((root / "a.jpg").string()) },
            { FileURL((root / "large.jpg").string()), FileURL((root / "b.jpg").string()) },
        };
        auto backupName = "Backups/" + Uuid::random().text();
        FileURL backup((root / backupName).string(), true);
        auto text = backupFailureInChild(moves, backup);
        // The system's own reason, not a generic input/output error.
        EXPECT_NE(text.find("File too large"), std::string::npos) << text;
        EXPECT_EQ(text.find("Input/output error"), std::string::npos) << text;
        EXPECT_FALSE(fs::exists(backup.path)) << "the partial backup stays behind";
        EXPECT_EQ(listing(root.path()),
            (std::vector<std::string> { "Backups", "large.jpg", "small.jpg" }));

        // A backup folder that was there before keeps what it held.
        root.createFile(backupName + "/earlier", "kept");
        backupFailureInChild(moves, backup);
        EXPECT_EQ(listing(backup.path), (std::vector<std::string> { "earlier" }));
    }

} // namespace
} // namespace sorvik
